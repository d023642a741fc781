// One clock-setting copy a machine, and no ordinary local user can stop
// root's (or the service's) copy by taking its name first.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "platform/single_instance.h"
#include "support/child.h"

namespace tkw::test {
namespace {

// What a copy does on finding the lock's name taken (Windows, where anyone may
// take any name): a squatter, or any program that cannot set the clock, must
// not stop the service or an administrator's copy, yet still stops copies
// that cannot set the clock either; another clock setter stops every copy.
TEST(SingleInstance, WhoHoldsTheNameDecides) {
    using enum LockHolder;
    using enum LockVerdict;
    const struct {
        LockHolder holder;
        bool maySetClock;
        LockVerdict verdict;
    } cases[] = {
        {Nobody, true, Acquire},      {Nobody, false, Acquire},  {ClockSetter, true, Refuse},
        {ClockSetter, false, Refuse}, {Other, true, RunWeak},    {Other, false, Refuse},
        {Unknown, true, RunWeak},     {Unknown, false, RunWeak},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DecideLock(c.holder, c.maySetClock), c.verdict)
            << "holder " << static_cast<int>(c.holder) << ", may set the clock " << c.maySetClock;
}

TEST(SingleInstance, AnotherUserCannotTakeTheNameFirst) {
    if (::geteuid() != 0) GTEST_SKIP() << "acting as another user needs root";
    const std::string name = "tkw-test-squat-" + std::to_string(::getpid());
    {
        SingleInstance root;
        ASSERT_TRUE(root.Acquire(name));
        EXPECT_EQ(root.Weakness(), "");
        // An ordinary user's copy, which cannot open root's lock, still sees it.
        EXPECT_EQ(RunAsNobody([&] { return SingleInstance().Acquire(name) ? 1 : 0; }), 0);
    }

    // The squatter takes the name every way it can (the abstract socket
    // earlier versions used alone; the lock file it cannot make) and keeps it.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t squatter = ::fork();
    if (squatter == 0) {
        ::close(ready[0]);
        if (!BecomeNobody()) ::_exit(1);
        SingleInstance squat;
        squat.Acquire(name);
        (void)!::write(ready[1], "x", 1);
        ::pause();
        ::_exit(0);
    }
    ::close(ready[1]);
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);
    SingleInstance root;
    EXPECT_TRUE(root.Acquire(name)) << "root's copy was stopped by another user's";
    SingleInstance second;
    EXPECT_FALSE(second.Acquire(name)) << "a second copy must still be refused";
    ::kill(squatter, SIGKILL);
    ::waitpid(squatter, nullptr, 0);
}

// An ordinary user's copy holds the abstract socket alone (here: its lock
// directory is one others may write, so no file): once it has announced
// itself, a caller of its user finds it through the socket and signals it.
TEST(SingleInstance, AnAnnouncedHolderOfTheSocketAloneIsSignalled) {
    char dir[] = "/tmp/tkw-announce-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    ::chmod(dir, 0777);
    ::setenv("RUNTIME_DIRECTORY", dir, 1);
    const std::string name = "tkw-test-announce-" + std::to_string(::getpid());
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        sigset_t usr1;
        sigemptyset(&usr1);
        sigaddset(&usr1, SIGUSR1);
        ::sigprocmask(SIG_BLOCK, &usr1, nullptr);
        SingleInstance instance;
        if (!instance.Acquire(name)) ::_exit(2);
        instance.Announce();
        (void)!::write(ready[1], "x", 1);
        const timespec limit{5, 0};
        ::_exit(::sigtimedwait(&usr1, nullptr, &limit) == SIGUSR1 ? 0 : 1);
    }
    ::close(ready[1]);
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);
    const HolderSignal r = SignalHolder(name, SIGUSR1);
    EXPECT_EQ(r.outcome, HolderSignal::Sent) << r.why;
    EXPECT_EQ(r.pid, holder);
    int status = -1;
    ::waitpid(holder, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the holder got no SIGUSR1";
    EXPECT_EQ(SignalHolder(name, SIGUSR1).outcome, HolderSignal::Nobody);
    ::unsetenv("RUNTIME_DIRECTORY");
    ::rmdir(dir);
}

}  // namespace
}  // namespace tkw::test
