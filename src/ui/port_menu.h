// The port and baud groups of the popup menu, as models. The check marks are
// not radio groups: only the port and baud code changes set and clear them,
// so a failed change leaves the marks of the port still in force.
#pragma once

#include <cstdint>

#include "engine/port_marks.h"
#include "ui/menu_item.h"

namespace tkw {

struct PortMenu final : PortMarks {
    // Port group; the Tag is the port the item switches to.
    MenuItem com11{"com11", "COM1", 1};
    MenuItem com21{"com21", "COM2", 2};
    MenuItem com31{"com31", "COM3", 3};
    MenuItem com41{"com41", "COM4", 4};
    // Opens the port chooser; shows and marks any port outside COM1..COM4.
    MenuItem N21{"N21", ">>... "};
    // Baud group; the Tag is the baud code.
    MenuItem N48001{"N48001", "4800", 10};
    MenuItem N96001{"N96001", "9600", 12};

    // The COM1..COM4 item for `port`, or null for any other number.
    MenuItem* PortItem(int32_t port);

    // At start-up, over the menu as defined (nothing checked yet): checks the
    // item of `port`; a port outside 1..4 goes on the chooser item as
    // ">>COM<n>".
    void MarkPortAtStartup(int32_t port) override;
    // After a port change: clears the whole port group first, then marks as at
    // start-up but with ">>com<n>" (the lower case tells a port taken over by
    // a change from one read from the file). The chooser item keeps its
    // caption when a COM1..COM4 item is checked.
    void MarkPortAfterChange(int32_t port) override;
    // Checks "4800" for code 10 and "9600" for 12; `clear` first unchecks
    // both. Any other code marks neither: it is passed on to the port as read.
    void MarkBaud(int32_t code, bool clear) override;
};

}  // namespace tkw
