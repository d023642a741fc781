#include "engine/tick.h"

#include <cstdint>

#include "timecode/frame_formats.h"

namespace tkw {
namespace {

constexpr const char* kWeekdays[7] = {"星期日 ", "星期一 ", "星期二 ", "星期三 ", "星期四 ", "星期五 ", "星期六 "};

constexpr IndicatorLook kLooks[3] = {
    {Indicator::Red, kNoSignalText, "red"},
    {Indicator::Yellow, "标准与本地时间跳跃，如校正请选择菜单立即校时！", "yellow"},
    {Indicator::Green, "工作正常！", "green"},
};

}  // namespace

PcTimeFrame BuildPcTimeFrame(const SystemTime& t) {
    return {0xAA,
            0xAA,
            0x00,
            ToBcd(t.wYear % 100u),
            ToBcd(t.wMonth),
            ToBcd(t.wDay),
            ToBcd(t.wHour),
            ToBcd(t.wMinute),
            ToBcd(t.wSecond),
            static_cast<uint8_t>(t.wMilliseconds / 100 % 10),
            ToBcd(t.wMilliseconds % 100u),
            0xA3};
}

std::string DateText(const SystemTime& t) {
    char buf[19];
    FormatDateTime(t, buf);
    std::string text(buf, 11);  // "yyyy-mm-dd "
    return text + kWeekdays[t.wDayOfWeek % 7];
}

std::string TimeText(const SystemTime& t) {
    char buf[8];
    return std::string(buf, FormatHnnss(t, buf));
}

const IndicatorLook& LookOf(Indicator state) {
    return kLooks[static_cast<int>(state)];
}

Indicator IndicatorFor(const RuntimeState& s) {
    if (s.NoSignal) return Indicator::Red;
    if (s.JumpPending) return Indicator::Yellow;
    return Indicator::Green;
}

bool SecondTick::CheckSecond(Clock& clock, PortWriter& port, const Settings& settings, RuntimeState& state) {
    // The 2 ms path: one clock read and one comparison.
    const SystemTime now = clock.GetLocalTime();
    if (now.wSecond == LastSecond) return false;
    LastSecond = now.wSecond;

    TimeLabel = TimeText(clock.GetLocalTime());

    const SystemTime today = clock.GetLocalTime();
    SystemTime stamp = now;
    stamp.wYear = today.wYear;
    stamp.wMonth = today.wMonth;
    stamp.wDay = today.wDay;
    const PcTimeFrame frame = BuildPcTimeFrame(stamp);
    port.sio_write(settings.PortNumber, frame.data(), static_cast<int32_t>(frame.size()));

    if (today.wYear % 100 != LastYear || today.wMonth != LastMonth || today.wDay != LastDay) {
        LastYear = static_cast<uint16_t>(today.wYear % 100);
        LastMonth = today.wMonth;
        LastDay = today.wDay;
        DateLabel = DateText(clock.GetLocalTime());
    }

    if (state.SignalAge < INT32_MAX) ++state.SignalAge;  // years unattended must not wrap it
    state.NoSignal = state.SignalAge > 5;

    indicator = IndicatorFor(state);
    StatusText = LookOf(indicator).statusText;
    return true;
}

}  // namespace tkw
