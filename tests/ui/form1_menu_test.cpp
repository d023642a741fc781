// The strip's popup menu as defined: order, groups, separators, radio items,
// the initial marks and visibility.
#include <gtest/gtest.h>

#include <string>

#include "ui/form1_menu.h"

namespace tkw::test {
namespace {

TEST(Form1Menu, ItemsInOrderWithGroupsRadioAndInitialMarks) {
    Form1Menu m;
    std::string s;
    for (const MenuItem* i : m.Items)
        s += i->Name + ":" + std::to_string(i->GroupIndex) + (i->IsLine() ? "-" : "") + (i->RadioItem ? "r" : "") +
             (i->Checked ? "x" : "") + (i->Visible ? "" : "h") + " ";
    EXPECT_EQ(s,
              "N31:1r N11:1r N10:1r N9:1- com11:2 com21:2 com31:2 com41:2 N21:2 N1:2- N48001:3 N96001:3 "
              "N2:5- N6:5 N17:5- N16:5 N3:5 N14:5- N4:6x N12:6x N18:6 N13:6- N15:6 About1:7 N7:7- N20:7h "
              "N19:7 N8:8 ");
    EXPECT_EQ(m.Find("PL_CODE"), &m.N11);
}

}  // namespace
}  // namespace tkw::test
