// The capture-file parser of tkw-replay: what it takes, and the one-line
// reason it gives for the first line it cannot take.
#include <gtest/gtest.h>

#include <sstream>

#include "replay/capture.h"

namespace tkw::replay {
namespace {

std::string Bytes(int count) {
    std::string s;
    for (int i = 0; i < count; ++i) s += " 5a";
    return s;
}

// Every chunk line the reader gives for `text`, and its error ("" when it
// read to the end).
struct ReadResult {
    std::vector<CaptureLine> lines;
    std::string error;
};

ReadResult ReadCapture(const std::string& text, const std::string& name) {
    std::istringstream in(text);
    CaptureReader reader(in, name);
    ReadResult r;
    for (CaptureLine line; reader.Next(line);) r.lines.push_back(line);
    r.error = reader.error();
    return r;
}

TEST(Capture, TakesChunksAndTimeOnlyLines) {
    const ReadResult r = ReadCapture(
        "# recorded 2026-01-01\r\n"
        "\r\n"
        "   \t\n"
        "  # indented comment\n"
        "0 AA 00 ff\r\n"
        "\t15\tAa  0b \n"
        "15\n"
        "1000" + Bytes(255) + "\n"
        "1000",  // last line without a line break
        "cap.txt");
    ASSERT_EQ(r.error, "");
    const std::vector<CaptureLine>& lines = r.lines;
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0].elapsedMs, 0);
    EXPECT_EQ(lines[0].bytes, (std::vector<uint8_t>{0xAA, 0x00, 0xFF}));
    EXPECT_EQ(lines[1].elapsedMs, 15);
    EXPECT_EQ(lines[1].bytes, (std::vector<uint8_t>{0xAA, 0x0B}));
    EXPECT_EQ(lines[2].elapsedMs, 15);
    EXPECT_TRUE(lines[2].bytes.empty());
    EXPECT_EQ(lines[3].bytes, std::vector<uint8_t>(255, 0x5A));
    EXPECT_EQ(lines[4].elapsedMs, 1000);
    EXPECT_TRUE(lines[4].bytes.empty());
}

TEST(Capture, FirstMalformedLineIsNamedWithItsReason) {
    struct Case {
        std::string text;
        std::string error;
    } cases[] = {
        {"x12 AA\n", "c:1: elapsed time 'x12' is not a decimal number of milliseconds"},
        {"# one\n\n-5 AA\n", "c:3: elapsed time '-5' is not a decimal number of milliseconds"},
        {"+5\n", "c:1: elapsed time '+5' is not a decimal number of milliseconds"},
        {"10AA\n", "c:1: elapsed time '10AA' is not a decimal number of milliseconds"},
        {"1.5\n", "c:1: elapsed time '1.5' is not a decimal number of milliseconds"},
        {"99999999999999999999999999\n", "c:1: elapsed time '99999999999999999999999999' is too large"},
        {"1000000000001\n", "c:1: elapsed time '1000000000001' is too large"},
        {"100 AA\r\n50 AA\r\n", "c:2: elapsed time 50 is before the previous line's 100"},
        {"10 AAA\n", "c:1: 'AAA' is not a byte of two hex digits"},
        {"10 A\n", "c:1: 'A' is not a byte of two hex digits"},
        {"10 AA G1\n", "c:1: 'G1' is not a byte of two hex digits"},
        {"10 AA # note\n", "c:1: '#' is not a byte of two hex digits"},
        {"10 0x\n", "c:1: '0x' is not a byte of two hex digits"},
        {"1\n2\n3" + Bytes(256) + "\n", "c:3: more than 255 bytes on one line"},
        {"5 AA\n5 AA\n4\n1 zz\n", "c:3: elapsed time 4 is before the previous line's 5"},  // the first fault only
    };
    for (const Case& c : cases) EXPECT_EQ(ReadCapture(c.text, "c").error, c.error) << c.text;
    // The largest time taken still parses; an empty capture is no error.
    const ReadResult largest = ReadCapture("1000000000000\n", "c");
    EXPECT_EQ(largest.error, "");
    EXPECT_EQ(largest.lines.at(0).elapsedMs, kMaxElapsedMs);
    const ReadResult empty = ReadCapture("", "c");
    EXPECT_EQ(empty.error, "");
    EXPECT_TRUE(empty.lines.empty());
}

}  // namespace
}  // namespace tkw::replay
