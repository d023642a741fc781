// The Linux program as a program that runs with the right to set the clock,
// for months: started as a careless service manager or a shell pipe would,
// ended by a hang-up, refused what can never work, and kept sane on a full
// disk and beside a second `tkw --set`.
#include <gtest/gtest.h>

#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "config/settings.h"
#include "platform/files.h"
#include "support/child.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

using tkw::test::Child;

bool Has(const std::string& line, const std::string& part) { return line.find(part) != std::string::npos; }

class LinuxSafety : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("tkw-safety-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        // A lock of the test's own: another tkw on the machine must not stop it.
        // Kept in the test's directory, as a service's runtime directory keeps
        // it, so that a tkw the test kills leaves nothing in /run/tkw.
        ::setenv("TKW_INSTANCE", ("tkw-safety-" + std::to_string(::getpid())).c_str(), 1);
        ::setenv("RUNTIME_DIRECTORY", dir.c_str(), 1);
    }
    void TearDown() override { fs::remove_all(dir); }

    // tkw in the test's directory, on a port whose device is missing (it
    // keeps trying it) unless `extra` maps another.
    std::unique_ptr<Child> Tkw(std::vector<std::string> extra, const std::function<void()>& beforeExec = {}) {
        std::vector<std::string> argv{TKW_EXE, "--map", "COM1=" + (dir / "no-device").string()};
        argv.insert(argv.end(), extra.begin(), extra.end());
        return std::make_unique<Child>(argv, dir, nullptr, beforeExec);
    }
    std::string Line(Child& c, const std::string& part, std::chrono::milliseconds within = 3s) {
        return c.WaitLine([&](const std::string& l) { return Has(l, part); }, within);
    }

    fs::path dir;
};

// How it is started, and how it ends: with its standard streams closed it
// puts the null device in their place before it opens anything; a hang-up
// ends it as SIGTERM does; a reader of its output that goes away does not.
struct StartCase {
    const char* name;
    void (*beforeExec)();
    int endSignal;
    bool streamsOnNull = false;  // 0, 1 and 2 must be the null device
    friend void PrintTo(const StartCase& c, std::ostream* os) { *os << c.name; }
};

class Started : public LinuxSafety, public ::testing::WithParamInterface<StartCase> {};

TEST_P(Started, RunsAndEndsCleanly) {
    const StartCase& c = GetParam();
    auto tkw = Tkw({"--dry-run"}, c.beforeExec);
    std::this_thread::sleep_for(1500ms);  // the start-up lines, a box, a first retry
    ASSERT_TRUE(tkw->Running()) << "ended by its start";
    for (int fd = 0; c.streamsOnNull && fd <= 2; ++fd) {
        std::error_code ec;
        const fs::path link = "/proc/" + std::to_string(tkw->Pid()) + "/fd/" + std::to_string(fd);
        EXPECT_EQ(fs::read_symlink(link, ec).string(), "/dev/null") << "fd " << fd;
    }
    EXPECT_EQ(tkw->Stop(c.endSignal), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, Started,
    ::testing::Values(StartCase{"ClosedStandardStreams", [] { ::close(0), ::close(1), ::close(2); }, SIGTERM, true},
                      StartCase{"HangUp", nullptr, SIGHUP},
                      StartCase{"OutputReaderGone",
                                [] {
                                    int p[2];
                                    if (::pipe(p) != 0) ::_exit(126);
                                    ::close(p[0]);
                                    ::dup2(p[1], 1);
                                    ::close(p[1]);
                                },
                                SIGTERM}),
    [](const auto& info) { return std::string(info.param.name); });

// What can never work is refused with its reason; what is odd is said.
TEST_F(LinuxSafety, SaysWhatIsWrongAndWhereToPutItRight) {
    // A socket path longer than a socket's address: status 2 at once.
    auto longSock = Tkw({"--dry-run", "--chrony-sock", "/" + std::string(120, 'a')});
    const bool refused =
        !Line(*longSock, "--chrony-sock: the path is 121 bytes long; a socket's address holds 107 at most").empty();
    EXPECT_TRUE(refused);
    EXPECT_EQ(refused ? longSock->Wait() : longSock->Stop(SIGKILL), 2);  // a run would never end by itself

    // A settings file shorter than a record: said, with the port it gives.
    std::ofstream(dir / "horalsys.conf", std::ios::binary) << std::string(100, '\0');
    auto shortFile = Tkw({"--dry-run"});
    EXPECT_NE(Line(*shortFile, "tkw: horalsys.conf is shorter than one record (100 of 224 bytes): every setting "
                               "reads as 0, the port too (COM0, which stands for no device)"),
              "");
    EXPECT_NE(Line(*shortFile, "tkw: COM0 (no device), baud code 0 bit/s"), "");
    EXPECT_EQ(shortFile->Stop(SIGTERM), 0);
    fs::remove(dir / "horalsys.conf");

    // A directory the user may not write is named as such.
    const passwd* nobody = ::getpwnam("nobody");
    if (::geteuid() != 0 || !nobody) GTEST_SKIP() << "acting as another user needs root";
    auto set = Tkw({"--set", "fine=5"}, [uid = nobody->pw_uid, gid = nobody->pw_gid] {
        if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) ::_exit(126);
    });
    EXPECT_EQ(set->Wait(), 1);
    EXPECT_NE(Line(*set, "  the directory " + dir.string() +
                             " cannot be written: Permission denied; horalsys.conf is left as it was"),
              "");
}

