// The port chooser: the number read from a list line, and the list made
// afresh at every activation.
#include <gtest/gtest.h>

#include "forms/ports_form.h"

namespace tkw {
namespace {

TEST(Form4, ThePortNumberOfALine) {
    struct Case {
        const char* line;
        int port;  // 0: nothing taken
    } cases[] = {
        {"COM1......\\Device\\Serial0", 1},
        {"COM12......\\Device\\Serial11", 12},
        {"COM128......", 128},
        {"COM200......\\Device\\VCP0", 128},
        {"COM0......x", 1},
        {"ABC7......any", 7},  // any three-letter prefix is skipped alike
        {"COM3....../dev/ttyS2", 3},
        {"COM", 0},
        {"COM.....", 0},
        {"COMx......", 0},
        {"", 0},
        {"COM12345678901234567890123456789......", 0},  // first dot beyond the 32nd character
    };
    for (const auto& c : cases) {
        int port = 0;
        EXPECT_EQ(PortOfLine(c.line, port), c.port != 0) << c.line;
        if (c.port) {
            EXPECT_EQ(port, c.port) << c.line;
        }
    }
}

struct ListedPorts final : SerialPortList {
    std::vector<std::string> Lines() override { return lines; }
    std::vector<std::string> lines{"COM1......\\Device\\Serial0", "COM12......\\Device\\Serial11", "junk"};
};

TEST(Form4, ListsAfreshOnEveryActivationAndAppliesTheField) {
    ListedPorts ports;
    std::vector<int32_t> applied;
    bool succeed = false;
    TForm4 form(ports, [&](int32_t p) {
        applied.push_back(p);
        return succeed;
    });
    form.Visible = true;
    form.FormActivate();
    form.FormActivate();
    EXPECT_EQ(form.ListBox1.Items(), ports.lines);

    form.ListBox1.Click(1);
    EXPECT_EQ(form.SpinEdit1.Value(), 12);
    form.ListBox1.Click(2);  // unreadable: the field keeps 12
    EXPECT_EQ(form.SpinEdit1.Value(), 12);

    form.Button1.Click();  // the change failed: the dialog stays
    EXPECT_TRUE(form.Visible);
    succeed = true;
    form.SpinEdit1.SetText("300");
    form.SpinEdit1.FocusLost();
    form.Button1.Click();
    EXPECT_FALSE(form.Visible);
    EXPECT_EQ(applied, (std::vector<int32_t>{12, 128}));
}

}  // namespace
}  // namespace tkw
