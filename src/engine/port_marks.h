// What the port changes show above the engine: a program with a port menu
// marks there the port and the rate in force. The engine says when and what
// to mark; the menu (ui/port_menu.h) knows how, and a program without one
// gives none.
#pragma once

#include <cstdint>

namespace tkw {

class PortMarks {
public:
    virtual ~PortMarks() = default;
    // At start-up, the port read from the settings (nothing marked yet).
    virtual void MarkPortAtStartup(int32_t port) = 0;
    // After a change that left `port` in force.
    virtual void MarkPortAfterChange(int32_t port) = 0;
    // The baud code in force; `clear`: unmark the other rate first.
    virtual void MarkBaud(int32_t code, bool clear) = 0;
};

}  // namespace tkw
