#include "timecode/detect.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace tkw {
namespace {

// How far a frame's advance may differ from the time that passed between the
// reads that brought it and the one before (reads are late by a poll or a
// busy moment, never by half a second).
constexpr LocalMs kAdvanceSlackMs = 500;

// The key two fits are weighed by, best first.
struct Key {
    int advancing, dated;
    int64_t unexplained;
};
int Compare(const Key& a, const Key& b) {
    if (a.advancing != b.advancing) return a.advancing > b.advancing ? 1 : -1;
    if (a.dated != b.dated) return a.dated > b.dated ? 1 : -1;
    if (a.unexplained != b.unexplained) return a.unexplained < b.unexplained ? 1 : -1;
    return 0;
}
Key KeyOf(const FormatFit& f) {
    return {f.advancing, f.dated, f.unexplained};
}

}  // namespace

RateListen::RateListen(int baud) : baud_(baud) {}

void RateListen::Feed(const uint8_t* bytes, size_t n, LocalMs arrival) {
    bytes_ += static_cast<int64_t>(n);
    while (n > 0) {
        const size_t take = std::min(n, static_cast<size_t>(kCapacity - size_));
        for (size_t i = 0; i < take; ++i) {
            buf_[size_] = bytes[i];
            at_[size_] = arrival;
            ++size_;
        }
        bytes += take;
        n -= take;
        for (int k = 0; k < kFormats; ++k) Scan(k);
        // Every cursor now stands within a frame's length of the end: what
        // all of them have passed goes.
        const int drop = *std::min_element(pos_, pos_ + kFormats);
        std::copy(buf_ + drop, buf_ + size_, buf_);
        std::copy(at_ + drop, at_ + size_, at_);
        size_ -= drop;
        for (int& p : pos_) p -= drop;
    }
}

void RateListen::Scan(int k) {
    const FrameFormat& f = *FindFormat(static_cast<uint8_t>(k + 1));
    int& p = pos_[k];
    while (p < size_) {
        if (buf_[p] == 0xAA) {
            if (size_ - p < f.length) return;  // perhaps a frame whose rest is on its way
            if (f.Accept(buf_ + p, 0)) {
                OnFrame(k, f, p);
                p += f.length;
                continue;
            }
        }
        ++fits_[k].unexplained;
        ++p;
    }
}

void RateListen::OnFrame(int k, const FrameFormat& f, int at) {
    FormatFit& fit = fits_[k];
    ++fit.accepted;
    const uint8_t* frame = buf_ + at;
    const LocalMs arrival = at_[at + f.length - 1];

    // Zero date bytes mean the PC's date, as the receiver handling reads them.
    SystemTime t;
    f.ApplyDate(frame, 0, t);
    const bool pcDate = t.wYear == 0 || t.wMonth == 0 || t.wDay == 0;
    if (pcDate) {
        const SystemTime pc = FromLocalMs(std::clamp(arrival, kMinLocalMs, kMaxLocalMs));
        if (t.wYear == 0) t.wYear = pc.wYear;
        if (t.wMonth == 0) t.wMonth = pc.wMonth;
        if (t.wDay == 0) t.wDay = pc.wDay;
    }
    const FrameTime ft = f.DecodeTime(frame, 0);
    t.wHour = ft.hour, t.wMinute = ft.minute, t.wSecond = ft.second, t.wMilliseconds = 0;
    if (!IsValid(t)) return;
    ++fit.dated;
    const LocalMs frameMs = ToLocalMs(t);
    if (havePrev_[k]) {
        LocalMs advance = frameMs - prevFrameMs_[k];
        // A date taken from the PC may be a day off the receiver's around
        // midnight; the time of day alone then tells.
        if (pcDate || prevPcDate_[k]) advance = ((advance % kMsPerDay) + kMsPerDay) % kMsPerDay;
        const LocalMs elapsed = arrival - prevArrival_[k];
        if (advance > 0 && std::llabs(advance - elapsed) <= kAdvanceSlackMs) ++fit.advancing;
    }
    havePrev_[k] = true;
    prevFrameMs_[k] = frameMs;
    prevArrival_[k] = arrival;
    prevPcDate_[k] = pcDate;
    fit.lastTime = FromLocalMs(frameMs);
    fit.lastArrival = arrival;
}

bool RateListen::Settled() const {
    int sure = 0, advancing = 0;
    for (const FormatFit& f : fits_) {
        advancing += f.advancing > 0;
        sure += f.advancing >= 2 && f.unexplained == 0;
    }
    return sure == 1 && advancing == 1;
}

