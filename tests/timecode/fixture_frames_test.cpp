// The Python scripts that make fixtures (the sample captures, the benchmark's
// long capture, the fuzzers' seeds) build their frames by hand. Each frame
// they build must be the one the program's encoder makes for the same date
// and time, or the fixtures would exercise a layout the program does not use.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "support/frames.h"

namespace tkw::test {
namespace {

TEST(FixtureScripts, BuildTheEncodersFrames) {
    const std::string cmd = std::string("'") + TKW_PYTHON3 + "' '" + TKW_SOURCE_DIR +
                            "/tests/timecode/fixture_frames.py' '" + TKW_SOURCE_DIR + "'";
    FILE* p = ::popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string text;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) text.append(buf, n);
    ASSERT_EQ(::pclose(p), 0) << cmd;

    int lines = 0;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line); ++lines) {
        SCOPED_TRACE(line);
        std::istringstream words(line);
        std::string source;
        int code = 0, y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
        words >> source >> code >> y >> mo >> d >> h >> mi >> s;
        Bytes built;
        for (std::string hex; words >> hex;) built.push_back(static_cast<uint8_t>(std::stoul(hex, nullptr, 16)));
        EXPECT_EQ(built, Encoded(static_cast<uint8_t>(code), h, mi, s, y, mo, d));
    }
    EXPECT_EQ(lines, 24);  // three scripts, seven builders (one with two ways to call), three instants
}

}  // namespace
}  // namespace tkw::test
