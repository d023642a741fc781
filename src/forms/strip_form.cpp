#include "forms/strip_form.h"

#include <utility>

#include "engine/settings_report.h"
#include "timecode/frame_formats.h"

namespace tkw {

TForm1::TForm1(const Form1Seams& seams)
    : Core(EngineSeams{seams.clock, seams.serial, seams.monitor, seams.log}),
      io_(seams),
      AboutBox([this](const std::string& url) { io_.platform.OpenUrl(url); }),
      Form2(Core.UserSettings, [this] { return Save(); }, seams.boxes, seams.times),
      Form3(seams.monitor, Core.State, seams.files, seams.saveDialog, seams.boxes),
      // The chooser's fallback reopens the previous port at 9600 bit/s; the
      // chooser stays open unless the chosen port itself came into use.
      Form4(seams.portList,
            [this](int32_t port) {
                const PortChange r = ChangePort(port, kBaudCode9600);
                return r.ok && !r.fellBack;
            }),
      Link(seams.serial, seams.mainThread, Core, seams.boxes, &PopupMenu1.Ports, [this] { return Save(); },
           seams.readerSleep, seams.pollReads) {
    Panel2.BevelOuter = BevelCut::Lowered;
    Panel2.BevelInner = BevelCut::Raised;
    Panel2.SingleBorder = true;
    Label2.AutoSize = true;
    Label1.Centred = true;
    BindMenu();
    Core.Offsets.OnRow = [this](const OffsetRow& row) { offsetsFile_.Write(row); };
    // A disk that fails every minute's row is said once, until a row is
    // written again.
    offsetsFile_.OnFailure = [this](const std::string&, const std::string&) {
        io_.boxes.Show(BoxKind::Warning, kWarningCaption, kFileAccessError);
    };
}

void TForm1::BindMenu() {
    Form1Menu& m = PopupMenu1;
    for (MenuItem* f : {&m.N31, &m.N11, &m.N10}) f->OnClick = [this](MenuItem& it) { N31Click(it); };
    for (MenuItem* p : {&m.com11, &m.com21, &m.com31, &m.com41}) p->OnClick = [this](MenuItem& it) { com11Click(it); };
    for (MenuItem* b : {&m.N48001, &m.N96001}) b->OnClick = [this](MenuItem& it) { N48001Click(it); };
    const std::pair<MenuItem*, void (TForm1::*)()> plain[] = {
        {&m.N21, &TForm1::N21Click}, {&m.N6, &TForm1::N6Click},   {&m.N16, &TForm1::N16Click},
        {&m.N3, &TForm1::N3Click},   {&m.N4, &TForm1::N4Click},   {&m.N12, &TForm1::N12Click},
        {&m.N18, &TForm1::N18Click}, {&m.N15, &TForm1::N15Click}, {&m.About1, &TForm1::About1Click},
        {&m.N19, &TForm1::N19Click}, {&m.N20, &TForm1::N20Click}, {&m.N8, &TForm1::N8Click},
    };
    for (const auto& [item, handler] : plain) item->OnClick = [this, h = handler](MenuItem&) { (this->*h)(); };
}

Status TForm1::Save() { return savecfg(io_.files, io_.configPath, UserSettings); }

void TForm1::FormCreate() {
    io_.platform.SetToolWindow();                                  // 1
    Place.Left = io_.platform.ScreenWidth() - Place.Width - 80;    // 2
    Place.Top = 0;
    io_.platform.MoveWindow(Place.Left, Place.Top);
    // 3: every date this program formats already reads yyyy-mm-dd.
    Label1.SetCaption(TimeText(io_.clock.GetLocalTime()));         // 4
    Core.Tick.LastSecond = 60;                                     // 5
    Core.Tick.LastYear = Core.Tick.LastMonth = Core.Tick.LastDay = 0;
    State.SignalAge = 50;                                          // 6
    Label2.SetCaption(DateText(io_.clock.GetLocalTime()));         // 7
    StatusText = kNoSignalText;                                    // 8

    const LoadResult loaded = LoadSettings(io_.files, io_.configPath, UserSettings);  // 9
    if (!loaded.ok()) {
        // The strip stays up and ticks, with no port and no reader: the
        // user sees why in the box and can fix the file.
        ReportLoad(loaded, io_.boxes);
        return;
    }

    State.MonitorOn = false;                                       // 10
    State.NoSignal = false;
    State.JumpPending = false;
    State.JumpLogOn = true;
    State.CommLogOn = false;
    PopupMenu1.N4.Checked = UserSettings.NoCorrectOnJump;          // 11
    if (const FrameFormat* format = FindFormat(UserSettings.CodeFormat))  // 12
        if (MenuItem* item = PopupMenu1.Find(format->name)) item->Checked = true;
    State.CorrectNow = true;                                       // 13
    Link.Start();                                                  // 14 to 16
}

Colour IndicatorColour(Indicator state) {
    switch (state) {
        case Indicator::Red: return {255, 0, 0};
        case Indicator::Yellow: return {255, 255, 0};
        case Indicator::Green: break;
    }
    return {0, 128, 0};
}

void TForm1::FormClose() {
    Core.Offsets.Flush();
    Link.Stop();
}

void TForm1::Timer1Timer() {
    // The port's recovery is looked after at the same pace: a device found
    // gone is acted on within a tick, and a try comes when it is due.
    Link.ServicePort();
    if (!Core.CheckSecond()) return;
    const SecondTick& t = Core.Tick;
    Label1.SetCaption(t.TimeLabel);
    Label2.SetCaption(t.DateLabel);
    Panel2.SetColor(IndicatorColour(t.indicator));
    StatusText = t.StatusText;
}

void TForm1::Panel2MouseDown(MouseButton, int x, int y) {
    DragX = x;
    DragY = y;
}

void TForm1::Panel2MouseMove(int x, int y) {
    if (!io_.platform.LeftButtonHeld()) return;
    Place.Left += x - DragX;
    Place.Top += y - DragY;
    io_.platform.MoveWindow(Place.Left, Place.Top);
}

void TForm1::Panel2DblClick() { io_.boxes.Show(BoxKind::Plain, kAppTitle, StatusText); }

void TForm1::N31Click(MenuItem& item) {
    Status saved;
    {
        ReaderHold hold(&Link.Holds());
        for (MenuItem* f : {&PopupMenu1.N31, &PopupMenu1.N10, &PopupMenu1.N11}) f->Checked = false;
        item.Checked = true;
        UserSettings.CodeFormat = static_cast<uint8_t>(item.Tag);
        // Always through the baud change, even at the right code already: the
        // port is closed and reopened, which drops what the old format left
        // in its buffers. Its own save is not reported: the one below writes
        // the whole record again, the baud code included.
        Link.ChangeBaud(BaudCodeForFormat(item.Tag));
        saved = Save();
        Receiver.ResetRing(1);
    }
    // After the resume: the user may sit on the box, reception must not.
    ReportSave(saved, io_.boxes);
}

PortChange TForm1::ChangePort(int32_t port, std::optional<int32_t> fallbackBaudCode) {
    const PortChange r = Link.ChangePort(port, fallbackBaudCode);
    ReportSave(r.saved, io_.boxes);
    return r;
}

void TForm1::com11Click(MenuItem& item) { ChangePort(item.Tag); }

void TForm1::N21Click() { io_.platform.ShowModal(Form4); }

void TForm1::N48001Click(MenuItem& item) { ReportSave(Link.ChangeBaud(item.Tag).saved, io_.boxes); }

void TForm1::SystemResumed() { Link.TryPortNow(true); }

void TForm1::PortArrived() { Link.TryPortNow(false); }

void TForm1::N6Click() { State.CorrectNow = true; }

void TForm1::N16Click() {
    State.MonitorOn = true;
    io_.platform.ShowModal(Form3);
}

void TForm1::N3Click() { io_.platform.ShowModal(Form2); }

void TForm1::N4Click() {
    UserSettings.NoCorrectOnJump = !UserSettings.NoCorrectOnJump;
    PopupMenu1.N4.Checked = UserSettings.NoCorrectOnJump;
    ReportSave(Save(), io_.boxes);
}

void TForm1::N12Click() {
    State.JumpLogOn = !State.JumpLogOn;
    PopupMenu1.N12.Checked = State.JumpLogOn;
}

void TForm1::N18Click() {
    State.CommLogOn = !State.CommLogOn;
    PopupMenu1.N18.Checked = State.CommLogOn;
}

void TForm1::N15Click() {
    HelpFile = kHelpFile;
    if (!io_.platform.OpenHelp(HelpFile)) io_.boxes.Show(BoxKind::Plain, kAppTitle, kHelpMissing);
}

void TForm1::About1Click() { io_.platform.ShowModal(AboutBox); }

void TForm1::ShowStrip(bool visible) {
    Visible = visible;
    io_.platform.SetWindowVisible(visible);
    PopupMenu1.N19.Visible = visible;
    PopupMenu1.N20.Visible = !visible;
}

void TForm1::N19Click() {
    io_.platform.TrayAdd();
    InTray = true;
    ShowStrip(false);
}

void TForm1::N20Click() {
    io_.platform.TrayDelete();
    InTray = false;
    ShowStrip(true);
}

void TForm1::N8Click() {
    // An icon left behind would linger in the tray until the mouse passes.
    if (InTray) io_.platform.TrayDelete();
    InTray = false;
    io_.platform.CloseMainWindow();
}

intptr_t TForm1::TrayIconNotify(uintptr_t, intptr_t lParam) {
    // Only the right button: the strip comes back through the menu alone.
    if (lParam == kWmRButtonUp) io_.platform.PopupAtCursor(PopupMenu1);
    return 0;
}

void TForm1::TaskbarCreated() {
    if (InTray) io_.platform.TrayAdd();
}

}  // namespace tkw
