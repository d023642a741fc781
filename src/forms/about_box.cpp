#include "forms/about_box.h"

#include "engine/version.h"

// Given by the build (CMakeLists.txt).
#ifndef TKW_HOMEPAGE
#define TKW_HOMEPAGE "https://example.org/tkw"
#endif

namespace tkw {

const std::array<const char*, 5> Credits::kLines = {
    "TKW 串口校时",
    "TKW 开发组 编写",
    "联系方式：见上方网址",
    "谢谢使用",
    "多提意见! ",
};

const char* const TAboutBox::kHomePage = TKW_HOMEPAGE;

namespace {

std::string VersionText() {
    const ReleaseInfo& r = Release();
    return std::string("版本 ") + r.version + "（" + std::to_string(r.year) + "年" + std::to_string(r.month) + "月）";
}

}  // namespace

std::vector<std::string> TAboutBox::ReleaseNotes() {
    return {
        VersionText(),
        "· 校时设置：每分钟、每小时或每天固定时间点校时，跳动定义与校时微调。",
        "· 串口选择：列出系统的串口，可用 COM1 至 COM128；打不开时退回原端口（9600）。",
        "· 通讯观测：实时显示收到的时间码和应答，可输出到文件、清空、停止与继续。",
        "· 关于对话框。",
        "",
        "版本 0.1.0（2026年12月）",
        "· 接收 KRW_CODE、PL_CODE、MN_CODE 三种时间码，按计划校正本机时钟。",
        "· 跳动判断与记录，跳动不校时，立即校正；每次校正后向接收机应答 55 AA。",
        "· 每秒向接收机发送本机时间帧；显示条、右键菜单与托盘图标。",
        "· 跳动记录与通讯记录按日期写入文件。",
    };
}

TAboutBox::TAboutBox(std::function<void(const std::string&)> openLink) : openLink_(std::move(openLink)) {
    Look.Caption = "About";
    Look.Border = FormLook::Frame::Dialog;
    Look.Width = 329, Look.Height = 326;
    Look.Centred = true;
    Look.FontName = "System";
    Look.FontHeight = 13;

    Panel1.BevelInner = BevelCut::Raised;
    Panel1.BevelOuter = BevelCut::Lowered;
    ProductName.FontName = "Comic Sans MS";  // a decorative face, where the system has one
    ProductName.FontHeight = 19;
    Version.Caption = VersionText();
    // The maker's name keeps the dialog's font; the other three are bold
    // MS Sans Serif at 8 points.
    for (Label* l : {&Version, &Copyright, &Label2}) {
        l->FontName = "MS Sans Serif";
        l->FontHeight = 11;  // 8 points
    }
    for (Label* l : {&Version, &Copyright, &Label1}) l->AutoSize = true;
    Label2.Caption = kHomePage;
    Label2.HandCursor = true;
    Label2.OnClick = [this] { Label2Click(); };
    Comments.WordWrap = true;
    Comments.Place.Height = 20;
    OKButton.Bold = true;
    OKButton.FontName = "MS Sans Serif";
    OKButton.FontHeight = 11;
    OKButton.OnClick = [this] { OKButtonClick(); };
    Panel2.BevelOuter = BevelCut::Lowered;
    Memo1.FontName = "宋体";
    Memo1.FontHeight = 13;
    Memo1.Lines = ReleaseNotes();
    Panel1.OnMouseDown = [this](MouseButton b, bool shift, int x, int y) { Panel1MouseDown(b, shift, x, y); };

    // The OK button first: it has the focus when the box opens.
    Add({&OKButton, &PaintBox1, &Panel1});
    Add({&ProgramIcon, &ProductName, &Version, &Copyright, &Label1, &Label2, &Comments}, &Panel1);
    Add({&Panel2});
    Add({&Memo1}, &Panel2);
}

void TAboutBox::Label2Click() {
    if (openLink_) openLink_(kHomePage);
}

void TAboutBox::Panel1MouseDown(MouseButton button, bool shift, int, int) {
    if (button != MouseButton::Right || !shift || playing_) return;
    Canvas* canvas = PaintBox1.Surface;
    playing_ = true;
    Panel1.SetVisible(false);
    bool going = true;
    if (canvas) {
        canvas->SetFont(Credits::kFont, Credits::kFontPoints);
        const int h = canvas->TextHeight("0");
        for (int s = 0; going && s < Credits::Steps(h); ++s) {
            for (int k = 0; k < static_cast<int>(Credits::kLines.size()); ++k)
                canvas->Write(Credits::kX, Credits::Y(s, k, h), Credits::kLines[static_cast<size_t>(k)]);
            // The pause serves the window's messages: OK may come meanwhile.
            if (Pause) going = Pause(1);
        }
    }
    Panel1.SetVisible(true);
    playing_ = false;
    if (closeWhenDone_) {
        closeWhenDone_ = false;
        Close();
    }
}

bool TAboutBox::CloseQuery() {
    if (!playing_) return true;
    closeWhenDone_ = true;
    return false;
}

}  // namespace tkw
