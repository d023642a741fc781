// The main window, the display strip, without its window: the control models
// with the designer's names, the program's state that the window owns, and
// every handler of the strip, its popup menu and its tray icon. The Windows
// binding creates the real window from these models and turns messages into
// handler calls; tests drive the handlers directly against fakes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/engine.h"
#include "forms/about_box.h"
#include "forms/settings_form.h"
#include "forms/monitor_form.h"
#include "forms/ports_form.h"
#include "forms/form_platform.h"
#include "logs/monitor_log.h"
#include "logs/offsets_file.h"
#include "ui/save_dialog.h"
#include "config/settings.h"
#include "logs/sinks.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/main_thread.h"
#include "platform/message_box.h"
#include "platform/time_of_day_text.h"
#include "serial/port_list.h"
#include "serial/reader.h"
#include "serial/serial_api.h"
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
    MonitorLog& monitor;  // the monitor text
    LogSink& log;
    TimeOfDayText& times;      // the daily points' text
    SerialPortList& portList;  // the port chooser's lines
    SaveDialog& saveDialog;    // the monitor's "输出到文件"
    std::string configPath = kConfigFileName;
    Tcomm::SleepFn readerSleep = Tcomm::RealSleep;
    // Look at the port every 10 ms instead of waiting for input (for
    // comparing the two readers).
    bool pollReads = false;
};

inline constexpr const char* kHelpFile = "Z930.hlp";
inline constexpr const char* kHelpMissing = "无法打开帮助文件 Z930.hlp：本机没有帮助查看程序，或工作目录和程序所在目录中都没有该文件。";
inline constexpr uintptr_t kTrayMessage = 0x401;  // WM_USER + 1
inline constexpr intptr_t kWmRButtonUp = 0x205;

// The strip's indicator panel: red without a signal, yellow while a jump is
// pending, green otherwise.
Colour IndicatorColour(Indicator state);

class TForm1 {
public:
    explicit TForm1(const Form1Seams& seams);
    // The reader is stopped and joined with the link: destroy the form only
    // once the main thread no longer serves hand-offs (see Tcomm).
    ~TForm1() = default;
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    // Start-up of the strip and of everything it owns; the reader starts last.
    void FormCreate();
    // Asks the reader to stop; does not wait for it.
    void FormClose();

    // Every 2 ms; acts once per change of the clock's second, and looks
    // after a port that is away (SerialLink::ServicePort).
    void Timer1Timer();

    // The system has woken from sleep: the port is opened afresh, since its
    // handle may not have lived through the sleep. A serial port has arrived:
    // a port that is away is tried at once. Neither shows a box.
    void SystemResumed();
    void PortArrived();

    // The strip's mouse handlers, bound to Panel2, Label1 and Label2 alike;
    // x and y relative to the control. A press of any button anchors a drag
    // (only the left one then moves the strip).
    void Panel2MouseDown(MouseButton button, int x, int y);
    void Panel2MouseMove(int x, int y);
    void Panel2DblClick();

    // Menu commands. The items' OnClick run these, so a click on the model
    // (MenuItem::Click) is a click on the menu.
    void N31Click(MenuItem& item);     // code format: N31, N11, N10
    void com11Click(MenuItem& item);   // COM1..COM4
    void N21Click();                   // the port chooser
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

    // The port change of a menu item or of the port chooser (which passes its
    // fallback baud code 12); the save's failure box comes after the reader
    // has been resumed.
    PortChange ChangePort(int32_t port, std::optional<int32_t> fallbackBaudCode = std::nullopt);

    // Pauses of the reader in force (the format change nests the port
    // switcher's inside its own).
    int ReaderHolds() const { return Link.ReaderHolds(); }

    // ---- The engine and its port side.
    Engine Core;
    Settings& UserSettings = Core.UserSettings;  // all zero until loaded
    RuntimeState& State = Core.State;            // all zero until FormCreate sets it
    TimeCodeReceiver& Receiver = Core.Receiver;

    // ---- The window and its controls.
    std::string Caption = "Form1";
    Bounds Place{0, 0, 185, 17};
    bool Visible = true;
    bool InTray = false;
    Panel Panel1{"Panel1", {0, 0, 185, 17}};
    // The indicator: single border, lowered outer and raised inner bevel; red at first.
    Panel Panel2{"Panel2", {1, 1, 16, 15}, kRed, false};
    // The date with the weekday; its width follows the text.
    Label Label2{"Label2", "Label2", {17, 1, 0, 15}, kBlue, true};
    // Fills the strip from Label2's right edge to 184; the binding lays it out
    // once it has measured Label2.
    Label Label1{"Label1", "88:88:88", {17, 1, 167, 15}, kBlue};
    Timer Timer1{2, true};
    Form1Menu PopupMenu1;

    // ---- State the strip owns.
    std::string StatusText;
    int32_t DragX = 0, DragY = 0;
    std::string HelpFile;

private:
    Status Save();
    void BindMenu();
    void ShowStrip(bool visible);

    Form1Seams io_;
    // Every minute's offsets, in YYMMDDO.csv beside the logs.
    OffsetsWriter offsetsFile_{io_.files};

public:
    // The dialogs, made after the strip's own state, in the program's order.
    TAboutBox AboutBox;
    TForm2 Form2;
    TForm3 Form3;
    TForm4 Form4;
    // Last: its reader runs on everything above and is joined first.
    SerialLink Link;
    // The started reader; null until the last step of start-up, and for good
    // when start-up stopped early.
    Tcomm* ReaderThread() { return Link.ReaderThread(); }
};

}  // namespace tkw