// `tkw --set` is a load, a change and a save: while another holds the
// settings' lock it waits, and then builds on what the other saved.
TEST_F(LinuxSafety, SetWaitsForAnotherSetsChange) {
    const std::string path = (dir / "horalsys.conf").string();
    auto held = std::make_unique<tkw::UpdateLock>();
    bool unavailable = false;
    ASSERT_TRUE(held->Acquire(path, 0ms, unavailable));
    auto set = Tkw({"--set", "fine=5"});
    std::this_thread::sleep_for(700ms);
    EXPECT_TRUE(set->Running()) << "changed the settings under another's lock";
    tkw::Settings other;
    tkw::ApplyDefaults(other);
    other.JumpThreshold = 9;
    ASSERT_TRUE(tkw::savecfg(tkw::RealFileSystem(), path, other));
    held.reset();
    EXPECT_EQ(set->Wait(), 0);
    tkw::Settings back;
    ASSERT_EQ(tkw::LoadSettings(tkw::RealFileSystem(), path, back).outcome, tkw::LoadOutcome::Loaded);
    EXPECT_EQ(back.FineAdjustMs, 5);
    EXPECT_EQ(back.JumpThreshold, 9) << "the other's change was lost";
}

// A full disk (a file size limit here): the communication log's failure is
// said once, not once a frame, and once when writing works again; the log
// holds whole entries only.
TEST_F(LinuxSafety, AFullDiskIsSaidOnceAndTheLogHoldsWholeEntries) {
    if (std::system("command -v socat >/dev/null 2>&1") != 0) GTEST_SKIP() << "socat is not installed";
    Child socat({"/usr/bin/socat", "pty,raw,echo=0,link=" + (dir / "receiver").string(),
                 "pty,raw,echo=0,link=" + (dir / "pc").string()},
                dir);
    for (int i = 0; i < 100 && !(fs::exists(dir / "receiver") && fs::exists(dir / "pc")); ++i)
        std::this_thread::sleep_for(50ms);
    ASSERT_TRUE(fs::exists(dir / "pc"));
    auto tkw = std::make_unique<Child>(
        std::vector<std::string>{TKW_EXE, "--dry-run", "--comm-log", "--map", "COM1=" + (dir / "pc").string()}, dir,
        nullptr, [] {
            ::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails (EFBIG) instead
            const rlimit limit{300, RLIM_INFINITY};  // the test may raise it again
            ::setrlimit(RLIMIT_FSIZE, &limit);
        });
    Child sim({TKW_SIM_EXE, "--device", (dir / "receiver").string(), "--format", "1"}, dir);

    ASSERT_NE(Line(*tkw, "Warning: File access error", 10s), "");
    std::this_thread::sleep_for(4s);  // four more frames that cannot be logged
    size_t said = 0;
    for (const std::string& l : tkw->Lines()) said += Has(l, "File access error");
    EXPECT_EQ(said, 1u);

    // Whole entries: each a line break, the header, and a frame's dump or
    // the line that says 55 AA went back.
    std::string log;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().string().ends_with("C.txt")) {
            std::ifstream in(e.path(), std::ios::binary);
            log.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
    ASSERT_FALSE(log.empty());
    EXPECT_LE(log.size(), 300u);
    for (size_t at = 0, next; at < log.size(); at = next) {
        next = std::min(log.find("\r\n", at + 2), log.size());
        const std::string entry = log.substr(at, next - at);
        const std::string text = entry.size() > 29 ? entry.substr(29) : "";
        EXPECT_TRUE(entry.starts_with("\r\n 20") && entry.compare(22, 7, " ------") == 0 &&
                    ((text.size() == 27 && text.starts_with(" AA ")) || text.ends_with("[SENDING:] 55 AA ")))
            << "a torn entry: " << entry;
    }

    const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
    ASSERT_EQ(::prlimit(tkw->Pid(), RLIMIT_FSIZE, &unlimited, nullptr), 0);
    EXPECT_NE(Line(*tkw, "C.txt is written again", 4s), "");
    EXPECT_EQ(tkw->Stop(SIGTERM), 0);
}

}  // namespace
