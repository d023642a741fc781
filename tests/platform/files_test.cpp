// Files made by a program that runs with the right to set the clock, in
// directories others may write: nothing planted there is followed, saves at
// the same time never collide, a replaced file keeps its owner and mode, and
// a new one is never more open than rw-r--r-- whatever the umask says.
#include <gtest/gtest.h>

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <thread>

#include "config/settings.h"
#include "logs/log_writer.h"
#include "support/child.h"
#include "support/fakes.h"
#include "support/faulty_fs.h"

namespace tkw::test {
namespace {

using namespace std::chrono_literals;

struct stat StatOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

Settings WithFine(int fine) {
    Settings s;
    ApplyDefaults(s);
    s.FineAdjustMs = static_cast<uint16_t>(fine);
    return s;
}

// Sets the umask for the scope of a test.
class Umask {
public:
    explicit Umask(mode_t m) : old_(::umask(m)) {}
    ~Umask() { ::umask(old_); }

private:
    mode_t old_;
};

// A name planted in a directory others can write, as a link to a file of
// someone else's: whatever the program does there, the file it points to is
// neither written, emptied nor made.
struct PlantedCase {
    const char* name;
    const char* planted;  // the name the link is planted at, in the work directory
    std::function<void(const TempDir& dir)> act;
    friend void PrintTo(const PlantedCase& c, std::ostream* os) { *os << c.name; }
};

class PlantedLink : public ::testing::TestWithParam<PlantedCase> {};

TEST_P(PlantedLink, IsNotFollowed) {
    const PlantedCase& c = GetParam();
    TempDir dir, elsewhere;
    const std::string victim = elsewhere / "victim";
    WriteFile(victim, "precious");
    ASSERT_EQ(::symlink(victim.c_str(), (dir / c.planted).c_str()), 0);
    c.act(dir);
    EXPECT_EQ(ReadFile(victim), "precious");
    // Even a link to a file that does not exist yet: it must not be made.
    std::filesystem::remove(victim);
    c.act(dir);
    EXPECT_FALSE(std::filesystem::exists(victim));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / c.planted)) << "the link stays as it was";
}

INSTANTIATE_TEST_SUITE_P(
    Names, PlantedLink,
    ::testing::Values(
        // The name earlier versions gave the settings' temporary file.
        PlantedCase{"SettingsSave", "horalsys.conf.new",
                    [](const TempDir& dir) {
                        ASSERT_TRUE(savecfg(RealFileSystem(), dir / kConfigFileName, WithFine(7)));
                        EXPECT_FALSE(std::filesystem::is_symlink(dir / kConfigFileName));
                    }},
        PlantedCase{"SettingsUpdateLock", "horalsys.conf.lock",
                    [](const TempDir& dir) {
                        UpdateLock lock;
                        bool unavailable = true;
                        EXPECT_FALSE(lock.Acquire(dir / kConfigFileName, 0ms, unavailable));
                        EXPECT_FALSE(unavailable) << "refused, not taken for a directory that cannot be written";
                    }},
        PlantedCase{"Log", "080401S.txt",
                    [](const TempDir& dir) {
                        FakeClock clock(At(2008, 4, 1, 9, 5, 7));
                        RecordingBoxes boxes;
                        std::string why;
                        LogWriter log(RealFileSystem(), clock, boxes, dir.str());
                        log.OnFailure = [&](const std::string&, const std::string& w) { why = w; };
                        log.savelogline(1, "entry");
                        ASSERT_EQ(boxes.shown.size(), 1u);
                        EXPECT_EQ(boxes.shown[0].text, "File access error");
                        EXPECT_EQ(why, "a symbolic link, which is not followed");
                    }},
        PlantedCase{"ReplayWriteCheck", ".tkw-replay-write-check", [](const TempDir& dir) {
                        const std::string cmd = std::string(TKW_REPLAY_EXE) + " --dir " + dir.str() + " " +
                                                TKW_SOURCE_DIR + "/samples/krw_code.cap >/dev/null 2>&1";
                        EXPECT_EQ(std::system(cmd.c_str()), 0);
                    }}),
    [](const auto& info) { return std::string(info.param.name); });

