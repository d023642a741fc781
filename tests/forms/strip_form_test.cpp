// The strip's handlers against a recording window system, a scripted port and
// a real settings file in a scratch directory: start-up marks and its early
// stop, placement, the first tick, the format change with its nested pauses,
// the switches, dialogs, help, the tray and dragging.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <thread>

#include "forms/strip_form.h"
#include "support/fakes.h"
#include "support/faulty_fs.h"

namespace tkw::test {
namespace {

using namespace std::chrono_literals;

struct FakePlatform final : FormPlatform {
    void SetToolWindow() override { Log("toolwindow"); }
    int ScreenWidth() override { return screen; }
    void MoveWindow(int l, int t) override { Log("move " + std::to_string(l) + " " + std::to_string(t)); }
    void SetWindowVisible(bool v) override { Log(v ? "show" : "hide"); }
    void TrayAdd() override { Log("tray+"); }
    void TrayDelete() override { Log("tray-"); }
    void PopupAtCursor(Form1Menu&) override { Log("popup"); }
    bool OpenHelp(const std::string& f) override { Log("help " + f); return helpOk; }
    void ShowModal(ModalForm& f) override {
        Log("modal " + f.Look.Caption);
        f.Visible = true;
        f.FormActivate();
    }
    void OpenUrl(const std::string& url) override { Log("open " + url); }
    void CloseMainWindow() override { Log("close"); }
    bool LeftButtonHeld() override { return left; }
    void Log(const std::string& s) { calls += (calls.empty() ? "" : "; ") + s; }

    std::string calls;
    int screen = 1920;
    bool left = false, helpOk = true;
};

// Records every call but the reader's reads (another thread: only counted),
// with the reader pauses in force at the time. Reads find nothing.
struct FakeSerial final : SerialApi {
    int32_t sio_open(int32_t p) override { return Call("open", {p}); }
    int32_t sio_close(int32_t p) override { return Call("close", {p}); }
    int32_t sio_flush(int32_t p, int32_t f) override { return Call("flush", {p, f}); }
    int32_t sio_ioctl(int32_t p, int32_t b, int32_t m) override { return Call("ioctl", {p, b, m}); }
    int32_t sio_flowctrl(int32_t p, int32_t m) override { return Call("flowctrl", {p, m}); }
    int32_t sio_DTR(int32_t p, int32_t m) override { return Call("DTR", {p, m}); }
    int32_t sio_RTS(int32_t p, int32_t m) override { return Call("RTS", {p, m}); }
    int32_t sio_getbaud(int32_t p) override { Call("getbaud", {p}); return 4800; }
    int32_t sio_SetWriteTimeouts(int32_t p, int32_t ms) override { return Call("timeouts", {p, ms}); }
    int32_t sio_read(int32_t, uint8_t*, int32_t) override { ++reads; return 0; }
    int32_t sio_write(int32_t p, const uint8_t*, int32_t n) override { return Call("write", {p, n}); }

    int32_t Call(const std::string& fn, std::initializer_list<int32_t> args) {
        std::string line = fn;
        for (int32_t a : args) {
            line += ' ';
            line += std::to_string(a);
        }
        calls.push_back(line);
        holds.insert(form ? form->ReaderHolds() : 0);
        return failing.count(line) ? -1 : 0;
    }
    bool Has(const std::string& call) const { return std::find(calls.begin(), calls.end(), call) != calls.end(); }