DetectVerdict Decide(const RateListen* listens, size_t count) {
    DetectVerdict v;
    const RateListen* best = nullptr;
    uint8_t bestCode = 0;
    const RateListen* rival = nullptr;
    uint8_t rivalCode = 0;
    const RateListen* mostBytes = nullptr;
    for (size_t i = 0; i < count; ++i) {
        const RateListen& l = listens[i];
        if (l.BytesSeen() > 0 && (mostBytes == nullptr || l.BytesSeen() > mostBytes->BytesSeen())) mostBytes = &l;
        for (uint8_t code = 1; code <= 3; ++code) {
            const FormatFit& f = l.Fit(code);
            if (f.advancing == 0) continue;
            const int c = best == nullptr ? 1 : Compare(KeyOf(f), KeyOf(best->Fit(bestCode)));
            if (c > 0) {
                rival = best, rivalCode = bestCode;
                best = &l, bestCode = code;
            } else if (rival == nullptr || Compare(KeyOf(f), KeyOf(rival->Fit(rivalCode))) > 0) {
                rival = &l, rivalCode = code;
            }
        }
    }
    if (best == nullptr) {
        v.outcome = mostBytes == nullptr ? DetectOutcome::Nothing : DetectOutcome::NoTimeCode;
        if (mostBytes != nullptr) v.baud = mostBytes->Baud();
        return v;
    }
    const FormatFit& f = best->Fit(bestCode);
    v.code = bestCode;
    v.baud = best->Baud();
    v.frames = f.dated;
    v.score = f.advancing;
    v.unexplained = f.unexplained;
    v.lastTime = f.lastTime;
    // The frame began on the line its own length in bits (ten a byte) before
    // its last byte was read.
    const LocalMs onWire = (FindFormat(bestCode)->length * 10 * 1000LL + v.baud / 2) / v.baud;
    v.pcBehindMs = ToLocalMs(f.lastTime) - (f.lastArrival - onWire);
    v.outcome = DetectOutcome::Found;
    if (rival != nullptr && Compare(KeyOf(rival->Fit(rivalCode)), KeyOf(f)) == 0) {
        if (rivalCode == bestCode) {
            // The same format as well at another rate: the line does not
            // depend on the rate. `best` is the one listened to first (a
            // later fit takes its place only when it is better).
            v.anyRate = true;
        } else {
            v.outcome = DetectOutcome::Tie;
            v.rivalCode = rivalCode;
            v.rivalBaud = rival->Baud();
        }
    }
    return v;
}

int CompareVerdicts(const DetectVerdict& a, const DetectVerdict& b) {
    const bool fa = a.outcome == DetectOutcome::Found || a.outcome == DetectOutcome::Tie;
    const bool fb = b.outcome == DetectOutcome::Found || b.outcome == DetectOutcome::Tie;
    if (fa != fb) return fa ? 1 : -1;
    if (!fa) return 0;
    return Compare({a.score, a.frames, a.unexplained}, {b.score, b.frames, b.unexplained});
}

std::string VerdictText(const DetectVerdict& v) {
    char text[160];
    const auto name = [](uint8_t code) { return FindFormat(code)->name; };
    switch (v.outcome) {
        case DetectOutcome::Nothing: return "nothing received";
        case DetectOutcome::NoTimeCode:
            std::snprintf(text, sizeof text, "bytes at %d bit/s, no time code recognised", v.baud);
            return text;
        case DetectOutcome::Tie:
            std::snprintf(text, sizeof text, "%s at %d bit/s and %s at %d bit/s fit equally", name(v.code), v.baud,
                          name(v.rivalCode), v.rivalBaud);
            return text;
        case DetectOutcome::Found: break;
    }
    char when[19];
    FormatDateTime(v.lastTime, when);
    // Tenths of a second, rounded half away from zero.
    const LocalMs tenths = (std::llabs(v.pcBehindMs) + 50) / 100;
    std::snprintf(text, sizeof text, "%s at %d bit/s, %d frame%s, %.19s, this PC %lld.%lld s %s", name(v.code), v.baud,
                  v.frames, v.frames == 1 ? "" : "s", when, static_cast<long long>(tenths / 10),
                  static_cast<long long>(tenths % 10), v.pcBehindMs < 0 && tenths > 0 ? "ahead" : "behind");
    return text;
}

}  // namespace tkw
