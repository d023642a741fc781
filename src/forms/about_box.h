// The About box: the program's picture, name, version, maker, a link and the
// release notes; a right-button press with Shift on the white panel plays
// the credits, scrolling up over the surface behind it.
#pragma once

#include <array>
#include <functional>
#include <string>

#include "ui/controls.h"
#include "ui/memo.h"
#include "ui/modal_form.h"

namespace tkw {

// The program's picture: a JPEG in the resources, under this id.
inline constexpr int kAboutPicture = 2;

// The credits: five lines that scroll up one pixel a step, drawn at x = 4
// and y = 100 - step + k * h (h: the height of "0" in the credits' font),
// over 5h + 101 steps.
struct Credits {
    static constexpr const char* kFont = "Arial";
    static constexpr int kFontPoints = 20;
    static const std::array<const char*, 5> kLines;
    static constexpr int kX = 4;

    static int Steps(int h) { return 5 * h + 101; }
    static int Y(int step, int line, int h) { return 100 - step + line * h; }
};

class TAboutBox final : public ModalForm {
public:
    // `openLink` gives an address to the shell's default action.
    explicit TAboutBox(std::function<void(const std::string&)> openLink);

    void OKButtonClick() { Close(); }
    void Label2Click();
    void Panel1MouseDown(MouseButton button, bool shift, int x, int y);
    // Closed only once the credits are over and the panel is back.
    bool CloseQuery() override;

    PaintBox PaintBox1{"PaintBox1", {8, 8, 313, 161}};
    Panel Panel1{"Panel1", {16, 8, 297, 161}, kWhite, false};
    Image ProgramIcon{"ProgramIcon", {8, 8, 65, 57}, kAboutPicture};
    Label ProductName{"ProductName", "TKW 串口校时", {88, 16, 193, 20}, kNavy};
    Label Version{"Version", "", {112, 40, 0, 0}, kPurple, true};
    Label Copyright{"Copyright", "版权所有 (C) 2026 TKW 开发组", {48, 72, 0, 0}, kBlack, true};
    Label Label1{"Label1", "TKW 开发组", {48, 96, 0, 0}};
    Label Label2{"Label2", "", {72, 120, 153, 17}, kNavy, true};
    Label Comments{"Comments", "本软件按原样提供，保留所有权利。", {80, 136, 209, 0}, kBlack, true};
    Button OKButton{"OKButton", "OK", {127, 186, 77, 27}};
    Panel Panel2{"Panel2", {8, 224, 313, 97}};
    Memo Memo1{"Memo1", {1, 1, 311, 95}};

    // The address Label2 shows and opens.
    static const char* const kHomePage;
    // The release notes, newest first.
    static std::vector<std::string> ReleaseNotes();

private:
    std::function<void(const std::string&)> openLink_;
    bool playing_ = false;
    bool closeWhenDone_ = false;
};

}  // namespace tkw