    const TForm1* form = nullptr;
    std::set<std::string> failing;  // calls, as recorded, that fail
    std::vector<std::string> calls;
    std::set<int> holds;
    std::atomic<int> reads{0};
};

struct FakePorts final : SerialPortList {
    std::vector<std::string> Lines() override { return lines; }
    std::vector<std::string> lines;
};

struct NoSaveDialog final : SaveDialog {
    std::optional<std::string> AskSavePath(const std::string&, const std::string&, const std::string&) override {
        return std::nullopt;
    }
};

struct NoHandOffs final : MainThread {
    bool Synchronize(const std::function<void()>&) override { return false; }
};

struct Rig {
    explicit Rig(FsOp failOp = FsOp::Open, int failNth = 0) : fs(failOp, failNth) {}
    ~Rig() {
        if (form) form->FormClose();
    }
    void WriteConfig(const Settings& s) {
        const ConfigRecord r = EncodeConfig(s);
        WriteFile(dir / kConfigFileName, std::string(r.begin(), r.end()));
    }
    Settings SavedConfig() const {
        const std::string bytes = ReadFile(dir / kConfigFileName);
        ConfigRecord r{};
        std::copy_n(bytes.begin(), std::min(bytes.size(), r.size()), r.begin());
        Settings s;
        DecodeConfig(r, s);
        return s;
    }
    TForm1& Create() {
        form = std::make_unique<TForm1>(Form1Seams{platform, clock, serial, boxes, fs, main, monitor, log, times,
                                                   ports, saveDialog, dir / kConfigFileName,
                                                   [](std::chrono::milliseconds) { std::this_thread::sleep_for(1ms); }});
        serial.form = form.get();
        form->FormCreate();
        return *form;
    }
    // The checked items, top to bottom.
    std::string Marks() const {
        std::string s;
        for (const MenuItem* i : form->PopupMenu1.Items)
            if (i->Checked) s += (s.empty() ? "" : " ") + i->Name;
        return s;
    }
    bool ReaderReadsAgain() {
        const int seen = serial.reads;
        for (int i = 0; i < 5000 && serial.reads == seen; ++i) std::this_thread::sleep_for(1ms);
        return serial.reads > seen;
    }

