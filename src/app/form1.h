// The main window, the display strip, without its window: the control models
// with the designer's names, the program's state that the window owns, and
// every handler of the strip, its popup menu and its tray icon. The Windows
// binding creates the real window from these models and turns messages into
// handler calls; tests drive the handlers directly against fakes.
#pragma once

#include <cstdint>
#include <string>

#include "app/form_platform.h"
#include "app/settings.h"
#include "app/tick.h"
#include "logs/sinks.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/main_thread.h"
#include "platform/message_box.h"
#include "serial/port_switching.h"
#include "serial/reader.h"
#include "serial/serial_api.h"
#include "timecode/receiver.h"
#include "timecode/runtime_state.h"
#include "ui/controls.h"
#include "ui/form1_menu.h"

namespace tkw {

// Everything the strip talks to. All of it must outlive the form.
struct Form1Seams {
    FormPlatform& platform;
    Clock& clock;
    SerialApi& serial;
    MessageBoxes& boxes;
    FileSystem& files;
    MainThread& mainThread;  // serves the reader's hand-offs
    MonitorSink& monitor;
    LogSink& log;
    std::string configPath = kConfigFileName;
    Tcomm::SleepFn readerSleep = Tcomm::RealSleep;
};

inline constexpr const char* kHelpFile = "Z930.hlp";
inline constexpr const char* kHelpMissing = "无法打开帮助文件 Z930.hlp：本机没有帮助查看程序，或工作目录和程序所在目录中都没有该文件。";
inline constexpr uintptr_t kTrayMessage = 0x401;  // WM_USER + 1
inline constexpr intptr_t kWmRButtonUp = 0x205;

class TForm1 {
public:
    explicit TForm1(const Form1Seams& seams);
    // Stops the reader and waits for it: destroy the form only once the main
    // thread no longer serves hand-offs (see Tcomm).
    ~TForm1() = default;
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    // Start-up of the strip and of everything it owns; the reader starts last.
    void FormCreate();
    // Asks the reader to stop; does not wait for it.
    void FormClose();

    // Every 2 ms; acts once per change of the clock's second.
    void Timer1Timer();

    // The strip's mouse handlers, bound to Panel2, Label1 and Label2 alike;
    // x and y relative to the control.
    void Panel2MouseDown(int x, int y);
    void Panel2MouseMove(int x, int y);
    void Panel2DblClick();

    // Menu commands. The items' OnClick run these, so a click on the model
    // (MenuItem::Click) is a click on the menu.
    void N31Click(MenuItem& item);  // code format: N31, N11, N10
    void com11Click(MenuItem& item);  // COM1..COM4
    void N21Click();                  // the port chooser
    void N48001Click(MenuItem& item);  // 4800, 9600
    void N6Click();
    void N16Click();
    void N3Click();
    void N4Click();
    void N12Click();
    void N18Click();
    void N15Click();
    void About1Click();
    void N19Click();
    void N20Click();
    void N8Click();

    // The tray icon's callback message; lParam is the mouse message. Returns
    // the message result.
    intptr_t TrayIconNotify(uintptr_t wParam, intptr_t lParam);
    // Explorer (the taskbar) has restarted and forgotten the icon.
    void TaskbarCreated();

    // Pauses of the reader in force (the format change nests the port
    // switcher's inside its own).
    int ReaderHolds() const { return hold_.depth; }

    // ---- The window and its controls.
    std::string Caption = "Form1";
    Bounds Place{0, 0, 185, 17};
    bool Visible = true;
    bool InTray = false;
    Panel Panel1{{0, 0, 185, 17}, {}, true};
    Panel Panel2{{1, 1, 16, 15}, {255, 0, 0}, false};
    Label Label2{"Label2", {17, 1, 0, 15}, kBlue, true, false, true};
    // Fills the strip from Label2's right edge to 184; the binding lays it out
    // once it has measured Label2.
    Label Label1{"88:88:88", {17, 1, 167, 15}, kBlue, false, true, false};
    Timer Timer1{2, true};
    Form1Menu PopupMenu1;

    // ---- State the strip owns.
    Settings UserSettings;  // all zero until loaded
    RuntimeState State;     // all zero until FormCreate sets it
    std::string StatusText;
    int32_t DragX = 0, DragY = 0;
    std::string HelpFile;
    LineSettings Line;

    TimeCodeReceiver Receiver;
    SecondTick Tick;
    // The started reader; null until the last step of start-up, and for good
    // when start-up stopped early.
    Tcomm* ReaderThread = nullptr;

private:
    // Counts the pauses in force, so a pause left unended shows.
    struct CountedHold final : ReaderControl {
        explicit CountedHold(Tcomm& r) : reader(r) {}
        void Pause() override { reader.Pause(), ++depth; }
        void Resume() override { --depth, reader.Resume(); }
        Tcomm& reader;
        int depth = 0;
    };

    Status Save();
    void BindMenu();
    void ShowStrip(bool visible);

    Form1Seams io_;
    Tcomm reader_;  // before hold_ and Ports_, after everything the hand-off touches
    CountedHold hold_{reader_};
    PortSwitcher Ports_;
};

}  // namespace tkw
