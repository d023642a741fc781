// The daily offsets file: a row's exact text, the header once, a file that
// fails and recovers, and reading back a damaged file.
#include <gtest/gtest.h>

#include "logs/offsets_file.h"
#include "support/fakes.h"
#include "support/faulty_fs.h"

namespace tkw::test {
namespace {

OffsetRow Row(SystemTime minute, int frames, double mean, double min, double max, double sd,
              std::optional<double> step = {}, std::optional<double> drift = {}) {
    return {minute, frames, mean, min, max, sd, step, drift};
}

TEST(OffsetsFile, RowText) {
    const struct {
        OffsetRow row;
        const char* text;
    } cases[] = {
        {Row(At(2026, 3, 14, 8, 5, 59, 999), 28, 0.2134, -1.5, 2.0, 0.8451, -1.3716, 24.954),
         "2026-03-14 08:05,28,0.213,-1.500,2.000,0.845,-1.372,24.95\r\n"},
        // Rounding to zero leaves no minus sign; no step and no drift: empty.
        {Row(At(2026, 1, 2, 23, 59), 1, -0.0004, -0.0004, -0.0004, 0), "2026-01-02 23:59,1,0.000,0.000,0.000,0.000,,\r\n"},
        // No frames: the offsets are empty, whatever the row holds.
        {Row(At(2026, 12, 31, 0, 0), 0, 9, 9, 9, 9, 1.25, -3.0), "2026-12-31 00:00,0,,,,,1.250,-3.00\r\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatOffsetRow(c.row), c.text);
}

TEST(OffsetsFile, HeaderOnceInANewOrEmptyFileAndADayAFile) {
    TempDir dir;
    WriteFile(dir / "260315O.csv", "");  // made empty by hand: it gets the header too
    OffsetsWriter writer(RealFileSystem(), dir.str());
    EXPECT_TRUE(writer.Write(Row(At(2026, 3, 14, 23, 58), 2, 1, 0.5, 1.5, 0.5)));
    EXPECT_TRUE(writer.Write(Row(At(2026, 3, 14, 23, 59), 0, 0, 0, 0, 0)));
    EXPECT_TRUE(writer.Write(Row(At(2026, 3, 15, 0, 0), 1, 2, 2, 2, 0)));
    const std::string header = std::string(kOffsetsHeader) + "\r\n";
    EXPECT_EQ(ReadFile(dir / "260314O.csv"), header + "2026-03-14 23:58,2,1.000,0.500,1.500,0.500,,\r\n" +
                                                 "2026-03-14 23:59,0,,,,,,\r\n");
    EXPECT_EQ(ReadFile(dir / "260315O.csv"), header + "2026-03-15 00:00,1,2.000,2.000,2.000,0.000,,\r\n");
}

// A disk that fills up: two rows in a row fail, each after writing half of
// itself. The file keeps whole rows only, and the failure is said once and
// once when a row gets through again.
TEST(OffsetsFile, AFailingFileIsSaidOnceAndKeepsWholeRows) {
    TempDir dir;
    FaultyFileSystem fs(FsOp::Write, 2, 2, /*torn=*/true);
    OffsetsWriter writer(fs, dir.str());
    std::vector<std::string> said;
    writer.OnFailure = [&](const std::string& path, const std::string& why) { said.push_back("fail " + path + ": " + why); };
    writer.OnRecovered = [&](const std::string& path) { said.push_back("back " + path); };
    std::vector<bool> written;
    for (int m = 0; m < 4; ++m) written.push_back(writer.Write(Row(At(2026, 3, 14, 8, m), 1, m, m, m, 0)));

    EXPECT_EQ(written, (std::vector<bool>{true, false, false, true}));
    const std::string path = dir / "260314O.csv";
    EXPECT_EQ(said, (std::vector<std::string>{"fail " + path + ": injected Write failure", "back " + path}));
    EXPECT_EQ(ReadFile(path), std::string(kOffsetsHeader) + "\r\n" +
                                  "2026-03-14 08:00,1,0.000,0.000,0.000,0.000,,\r\n"
                                  "2026-03-14 08:03,1,3.000,3.000,3.000,0.000,,\r\n");
}

TEST(OffsetsFile, ReadingSkipsAndCountsWhatIsNotAWholeRow) {
    const std::string text = std::string("\xEF\xBB\xBF") + std::string(kOffsetsHeader) +
                             "\r\n"
                             "2026-03-14 08:00,2,1.000,0.500,1.500,0.500,,\r\n"
                             "garbage\r\n"
                             "2026-03-14 08:01,0,,,,,-2.000,\n"     // LF alone
                             "2026-03-14 08:02,3,,0.5,1.5,0.5,,\r\n"  // frames but no mean
                             "2026-03-14 08:03,1,1,1,1,0,,,\r\n"      // a ninth field
                             "2026-03-14 8:04,1,1,1,1,0,,\r\n"        // not a time
                             "\r\n"
                             "2026-03-14 08:05,1,-1.000,-1.000,-1.000,0.000,0.500,25.00\r\n"
                             "2026-03-14 08:06,1,1.000,1.000,1.000,0.000,,2";  // cut short in its drift
    const OffsetsDay day = ParseOffsets(text);
    EXPECT_EQ(day.badLines, 5);
    ASSERT_EQ(day.rows.size(), 3u);
    EXPECT_EQ(FormatOffsetRow(day.rows[0]), "2026-03-14 08:00,2,1.000,0.500,1.500,0.500,,\r\n");
    EXPECT_EQ(FormatOffsetRow(day.rows[1]), "2026-03-14 08:01,0,,,,,-2.000,\r\n");
    EXPECT_EQ(FormatOffsetRow(day.rows[2]), "2026-03-14 08:05,1,-1.000,-1.000,-1.000,0.000,0.500,25.00\r\n");
}

}  // namespace
}  // namespace tkw::test
