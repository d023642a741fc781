// The monitor window: when it watches (MonitorOn) as it is opened, activated,
// deactivated, stopped, continued and closed; what the producers' lines do
// while it watches or not; clear; and save (every line with CR LF, a name
// without extension, an old file replaced, a failure that keeps the old file
// whole).
#include <gtest/gtest.h>

#include "forms/monitor_form.h"
#include "support/fakes.h"
#include "support/faulty_fs.h"
#include "support/frames.h"
#include "timecode/receiver.h"

namespace tkw::test {
namespace {

struct ScriptedSaveDialog final : SaveDialog {
    std::optional<std::string> AskSavePath(const std::string& label, const std::string& pattern,
                                           const std::string& ext) override {
        asked = label + "|" + pattern + "|" + ext;
        return answer;
    }
    std::optional<std::string> answer;
    std::string asked;
};

struct Rig {
    explicit Rig(FsOp failOp = FsOp::Open, int failNth = 0) : fs(failOp, failNth) { state.JumpLogOn = true; }
    std::vector<std::string> Texts() const {
        std::vector<std::string> v;
        for (size_t i = 0; i < log.Count(); ++i) v.emplace_back(log.Line(i));
        return v;
    }
    MonitorLog log;
    RuntimeState state;
    FaultyFileSystem fs;
    ScriptedSaveDialog dialog;
    RecordingBoxes boxes;
    TForm3 form{log, state, fs, dialog, boxes};
};

TEST(Form3, WatchingFollowsTheWindowAndItsButtons) {
    Rig r;
    struct Step {
        const char* what;
        std::function<void(TForm3&)> act;
        bool monitorOn;
    } steps[] = {
        {"activated", [](TForm3& f) { f.FormActivate(); }, true},
        {"stop", [](TForm3& f) { f.SpeedButton2.Click(); }, false},
        {"a box over it, then back", [](TForm3& f) { f.FormDeactivate(), f.FormActivate(); }, true},
        {"a box over it", [](TForm3& f) { f.FormDeactivate(); }, false},
        {"continue", [](TForm3& f) { f.SpeedButton4.Click(); }, true},
        {"closed", [](TForm3& f) { f.FormClose(), f.Close(); }, false},
    };
    for (const Step& s : steps) {
        s.act(r.form);
        EXPECT_EQ(r.state.MonitorOn, s.monitorOn) << s.what;
    }
}

TEST(Form3, FramesComeWhileWatchingOrLoggingAnswersOnlyWhileWatching) {
    struct Case {
        bool monitorOn, commLog;
        size_t lines;  // a frame that corrects: its line and the answer's
    } cases[] = {{true, false, 2}, {false, true, 1}, {false, false, 0}};
    for (const Case& c : cases) {
        Rig r;
        FakeClock clock(At(2026, 1, 1, 8, 0, 30, 500));
        RecordingPort port;
        RecordingLog logs;
        Settings settings;
        ApplyDefaults(settings);
        r.state.CorrectNow = true;
        r.state.MonitorOn = c.monitorOn;
        r.state.CommLogOn = c.commLog;
        TimeCodeReceiver receiver(settings, r.state, clock, port, r.log, logs);
        const Bytes frame = Krw(8, 0, 31, 26, 1, 1);
        receiver.HandleChunk(frame.data(), static_cast<int32_t>(frame.size()));
        EXPECT_EQ(r.log.Count(), c.lines) << c.monitorOn << c.commLog;
        if (c.lines) {
            EXPECT_EQ(r.log.Line(0).substr(0, 3), "【");
        }
        // Cleared while lines arrive: the next line is the first.
        r.form.SpeedButton3.Click();
        EXPECT_EQ(r.log.Count(), 0u);
        r.log.AppendLine("next");
        EXPECT_EQ(r.Texts(), std::vector<std::string>{"next"});
    }
}

TEST(Form3, SavesEveryLineWithCrLfOrSaysItFailed) {
    struct Case {
        const char* name;
        const char* typed;        // what the save dialog gives; null: cancelled
        const char* file;         // what lands on disk
        std::vector<std::string> lines;
        FsOp failOp;
        int failNth;
        const char* box;  // null: no box
    } cases[] = {
        {"two lines", "out.txt", "out.txt", {"【2026-01-01 08:00:31】  AA 00", "08:00:31[SENDING:] 55 AA "},
         FsOp::Open, 0, kSaveDone},
        {"empty monitor", "empty.txt", "empty.txt", {}, FsOp::Open, 0, kSaveDone},
        {"no extension", "report", "report.txt", {"x"}, FsOp::Open, 0, kSaveDone},
        {"over an old file", "old.txt", "old.txt", {"x", "y"}, FsOp::Open, 0, kSaveDone},
        {"cancelled", nullptr, nullptr, {"x"}, FsOp::Open, 0, nullptr},
        {"write fails", "old.txt", "old.txt", {"x"}, FsOp::Write, 1, kSaveFailed},
        {"replace fails", "old.txt", "old.txt", {"x"}, FsOp::Replace, 1, kSaveFailed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig r(c.failOp, c.failNth);
        TempDir dir;
        WriteFile(dir / "old.txt", "the old file, whole\r\n");
        for (const std::string& l : c.lines) r.log.AppendLine(l);
        if (c.typed) r.dialog.answer = dir / c.typed;
        r.form.SpeedButton1.Click();
        EXPECT_EQ(r.dialog.asked, "文本文件|*.txt|txt");
        if (!c.box) {
            EXPECT_TRUE(r.boxes.shown.empty());
            continue;
        }
        ASSERT_EQ(r.boxes.shown.size(), 1u);
        EXPECT_EQ(r.boxes.shown[0].kind, BoxKind::Plain);
        EXPECT_EQ(r.boxes.shown[0].caption, "TKW");
        EXPECT_EQ(r.boxes.shown[0].text, c.box);
        std::string want;
        for (const std::string& l : c.lines) want += l + "\r\n";
        if (c.box == std::string(kSaveFailed)) want = "the old file, whole\r\n";
        EXPECT_EQ(ReadFile(dir / c.file), want);
        EXPECT_EQ(r.log.Count(), c.lines.size()) << "a save keeps the text";
        for (const std::string& n : dir.Names()) EXPECT_EQ(n.find(".new"), std::string::npos) << n;
    }
}

TEST(MonitorLog, KeepsEveryLineAcrossBlocksAndTellsItsViewer) {
    MonitorLog log;
    std::vector<size_t> appended;
    int cleared = 0;
    log.OnAppend = [&](size_t i) { appended.push_back(i); };
    log.OnClear = [&] { ++cleared; };
    const std::string longLine(3 << 20, 'x');  // longer than a block
    for (int i = 0; i < 40000; ++i) log.AppendLine("line " + std::to_string(i) + std::string(40, '.'));
    log.AppendLine(longLine);
    log.AppendLine("");
    log.AppendLine("after");
    ASSERT_EQ(log.Count(), 40003u);
    EXPECT_EQ(log.Line(0), "line 0" + std::string(40, '.'));
    EXPECT_EQ(log.Line(39999), "line 39999" + std::string(40, '.'));
    EXPECT_EQ(log.Line(40000), longLine);
    EXPECT_EQ(log.Line(40001), "");
    EXPECT_EQ(log.Line(40002), "after");
    EXPECT_EQ(appended.size(), 40003u);
    EXPECT_EQ(appended.back(), 40002u);
    log.Clear();
    EXPECT_EQ(log.Count(), 0u);
    EXPECT_EQ(cleared, 1);
}

TEST(TailWindow, ShowsTheNewestLinesAndDropsOldOnesInBatches) {
    TailWindow t(100, 10);
    EXPECT_EQ(t.Reset(50), 0u);
    for (size_t n = 51; n <= 110; ++n) EXPECT_EQ(t.Appended(n), 0u) << n;
    EXPECT_EQ(t.Appended(111), 11u);  // 111 shown would be more than 100 + 10
    EXPECT_EQ(t.First(), 11u);
    EXPECT_EQ(t.Appended(112), 0u);
    EXPECT_EQ(t.Appended(200), 89u);  // a burst: down to the newest 100 at once
    EXPECT_EQ(t.Reset(5000), 4900u);
    EXPECT_EQ(TailWindow::HiddenText(4900), "（之前还有 4900 行未显示，保存到文件时全部写出）");
}

TEST(SaveDialog, ANameWithoutExtensionGetsTheDefault) {
    EXPECT_EQ(WithDefaultExtension("report", "txt"), "report.txt");
    EXPECT_EQ(WithDefaultExtension("C:\\logs\\report", "txt"), "C:\\logs\\report.txt");
    EXPECT_EQ(WithDefaultExtension("/tmp/a.b/report", "txt"), "/tmp/a.b/report.txt");
    EXPECT_EQ(WithDefaultExtension("report.log", "txt"), "report.log");
    EXPECT_EQ(WithDefaultExtension("/tmp/x/", "txt"), "/tmp/x/");
}

}  // namespace
}  // namespace tkw::test
