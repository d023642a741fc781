// The desktop program's boxes and monitor window, for a program without a
// window: boxes become two lines on the error stream, monitor lines go out
// with --monitor or nowhere.
#pragma once

#include <functional>
#include <string>

#include "headless/console.h"
#include "logs/sinks.h"
#include "platform/message_box.h"

namespace tkw {

// "<caption>: <text>", and a second line saying what the box is about (the
// file or device and the system's reason), which a service's log needs; the
// boxes' own texts stay as the desktop program shows them.
class ConsoleBoxes final : public MessageBoxes {
public:
    explicit ConsoleBoxes(Console& console) : console_(console) {}
    void Show(BoxKind kind, const std::string& caption, const std::string& text) override;

    // The second line for a box of this caption; empty for none.
    std::function<std::string(const std::string& caption)> Detail;

private:
    Console& console_;
};

// Without a window the monitor lines have nowhere to wait: they are printed
// as "MON <line>" with --monitor and dropped otherwise, rather than piling up
// for years.
class MonitorPrinter final : public MonitorSink {
public:
    MonitorPrinter(Console& console, bool print) : console_(console), print_(print) {}
    void AppendLine(std::string line) override {
        if (print_) console_.Out("MON " + line);
    }

private:
    Console& console_;
    bool print_;
};

}  // namespace tkw
