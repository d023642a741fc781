// The receive ring and everything that happens to a received chunk: the ring
// is filled, walked for frames of the selected format, each candidate is
// dumped and tested, and accepted frames go through the correction decision,
// which may step the PC clock and answer the receiver.
#pragma once

#include <cstdint>
#include <functional>

#include "config/settings.h"
#include "logs/sinks.h"
#include "platform/clock.h"
#include "serial/port_writer.h"
#include "timecode/frame_formats.h"
#include "timecode/runtime_state.h"

namespace tkw {

class TimeCodeReceiver {
public:
    TimeCodeReceiver(const Settings& settings, RuntimeState& state, Clock& clock, PortWriter& port,
                     MonitorSink& monitor, LogSink& log)
        : settings_(settings), state_(state), clock_(clock), port_(port), monitor_(monitor), log_(log) {}

    // One chunk of received bytes (1..255 from the reader). Runs on the main
    // thread; everything it does is finished when it returns.
    void HandleChunk(const uint8_t* ChunkBuf, int32_t ChunkLen);

    // Empties the ring: both indices to `index` (0 at start-up, 1 after a
    // change of code format). The ring's bytes are left as they are, and a
    // large step waiting for its second frame is dropped.
    void ResetRing(uint16_t index) {
        RxHead = RxTail = index;
        held_ = false;
    }

    // Steps of the clock larger than this wait for the next frame to agree.
    static constexpr LocalMs kLargeStepMs = 3'600'000;

    // Bytes waiting behind RxTail.
    int Avail() const { return RxHead >= RxTail ? RxHead - RxTail : kRingSize - RxTail + RxHead; }

    // Hears of every accepted frame, due for a correction or not, before the
    // correction decision: the frame's date and time (its zero date bytes read
    // as the PC's date, milliseconds 0). Frames whose time or date cannot
    // exist are left out. For feeding other time services.
    std::function<void(const SystemTime& frame)> OnFrame;

    uint8_t RxRing[kRingSize] = {};
    uint16_t RxHead = 0;  // index of the last byte written
    uint16_t RxTail = 0;  // index of the next byte to examine

private:
    void Walk(const FrameFormat& f);
    void Dump(const FrameFormat& f, int base);
    void OnAcceptedFrame(const FrameFormat& f, int base);
    bool ScheduleDue(const FrameTime& t) const;
    // Sets the clock from the frame time `t` (its date is in EntryClock), or
    // holds a large step for the next frame to confirm.
    void Correct(const FrameTime& t, bool confirmed);

    const Settings& settings_;
    RuntimeState& state_;
    Clock& clock_;
    PortWriter& port_;
    MonitorSink& monitor_;
    LogSink& log_;

    // Of the current call: the clock when it began, and the working record all
    // its frames share (the frame's date goes into it; a correction rebuilds it).
    LocalMs EntryNow = 0;
    bool entryValid_ = false;
    SystemTime EntryClock;

    // A step of more than kLargeStepMs waiting for the next accepted frame:
    // the held frame's date and time (whole second).
    bool held_ = false;
    LocalMs heldFrameMs_ = 0;
};

}  // namespace tkw
