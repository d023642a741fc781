// The Linux program as a program that runs with the right to set the clock,
// for months: started as a careless service manager or a shell pipe would,
// ended by a hang-up, refused what can never work, and kept sane on a full
// disk and beside a second `tkw --set`.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
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
using tkw::test::PtyPair;

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

    // Sends `sig` (none: 0) and gives the program `within` to end: its exit
    // status, or -1 when it had to be killed.
    static int EndsWithin(Child& c, int sig, std::chrono::milliseconds within) {
        if (sig) ::kill(c.Pid(), sig);
        for (auto until = std::chrono::steady_clock::now() + within;
             c.Running() && std::chrono::steady_clock::now() < until;)
            std::this_thread::sleep_for(50ms);
        return c.Stop(SIGKILL);
    }
    // A pseudo-terminal pair: tkw's end at dir/pc, the receiver's at dir/receiver.
    std::unique_ptr<Child> Pair() {
        return PtyPair(dir / "receiver", dir / "pc", dir);
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

// What stands at the settings' name: a file shorter than a record is not
// changed into one of zeros (--set --reset mends it from the defaults); a
// pipe is refused at once by every command, although a run has the stop
// signals blocked while it loads (a hang there outlasts systemctl stop); a
// link is not replaced by a file while what it points to keeps the old
// settings.
struct SettingsFileCase {
    const char* name;
    void (*make)(const fs::path& dir);  // what is put at horalsys.conf
    std::vector<std::string> args;
    int status;
    std::vector<std::string> said;          // each a part of some line
    void (*check)(const fs::path& dir);     // what is there after
    friend void PrintTo(const SettingsFileCase& c, std::ostream* os) { *os << c.name; }
};

class SettingsFile : public LinuxSafety, public ::testing::WithParamInterface<SettingsFileCase> {};

TEST_P(SettingsFile, IsChangedOnlyWhenThatIsSafe) {
    const SettingsFileCase& c = GetParam();
    c.make(dir);
    auto tkw = Tkw(c.args);
    EXPECT_EQ(EndsWithin(*tkw, 0, 5s), c.status) << "not ended within 5 s, or not with that status";
    for (const std::string& part : c.said) EXPECT_NE(Line(*tkw, part, 1s), "") << part;
    c.check(dir);
}

void ShortFile(const fs::path& dir) { std::ofstream(dir / "horalsys.conf", std::ios::binary) << std::string(100, 'x'); }
void Fifo(const fs::path& dir) { ASSERT_EQ(::mkfifo((dir / "horalsys.conf").c_str(), 0644), 0); }
// A link to a file elsewhere, which holds fine=7.
void Link(const fs::path& dir) {
    fs::create_directories(dir / "elsewhere");
    tkw::Settings s;
    tkw::ApplyDefaults(s);
    s.FineAdjustMs = 7;
    ASSERT_TRUE(tkw::savecfg(tkw::RealFileSystem(), (dir / "elsewhere" / "horalsys.conf").string(), s));
    fs::create_symlink("elsewhere/horalsys.conf", dir / "horalsys.conf");
}
void StillShort(const fs::path& dir) {
    std::ifstream in(dir / "horalsys.conf", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), std::string(100, 'x'));
}
void StillFifo(const fs::path& dir) { EXPECT_TRUE(fs::is_fifo(dir / "horalsys.conf")); }
void LinkAsItWas(const fs::path& dir) {
    EXPECT_TRUE(fs::is_symlink(dir / "horalsys.conf"));
    tkw::Settings s;
    tkw::LoadSettings(tkw::RealFileSystem(), (dir / "elsewhere" / "horalsys.conf").string(), s);
    EXPECT_EQ(s.FineAdjustMs, 7);
}
void DefaultsAndFine5(const fs::path& dir) {
    tkw::Settings s, expected;
    tkw::ApplyDefaults(expected);
    expected.FineAdjustMs = 5;
    EXPECT_EQ(tkw::LoadSettings(tkw::RealFileSystem(), (dir / "horalsys.conf").string(), s).outcome,
              tkw::LoadOutcome::Loaded);
    EXPECT_TRUE(s == expected);
}

