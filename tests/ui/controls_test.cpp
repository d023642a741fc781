// The rules that belong to the controls themselves: what a spin field reads
// and keeps, which keys it takes, lists, radio groups. (The slider and edit
// that report only real changes are tested through the settings dialog,
// whose handlers mirror one into the other.)
#include <gtest/gtest.h>

#include "ui/controls.h"
#include "ui/list_box.h"
#include "ui/spin_edit.h"

namespace tkw {
namespace {

TEST(SpinEdit, TextReadsAsAValueWithinTheBoundsAndFocusLossShowsIt) {
    struct Case {
        const char* typed;
        int value;  // as read, and as shown after focus loss
    } cases[] = {
        {"31", 31}, {"75", 59},  {"-3", 0},  {"", 0},     {"abc", 0}, {"1.5", 0},
        {"007", 7}, {" 12 ", 12}, {"+5", 5}, {"99999999999", 59}, {"-99999999999", 0},
    };
    for (const Case& c : cases) {
        SpinEdit s("SpinEdit1", {}, 0, 59, 20);
        int changes = 0;
        s.Changed = [&] { ++changes; };
        s.SetText(c.typed);
        EXPECT_EQ(s.Value(), c.value) << c.typed;
        s.FocusLost();
        EXPECT_EQ(s.Text(), std::to_string(c.value)) << c.typed;
        EXPECT_EQ(s.Value(), c.value) << c.typed;
        EXPECT_GE(changes, 1);
    }
    // A blank field of the jump threshold reads as its minimum, 2.
    SpinEdit jump("SpinEdit7", {}, 2, 60, 3);
    jump.SetText("");
    EXPECT_EQ(jump.Value(), 2);
}

TEST(SpinEdit, SetAndStepStayWithinTheBounds) {
    SpinEdit s("SpinEdit1", {}, 0, 59);
    s.SetValue(75);
    EXPECT_EQ(s.Text(), "59");
    s.StepUp();
    EXPECT_EQ(s.Value(), 59);
    s.SetValue(1);
    s.StepDown();
    s.StepDown();
    EXPECT_EQ(s.Text(), "0");
    s.SetText("abc");
    s.StepUp();  // from what the text reads as
    EXPECT_EQ(s.Text(), "1");
}

TEST(SpinEdit, TakesDigitsSignsTheSeparatorAndEditingKeysOnly) {
    SpinEdit s("SpinEdit1", {}, 0, 59);
    for (char32_t c : {U'0', U'9', U'+', U'-', U'.', U'\b', char32_t{3}, char32_t{22}})
        EXPECT_TRUE(s.AcceptsChar(c)) << static_cast<int>(c);
    for (char32_t c : {U'a', U' ', U'\r', U'\n', U',', U'秒', char32_t{27}})
        EXPECT_FALSE(s.AcceptsChar(c)) << static_cast<int>(c);
    s.DecimalSeparator = ',';
    EXPECT_TRUE(s.AcceptsChar(U','));
    EXPECT_FALSE(s.AcceptsChar(U'.'));
}

TEST(ListBoxAndRadioGroup, SelectionAndMarks) {
    ListBox list("ListBox1", {});
    int clicks = 0;
    list.OnClick = [&] { ++clicks; };
    for (const char* l : {"7:30:00", "23:00:00", "7:30:00"}) list.Add(l);
    list.Click(1);
    EXPECT_EQ(list.ItemIndex(), 1);
    list.Delete(1);
    EXPECT_EQ(list.Items(), (std::vector<std::string>{"7:30:00", "7:30:00"}));
    EXPECT_EQ(list.ItemIndex(), -1);
    list.Delete(5);  // nothing there
    list.Clear();
    EXPECT_TRUE(list.Items().empty());
    EXPECT_EQ(clicks, 1);

    RadioButton a("RadioButton1", "1", {}), b("RadioButton2", "2", {}), c("RadioButton3", "3", {});
    RadioGroup group{&a, &b, &c};
    EXPECT_EQ(group.TabStop(), &a);  // none checked: the first takes the keyboard
    a.SetChecked(true);
    // A move of the check tells every member, the one left unchecked too:
    // each shows whether it takes the keyboard now.
    std::string told;
    for (RadioButton* r : group.Members()) r->Changed = [&told, r] { told += r->Caption; };
    c.Click();
    EXPECT_FALSE(a.Checked || b.Checked);
    EXPECT_TRUE(c.Checked);
    EXPECT_EQ(group.TabStop(), &c);
    EXPECT_EQ(told, "123");
    c.SetChecked(false);
    EXPECT_FALSE(a.Checked || b.Checked || c.Checked);
    EXPECT_EQ(group.TabStop(), &a);
}

}  // namespace
}  // namespace tkw
