#include "timecode/receiver.h"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace tkw {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

// The frame's date must name a real day the clock can be set to. Month and
// day beyond 1..12 and 1..31 are the receiver's plain errors; 30 February,
// 31 April, 29 February of a common year and years past 9999 get through those
// bounds and are refused the same way.
bool DateUsable(const SystemTime& t) {
    return t.wYear >= 1 && t.wYear <= 9999 && t.wDay <= DaysInMonth(t.wYear, t.wMonth) && t.wDay >= 1;
}

bool SameDate(const SystemTime& a, const SystemTime& b) {
    return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay;
}

std::string Num(unsigned v) {
    return std::to_string(v);
}

}  // namespace

void TimeCodeReceiver::HandleChunk(const uint8_t* ChunkBuf, int32_t ChunkLen) {
    EntryClock = clock_.GetLocalTime();
    entryValid_ = IsValid(EntryClock);
    EntryNow = entryValid_ ? ToLocalMs(EntryClock) : 0;

    for (int32_t i = 0; i < ChunkLen; ++i) {
        RxHead = static_cast<uint16_t>((RxHead + 1) % kRingSize);
        if (RxHead == RxTail) {
            // Overflow: the ring is given up whole (it reads as empty now),
            // together with the rest of this chunk.
            break;
        }
        RxRing[RxHead] = ChunkBuf[i];
    }

    if (const FrameFormat* f = FindFormat(settings_.CodeFormat)) Walk(*f);
}

void TimeCodeReceiver::Walk(const FrameFormat& f) {
    // Once per call: skip to the next possible frame start.
    while (RxTail != RxHead && RxRing[RxTail] != 0xAA) RxTail = static_cast<uint16_t>((RxTail + 1) % kRingSize);

    while (RxTail != RxHead && Avail() >= f.needed) {
        const int base = RxTail;
        if (f.dump == DumpMoment::BeforeTest) Dump(f, base);
        const bool accepted = f.Accept(RxRing, base);
        if (accepted) {
            if (f.dump == DumpMoment::AfterAccept) Dump(f, base);
            OnAcceptedFrame(f, base);
        }
        RxTail = static_cast<uint16_t>((base + (accepted ? f.advanceAccepted : f.advanceRejected)) % kRingSize);
    }
}

void TimeCodeReceiver::Dump(const FrameFormat& f, int base) {
    if (!state_.MonitorOn && !state_.CommLogOn) return;
    // " AA 00 19 ..." : a blank before every byte.
    char text[3 * 16];
    int n = 0;
    for (int k = 0; k < f.length; ++k) {
        const uint8_t b = RxRing[(base + k) % kRingSize];
        text[n++] = ' ';
        text[n++] = kHex[b >> 4];
        text[n++] = kHex[b & 0x0F];
    }
    const std::string_view dump(text, static_cast<size_t>(n));

    char stamp[19];
    const SystemTime now = clock_.GetLocalTime();
    std::string line = "【";
    line.append(stamp, FormatDateTime(now, stamp));
    line += "】 ";
    line += dump;
    // The monitor keeps the frames also while only the log is on, so that
    // opening the window later shows them.
    monitor_.AppendLine(std::move(line));
    if (state_.CommLogOn) log_.savelogline(0, dump);
}

bool TimeCodeReceiver::ScheduleDue(const FrameTime& t) const {
    switch (settings_.CorrectionMode) {
        case 1: return t.second == settings_.CorrectionSecond;
        case 2: return t.second == settings_.CorrectionSecond && t.minute == settings_.CorrectionMinute;
        case 3: {
            // A damaged file may claim more points than the table holds.
            const int count = std::min<int>(settings_.DailyPointCount, kDailyPointSlots);
            for (int j = 0; j < count; ++j) {
                int h = 0, m = 0, s = 0;
                if (TimeOfDay(settings_.DailyPoints[j], h, m, s) && h == t.hour && m == t.minute && s == t.second)
                    return true;
            }
            return false;
        }
        default: return false;
    }
}

