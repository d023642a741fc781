// End-to-end runs of the tkw-replay program over the shipped samples and over
// small captures, checking what a user sees: the events on standard output,
// the log files, and the refusals of bad input.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "config/settings.h"
#include "logs/offsets_file.h"

namespace fs = std::filesystem;

namespace {

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> Lines(const std::string& text, const std::string& prefix = "") {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(prefix, 0) == 0) out.push_back(line);
    return out;
}

class ReplayRun : public ::testing::Test {
protected:
    void SetUp() override {
        // A parameterised test's name holds a '/', which would leave the
        // directory above behind.
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '-');
        dir = fs::temp_directory_path() / ("tkw-replay-" + std::to_string(::getpid()) + "-" + name);
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    RunResult Replay(const std::string& args, const std::string& stdinText = "") {
        const fs::path errFile = dir / "stderr.txt";
        const fs::path inFile = dir / "stdin.txt";
        std::ofstream(inFile, std::ios::binary) << stdinText;
        const std::string cmd = std::string(TKW_REPLAY_EXE) + " " + args + " <" + inFile.string() + " 2>" +
                                errFile.string();
        RunResult r;
        FILE* p = ::popen(cmd.c_str(), "r");
        char buf[4096];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
        const int st = ::pclose(p);
        r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
        r.err = ReadAll(errFile);
        return r;
    }

    std::string Sample(const std::string& name) { return std::string(TKW_SOURCE_DIR) + "/samples/" + name; }

    std::string Capture(const std::string& text) {
        const fs::path p = dir / "capture.cap";
        std::ofstream(p, std::ios::binary) << text;
        return p.string();
    }

    fs::path dir;
};

struct SampleCase {
    const char* name;
    int format;
    friend void PrintTo(const SampleCase& c, std::ostream* os) { *os << c.name; }
};

class SampleReplay : public ReplayRun, public ::testing::WithParamInterface<SampleCase> {};

