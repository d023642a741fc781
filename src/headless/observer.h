// What a run tells the world beyond its lines, for whoever supervises it: the
// Windows service manager (running, stopping) and, on Linux, systemd's
// notify socket (ready, status, watchdog). Every call comes from the loop's
// thread; the defaults do nothing.
#pragma once

#include <chrono>
#include <string>

#include "engine/tick.h"
#include "logs/offsets_file.h"
#include "platform/systime.h"

namespace tkw {

class RunObserver {
public:
    virtual ~RunObserver() = default;
    // Once at start-up, before Ready: the port as the run names it
    // ("COM1 (/dev/ttyUSB0)" on Linux).
    virtual void Port(const std::string& /*name*/) {}
    // Start-up is over: the port is in use, or its recovery has begun.
    virtual void Ready() {}
    // The indicator changed (and once at start-up); `text` as the strip's
    // status text says it.
    virtual void IndicatorChanged(Indicator, const std::string& /*text*/) {}
    // The clock was set to `to` (or would have been, with --dry-run), moving
    // it by `movedMs` (positive: forward).
    virtual void ClockSet(const SystemTime& /*to*/, int64_t /*movedMs*/) {}
    // A minute of the clock has ended: its offsets (the daily file's row).
    virtual void OffsetMinute(const OffsetRow& /*row*/) {}
    // A day's offsets say the fine adjustment does not match the receiver
    // (headless/delay_check.h): a short text for a status line, or empty
    // when a later day agrees again.
    virtual void CalibrationDue(const std::string& /*text*/) {}
    // The port went out of use (true) or came back (false).
    virtual void PortDown(bool /*down*/) {}
    // Every turn of the loop: how long the loop may sleep at most before the
    // next turn, or a negative value for no limit (a watchdog's ping rate).
    virtual std::chrono::milliseconds Turn() { return std::chrono::milliseconds(-1); }
    // The loop has ended; the program is closing.
    virtual void Stopping() {}
};

}  // namespace tkw
