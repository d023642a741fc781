#include "ui/port_menu.h"

#include <string>

namespace tkw {

MenuItem* PortMenu::PortItem(int32_t port) {
    switch (port) {
        case 1: return &com11;
        case 2: return &com21;
        case 3: return &com31;
        case 4: return &com41;
        default: return nullptr;
    }
}

void PortMenu::MarkPortAtStartup(int32_t port) {
    if (MenuItem* item = PortItem(port)) {
        item->Checked = true;
        return;
    }
    N21.Caption = ">>COM" + std::to_string(port);
    N21.Checked = true;
}

void PortMenu::MarkPortAfterChange(int32_t port) {
    for (MenuItem* item : {&com11, &com21, &com31, &com41, &N21}) item->Checked = false;
    if (MenuItem* item = PortItem(port)) {
        item->Checked = true;
        return;
    }
    N21.Caption = ">>com" + std::to_string(port);
    N21.Checked = true;
}

void PortMenu::MarkBaud(int32_t code, bool clear) {
    if (clear) {
        N48001.Checked = false;
        N96001.Checked = false;
    }
    if (code == N48001.Tag) N48001.Checked = true;
    if (code == N96001.Tag) N96001.Checked = true;
}

}  // namespace tkw
