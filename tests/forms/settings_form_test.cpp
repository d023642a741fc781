// The correction settings dialog against a settings record: what it shows on
// each activation, what "应用" stores (clamped values, the 24-point cap, the
// slider rather than its text), what "取消" and the close box leave alone, and
// the daily point list's add, delete and click.
#include <gtest/gtest.h>

#include "forms/settings_form.h"
#include "support/fakes.h"

namespace tkw::test {
namespace {

double Point(int h, int m, int s) { return ToDateTime(h * 3'600'000LL + m * 60'000LL + s * 1'000LL); }

struct Rig {
    Rig() {
        ApplyDefaults(settings);
        form.Visible = true;
    }
    Settings settings;
    RecordingBoxes boxes;
    int saves = 0;
    bool shownAtSave = false;  // the dialog was still up when the file was written
    Status saveResult;
    PatternTimeText times{"H:mm:ss"};
    TForm2 form{settings, [this] {
                    ++saves;
                    shownAtSave = shownAtSave || form.Visible;
                    return saveResult;
                }, boxes, times};
};

TEST(Form2, EachActivationShowsTheSettingsOfItsModeAndDropsUnappliedEdits) {
    Rig r;
    r.settings.DailyPoints[0] = Point(7, 30, 0);
    r.settings.DailyPoints[1] = Point(23, 0, 0);
    r.settings.DailyPointCount = 2;
    r.settings.CorrectionMinute = 12;
    r.settings.JumpThreshold = 5;
    r.settings.FineAdjustMs = 135;

    struct Case {
        uint8_t mode;
        int checked;  // 1..3, 0 none
        const char* sec1;
        const char* min2;
        const char* sec2;
        std::vector<std::string> list;
    } cases[] = {
        {1, 1, "31", "0", "0", {}},
        {2, 2, "31", "12", "31", {}},
        {3, 3, "31", "12", "31", {"7:30:00", "23:00:00"}},  // other modes' fields left as they were
        {9, 0, "31", "12", "31", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.mode));
        r.settings.CorrectionMode = c.mode;
        r.form.ListBox1.Add("left over");
        r.form.SpinEdit7.SetValue(40);
        r.form.Edit1.SetText("900");
        r.form.FormActivate();
        EXPECT_EQ(r.form.RadioButton1.Checked, c.checked == 1);
        EXPECT_EQ(r.form.RadioButton2.Checked, c.checked == 2);
        EXPECT_EQ(r.form.RadioButton3.Checked, c.checked == 3);
        EXPECT_EQ(r.form.SpinEdit1.Text(), c.sec1);
        EXPECT_EQ(r.form.SpinEdit2.Text(), c.min2);
        EXPECT_EQ(r.form.SpinEdit3.Text(), c.sec2);
        EXPECT_EQ(r.form.ListBox1.Items(), c.list);
        EXPECT_EQ(r.form.SpinEdit7.Value(), 5);
        EXPECT_EQ(r.form.TrackBar1.Position(), 135);
        EXPECT_EQ(r.form.Edit1.Text(), "135");
    }
    EXPECT_EQ(r.saves, 0);
}

TEST(Form2, ApplyStoresTheCheckedModeWithinTheRangesThenClosesAndSaves) {
    Rig r;
    r.settings.DailyPoints[24] = 99.5;  // never written by the dialog
    r.settings.CorrectionMinute = 7;
    r.form.FormActivate();

    // Mode 1, a second typed beyond 59, an emptied threshold, text in Edit1.
    r.form.RadioButton1.Click();
    r.form.SpinEdit1.SetText("75");
    r.form.SpinEdit7.SetText("");
    r.form.TrackBar1.SetPosition(250);
    r.form.Edit1.SetText("abc");
    r.form.Button3.Click();
    EXPECT_EQ(r.settings.CorrectionMode, 1);
    EXPECT_EQ(r.settings.CorrectionSecond, 59);
    EXPECT_EQ(r.settings.CorrectionMinute, 7);
    EXPECT_EQ(r.settings.JumpThreshold, 2);
    EXPECT_EQ(r.settings.FineAdjustMs, 250);
    EXPECT_FALSE(r.form.Visible);
    EXPECT_EQ(r.saves, 1);
    EXPECT_FALSE(r.shownAtSave) << "closed first, then saved";

    // Mode 3 with 25 points (unsorted, one twice): the first 24 in list order.
    r.form.Visible = true;
    r.form.FormActivate();
    r.form.RadioButton3.Click();
    const int times[][3] = {{23, 0, 0}, {6, 15, 0}, {23, 0, 0}};
    for (const auto& t : times) {
        r.form.SpinEdit6.SetValue(t[0]);
        r.form.SpinEdit4.SetValue(t[1]);
        r.form.SpinEdit5.SetValue(t[2]);
        r.form.Button1.Click();
    }
    for (int i = 3; i < 25; ++i) {
        r.form.SpinEdit6.SetValue(i - 3);
        r.form.Button1.Click();
    }
    ASSERT_EQ(r.form.ListBox1.Items().size(), 25u);
    r.form.Button3.Click();
    EXPECT_EQ(r.settings.CorrectionMode, 3);
    EXPECT_EQ(r.settings.DailyPointCount, 24);
    EXPECT_EQ(r.settings.DailyPoints[0], Point(23, 0, 0));
    EXPECT_EQ(r.settings.DailyPoints[1], Point(6, 15, 0));
    EXPECT_EQ(r.settings.DailyPoints[2], Point(23, 0, 0));
    EXPECT_EQ(r.settings.DailyPoints[23], Point(20, 0, 0));
    EXPECT_EQ(r.settings.DailyPoints[24], 99.5);
    EXPECT_EQ(r.saves, 2);

    // Reopened: the 24 stored points; applied with the list emptied: none.
    r.form.FormActivate();
    EXPECT_EQ(r.form.ListBox1.Items().size(), 24u);
    while (!r.form.ListBox1.Items().empty()) {
        r.form.ListBox1.Click(0);
        r.form.Button2.Click();
    }
    r.form.Button2.Click();  // nothing selected, nothing there: nothing happens
    r.form.Button3.Click();
    EXPECT_EQ(r.settings.DailyPointCount, 0);

    // A failed save: the box, and the settings keep what was applied.
    r.saveResult = Status::Fail("disk full");
    r.form.FormActivate();
    r.form.RadioButton2.Click();
    r.form.Button3.Click();
    EXPECT_EQ(r.settings.CorrectionMode, 2);
    ASSERT_EQ(r.boxes.shown.size(), 1u);
    EXPECT_EQ(r.boxes.shown[0].text, "disk full");
}

// Windows clicks a radio button that takes the focus. The keyboard comes to
// the mode group at its checked button only, so opening the dialog and
// moving the focus around never change the mode.
TEST(Form2, TheKeyboardComesToTheCheckedModeSoFocusKeepsTheMode) {
    for (uint8_t mode : {1, 2, 3, 0}) {
        SCOPED_TRACE(static_cast<int>(mode));
        Rig r;
        r.settings.CorrectionMode = mode;
        r.form.FormActivate();
        RadioButton* focused = r.form.Modes.TabStop();
        ASSERT_NE(focused, nullptr);
        if (mode == 0) {
            EXPECT_EQ(focused, &r.form.RadioButton1);  // none checked: still reachable
            continue;
        }
        focused->Click();
        r.form.Button3.Click();
        EXPECT_EQ(r.settings.CorrectionMode, mode);
    }
}

TEST(Form2, CancelAndTheCloseBoxChangeNothing) {
    for (bool closeBox : {false, true}) {
        Rig r;
        const Settings before = r.settings;
        r.form.FormActivate();
        r.form.RadioButton2.Click();
        r.form.SpinEdit7.SetValue(50);
        r.form.TrackBar1.SetPosition(10);
        if (closeBox) {
            r.form.FormClose();
            r.form.Close();
        } else {
            r.form.Button4.Click();
        }
        EXPECT_FALSE(r.form.Visible);
        EXPECT_EQ(r.settings, before);
        EXPECT_EQ(r.saves, 0);
    }
}

// The fine adjustment's slider and text field, through the dialog's own
// handlers: a typed number moves the slider and is shown as the slider took
// it; text that is no number leaves the slider; a slider move shows its value.
TEST(Form2, FineAdjustmentSliderAndTextMirrorEachOther) {
    Rig r;
    r.settings.FineAdjustMs = 135;
    r.form.FormActivate();
    struct Step {
        const char* typed;  // null: the slider is set to `position` instead
        int position;
        const char* text;
    } steps[] = {
        {"007", 7, "7"},
        {"-5", 0, "0"},
        {"-5", 0, "-5"},  // the slider is at 0 already: nothing moves, the text stays
        {"x", 0, "x"},
        {"1500", 999, "999"},
        {nullptr, 420, "420"},
    };
    for (const Step& s : steps) {
        if (s.typed) {
            r.form.Edit1.SetText(s.typed);
        } else {
            r.form.TrackBar1.SetPosition(s.position);
        }
        EXPECT_EQ(r.form.TrackBar1.Position(), s.position) << (s.typed ? s.typed : "slider");
        EXPECT_EQ(r.form.Edit1.Text(), s.text) << (s.typed ? s.typed : "slider");
    }
}

TEST(Form2, AListClickFillsTheFieldsAndLeavesTheEntry) {
    Rig r;
    r.form.FormActivate();
    r.form.SpinEdit6.SetValue(7);
    r.form.SpinEdit4.SetValue(30);
    r.form.SpinEdit5.SetValue(0);
    r.form.Button1.Click();
    r.form.SpinEdit6.SetValue(12);
    r.form.SpinEdit4.SetValue(1);
    r.form.SpinEdit5.SetValue(2);
    r.form.ListBox1.Click(0);
    EXPECT_EQ(r.form.ListBox1.Items(), std::vector<std::string>{"7:30:00"});
    EXPECT_EQ(r.form.SpinEdit6.Value(), 7);
    EXPECT_EQ(r.form.SpinEdit4.Value(), 30);
    EXPECT_EQ(r.form.SpinEdit5.Value(), 0);
}

}  // namespace
}  // namespace tkw::test
