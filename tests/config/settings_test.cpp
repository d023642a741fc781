// The configuration file: what a load takes from files of every size, the
// exact bytes of the record, and a save that never leaves a damaged file.
#include <gtest/gtest.h>

#include <optional>

#include "engine/settings_report.h"
#include "config/settings.h"
#include "support/faulty_fs.h"
#include "support/fakes.h"

namespace tkw::test {
namespace {

// A record put together byte by byte, as another tool (or an older build)
// would have written it. High bytes of the widened 8-bit fields and the
// padding hold junk that a load must ignore and a save must not carry over.
std::string HandRecord() {
    std::string r(kConfigRecordSize, '\xEE');
    const unsigned char head[12] = {200, 12, 3, 60, 0x3B, 0x01, 45, 0x02, 24, 0x7F, 0xE7, 0x03};
    r.replace(0, 12, reinterpret_cast<const char*>(head), 12);
    r.replace(16, 8, std::string("\0\0\0\0\0\0\xE0\x3F", 8));   // slot 1: 0.5
    r.replace(208, 8, std::string("\0\0\0\0\0\0\xE8\x3F", 8));  // slot 25: 0.75
    for (int slot = 1; slot < 24; ++slot) r.replace(16 + 8 * slot, 8, std::string(8, '\0'));
    r[216] = 1;
    r[217] = 3;
    return r;
}

Settings HandSettings() {
    Settings s;
    s.PortNumber = 200;
    s.BaudCode = 12;
    s.CorrectionMode = 3;
    s.JumpThreshold = 60;
    s.CorrectionSecond = 59;  // 0x013B: only the low byte counts
    s.CorrectionMinute = 45;
    s.DailyPointCount = 24;
    s.FineAdjustMs = 999;
    s.DailyPoints[0] = 0.5;
    s.DailyPoints[24] = 0.75;
    s.NoCorrectOnJump = true;
    s.CodeFormat = 3;
    return s;
}

void ExpectOneBox(const RecordingBoxes& boxes, BoxKind kind, const std::string& caption, const std::string& text) {
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].kind, kind);
    EXPECT_EQ(boxes.shown[0].caption, caption);
    EXPECT_EQ(boxes.shown[0].text, text);
}

Settings Defaults() {
    Settings s;
    ApplyDefaults(s);
    return s;
}

struct LoadCase {
    const char* name;
    std::optional<std::string> file;  // nullopt: no file at all
    LoadOutcome outcome;
    Settings expected;
};

class Load : public ::testing::TestWithParam<LoadCase> {};

