// Takes arbitrary bytes as the configuration file, loads it by the program's
// own rules, checks that a save and a reload keep every setting, and then runs
// a few well-formed frames of each format through the receiver with those
// settings: whatever the file holds, the clock is never set to a time that
// does not exist.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"

using namespace tkw;

namespace {

// One chunk holding frames of every format for the same few instants, so
// that whichever format a file selects finds its own and skips the rest.
std::vector<uint8_t> Frames() {
    struct When {
        unsigned y, mo, d, h, mi, s;
    };
    static constexpr When kWhen[] = {
        {2026, 1, 1, 0, 0, 31},  {2026, 1, 1, 8, 0, 0},   {2024, 2, 29, 12, 30, 31},
        {2026, 1, 1, 23, 59, 59}, {2027, 12, 31, 23, 59, 59},
    };
    std::vector<uint8_t> out;
    for (const When& w : kWhen) {
        SystemTime t;
        t.wYear = uint16_t(w.y), t.wMonth = uint16_t(w.mo), t.wDay = uint16_t(w.d);
        t.wHour = uint16_t(w.h), t.wMinute = uint16_t(w.mi), t.wSecond = uint16_t(w.s);
        for (uint8_t code : {1, 2, 3}) {
            const FrameBytes f = EncodeFrame(*FindFormat(code), t);
            out.insert(out.end(), f.begin(), f.end());
            out.push_back(0x13);  // a byte of line noise between frames
        }
    }
    return out;
}

void Run(const Settings& s, const std::vector<uint8_t>& stream) {
    RuntimeState state = RuntimeState::AtStartUp();
    state.MonitorOn = true;
    state.CommLogOn = true;
    SystemTime start{};
    start.wYear = 2026;
    start.wMonth = 1;
    start.wDay = 1;
    fuzz::CheckingClock clock(ToLocalMs(start));
    clock.stepMs = 7;
    fuzz::CheckingPort port;
    fuzz::MemoryMonitor monitor;
    fuzz::MemoryLog log;
    TimeCodeReceiver rx(s, state, clock, port, monitor, log);
    rx.ResetRing(0);
    // Whole, then byte by byte, then in 13-byte pieces.
    for (size_t piece : {stream.size(), size_t{1}, size_t{13}}) {
        for (size_t pos = 0; pos < stream.size(); pos += piece) {
            const size_t len = std::min(piece, stream.size() - pos);
            rx.HandleChunk(stream.data() + pos, static_cast<int32_t>(len));
            fuzz::CheckRing(rx, s.CodeFormat);
        }
        state.CorrectNow = true;
    }
    if (port.writes != clock.sets) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::vector<uint8_t> stream = Frames();

    fuzz::MemoryFileSystem fs;
    fs.files[kConfigFileName] = std::string(reinterpret_cast<const char*>(data), size);

    Settings s{};  // all zero, as before the file is read
    const LoadResult r = LoadSettings(fs, kConfigFileName, s);
    if (!r.ok()) __builtin_trap();  // the memory file never fails
    if ((r.outcome == LoadOutcome::ShortFile) != (size < kConfigRecordSize)) __builtin_trap();

    // A save and a reload give back exactly the same settings (compared as
    // records, so that NaN daily points compare equal to themselves).
    if (!savecfg(fs, kConfigFileName, s)) __builtin_trap();
    if (fs.files.size() != 1 || fs.files[kConfigFileName].size() != kConfigRecordSize) __builtin_trap();
    Settings again{};
    if (LoadSettings(fs, kConfigFileName, again).outcome != LoadOutcome::Loaded) __builtin_trap();
    if (EncodeConfig(again) != EncodeConfig(s)) __builtin_trap();

    Run(s, stream);
    for (uint8_t format : {1, 2, 3}) {
        Settings t = s;
        t.CodeFormat = format;
        Run(t, stream);
    }
    return 0;
}