const std::vector<std::string> kAccessError{"Warning: File access error", "  horalsys.conf: not a plain file"};
const std::string kLinkSaid = "horalsys.conf is a symbolic link to elsewhere/horalsys.conf, which a save would replace";

INSTANTIATE_TEST_SUITE_P(
    Kinds, SettingsFile,
    ::testing::Values(
        SettingsFileCase{"ShortSetRefused", ShortFile, {"--set", "fine=5"}, 1,
                         {"tkw: horalsys.conf is shorter than one record (100 of 224 bytes)",
                          "left as it was; tkw --set --reset NAME=VALUE ... starts from the built-in defaults"},
                         StillShort},
        SettingsFileCase{"ShortMendedByReset", ShortFile, {"--set", "--reset", "fine=5"}, 0, {"saved"},
                         DefaultsAndFine5},
        SettingsFileCase{"PipeShown", Fifo, {"--show-settings"}, 1, kAccessError, StillFifo},
        SettingsFileCase{"PipeSet", Fifo, {"--set", "fine=5"}, 1, kAccessError, StillFifo},
        SettingsFileCase{"PipeRun", Fifo, {"--dry-run"}, 1, kAccessError, StillFifo},
        SettingsFileCase{"PipeNotReplacedByReset", Fifo, {"--set", "--reset", "fine=5"}, 1,
                         {"horalsys.conf: not a plain file"}, StillFifo},
        SettingsFileCase{"LinkSetRefused", Link, {"--set", "fine=5"}, 1, {kLinkSaid, "nothing is written"},
                         LinkAsItWas}),
    [](const auto& info) { return std::string(info.param.name); });

// What saves killed halfway left (horalsys.conf.<16 hex digits>.new) is
// removed by --set and at a run's start: those names alone, plain files of
// this user's alone, never a link or another user's file.
TEST_F(LinuxSafety, LeftoversOfKilledSavesAreRemovedAndNothingElse) {
    const std::string ours = "horalsys.conf.0123456789abcdef.new";
    fs::create_directories(dir / "elsewhere");
    std::ofstream(dir / "elsewhere" / "victim") << "precious";
    std::vector<std::string> kept{"horalsys.conf.0123456789ABCDEF.new", "horalsys.conf.0123456789abcde.new",
                                  "horalsys.conf.0123456789abcdef.new.old", "other.conf.0123456789abcdef.new"};
    for (const std::string& name : kept) std::ofstream(dir / name) << "x";
    fs::create_symlink(dir / "elsewhere" / "victim", dir / "horalsys.conf.fedcba9876543210.new");
    kept.push_back("horalsys.conf.fedcba9876543210.new");
    const passwd* nobody = ::getpwnam("nobody");
    if (::geteuid() == 0 && nobody) {
        std::ofstream(dir / "horalsys.conf.1111111111111111.new") << "x";
        ASSERT_EQ(::chown((dir / "horalsys.conf.1111111111111111.new").c_str(), nobody->pw_uid, nobody->pw_gid), 0);
        kept.push_back("horalsys.conf.1111111111111111.new");
    }

    for (const bool run : {false, true}) {
        SCOPED_TRACE(run ? "a run" : "--set");
        std::ofstream(dir / ours) << "half a record";
        auto tkw = Tkw(run ? std::vector<std::string>{"--dry-run"} : std::vector<std::string>{"--set", "fine=5"});
        EXPECT_NE(Line(*tkw, "tkw: removed 1 file that saves cut short left behind (" + ours + ")"), "");
        EXPECT_EQ(run ? tkw->Stop(SIGTERM) : tkw->Wait(), 0);
        EXPECT_FALSE(fs::exists(dir / ours));
        for (const std::string& name : kept) EXPECT_TRUE(fs::exists(fs::symlink_status(dir / name))) << name;
    }
    std::ifstream in(dir / "elsewhere" / "victim");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "precious");
}