// The owner, group and mode of a replaced file, as far as the process may
// give them (root: all; anyone: the mode); a new file gets rw-r--r-- less
// what the umask takes away, and the file is its owner's alone until whole.
struct ModeCase {
    const char* name;
    int before;  // the existing file's mode, -1 for none
    bool otherOwner;
    mode_t umask;
    mode_t expected;
    friend void PrintTo(const ModeCase& c, std::ostream* os) { *os << c.name; }
};

class SavedFileMode : public ::testing::TestWithParam<ModeCase> {};

TEST_P(SavedFileMode, IsKeptOrAtMostReadableByOthers) {
    const ModeCase& c = GetParam();
    const bool root = ::geteuid() == 0;
    if (c.otherOwner && !root) GTEST_SKIP() << "giving a file to another user needs root";
    const passwd* nobody = ::getpwnam("nobody");
    if (c.otherOwner && !nobody) GTEST_SKIP() << "no user nobody";
    TempDir dir;
    const std::string path = dir / kConfigFileName;
    uid_t uid = ::geteuid();
    gid_t gid = ::getegid();
    if (c.before >= 0) {
        WriteFile(path, "old");
        ASSERT_EQ(::chmod(path.c_str(), static_cast<mode_t>(c.before)), 0);
        if (c.otherOwner) {
            uid = nobody->pw_uid;
            gid = nobody->pw_gid;
            ASSERT_EQ(::chown(path.c_str(), uid, gid), 0);
        }
    }
    Umask scope(c.umask);
    std::vector<mode_t> whileWritten;
    const ConfigRecord rec = EncodeConfig(WithFine(9));
    ASSERT_TRUE(ReplaceWholeFile(RealFileSystem(), path, [&](File& f) {
        for (const std::string& n : dir.Names())
            if (n != kConfigFileName) whileWritten.push_back(StatOf(dir / n).st_mode & 07777);
        return f.Write(std::string_view(reinterpret_cast<const char*>(rec.data()), rec.size()));
    }));
    EXPECT_EQ(whileWritten, std::vector<mode_t>{0600});
    const struct stat st = StatOf(path);
    EXPECT_EQ(st.st_mode & 07777, c.expected);
    EXPECT_EQ(st.st_uid, uid);
    EXPECT_EQ(st.st_gid, gid);

    // A log made under the same umask: the same rule for new files.
    if (c.before < 0) {
        FakeClock clock(At(2008, 4, 1));
        RecordingBoxes boxes;
        LogWriter(RealFileSystem(), clock, boxes, dir.str()).savelogline(0, "x");
        EXPECT_EQ(StatOf(dir / "080401C.txt").st_mode & 07777, c.expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SavedFileMode,
    ::testing::Values(ModeCase{"NewUnderUmask000", -1, false, 0000, 0644},
                      ModeCase{"NewUnderUmask022", -1, false, 0022, 0644},
                      ModeCase{"NewUnderUmask077", -1, false, 0077, 0600},
                      ModeCase{"KeepsAnotherUsersFile", 0640, true, 0022, 0640},
                      ModeCase{"KeepsAModeWiderThanTheUmask", 0664, false, 0077, 0664},
                      ModeCase{"KeepsAPrivateFilePrivate", 0600, false, 0000, 0600}),
    [](const auto& info) { return std::string(info.param.name); });

// Two programs saving at the same time (tkw --set beside another, or beside
// the desktop program's menu): every save succeeds, the file holds one whole
// record, and nothing is left behind. Then the same with a load, change and
// save under the update lock: no change is lost.
TEST(ConcurrentSaves, NeverCollideAndUnderTheLockNoChangeIsLost) {
    TempDir dir;
    const std::string path = dir / kConfigFileName;
    constexpr int kSaves = 150;
    std::atomic<int> failures{0};
    const auto saver = [&](int fine) {
        for (int i = 0; i < kSaves; ++i) failures += !savecfg(RealFileSystem(), path, WithFine(fine));
    };
    std::thread a(saver, 111), b(saver, 222);
    a.join();
    b.join();
    EXPECT_EQ(failures, 0);
    Settings back;
    ASSERT_EQ(LoadSettings(RealFileSystem(), path, back).outcome, LoadOutcome::Loaded);
    EXPECT_TRUE(back == WithFine(111) || back == WithFine(222));
    EXPECT_EQ(dir.Names(), std::vector<std::string>{kConfigFileName});

    // Each adds one to a setting of its own, as two `tkw --set` would.
    ASSERT_TRUE(savecfg(RealFileSystem(), path, WithFine(0)));
    constexpr int kUpdates = 60;
    const auto updater = [&](bool jump) {
        for (int i = 0; i < kUpdates; ++i) {
            UpdateLock lock;
            bool unavailable = false;
            if (!lock.Acquire(path, 10s, unavailable)) {
                ++failures;
                continue;
            }
            Settings s;
            LoadSettings(RealFileSystem(), path, s);
            if (jump)
                ++s.JumpThreshold;
            else
                ++s.FineAdjustMs;
            failures += !savecfg(RealFileSystem(), path, s);
        }
    };
    std::thread c(updater, false), d(updater, true);
    c.join();
    d.join();
    EXPECT_EQ(failures, 0);
    ASSERT_EQ(LoadSettings(RealFileSystem(), path, back).outcome, LoadOutcome::Loaded);
    EXPECT_EQ(back.FineAdjustMs, kUpdates);
    EXPECT_EQ(back.JumpThreshold, 3 + kUpdates);
}

// A directory the program may not write is named in the message, not the
// file it meant to make there.
TEST(FailedSave, NamesADirectoryThatCannotBeWritten) {
    TempDir dir;
    ASSERT_EQ(::chmod(dir.str().c_str(), 0555), 0);  // root's, or read-only for its owner
    const std::string expected = "the directory " + dir.str() + " cannot be written: Permission denied";
    EXPECT_EQ(RunAsNobody([&] {
                  const std::string why = FailureReason(savecfg(RealFileSystem(), dir / kConfigFileName, WithFine(1)));
                  std::fprintf(stderr, "%s\n", why.c_str());
                  return why == expected ? 0 : 1;
              }),
              0);
    ::chmod(dir.str().c_str(), 0755);
}

// The copy of a capture read from standard input: nobody else can open it,
// whatever the umask, and it has no name left in the temporary directory.
TEST(PrivateTemporaryStream, IsItsOwnersAloneAndHasNoName) {
    TempDir tmp;
    const char* old = std::getenv("TMPDIR");
    const std::string saved = old ? old : "";
    ::setenv("TMPDIR", tmp.str().c_str(), 1);
    Umask scope(0);
    std::string error;
    std::unique_ptr<std::iostream> s = PrivateTemporaryStream(error);
    if (old)
        ::setenv("TMPDIR", saved.c_str(), 1);
    else
        ::unsetenv("TMPDIR");
    ASSERT_TRUE(s) << error;
    *s << "capture line\n";
    s->flush();
    s->seekg(0);
    std::string line;
    std::getline(*s, line);
    EXPECT_EQ(line, "capture line");
    EXPECT_TRUE(tmp.Names().empty());
    // The stream's descriptor, found by where it leads.
    int checked = 0;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        const std::string target = std::filesystem::read_symlink(fd.path(), ec).string();
        struct stat st {};
        if (target.rfind(tmp.str() + "/", 0) == 0 && ::stat(fd.path().c_str(), &st) == 0) {
            EXPECT_EQ(st.st_mode & 0777, 0600u) << target;
            ++checked;
        }
    }
    EXPECT_EQ(checked, 1);
}

}  // namespace
}  // namespace tkw::test
