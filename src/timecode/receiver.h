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
#include "serial/read_stamp.h"
#include "timecode/frame_formats.h"
#include "timecode/runtime_state.h"

namespace tkw {

// Where the receiver's measurements go, on the main thread: every accepted
// frame's offset from the PC clock, and every step it makes of that clock.
class OffsetSink {
public:
    virtual ~OffsetSink() = default;
    // `offsetMs`: the PC clock when the frame was read minus (the frame's
    // time + the fine adjustment), positive when the PC is ahead; `frameMs`:
    // the frame's time; `readUs`: the PC clock at the read, microseconds.
    virtual void Sample(double offsetMs, LocalMs frameMs, int64_t readUs) = 0;
    // The clock was moved by `stepMs` (new minus old) when it read `beforeUs`.
    virtual void Stepped(double stepMs, int64_t beforeUs) = 0;
};

class TimeCodeReceiver {
public:
    TimeCodeReceiver(const Settings& settings, RuntimeState& state, Clock& clock, PortWriter& port,
                     MonitorSink& monitor, LogSink& log)
        : settings_(settings), state_(state), clock_(clock), port_(port), monitor_(monitor), log_(log) {}

    // One chunk of received bytes (1..255 from the reader), with when its
    // read returned. Runs on the main thread; everything it does is finished
    // when it returns. Without a stamp the PC clock at the call's start
    // stands in for the monotonic one.
    void HandleChunk(const uint8_t* ChunkBuf, int32_t ChunkLen, const ReadStamp& stamp = {});

    // Empties the ring: both indices to `index` (0 at start-up, 1 after a
    // change of code format). The ring's bytes are left as they are, and the
    // jumps waiting for a second frame to agree are dropped.
    void ResetRing(uint16_t index) {
        RxHead = RxTail = index;
        candidateCount_ = 0;
    }

    // A jump (a step of more than the jump threshold, or to another date)
    // waits for a second frame that agrees with it; the frames that asked
    // for one are kept this long, at most this many.
    static constexpr int64_t kCandidateLifeMs = 5000;
    static constexpr int kMaxCandidates = 8;

    // Bytes waiting behind RxTail.
    int Avail() const { return RxHead >= RxTail ? RxHead - RxTail : kRingSize - RxTail + RxHead; }

    // Hears of every accepted frame, due for a correction or not, before the
    // correction decision: the frame's date and time (its zero date bytes read
    // as the PC's date, milliseconds 0) and when its read returned. Frames
    // whose time or date cannot exist are left out. For feeding other time
    // services.
    std::function<void(const SystemTime& frame, const ReadStamp& read)> OnFrame;

    // Hears every frame's offset and every step (may be null). A frame gives
    // an offset only when it agrees with the frame read before it (its time
    // that one's plus the whole seconds read between them): a misread, the
    // frame after one, a repeated time and the first frame give none, so that
    // one bad frame cannot spoil a minute's figures.
    OffsetSink* Offsets = nullptr;

    uint8_t RxRing[kRingSize] = {};
    uint16_t RxHead = 0;  // index of the last byte written
    uint16_t RxTail = 0;  // index of the next byte to examine

private:
    void Walk(const FrameFormat& f);
    void Dump(const FrameFormat& f, int base);
    void OnAcceptedFrame(const FrameFormat& f, int base);
    SystemTime FrameDateTime(const FrameFormat& f, int base, const FrameTime& t) const;
    bool ScheduleDue(const FrameTime& t) const;
    // Sets the clock from the frame time `t` (its date is in EntryClock), or,
    // for a jump no earlier frame has confirmed, keeps the frame as a
    // candidate for a later one to agree with.
    void Correct(const FrameTime& t, bool confirmed, bool jump);
    // The candidates still young enough at this call's reading; true when
    // the frame at `frameMs` is the time one of them names plus the whole
    // seconds that passed since it was read.
    void ForgetOldCandidates();
    bool AgreesWithCandidate(LocalMs frameMs) const;

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

    // This call's read: its stamp, its monotonic reading in milliseconds and
    // the PC clock then in microseconds.
    ReadStamp stamp_;
    int64_t steadyMs_ = 0;
    int64_t readUs_ = 0;

    // Frames that asked for a jump, oldest first: the date and time each
    // names (whole second) and when it was read. While any is kept the
    // correction it was due for is still owed.
    struct Candidate {
        LocalMs frameMs;
        int64_t steadyMs;
    };
    Candidate candidates_[kMaxCandidates] = {};
    int candidateCount_ = 0;

    // The last accepted frame with a usable date and time, and when it was
    // read: a receiver stuck on one time repeats it. Said once a time.
    bool lastValid_ = false;
    LocalMs lastFrameMs_ = 0;
    int64_t lastSteadyMs_ = 0;
    bool staleSaid_ = false;
};

}  // namespace tkw
