// The About box: the credits' lines, places and steps, started only by the
// right button with Shift, the panel back at the end, and OK during them
// closing only once they are over.
#include <gtest/gtest.h>

#include "forms/about_box.h"

namespace tkw {
namespace {

struct RecordingCanvas final : Canvas {
    void SetFont(const std::string& face, int points) override { font = face + " " + std::to_string(points); }
    int TextHeight(const std::string&) override { return 20; }
    void Write(int x, int y, const std::string& text) override {
        ++writes;
        if (writes <= 5) first.push_back(std::to_string(x) + "," + std::to_string(y) + " " + text);
        last = std::to_string(x) + "," + std::to_string(y) + " " + text;
    }
    std::string font, last;
    std::vector<std::string> first;
    int writes = 0;
};

TEST(AboutBox, CreditsScrollUpFromTheRightPressWithShiftOnly) {
    std::string opened;
    TAboutBox box([&](const std::string& url) { opened = url; });
    RecordingCanvas canvas;
    box.PaintBox1.Surface = &canvas;
    box.Visible = true;
    int pauses = 0;
    bool panelHiddenWhilePlaying = false, closedWhilePlaying = false;
    box.Pause = [&](int ms) {
        EXPECT_EQ(ms, 1);
        panelHiddenWhilePlaying = panelHiddenWhilePlaying || !box.Panel1.Visible;
        closedWhilePlaying = closedWhilePlaying || !box.Visible;
        if (++pauses == 10) box.OKButton.Click();  // OK during the credits
        return true;
    };

    for (auto [button, shift] : {std::pair{MouseButton::Right, false}, std::pair{MouseButton::Left, true},
                                 std::pair{MouseButton::Middle, true}})
        box.Panel1MouseDown(button, shift, 10, 10);
    EXPECT_EQ(canvas.writes, 0);

    box.Panel1MouseDown(MouseButton::Right, true, 10, 10);
    const int h = 20, steps = 5 * h + 101;
    EXPECT_EQ(canvas.font, "Arial 20");
    EXPECT_EQ(pauses, steps);
    EXPECT_EQ(canvas.writes, 5 * steps);
    EXPECT_EQ(canvas.first, (std::vector<std::string>{"4,100 TKW 串口校时", "4,120 TKW 开发组 编写",
                                                      "4,140 联系方式：见上方网址", "4,160 谢谢使用",
                                                      "4,180 多提意见! "}));
    EXPECT_EQ(canvas.last, "4,-20 多提意见! ");  // 100 - (steps - 1) + 4h: all scrolled out
    EXPECT_TRUE(panelHiddenWhilePlaying);
    EXPECT_TRUE(box.Panel1.Visible);
    EXPECT_FALSE(closedWhilePlaying) << "OK during the credits waits for their end";
    EXPECT_FALSE(box.Visible) << "OK during the credits closes once they are over";

    box.Label2.OnClick();
    EXPECT_EQ(opened, TAboutBox::kHomePage);
}

TEST(AboutBox, AQuitDuringTheCreditsEndsThemWithThePanelBack) {
    TAboutBox box({});
    RecordingCanvas canvas;
    box.PaintBox1.Surface = &canvas;
    box.Visible = true;
    box.Pause = [](int) { return false; };
    box.Panel1MouseDown(MouseButton::Right, true, 0, 0);
    EXPECT_EQ(canvas.writes, 5);
    EXPECT_TRUE(box.Panel1.Visible);
    box.OKButton.Click();
    EXPECT_FALSE(box.Visible);
}

}  // namespace
}  // namespace tkw