TEST_P(Load, TakesWhatTheFileHoldsAndChangesNothingOnDisk) {
    const LoadCase& c = GetParam();
    TempDir dir;
    const std::string path = dir / kConfigFileName;
    if (c.file) WriteFile(path, *c.file);

    Settings s;  // all 0, as before the start-up load
    const LoadResult r = LoadSettings(RealFileSystem(), path, s);
    EXPECT_EQ(r.outcome, c.outcome);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(s, c.expected);
    if (c.file)
        EXPECT_EQ(ReadFile(path), *c.file);
    else
        EXPECT_TRUE(dir.Names().empty()) << "a load must not create the file";
    RecordingBoxes boxes;
    ReportLoad(r, boxes);
    EXPECT_TRUE(boxes.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, Load,
    ::testing::Values(LoadCase{"NoFile", std::nullopt, LoadOutcome::NoFile, Defaults()},
                      LoadCase{"Empty", std::string(), LoadOutcome::ShortFile, Settings{}},
                      LoadCase{"HundredBytes", std::string(100, '\x07'), LoadOutcome::ShortFile, Settings{}},
                      LoadCase{"OneByteShort", HandRecord().substr(0, 223), LoadOutcome::ShortFile, Settings{}},
                      LoadCase{"OneRecord", HandRecord(), LoadOutcome::Loaded, HandSettings()},
                      LoadCase{"FiveHundredBytes", HandRecord() + std::string(276, '\x09'), LoadOutcome::Loaded,
                               HandSettings()}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Save, WritesExactlyOneRecordWithCleanHighBytesAndPadding) {
    std::string expected = HandRecord();
    for (size_t at : {5, 7, 9}) expected[at] = 0;
    for (size_t at : {12, 13, 14, 15, 218, 219, 220, 221, 222, 223}) expected[at] = 0;

    for (const std::string& before : {std::string(), std::string(500, 'x'), std::string(10, 'y')}) {
        TempDir dir;
        const std::string path = dir / kConfigFileName;
        if (!before.empty()) WriteFile(path, before);
        ASSERT_TRUE(savecfg(RealFileSystem(), path, HandSettings()));
        EXPECT_EQ(ReadFile(path), expected) << "file of " << before.size() << " bytes before";
        EXPECT_EQ(dir.Names(), std::vector<std::string>{kConfigFileName});

        Settings back;
        ASSERT_EQ(LoadSettings(RealFileSystem(), path, back).outcome, LoadOutcome::Loaded);
        EXPECT_EQ(back, HandSettings());  // port 200 and all 25 slots survive
    }
}

TEST(Load, FileThatCannotBeOpenedForWritingStopsStartUpWithAWarning) {
    TempDir dir;
    const std::string path = dir / kConfigFileName;
    std::filesystem::create_directory(path);  // root ignores permission bits; a directory stops it too

    Settings s;
    const LoadResult r = LoadSettings(RealFileSystem(), path, s);
    EXPECT_EQ(r.outcome, LoadOutcome::AccessError);
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(s, Settings{});
    RecordingBoxes boxes;
    ReportLoad(r, boxes);
    ExpectOneBox(boxes, BoxKind::Warning, "Warning", "File access error");

    // A save cannot put a file in the directory's place, and cleans up after itself.
    const Status st = savecfg(RealFileSystem(), path, Defaults());
    EXPECT_FALSE(st);
    EXPECT_FALSE(st.error.empty());
    EXPECT_EQ(dir.Names(), std::vector<std::string>{kConfigFileName});
}

TEST(Load, ReadOrCloseFailureIsAStopBoxWithThePlatformText) {
    for (FsOp op : {FsOp::Read, FsOp::Close}) {
        TempDir dir;
        const std::string path = dir / kConfigFileName;
        WriteFile(path, HandRecord());
        FaultyFileSystem fs(op, 1);
        Settings s;
        const LoadResult r = LoadSettings(fs, path, s);
        EXPECT_EQ(r.outcome, LoadOutcome::IoError) << OpName(op);
        EXPECT_FALSE(r.ok());
        RecordingBoxes boxes;
        ReportLoad(r, boxes);
        ExpectOneBox(boxes, BoxKind::Stop, "TKW", FaultyFileSystem::ErrorText(op));
    }
}

class FailedSave : public ::testing::TestWithParam<std::tuple<FsOp, bool>> {};

TEST_P(FailedSave, LeavesThePreviousFileWholeAndNoTemporaryFile) {
    const auto [op, hadFile] = GetParam();
    TempDir dir;
    const std::string path = dir / kConfigFileName;
    const std::string before = HandRecord();
    if (hadFile) WriteFile(path, before);

    Settings s = Defaults();
    s.PortNumber = 7;
    FaultyFileSystem fs(op, 1);
    const Status st = savecfg(fs, path, s);
    ASSERT_TRUE(fs.tripped());
    EXPECT_FALSE(st);
    EXPECT_EQ(st.error, FaultyFileSystem::ErrorText(op));
    if (hadFile) {
        EXPECT_EQ(ReadFile(path), before);
        EXPECT_EQ(dir.Names(), std::vector<std::string>{kConfigFileName});
    } else {
        EXPECT_TRUE(dir.Names().empty());
    }
    RecordingBoxes boxes;
    ReportSave(st, boxes);
    ExpectOneBox(boxes, BoxKind::Stop, "TKW", st.error);

    // The fault has passed: the next save writes a whole record again.
    ASSERT_TRUE(savecfg(fs, path, s));
    const ConfigRecord rec = EncodeConfig(s);
    EXPECT_EQ(ReadFile(path), std::string(rec.begin(), rec.end()));
    EXPECT_EQ(dir.Names(), std::vector<std::string>{kConfigFileName});
    boxes.shown.clear();
    ReportSave(Status::Ok(), boxes);
    EXPECT_TRUE(boxes.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(EveryStep, FailedSave,
                         ::testing::Combine(::testing::Values(FsOp::Open, FsOp::Write, FsOp::Sync, FsOp::Close,
                                                              FsOp::Replace),
                                            ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(OpName(std::get<0>(info.param))) +
                                    (std::get<1>(info.param) ? "_OverOldFile" : "_NoOldFile");
                         });

// By then the new record has replaced the old one, but it may not outlast a
// power cut: the save is reported failed all the same, with nothing left over.
TEST(Save, DirectorySyncFailureIsAFailedSaveWithTheNewRecordInPlace) {
    TempDir dir;
    const std::string path = dir / kConfigFileName;
    WriteFile(path, HandRecord());
    FaultyFileSystem fs(FsOp::SyncDirectory, 1);
    const Status st = savecfg(fs, path, Defaults());
    EXPECT_EQ(st.error, FaultyFileSystem::ErrorText(FsOp::SyncDirectory));
    const ConfigRecord rec = EncodeConfig(Defaults());
    EXPECT_EQ(ReadFile(path), std::string(rec.begin(), rec.end()));
    EXPECT_EQ(dir.Names(), std::vector<std::string>{kConfigFileName});
}

}  // namespace
}  // namespace tkw::test
