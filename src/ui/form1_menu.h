// The strip's popup menu, every item in the order it shows, with the designer's
// names. The port and baud items are those of PortMenu, so that the port
// changes mark the same models the menu shows.
#pragma once

#include <array>
#include <string_view>

#include "timecode/frame_formats.h"
#include "ui/menu_item.h"
#include "ui/port_menu.h"

namespace tkw {

struct Form1Menu {
    Form1Menu();
    Form1Menu(const Form1Menu&) = delete;
    Form1Menu& operator=(const Form1Menu&) = delete;

    // Code formats (the Tag is the format), radio items of group 1.
    MenuItem N31{"N31", FindFormat(1)->name, 1};
    MenuItem N11{"N11", FindFormat(2)->name, 2};
    MenuItem N10{"N10", FindFormat(3)->name, 3};
    MenuItem N9{"N9", "-"};
    PortMenu Ports;
    MenuItem& com11 = Ports.com11;
    MenuItem& com21 = Ports.com21;
    MenuItem& com31 = Ports.com31;
    MenuItem& com41 = Ports.com41;
    MenuItem& N21 = Ports.N21;
    MenuItem N1{"N1", "-"};
    MenuItem& N48001 = Ports.N48001;
    MenuItem& N96001 = Ports.N96001;
    MenuItem N2{"N2", "-"};
    MenuItem N6{"N6", "立即校正"};
    MenuItem N17{"N17", "-"};
    MenuItem N16{"N16", "通讯观测>>"};
    MenuItem N3{"N3", "校时设置>>"};
    MenuItem N14{"N14", "-"};
    MenuItem N4{"N4", "跳动不校时"};
    MenuItem N12{"N12", "跳动记录"};
    MenuItem N18{"N18", "通讯记录"};
    MenuItem N13{"N13", "-"};
    MenuItem N15{"N15", "Z930帮助"};
    MenuItem About1{"About1", "关于软件>>"};
    MenuItem N7{"N7", "-"};
    MenuItem N20{"N20", "恢复显示条"};
    MenuItem N19{"N19", "缩至任务栏"};
    MenuItem N8{"N8", "关闭退出"};

    // Top to bottom, separators included: what the binding builds the menu from.
    const std::array<MenuItem*, 28> Items;

    // The first item with this caption, or null.
    MenuItem* Find(std::string_view caption) const;
};

}  // namespace tkw