// Each sample: a receiver 8 h ahead of the PC, noise, a split frame, and a
// frame 30 s off on a scheduled second.
TEST_P(SampleReplay, CorrectsOnScheduleAndRefusesTheJump) {
    const SampleCase c = GetParam();
    const RunResult r = Replay("--format " + std::to_string(c.format) + " --monitor --comm-log --tick --dir " +
                         dir.string() + " " + Sample(std::string(c.name) + ".cap"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");

    // The start-up correction, 8 h, made from the second frame, which agrees
    // with the first; then second 31 of each minute; the jump frame (08:01:31
    // sent at 08:01:01) is not corrected.
    EXPECT_EQ(Lines(r.out, "SET "), (std::vector<std::string>{"SET 2026-01-01 08:00:21.135",
                                                              "SET 2026-01-01 08:00:31.135",
                                                              "SET 2026-01-01 08:01:31.135"}));
    EXPECT_EQ(Lines(r.out, "TX 55").size(), 3u);
    // Every frame is seen once, noise and split frame included.
    EXPECT_EQ(Lines(r.out, "MON 【").size(), 75u);

    // Red at start, yellow while the first frame's step waits for the second,
    // green once it is made, yellow from the jump until the next scheduled
    // correction.
    const std::vector<std::string> ticks = Lines(r.out, "TICK ");
    ASSERT_EQ(ticks.size(), 76u);
    EXPECT_EQ(ticks.front(), "TICK 0:00:00 red");
    for (const auto& [label, colour] : std::vector<std::pair<std::string, std::string>>{
             {"0:00:01", "yellow"}, {"8:00:21", "green"}, {"8:01:01", "green"}, {"8:01:02", "yellow"}, {"8:01:31", "yellow"},
             {"8:01:32", "green"}}) {
        EXPECT_NE(std::find(ticks.begin(), ticks.end(), "TICK " + label + " " + colour), ticks.end())
            << label << " " << colour;
    }

    EXPECT_EQ(ReadAll(dir / "260101S.txt"),
              "\r\n 2026-01-01 00:00:00 ------跳动发生！接收时间信息是：8:0:20  当前机器时间是：0:0:0  跳动设置是：3秒"
              "\r\n 2026-01-01 08:01:01 ------跳动发生！接收时间信息是：8:1:31  当前机器时间是：8:1:1  跳动设置是：3秒");
    const std::string comm = ReadAll(dir / "260101C.txt");
    EXPECT_EQ(comm.rfind("\r\n 2026-01-01 00:00:00 ------ AA ", 0), 0u);
    EXPECT_NE(comm.find("------08:00:31[SENDING:] 55 AA "), std::string::npos);

    EXPECT_EQ(r.out, ReadAll(std::string(TKW_SOURCE_DIR) + "/tests/replay/golden/" + c.name + ".out"));
}

INSTANTIATE_TEST_SUITE_P(Formats, SampleReplay,
                         ::testing::Values(SampleCase{"krw_code", 1}, SampleCase{"pl_code", 2},
                                           SampleCase{"mn_code", 3}),
                         [](const auto& info) { return std::string(info.param.name); });

// A misread frame at start-up is not taken: the step it asks for (years) waits
// for the next frame, which does not agree; it is dropped, with a line in the
// jump log, and the next frame, in step, corrects.
TEST_F(ReplayRun, MisreadFrameDoesNotStepTheClock) {
    const RunResult r = Replay("--tick --monitor --dir " + dir.string() + " " + Sample("misread_frame.cap"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, ReadAll(std::string(TKW_SOURCE_DIR) + "/tests/replay/golden/misread_frame.out"));
    EXPECT_EQ(Lines(r.out, "SET "), std::vector<std::string>{"SET 2026-01-01 00:00:01.135"});
    EXPECT_EQ(ReadAll(dir / "260101S.txt"),
              "\r\n 2026-01-01 00:00:00 ------跳动发生！接收时间信息是：3:12:7  当前机器时间是：0:0:0  跳动设置是：3秒"
              "\r\n 2026-01-01 00:00:00 ------跳动发生！接收日期信息是：2031-7-9  当前机器日期是：2026-1-1  跳动设置是：3秒"
              "\r\n 2026-01-01 00:00:01 ------跳动未获下一帧确认，不校时！接收时间信息是：2031-7-9 3:12:7  "
              "下一帧时间信息是：2026-1-1 0:0:1");
}

// The parser's reasons are tested with the parser; here: nothing runs, not
// even the good lines before the bad one.
TEST_F(ReplayRun, MalformedCaptureIsRefusedBeforeAnythingRuns) {
    const std::string path = Capture("0 AA 00 26 01 01 00 00 00 01\n100 AA 0G\n");
    const RunResult r = Replay("--dir " + dir.string() + " " + path);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "tkw-replay: " + path + ":2: '0G' is not a byte of two hex digits\n");
}

// Receivers that once left the clock wrong for good: what each capture makes
// of the clock (every step it takes), and what the jump log says of it.
TEST_F(ReplayRun, NoReceiverFaultLeavesTheClockWrong) {
    struct Case {
        const char* capture;
        const char* options;
        std::vector<std::string> sets;
        const char* logged;  // a line the jump log must hold
    } cases[] = {
        {"noise_at_start", "", {"SET 2026-01-01 00:00:11.135", "SET 2026-01-01 00:00:31.135"},
         "跳动发生！接收日期信息是：2028-44-133"},
        {"repeated_misread", "", {"SET 2026-01-01 00:00:02.135"}, "接收时间未走动，不校时！接收时间信息是：2031-7-9 3:12:7"},
        {"stuck_receiver", "", {}, "接收时间未走动，不校时！接收时间信息是：2026-1-1 0:0:31"},
        {"misread_59_minutes", "", {"SET 2026-01-01 00:00:01.135"}, "跳动未获下一帧确认，不校时！接收时间信息是：2026-1-1 0:59:0"},
        {"dead_battery", "--start '2001-01-01 00:00:00.000'", {"SET 2026-01-01 08:00:02.135"},
         "跳动未获下一帧确认，不校时！接收时间信息是：2026-1-1 8:0:0  下一帧时间信息是：2031-7-9 3:12:7"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.capture);
        for (const auto& old : fs::directory_iterator(dir)) fs::remove(old.path());
        const RunResult r = Replay(std::string(c.options) + " --dir " + dir.string() + " " + Sample(std::string(c.capture) + ".cap"));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(Lines(r.out, "SET "), c.sets);
        std::string log;
        for (const auto& f : fs::directory_iterator(dir))
            if (f.path().filename().string().find("S.txt") != std::string::npos) log += ReadAll(f.path());
        EXPECT_NE(log.find(c.logged), std::string::npos) << log;
    }
}

// An hour of a receiver in step with a PC whose clock gains 25 ppm,
// corrected every minute: the offsets file has a whole row a minute, the
// drift the replay was given, and the small offsets a minute's drift leaves.
TEST_F(ReplayRun, TheOffsetsFileShowsTheDriftOfAnHour) {
    std::string cap;
    for (int k = 0; k <= 3600; ++k) {
        char line[64];
        std::snprintf(line, sizeof line, "%d AA 00 26 01 01 00 %02X %02X %02X\n", 200 + 1000 * k,
                      (k / 3600 / 10) * 16 + k / 3600 % 10, (k / 60 % 60 / 10) * 16 + k / 60 % 60 % 10,
                      (k % 60 / 10) * 16 + k % 60 % 10);
        cap += line;
    }
    const RunResult r = Replay("--drift-ppm 25 --no-jump-log --dir " + dir.string() + " " + Capture(cap));
    ASSERT_EQ(r.status, 0) << r.err;
    tkw::OffsetsDay day;
    ASSERT_TRUE(tkw::ReadOffsetsFile((dir / "260101O.csv").string(), day));
    EXPECT_EQ(day.badLines, 0);
    ASSERT_EQ(day.rows.size(), 61u);  // 00:00 to 01:00
    for (size_t i = 0; i < day.rows.size(); ++i) {
        const tkw::OffsetRow& row = day.rows[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(row.minute.wHour * 60 + row.minute.wMinute, static_cast<int>(i));
        if (i == 0 || i == 60) continue;  // the first frames, and the hour's last second
        EXPECT_EQ(row.frames, 28);        // after the correction at second 31
        EXPECT_GT(row.meanMs, 0.2);       // 25 us a second since the step
        EXPECT_LT(row.meanMs, 0.5);
        ASSERT_TRUE(row.stepMs.has_value());
        ASSERT_TRUE(row.driftPpm.has_value());
        EXPECT_NEAR(*row.driftPpm, 25.0, 0.5);
    }
}

TEST_F(ReplayRun, BadOptionsAreRefusedWithAReason) {
    const std::string sample = Sample("krw_code.cap");
    std::ofstream(dir / "file") << "x";
    for (const std::string& args : {std::string("--start 2026-02-30\\ 00:00:00.000 x"), std::string("--bogus x"),
                                    std::string(""), std::string("a b"), "--format 0 " + sample,
                                    "--format 4 " + sample, "--dir " + (dir / "missing").string() + " " + sample,
                                    "--dir " + (dir / "file").string() + " " + sample}) {
        const RunResult r = Replay(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.out, "") << args;
        EXPECT_EQ(r.err.rfind("tkw-replay: ", 0), 0u) << args;
    }
}

TEST_F(ReplayRun, ChunkAtATickInstantIsHandledFirstAndStdinWorks) {
    const RunResult r = Replay("--tick --dir " + dir.string() + " --start '2026-03-01 10:00:04.000' -",
                               "0 AA 00 26 03 01 00 10 00 05\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "SET 2026-03-01 10:00:05.135\n"
              "TX 55 AA\n"
              "TX AA AA 00 26 03 01 10 00 05 01 35 A3\n"
              "TICK 10:00:05 green\n");
}

TEST_F(ReplayRun, SettingsComeFromAConfigurationFile) {
    tkw::Settings s;
    tkw::ApplyDefaults(s);
    s.CodeFormat = 3;
    s.FineAdjustMs = 500;
    const tkw::ConfigRecord rec = tkw::EncodeConfig(s);
    std::ofstream(dir / "horalsys.conf", std::ios::binary)
        .write(reinterpret_cast<const char*>(rec.data()), static_cast<std::streamsize>(rec.size()));

    const RunResult r = Replay("--no-jump-log --dir " + dir.string() + " --config " + (dir / "horalsys.conf").string() + " " + Sample("mn_code.cap"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Lines(r.out, "SET ").front(), "SET 2026-01-01 08:00:21.500");

    // Without the start-up request every scheduled frame shows the PC 8 h
    // off, a jump, and "no correction on a jump" holds.
    const RunResult late = Replay("--no-jump-log --no-correct-now --dir " + dir.string() + " --config " + (dir / "horalsys.conf").string() + " " +
                            Sample("mn_code.cap"));
    EXPECT_EQ(late.status, 0);
    EXPECT_TRUE(Lines(late.out, "SET ").empty());

    // A configuration file that cannot be opened stops the run as it stops the program.
    fs::create_directories(dir / "locked.conf");
    const RunResult locked = Replay("--dir " + dir.string() + " --config " + (dir / "locked.conf").string() + " " + Sample("mn_code.cap"));
    EXPECT_EQ(locked.status, 1);
    EXPECT_EQ(locked.out, "BOX Warning: File access error\n");

    const RunResult missing = Replay("--dir " + dir.string() + " --config " + (dir / "nothing.conf").string() + " " + Sample("mn_code.cap"));
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.out, "");
}

}  // namespace
