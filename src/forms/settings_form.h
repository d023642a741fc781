// The correction settings dialog "校时设置": the schedule (every minute, every
// hour, or daily time points), the jump threshold and the fine adjustment.
// Filled from the settings each time it becomes active, so edits not applied
// are dropped; "应用" stores them, closes and saves; "取消" and the close box
// change nothing.
#pragma once

#include <functional>

#include "config/settings.h"
#include "platform/files.h"
#include "platform/message_box.h"
#include "platform/time_of_day_text.h"
#include "ui/controls.h"
#include "ui/list_box.h"
#include "ui/modal_form.h"
#include "ui/spin_edit.h"
#include "ui/track_bar.h"

namespace tkw {

class TForm2 final : public ModalForm {
public:
    // `save` writes the settings file; its failure is shown in `boxes`.
    TForm2(Settings& settings, std::function<Status()> save, MessageBoxes& boxes, TimeOfDayText& times);

    // Bound to the dialog's activation, not its creation.
    void FormActivate() override { FormCreate(); }
    void FormCreate();
    void Button3Click();  // 应用
    void Button4Click();  // 取消
    void Button1Click();  // 增加
    void Button2Click();  // 删除
    void ListBox1Click();
    void TrackBar1Change();
    void Edit1Change();

    Panel Panel1{"Panel1", {0, 8, 393, 361}};
    Bevel Bevel1{"Bevel1", {8, 8, 377, 265}};
    Label Label6{"Label6", "校时模式", {24, 18, 0, 0}, kBlack, true};
    RadioButton RadioButton1{"RadioButton1", "每分钟校时 校时时刻在第：", {24, 40, 201, 17}};
    SpinEdit SpinEdit1{"SpinEdit1", {304, 32, 49, 26}, kSecondRange.Min, kSecondRange.Max};
    Label Label8{"Label8", "秒", {360, 40, 0, 0}, kNavy};
    RadioButton RadioButton2{"RadioButton2", "每小时校时 校时时刻在第：", {24, 80, 193, 17}};
    SpinEdit SpinEdit2{"SpinEdit2", {232, 80, 49, 26}, kMinuteRange.Min, kMinuteRange.Max};
    Label Label1{"Label1", "分", {288, 80, 0, 0}, kNavy};
    SpinEdit SpinEdit3{"SpinEdit3", {304, 80, 49, 26}, kSecondRange.Min, kSecondRange.Max};
    Label Label2{"Label2", "秒", {360, 80, 0, 0}, kNavy};
    RadioButton RadioButton3{"RadioButton3", "每天固定时间点校时", {24, 120, 185, 17}};
    ListBox ListBox1{"ListBox1", {24, 144, 121, 113}};
    SpinEdit SpinEdit6{"SpinEdit6", {152, 144, 49, 26}, kHourRange.Min, kHourRange.Max};
    Label Label5{"Label5", "时", {208, 144, 0, 0}, kNavy};
    SpinEdit SpinEdit4{"SpinEdit4", {232, 144, 49, 26}, kMinuteRange.Min, kMinuteRange.Max};
    Label Label3{"Label3", "分", {288, 144, 0, 0}, kNavy};
    SpinEdit SpinEdit5{"SpinEdit5", {304, 144, 49, 26}, kSecondRange.Min, kSecondRange.Max};
    Label Label4{"Label4", "秒", {360, 144, 0, 0}, kNavy};
    Button Button1{"Button1", "增加", {216, 184, 75, 25}};
    Button Button2{"Button2", "删除", {216, 224, 75, 25}};
    Label Label7{"Label7", "跳动定义：时间差在", {24, 296, 0, 0}, kNavy, true};
    SpinEdit SpinEdit7{"SpinEdit7", {168, 288, 49, 26}, kJumpThresholdRange.Min, kJumpThresholdRange.Max};
    Label Label9{"Label9", "秒以上", {232, 296, 0, 0}, kNavy, true};
    Label Label10{"Label10", "校时微调(MS)：", {24, 328, 0, 0}, kNavy, true};
    Label Label12{"Label12", "0", {152, 328, 0, 0}, kRed};
    TrackBar TrackBar1{"TrackBar1", {160, 328, 118, 17}, kFineAdjustRange.Min, kFineAdjustRange.Max};
    Edit Edit1{"Edit1", {280, 328, 41, 21}, 3};
    Button Button3{"Button3", "应用", {88, 384, 75, 25}};
    Button Button4{"Button4", "取消", {232, 384, 75, 25}};
    RadioGroup Modes{&RadioButton1, &RadioButton2, &RadioButton3};

private:
    Settings& settings_;
    std::function<Status()> save_;
    MessageBoxes& boxes_;
    TimeOfDayText& times_;
};

}  // namespace tkw
