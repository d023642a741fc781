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

void TimeCodeReceiver::HandleChunk(const uint8_t* ChunkBuf, int32_t ChunkLen, const ReadStamp& stamp) {
    // The PC clock when the bytes arrived: the reader's stamp where it took
    // the corrections' clock, else now.
    if (stamp.localUs != ReadStamp::kUnknown && stamp.localUs != 0) {
        readUs_ = stamp.localUs;
        EntryNow = readUs_ >= 0 ? readUs_ / 1000 : -((999 - readUs_) / 1000);
        EntryClock = FromLocalMs(EntryNow);
        entryValid_ = true;
    } else {
        EntryClock = clock_.GetLocalTime();
        entryValid_ = IsValid(EntryClock);
        EntryNow = entryValid_ ? ToLocalMs(EntryClock) : 0;
        readUs_ = EntryNow * 1000;
    }
    stamp_ = stamp;
    steadyMs_ = stamp.Known() ? stamp.steadyUs / 1000 : EntryNow;

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

// The frame's date and time as the clock would take them: its zero date
// bytes read as the PC's date, milliseconds 0.
SystemTime TimeCodeReceiver::FrameDateTime(const FrameFormat& f, int base, const FrameTime& t) const {
    SystemTime frame = EntryClock;
    f.ApplyDate(RxRing, base, frame);
    frame.wHour = t.hour, frame.wMinute = t.minute, frame.wSecond = t.second, frame.wMilliseconds = 0;
    return frame;
}

void TimeCodeReceiver::ForgetOldCandidates() {
    int kept = 0;
    for (int i = 0; i < candidateCount_; ++i)
        if (steadyMs_ - candidates_[i].steadyMs <= kCandidateLifeMs) candidates_[kept++] = candidates_[i];
    candidateCount_ = kept;
}

bool TimeCodeReceiver::AgreesWithCandidate(LocalMs frameMs) const {
    for (int i = 0; i < candidateCount_; ++i) {
        const int64_t elapsed = steadyMs_ - candidates_[i].steadyMs;
        const int64_t seconds = (elapsed + 500) / 1000;
        // The same time twice is a receiver stuck, or a misread repeated,
        // never a confirmation.
        if (seconds >= 1 && frameMs == candidates_[i].frameMs + seconds * 1000) return true;
    }
    return false;
}

void TimeCodeReceiver::OnAcceptedFrame(const FrameFormat& f, int base) {
    state_.SignalAge = 0;
    const FrameTime t = f.DecodeTime(RxRing, base);
    const SystemTime frame = FrameDateTime(f, base, t);
    const bool frameValid = entryValid_ && IsValid(frame);
    const LocalMs frameMs = frameValid ? ToLocalMs(frame) : 0;
    if (OnFrame && frameValid) OnFrame(frame, stamp_);
    bool CorrectDue = ScheduleDue(t);

    // A receiver stuck on one time sends it again and again: a frame naming
    // the time of the one read a second or more before it is no time to set
    // the clock to, even within the threshold.
    const bool stale = frameValid && lastValid_ && frameMs == lastFrameMs_ && steadyMs_ - lastSteadyMs_ >= 500;
    if (Offsets && frameValid && lastValid_ && steadyMs_ - lastSteadyMs_ <= kCandidateLifeMs) {
        const int64_t seconds = (steadyMs_ - lastSteadyMs_ + 500) / 1000;
        if (seconds >= 1 && frameMs == lastFrameMs_ + seconds * 1000) {
            const LocalMs named = frameMs + std::min<uint16_t>(settings_.FineAdjustMs, 999);
            Offsets->Sample(static_cast<double>(readUs_ - named * 1000) / 1000.0, frameMs, readUs_);
        }
    }
    if (frameValid) {
        lastValid_ = true, lastFrameMs_ = frameMs, lastSteadyMs_ = steadyMs_;
        if (!stale) staleSaid_ = false;
    }

    ForgetOldCandidates();
    if (candidateCount_ > 0) {
        // A jump is waiting for a frame to agree with it: this one may.
        if (frameValid && AgreesWithCandidate(frameMs)) {
            // Two frames agree: the step is made from this one.
            f.ApplyDate(RxRing, base, EntryClock);
            Correct(t, true, true);
            return;
        }
        if (state_.JumpLogOn) {
            const SystemTime h = FromLocalMs(candidates_[candidateCount_ - 1].frameMs);
            log_.savelogline(1, "跳动未获下一帧确认，不校时！接收时间信息是：" + Num(h.wYear) + "-" + Num(h.wMonth) + "-" +
                                    Num(h.wDay) + " " + Num(h.wHour) + ":" + Num(h.wMinute) + ":" + Num(h.wSecond) +
                                    "  下一帧时间信息是：" + Num(frame.wYear) + "-" + Num(frame.wMonth) + "-" +
                                    Num(frame.wDay) + " " + Num(t.hour) + ":" + Num(t.minute) + ":" + Num(t.second));
        }
        // The correction the waiting frames were due for is still owed: this
        // frame is weighed for it by the usual rules.
        CorrectDue = true;
    }
    if (!CorrectDue && !state_.CorrectNow) return;

    // Time jump: seconds of the day, deliberately without a wrap at midnight
    // (a frame for 00:00:01 against a PC at 23:59:59 is a jump).
    const long pcSeconds = EntryClock.wHour * 3600L + EntryClock.wMinute * 60L + EntryClock.wSecond;
    const long frameSeconds = t.hour * 3600L + t.minute * 60L + t.second;
    bool jump = std::labs(pcSeconds - frameSeconds) > settings_.JumpThreshold;
    if (jump) {
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
        jump = true;
        if (state_.JumpLogOn)
            log_.savelogline(1, "跳动发生！接收日期信息是：" + Num(EntryClock.wYear) + "-" + Num(EntryClock.wMonth) + "-" +
                                    Num(EntryClock.wDay) + "  当前机器日期是：" + Num(today.wYear) + "-" +
                                    Num(today.wMonth) + "-" + Num(today.wDay) + "  跳动设置是：" +
                                    Num(settings_.JumpThreshold) + "秒");
        if (settings_.NoCorrectOnJump) CorrectDue = false;
        if (EntryClock.wMonth < 1 || EntryClock.wMonth > 12 || EntryClock.wDay < 1 || EntryClock.wDay > 31 ||
            !DateUsable(EntryClock)) {
            // Refused, but a correction owed since start-up or asked for
            // stays owed: line noise decoding to month 3E must not cancel it
            // and leave the clock wrong until someone asks again.
            CorrectDue = false;
            // The next frame of this chunk must not inherit a date that
            // cannot exist: it would be refused for this frame's fault.
            EntryClock.wYear = before.wYear;
            EntryClock.wMonth = before.wMonth;
            EntryClock.wDay = before.wDay;
            state_.JumpPending = true;
            return;
        }
        state_.JumpPending = true;
    }

    if (!CorrectDue && !state_.CorrectNow) return;
    if (stale) {
        if (state_.JumpLogOn && !staleSaid_)
            log_.savelogline(1, "接收时间未走动，不校时！接收时间信息是：" + Num(frame.wYear) + "-" + Num(frame.wMonth) + "-" +
                                    Num(frame.wDay) + " " + Num(t.hour) + ":" + Num(t.minute) + ":" + Num(t.second));
        staleSaid_ = true;
        return;
    }
    Correct(t, false, jump);
}

void TimeCodeReceiver::Correct(const FrameTime& t, bool confirmed, bool jump) {
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
    // configuration file can put it) and the time since the frame's read
    // returned go on top, that one to the nearest millisecond (the finest
    // step a clock takes), so that the clock is left within half of one.
    const int64_t nowUs = clock_.GetLocalMicros();
    const int64_t sinceReadUs = nowUs != 0 && entryValid_ ? nowUs - readUs_ : 0;
    const LocalMs spent = (sinceReadUs + 500) / 1000;
    const LocalMs target = frameMs + std::min<uint16_t>(settings_.FineAdjustMs, 999) + spent;
    if (target < kMinLocalMs || target > kMaxLocalMs) return;

    // A jump is made only when a second frame agrees with it: a single
    // misread frame, or the same wrong time twice from a stuck receiver,
    // must not move the clock, while a PC that is really off (a dead clock
    // battery) is still set, a second later.
    if (!confirmed && (jump || nowUs == 0)) {
        if (candidateCount_ == kMaxCandidates) {
            std::copy(candidates_ + 1, candidates_ + kMaxCandidates, candidates_);
            --candidateCount_;
        }
        candidates_[candidateCount_++] = {frameMs, steadyMs_};
        // The clock was not set: a later frame of this call is weighed
        // against the PC's time, not this frame's.
        EntryClock = pcTime;
        return;
    }
    candidateCount_ = 0;
    EntryClock = FromLocalMs(target);

    const int64_t beforeUs = Offsets ? clock_.GetLocalMicros() : 0;
    const bool stepped = clock_.SetLocalTime(EntryClock);
    if (Offsets && stepped && beforeUs != 0)
        Offsets->Stepped(static_cast<double>(target * 1000 - beforeUs) / 1000.0, beforeUs);
    // The clock has just been stepped: a later frame of this call must measure
    // the time spent from here, not across the step (which would add the
    // whole correction to its own).
    readUs_ = target * 1000 - sinceReadUs;
    EntryNow = readUs_ >= 0 ? readUs_ / 1000 : -((999 - readUs_) / 1000);
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