    TempDir dir;
    FakePlatform platform;
    FakeClock clock{At(2019, 7, 24, 13, 5, 9, 7)};
    FakeSerial serial;
    RecordingBoxes boxes;
    FaultyFileSystem fs;
    NoHandOffs main;
    MonitorLog monitor;
    RecordingLog log;
    PatternTimeText times{"H:mm:ss"};
    FakePorts ports;
    NoSaveDialog saveDialog;
    std::unique_ptr<TForm1> form;  // last: stopped and joined first
};

Settings Stored(int32_t port, int32_t baud, uint8_t format = 1, bool noCorrectOnJump = true) {
    Settings s;
    ApplyDefaults(s);
    s.PortNumber = port, s.BaudCode = baud, s.CodeFormat = format, s.NoCorrectOnJump = noCorrectOnJump;
    return s;
}

struct StartCase {
    const char* name;
    std::optional<Settings> file;
    const char* marks;
    const char* chooser;  // N21's caption
    const char* ioctl;
};

TEST(Form1, StartupMarksTheMenuFromTheSettingsAndOpensThePort) {
    const StartCase cases[] = {
        {"no file", std::nullopt, "N31 com11 N48001 N4 N12", ">>... ", "ioctl 1 10 3"},
        {"COM7", Stored(7, 10), "N31 N21 N48001 N4 N12", ">>COM7", "ioctl 7 10 3"},
        {"baud code 11", Stored(2, 11), "N31 com21 N4 N12", ">>... ", "ioctl 2 11 3"},
        {"MN_CODE at 9600, jumps corrected", Stored(3, 12, 3, false), "N10 com31 N96001 N12", ">>... ",
         "ioctl 3 12 3"},
        {"unknown format", Stored(4, 10, 9), "com41 N48001 N4 N12", ">>... ", "ioctl 4 10 3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        if (c.file) rig.WriteConfig(*c.file);
        TForm1& f = rig.Create();
        EXPECT_EQ(rig.Marks(), c.marks);
        EXPECT_EQ(f.PopupMenu1.N21.Caption, c.chooser);
        EXPECT_TRUE(rig.serial.Has(c.ioctl));
        EXPECT_TRUE(f.State.CorrectNow && f.State.JumpLogOn);
        EXPECT_FALSE(f.State.CommLogOn || f.State.MonitorOn);
        EXPECT_EQ(f.ReaderThread() != nullptr, true);
        EXPECT_TRUE(rig.ReaderReadsAgain());
        EXPECT_TRUE(rig.boxes.shown.empty());
    }
}

TEST(Form1, UnreadableSettingsFileStopsStartUpAfterTheLoad) {
    Rig rig(FsOp::Open, 1);
    rig.WriteConfig(Stored(7, 12, 2));
    TForm1& f = rig.Create();
    ASSERT_EQ(rig.boxes.shown.size(), 1u);
    EXPECT_EQ(rig.boxes.shown[0].kind, BoxKind::Warning);
    EXPECT_EQ(rig.boxes.shown[0].caption, "Warning");
    EXPECT_EQ(rig.boxes.shown[0].text, "File access error");
    EXPECT_TRUE(rig.serial.calls.empty());
    EXPECT_FALSE(f.State.CorrectNow || f.State.JumpLogOn);
    EXPECT_EQ(f.UserSettings, Settings{});
    EXPECT_EQ(rig.Marks(), "N4 N12");  // as the menu defines them
    EXPECT_EQ(f.ReaderThread(), nullptr);
    // The strip still shows, ticks and closes.
    EXPECT_EQ(f.Place.Left, 1655);
    f.Timer1Timer();
    EXPECT_TRUE(rig.serial.Has("write 0 12"));
    f.FormClose();
}

TEST(Form1, StripPlacedTopRightAndFirstTickIsRed) {
    Rig rig;
    TForm1& f = rig.Create();
    EXPECT_EQ(rig.platform.calls, "toolwindow; move 1655 0");
    EXPECT_EQ(f.Label1.Caption, "13:05:09");
    EXPECT_EQ(f.Label2.Caption, "2019-07-24 星期三 ");

    rig.clock.Set(At(2019, 7, 24, 9, 5, 7, 250));
    f.Timer1Timer();
    EXPECT_EQ(f.Label1.Caption, "9:05:07");
    EXPECT_EQ(f.Panel2.Color, (Colour{255, 0, 0}));
    EXPECT_EQ(f.StatusText, kNoSignalText);
    EXPECT_EQ(rig.serial.calls.back(), "write 1 12");

    f.Panel2DblClick();
    ASSERT_EQ(rig.boxes.shown.size(), 1u);
    EXPECT_EQ(rig.boxes.shown[0].kind, BoxKind::Plain);
    EXPECT_EQ(rig.boxes.shown[0].caption, "TKW");
    EXPECT_EQ(rig.boxes.shown[0].text, kNoSignalText);

    f.State.SignalAge = 0;  // a frame was accepted
    rig.clock.Advance(1000);
    f.Timer1Timer();
    EXPECT_EQ(f.Panel2.Color, (Colour{0, 128, 0}));
    EXPECT_EQ(f.StatusText, "工作正常！");

    f.State.JumpPending = true;
    rig.clock.Advance(1000);
    f.Timer1Timer();
    EXPECT_EQ(f.Panel2.Color, (Colour{255, 255, 0}));
}

struct FormatCase {
    const char* name;
    int32_t startBaud;
    MenuItem Form1Menu::*item;
    uint8_t format;
    int32_t baud;
    const char* marks;
};

TEST(Form1, FormatChangeReopensAtItsBaudSavesAndEmptiesTheRing) {
    const FormatCase cases[] = {
        {"PL at 4800", 10, &Form1Menu::N11, 2, 12, "N11 com11 N96001 N4 N12"},
        {"MN at 4800", 10, &Form1Menu::N10, 3, 12, "N10 com11 N96001 N4 N12"},
        {"KRW at 9600", 12, &Form1Menu::N31, 1, 10, "N31 com11 N48001 N4 N12"},
        {"KRW again", 10, &Form1Menu::N31, 1, 10, "N31 com11 N48001 N4 N12"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.WriteConfig(Stored(1, c.startBaud, c.format == 1 ? 2 : 1));
        TForm1& f = rig.Create();
        f.Receiver.ResetRing(7);
        rig.serial.calls.clear();
        rig.serial.holds.clear();

        (f.PopupMenu1.*c.item).Click();

        EXPECT_EQ(rig.serial.calls.at(0), "close 1");
        EXPECT_TRUE(rig.serial.Has("open 1"));
        EXPECT_TRUE(rig.serial.Has("ioctl 1 " + std::to_string(c.baud) + " 3"));
        EXPECT_EQ(rig.serial.holds, (std::set<int>{2}));  // the switch's pause inside the format change's
        EXPECT_EQ(f.ReaderHolds(), 0);
        EXPECT_EQ(rig.Marks(), c.marks);
        EXPECT_EQ(rig.SavedConfig().CodeFormat, c.format);
        EXPECT_EQ(rig.SavedConfig().BaudCode, c.baud);
        EXPECT_EQ(f.Receiver.RxHead, 1);
        EXPECT_EQ(f.Receiver.RxTail, 1);
        EXPECT_TRUE(rig.ReaderReadsAgain());
        EXPECT_TRUE(rig.boxes.shown.empty());
    }
}

// The format change saves twice: the baud switch inside it, then the whole
// record. Only the last save's failure is the user's to hear of (the file
// ends up as that one left it), and only once the reader runs again: the
// user may sit on the box.
TEST(Form1, FormatChangeReportsItsOwnSaveOnlyAndAfterTheReaderResumes) {
    for (int failingSave : {1, 2}) {
        SCOPED_TRACE(failingSave);
        Rig rig(FsOp::Replace, failingSave);
        TForm1& f = rig.Create();
        std::vector<int> holdsAtBox;
        rig.boxes.onShow = [&] { holdsAtBox.push_back(f.ReaderHolds()); };
        f.PopupMenu1.N11.Click();
        if (failingSave == 1) {
            EXPECT_TRUE(rig.boxes.shown.empty());
            EXPECT_EQ(rig.SavedConfig().CodeFormat, 2);
        } else {
            ASSERT_EQ(rig.boxes.shown.size(), 1u);
            EXPECT_EQ(rig.boxes.shown[0].kind, BoxKind::Stop);
            EXPECT_EQ(rig.boxes.shown[0].text, FaultyFileSystem::ErrorText(FsOp::Replace));
            EXPECT_EQ(holdsAtBox, std::vector<int>{0});
        }
        EXPECT_EQ(f.ReaderHolds(), 0);
        EXPECT_TRUE(rig.ReaderReadsAgain());
    }
}

TEST(Form1, OnlyTheJumpSwitchIsSaved) {
    struct Case {
        MenuItem Form1Menu::*item;
        std::function<bool(const TForm1&)> value;
        bool saved;
    };
    const Case cases[] = {
        {&Form1Menu::N4, [](const TForm1& f) { return f.UserSettings.NoCorrectOnJump; }, true},
        {&Form1Menu::N12, [](const TForm1& f) { return f.State.JumpLogOn; }, false},
        {&Form1Menu::N18, [](const TForm1& f) { return f.State.CommLogOn; }, false},
    };
    for (const auto& c : cases) {
        Rig rig;
        TForm1& f = rig.Create();
        MenuItem& item = f.PopupMenu1.*c.item;
        SCOPED_TRACE(item.Name);
        for (int round = 0; round < 2; ++round) {
            const bool before = c.value(f);
            item.Click();
            EXPECT_EQ(c.value(f), !before);
            EXPECT_EQ(item.Checked, !before);
        }
        EXPECT_EQ(rig.dir.Names().size(), c.saved ? 1u : 0u);
        if (c.saved) {
            EXPECT_TRUE(rig.SavedConfig().NoCorrectOnJump);
        }
    }
}

TEST(Form1, DialogsCorrectNowAndHelp) {
    Rig rig;
    TForm1& f = rig.Create();
    rig.platform.calls.clear();
    f.State.CorrectNow = false;
    Form1Menu& m = f.PopupMenu1;
    for (MenuItem* i : {&m.N21, &m.N16, &m.N3, &m.About1, &m.N6}) i->Click();
    EXPECT_EQ(rig.platform.calls, "modal Serial Port; modal 通讯观测; modal 校时设置; modal About");
    EXPECT_TRUE(f.State.MonitorOn && f.State.CorrectNow);

    rig.platform.calls.clear();
    m.N15.Click();
    EXPECT_EQ(rig.platform.calls, "help Z930.hlp");
    EXPECT_TRUE(rig.boxes.shown.empty());
    rig.platform.helpOk = false;
    m.N15.Click();
    ASSERT_EQ(rig.boxes.shown.size(), 1u);
    EXPECT_EQ(rig.boxes.shown[0].text, kHelpMissing);
}

// The two dialogs the menu opens reach the settings file and the port: the
// settings dialog's apply saves, the chooser's apply changes the port and
// closes only on success, and its fallback (previous port at 9600) marks 9600.
TEST(Form1, SettingsDialogAndPortChooserChangeWhatTheProgramRuns) {
    Rig rig;
    TForm1& f = rig.Create();
    f.PopupMenu1.N3.Click();
    ASSERT_TRUE(f.Form2.Visible);
    f.Form2.RadioButton3.Click();
    for (int h : {7, 23}) {
        f.Form2.SpinEdit6.SetValue(h);
        f.Form2.SpinEdit4.SetValue(h == 7 ? 30 : 0);
        f.Form2.Button1.Click();
    }
    f.Form2.Button3.Click();
    EXPECT_FALSE(f.Form2.Visible);
    const Settings saved = rig.SavedConfig();
    EXPECT_EQ(saved.CorrectionMode, 3);
    EXPECT_EQ(saved.DailyPointCount, 2);
    int h = 0, m = 0, s = 0;
    ASSERT_TRUE(TimeOfDay(saved.DailyPoints[1], h, m, s));
    EXPECT_EQ(h * 10000 + m * 100 + s, 230000);

    rig.ports.lines = {"COM1......\\Device\\Serial0", "COM12......\\Device\\Serial11"};
    f.PopupMenu1.N21.Click();
    ASSERT_EQ(f.Form4.ListBox1.Items().size(), 2u);
    f.Form4.ListBox1.Click(1);
    rig.serial.failing = {"open 12"};
    f.Form4.Button1.Click();  // COM12 does not open; COM1 comes back at 9600
    EXPECT_TRUE(f.Form4.Visible);
    EXPECT_EQ(rig.Marks(), "N31 com11 N96001 N4 N12");
    EXPECT_EQ(rig.SavedConfig().BaudCode, 12);
    ASSERT_EQ(rig.boxes.shown.size(), 1u);
    EXPECT_EQ(rig.boxes.shown[0].text, kMsgNewPortFailed);

    rig.serial.failing.clear();
    f.Form4.Button1.Click();
    EXPECT_FALSE(f.Form4.Visible);
    EXPECT_EQ(rig.Marks(), "N31 N21 N96001 N4 N12");
    EXPECT_EQ(f.PopupMenu1.N21.Caption, ">>com12");
    EXPECT_EQ(rig.SavedConfig().PortNumber, 12);
    EXPECT_EQ(f.ReaderHolds(), 0);
}

// A port that does not open at start-up is left to recovery: the start-up's
// box once, none on the tries. A port's arrival tries at once; a menu change
// during recovery ends it, and a failed one leaves the port then in force to
// be tried; a wake from sleep reopens the port in use. The reader's holds are
// always paired.
TEST(Form1, APortThatIsAwayComesBackWithoutBoxesAndFollowsTheMenu) {
    Rig rig;
    rig.serial.failing = {"open 1"};
    TForm1& f = rig.Create();
    ASSERT_EQ(rig.boxes.shown.size(), 1u);
    EXPECT_EQ(rig.boxes.shown[0].text, kMsgStartupOpenFailed);
    EXPECT_TRUE(f.Link.PortDown());
    EXPECT_EQ(f.ReaderHolds(), 1);

    const auto count = [&](const char* call) { return std::count(rig.serial.calls.begin(), rig.serial.calls.end(), call); };
    f.PortArrived();  // not there yet
    EXPECT_EQ(count("open 1"), 2);
    rig.serial.failing.clear();
    f.PortArrived();
    EXPECT_FALSE(f.Link.PortDown());
    EXPECT_EQ(f.ReaderHolds(), 0);
    EXPECT_EQ(count("ioctl 1 10 3"), 2) << "the line set up again";
    EXPECT_TRUE(rig.ReaderReadsAgain());
    EXPECT_EQ(rig.boxes.shown.size(), 1u);

    // COM2 does not open, nor does COM1 again: the change's boxes, and COM1
    // is what recovery tries.
    rig.serial.failing = {"open 2", "open 1"};
    f.PopupMenu1.com21.Click();
    EXPECT_EQ(rig.boxes.shown.size(), 3u);
    EXPECT_TRUE(f.Link.PortDown());
    EXPECT_EQ(f.ReaderHolds(), 1);
    f.PortArrived();
    EXPECT_EQ(count("open 1"), 5);
    EXPECT_EQ(count("open 2"), 1);

    rig.serial.failing = {"open 1"};
    f.PopupMenu1.com21.Click();
    EXPECT_FALSE(f.Link.PortDown());
    EXPECT_EQ(f.ReaderHolds(), 0);
    EXPECT_EQ(rig.SavedConfig().PortNumber, 2);
    EXPECT_EQ(rig.boxes.shown.size(), 3u);

    rig.serial.calls.clear();
    f.SystemResumed();
    EXPECT_TRUE(rig.serial.Has("close 2") && rig.serial.Has("open 2") && rig.serial.Has("ioctl 2 10 3"));
    EXPECT_FALSE(f.Link.PortDown());
    EXPECT_EQ(f.ReaderHolds(), 0);
    EXPECT_EQ(rig.boxes.shown.size(), 3u);
}

TEST(Form1, TrayRoundTripAndOnlyARightClickOpensTheMenu) {
    Rig rig;
    TForm1& f = rig.Create();
    Form1Menu& m = f.PopupMenu1;
    rig.platform.calls.clear();

    m.N19.Click();
    EXPECT_EQ(rig.platform.calls, "tray+; hide");
    EXPECT_FALSE(f.Visible || m.N19.Visible);
    EXPECT_TRUE(m.N20.Visible);

    rig.platform.calls.clear();
    for (intptr_t mouse : {0x200, 0x201, 0x202, 0x203, 0x204}) EXPECT_EQ(f.TrayIconNotify(100, mouse), 0);
    EXPECT_EQ(rig.platform.calls, "");
    EXPECT_EQ(f.TrayIconNotify(100, 0x205), 0);
    f.TaskbarCreated();
    EXPECT_EQ(rig.platform.calls, "popup; tray+");

    rig.platform.calls.clear();
    m.N20.Click();
    f.TaskbarCreated();
    EXPECT_EQ(rig.platform.calls, "tray-; show");
    EXPECT_TRUE(f.Visible && m.N19.Visible);
    EXPECT_FALSE(m.N20.Visible);

    rig.platform.calls.clear();
    m.N8.Click();
    m.N19.Click();
    rig.platform.calls.clear();
    m.N8.Click();
    EXPECT_EQ(rig.platform.calls, "tray-; close");
}

TEST(Form1, DragsOnlyWithTheLeftButtonFromAnAnchorTakenOnAnyButton) {
    for (MouseButton pressed : {MouseButton::Right, MouseButton::Middle, MouseButton::Left}) {
        SCOPED_TRACE(static_cast<int>(pressed));
        Rig rig;
        TForm1& f = rig.Create();
        rig.platform.calls.clear();
        f.Panel2MouseDown(pressed, 5, 3);  // the anchor, whichever button
        f.Panel2MouseMove(9, 10);
        EXPECT_EQ(rig.platform.calls, "") << "no left button held: no move";
        rig.platform.left = true;
        f.Panel2MouseMove(9, 10);
        EXPECT_EQ(rig.platform.calls, "move 1659 7");
        EXPECT_EQ(f.Place, (Bounds{1659, 7, 185, 17}));
    }
}

TEST(Form1, CloseStopsTheReaderWithoutWaiting) {
    Rig rig;
    TForm1& f = rig.Create();
    f.FormClose();
    EXPECT_TRUE(f.ReaderThread()->WaitEnded(5s));
}

}  // namespace
}  // namespace tkw::test
