#include "forms/monitor_form.h"

namespace tkw {

TForm3::TForm3(MonitorLog& log, RuntimeState& state, FileSystem& files, SaveDialog& saveDialog,
               MessageBoxes& boxes)
    : log_(log), state_(state), files_(files), saveDialog_(saveDialog), boxes_(boxes) {
    Look.Caption = "通讯观测";
    Look.Border = FormLook::Frame::Sizeable;
    Look.Width = 691, Look.Height = 469;
    Look.ClientSize = false;
    Look.Centred = true;
    Look.Topmost = true;
    Look.FontName = "MS Sans Serif";
    Look.FontHeight = 11;

    ControlBar1.Alignment = Control::Align::Top;
    Add({&ControlBar1});
    Add({&SpeedButton1, &SpeedButton3, &SpeedButton2, &SpeedButton4}, &ControlBar1);
    Add({&Memo1});
    Memo1.Alignment = Control::Align::Client;
    Memo1.ReadOnly = true;
    Memo1.ScrollBars = Memo::Bars::Both;
    Memo1.WordWrap = true;
    Memo1.FontHeight = 13;
    Memo1.Source = &log_;

    SpeedButton1.OnClick = [this] { SpeedButton1Click(); };
    SpeedButton2.OnClick = [this] { SpeedButton2Click(); };
    SpeedButton3.OnClick = [this] { SpeedButton3Click(); };
    SpeedButton4.OnClick = [this] { SpeedButton4Click(); };
}

void TForm3::SpeedButton1Click() {
    const std::optional<std::string> chosen = saveDialog_.AskSavePath("文本文件", "*.txt", "txt");
    if (!chosen) return;
    const Status st = log_.SaveTo(files_, WithDefaultExtension(*chosen, "txt"));
    boxes_.Show(BoxKind::Plain, kAppTitle, st ? kSaveDone : kSaveFailed);
}

void TForm3::SpeedButton2Click() { state_.MonitorOn = false; }

void TForm3::SpeedButton3Click() { log_.Clear(); }

void TForm3::SpeedButton4Click() { state_.MonitorOn = true; }

}  // namespace tkw