// A run, a detection or a calibration ended by SIGTERM gives its port back as it found it:
// not left exclusive (TIOCEXCL), which would keep every later ordinary
// user's open out for as long as another process holds the device (here
// socat, a pseudo-terminal's other side). Root's opens pass TIOCEXCL, so the
// flag is read back rather than an open tried.
struct EndCase {
    const char* name;
    std::vector<std::string> args;
    int status;
    friend void PrintTo(const EndCase& c, std::ostream* os) { *os << c.name; }
};

class EndedBySigterm : public LinuxSafety, public ::testing::WithParamInterface<EndCase> {};

TEST_P(EndedBySigterm, LeavesThePortOpenToOthers) {
    if (std::system("command -v socat >/dev/null 2>&1") != 0) GTEST_SKIP() << "socat is not installed";
    auto socat = Pair();
    ASSERT_TRUE(fs::exists(dir / "pc"));
    // 1 exclusive, 0 not, -1 an open refused (as exclusive refuses a user's).
    const auto exclusive = [&] {
        const int fd = ::open((dir / "pc").c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return errno == EBUSY ? 1 : -1;
        int state = -1;
        if (::ioctl(fd, TIOCGEXCL, &state) != 0) state = -1;
        ::close(fd);
        return state;
    };
    std::vector<std::string> args = GetParam().args;
    args.insert(args.end(), {"--map", "COM1=" + (dir / "pc").string()});
    auto tkw = Tkw(args);
    for (int i = 0; i < 60 && exclusive() != 1; ++i) std::this_thread::sleep_for(50ms);
    ASSERT_EQ(exclusive(), 1) << "the port is the program's alone while it runs";
    EXPECT_EQ(EndsWithin(*tkw, SIGTERM, 3s), GetParam().status);
    EXPECT_EQ(exclusive(), 0);
}

INSTANTIATE_TEST_SUITE_P(Commands, EndedBySigterm,
                         ::testing::Values(EndCase{"Run", {"--dry-run"}, 0},
                                           EndCase{"Detect", {"--detect", "COM1", "--save"}, 1},
                                           EndCase{"Calibrate", {"--calibrate", "--trust-clock", "--save"}, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

// A pipe at the name of today's communication log: not a file the entries
// can go to (writing there would wait for a reader), said once, and the run
// goes on and ends as usual.
TEST_F(LinuxSafety, APipeAtTheLogsNameIsRefusedOnceAndTheRunGoesOn) {
    const std::time_t now = std::time(nullptr);
    char log[16];
    std::strftime(log, sizeof log, "%y%m%dC.txt", std::localtime(&now));
    ASSERT_EQ(::mkfifo((dir / log).c_str(), 0644), 0);
    if (std::system("command -v socat >/dev/null 2>&1") != 0) GTEST_SKIP() << "socat is not installed";
    auto socat = Pair();
    ASSERT_TRUE(fs::exists(dir / "pc"));
    auto tkw = Tkw({"--dry-run", "--comm-log", "--map", "COM1=" + (dir / "pc").string()});
    Child sim({TKW_SIM_EXE, "--device", (dir / "receiver").string(), "--format", "1"}, dir);
    EXPECT_NE(Line(*tkw, std::string("  ") + log + ": not a plain file", 5s), "");
    std::this_thread::sleep_for(2500ms);  // the next tries to write it
    EXPECT_TRUE(tkw->Running());
    EXPECT_EQ(EndsWithin(*tkw, SIGTERM, 3s), 0);
    size_t said = 0;
    for (const std::string& l : tkw->Lines()) said += Has(l, "File access error");
    EXPECT_EQ(said, 1u);
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
    auto socat = Pair();
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
