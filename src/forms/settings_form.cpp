#include "forms/settings_form.h"

#include <algorithm>

#include "engine/settings_report.h"
#include "config/setting_names.h"
#include "platform/systime.h"

namespace tkw {

TForm2::TForm2(Settings& settings, std::function<Status()> save, MessageBoxes& boxes, TimeOfDayText& times)
    : settings_(settings), save_(std::move(save)), boxes_(boxes), times_(times) {
    Look.Caption = "校时设置";
    Look.Border = FormLook::Frame::Single;
    Look.Width = 392, Look.Height = 419;
    Look.Left = 460, Look.Top = 136;
    Look.FontName = "宋体";
    Look.FontHeight = 13;

    Panel1.BevelInner = BevelCut::Lowered;
    Add({&Panel1});
    // The mode buttons one after another and first: the dialog opens with the
    // keyboard on the checked one, and the arrow keys step through the three.
    Add({&Bevel1, &Label6, &RadioButton1, &RadioButton2, &RadioButton3, &SpinEdit1, &Label8, &SpinEdit2, &Label1,
         &SpinEdit3, &Label2, &ListBox1, &SpinEdit6, &Label5, &SpinEdit4, &Label3, &SpinEdit5, &Label4, &Button1,
         &Button2, &Label7, &SpinEdit7, &Label9, &Label10, &Label12, &TrackBar1, &Edit1},
        &Panel1);
    Add({&Button3, &Button4});
    for (RadioButton* r : {&RadioButton1, &RadioButton2, &RadioButton3}) r->FontColour = kNavy;
    for (Label* l : {&Label6, &Label8, &Label1, &Label2, &Label5, &Label3, &Label4, &Label7, &Label9, &Label10, &Label12})
        l->AutoSize = true;
    // The numbers the user edits are red; the spin fields in the system font.
    for (SpinEdit* s : {&SpinEdit1, &SpinEdit2, &SpinEdit3, &SpinEdit6, &SpinEdit4, &SpinEdit5, &SpinEdit7}) {
        s->FontColour = kRed;
        s->SystemFont = true;
    }
    for (Control* c : std::initializer_list<Control*>{&ListBox1, &Button1, &Button2, &Edit1}) c->FontColour = kRed;

    Button3.OnClick = [this] { Button3Click(); };
    Button4.OnClick = [this] { Button4Click(); };
    Button1.OnClick = [this] { Button1Click(); };
    Button2.OnClick = [this] { Button2Click(); };
    ListBox1.OnClick = [this] { ListBox1Click(); };
    TrackBar1.OnChange = [this] { TrackBar1Change(); };
    Edit1.OnChange = [this] { Edit1Change(); };
}

void TForm2::FormCreate() {
    ListBox1.Clear();
    for (RadioButton* r : {&RadioButton1, &RadioButton2, &RadioButton3}) r->SetChecked(false);
    SpinEdit7.SetValue(settings_.JumpThreshold);
    TrackBar1.SetPosition(settings_.FineAdjustMs);
    Edit1.SetText(std::to_string(settings_.FineAdjustMs));
    switch (settings_.CorrectionMode) {
        case kModeEveryMinute:
            RadioButton1.SetChecked(true);
            SpinEdit1.SetValue(settings_.CorrectionSecond);
            break;
        case kModeEveryHour:
            RadioButton2.SetChecked(true);
            SpinEdit3.SetValue(settings_.CorrectionSecond);
            SpinEdit2.SetValue(settings_.CorrectionMinute);
            break;
        case kModeDailyPoints: {
            RadioButton3.SetChecked(true);
            for (const std::string& text : DailyPointTexts(settings_, times_)) ListBox1.Add(text);
            break;
        }
        default: break;  // no mode button checked
    }
}

void TForm2::Button3Click() {
    settings_.JumpThreshold = static_cast<uint8_t>(SpinEdit7.Value());
    // The slider holds the value; Edit1 may hold text that is no number.
    settings_.FineAdjustMs = static_cast<uint16_t>(TrackBar1.Position());
    if (RadioButton1.Checked) {
        settings_.CorrectionMode = kModeEveryMinute;
        settings_.CorrectionSecond = static_cast<uint8_t>(SpinEdit1.Value());
    } else if (RadioButton2.Checked) {
        settings_.CorrectionMode = kModeEveryHour;
        settings_.CorrectionSecond = static_cast<uint8_t>(SpinEdit3.Value());
        settings_.CorrectionMinute = static_cast<uint8_t>(SpinEdit2.Value());
    } else if (RadioButton3.Checked) {
        settings_.CorrectionMode = kModeDailyPoints;
        // Every entry was made by this dialog in this format, so it reads back.
        std::vector<int> seconds;
        for (const std::string& item : ListBox1.Items()) {
            int h = 0, m = 0, s = 0;
            times_.Parse(item, h, m, s);
            seconds.push_back(h * 3600 + m * 60 + s);
        }
        SetDailyPoints(settings_, seconds);
    }
    Close();
    ReportSave(save_(), boxes_);
}

void TForm2::Button4Click() { Close(); }

void TForm2::Button1Click() { ListBox1.Add(times_.Format(SpinEdit6.Value(), SpinEdit4.Value(), SpinEdit5.Value())); }

void TForm2::Button2Click() { ListBox1.Delete(ListBox1.ItemIndex()); }

void TForm2::ListBox1Click() {
    const int i = ListBox1.ItemIndex();
    if (i < 0) return;
    int h = 0, m = 0, s = 0;
    if (!times_.Parse(ListBox1.Items()[static_cast<size_t>(i)], h, m, s)) return;
    SpinEdit6.SetValue(h);
    SpinEdit4.SetValue(m);
    SpinEdit5.SetValue(s);
}

void TForm2::TrackBar1Change() { Edit1.SetText(std::to_string(TrackBar1.Position())); }

void TForm2::Edit1Change() {
    int v = 0;
    if (ParseInteger(Edit1.Text(), v)) TrackBar1.SetPosition(v);
}

}  // namespace tkw