void TimeCodeReceiver::OnAcceptedFrame(const FrameFormat& f, int base) {
    state_.SignalAge = 0;
    const FrameTime t = f.DecodeTime(RxRing, base);
    if (OnFrame && entryValid_) {
        SystemTime frame = EntryClock;
        f.ApplyDate(RxRing, base, frame);
        frame.wHour = t.hour, frame.wMinute = t.minute, frame.wSecond = t.second, frame.wMilliseconds = 0;
        if (IsValid(frame)) OnFrame(frame);
    }
    bool CorrectDue = ScheduleDue(t);

    if (held_) {
        // This frame decides on the large step the one before it asked for.
        held_ = false;
        SystemTime frame = EntryClock;
        f.ApplyDate(RxRing, base, frame);
        frame.wHour = t.hour, frame.wMinute = t.minute, frame.wSecond = t.second, frame.wMilliseconds = 0;
        const LocalMs expected = heldFrameMs_ + 1000;
        if (IsValid(frame) && std::llabs(ToLocalMs(frame) - expected) <= settings_.JumpThreshold * 1000LL) {
            // Two frames in a row agree: the step is made from this one.
            f.ApplyDate(RxRing, base, EntryClock);
            Correct(t, true);
            return;
        }
        if (state_.JumpLogOn) {
            const SystemTime h = FromLocalMs(heldFrameMs_);
            log_.savelogline(1, "跳动未获下一帧确认，不校时！接收时间信息是：" + Num(h.wYear) + "-" + Num(h.wMonth) + "-" +
                                    Num(h.wDay) + " " + Num(h.wHour) + ":" + Num(h.wMinute) + ":" + Num(h.wSecond) +
                                    "  下一帧时间信息是：" + Num(frame.wYear) + "-" + Num(frame.wMonth) + "-" +
                                    Num(frame.wDay) + " " + Num(t.hour) + ":" + Num(t.minute) + ":" + Num(t.second));
        }
        // The correction the dropped frame was due for is still owed: this
        // frame is weighed for it by the usual rules.
        CorrectDue = true;
    }
    if (!CorrectDue && !state_.CorrectNow) return;

    // Time jump: seconds of the day, deliberately without a wrap at midnight
    // (a frame for 00:00:01 against a PC at 23:59:59 is a jump).
    const long pcSeconds = EntryClock.wHour * 3600L + EntryClock.wMinute * 60L + EntryClock.wSecond;
    const long frameSeconds = t.hour * 3600L + t.minute * 60L + t.second;
    if (std::labs(pcSeconds - frameSeconds) > settings_.JumpThreshold) {
        if (state_.JumpLogOn)
            log_.savelogline(1, "跳动发生！接收时间信息是：" + Num(t.hour) + ":" + Num(t.minute) + ":" + Num(t.second) +
                                    "  当前机器时间是：" + Num(EntryClock.wHour) + ":" + Num(EntryClock.wMinute) + ":" +
                                    Num(EntryClock.wSecond) + "  跳动设置是：" + Num(settings_.JumpThreshold) + "秒");
        state_.JumpPending = true;
        if (settings_.NoCorrectOnJump) CorrectDue = false;
    } else {
        state_.JumpPending = false;
    }

    const SystemTime before = EntryClock;
    f.ApplyDate(RxRing, base, EntryClock);
    const SystemTime today = clock_.GetLocalTime();
    if (!SameDate(EntryClock, today)) {
        if (state_.JumpLogOn)
            log_.savelogline(1, "跳动发生！接收日期信息是：" + Num(EntryClock.wYear) + "-" + Num(EntryClock.wMonth) + "-" +
                                    Num(EntryClock.wDay) + "  当前机器日期是：" + Num(today.wYear) + "-" +
                                    Num(today.wMonth) + "-" + Num(today.wDay) + "  跳动设置是：" +
                                    Num(settings_.JumpThreshold) + "秒");
        if (settings_.NoCorrectOnJump) CorrectDue = false;
        if (EntryClock.wMonth < 1 || EntryClock.wMonth > 12 || EntryClock.wDay < 1 || EntryClock.wDay > 31 ||
            !DateUsable(EntryClock)) {
            CorrectDue = false;
            state_.CorrectNow = false;
            // The next frame of this chunk must not inherit a date that
            // cannot exist: it would be refused for this frame's fault.
            EntryClock.wYear = before.wYear;
            EntryClock.wMonth = before.wMonth;
            EntryClock.wDay = before.wDay;
        }
        state_.JumpPending = true;
    }

    if (!CorrectDue && !state_.CorrectNow) return;
    Correct(t, false);
}

void TimeCodeReceiver::Correct(const FrameTime& t, bool confirmed) {
    // Out-of-range time fields leave the working record alone so that they
    // cannot show up as a false jump on the next frame of this chunk;
    // CorrectNow stays set and the next good frame corrects.
    if (t.hour > 23 || t.minute > 59 || t.second > 59) return;
    const SystemTime pcTime = EntryClock;
    EntryClock.wHour = t.hour;
    EntryClock.wMinute = t.minute;
    EntryClock.wSecond = t.second;
    EntryClock.wMilliseconds = 0;
    if (!IsValid(EntryClock)) return;
    const LocalMs frameMs = ToLocalMs(EntryClock);

    // Delay compensation: the fine adjustment (above 999 only a damaged
    // configuration file can put it) and the time spent in this call so far
    // go on top.
    const SystemTime now = clock_.GetLocalTime();
    const LocalMs spent = IsValid(now) && entryValid_ ? ToLocalMs(now) - EntryNow : 0;
    const LocalMs target = frameMs + std::min<uint16_t>(settings_.FineAdjustMs, 999) + spent;
    if (target < kMinLocalMs || target > kMaxLocalMs) return;

    // A step of more than an hour is made only when the next accepted frame
    // agrees (one second later, give or take the jump threshold): a single
    // misread frame must not move the clock by years, while a PC that is
    // really far off (a dead clock battery) is still set, a second later.
    if (!confirmed && (!IsValid(now) || std::llabs(target - ToLocalMs(now)) > kLargeStepMs)) {
        held_ = true;
        heldFrameMs_ = frameMs;
        // The clock was not set: a later frame of this call is weighed
        // against the PC's time, not this frame's.
        EntryClock = pcTime;
        return;
    }
    EntryClock = FromLocalMs(target);

    clock_.SetLocalTime(EntryClock);
    // The clock has just been stepped: a later frame of this call must measure
    // the time spent from here, not across the step (which would add the
    // whole correction to its own).
    EntryNow = target - spent;
    static const uint8_t kFeedback[2] = {0x55, 0xAA};
    port_.sio_write(settings_.PortNumber, kFeedback, 2);

    if (state_.MonitorOn || state_.CommLogOn) {
        char hms[8];
        const SystemTime after = clock_.GetLocalTime();
        std::string line(hms, FormatHms(after, hms));
        line += "[SENDING:] 55 AA ";
        if (state_.MonitorOn) monitor_.AppendLine(line);
        if (state_.CommLogOn) log_.savelogline(0, line);
    }
    state_.CorrectNow = false;
    state_.JumpPending = false;
}

}  // namespace tkw
