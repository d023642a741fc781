// The one-second tick without its window: called every 2 ms, it acts once per
// change of the PC clock's second. It then renews the time and date texts,
// writes the program's own time frame to the port and works out the signal
// indicator from the age of the last accepted frame.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "config/settings.h"
#include "platform/clock.h"
#include "serial/port_writer.h"
#include "timecode/runtime_state.h"

namespace tkw {

using PcTimeFrame = std::array<uint8_t, 12>;

// AA AA 00 YY MM DD hh mm ss h ms A3: BCD, the millisecond split into its
// hundreds digit and a BCD byte of the rest.
PcTimeFrame BuildPcTimeFrame(const SystemTime& t);

// "yyyy-mm-dd " followed by the weekday name and a blank.
std::string DateText(const SystemTime& t);
// "h:nn:ss".
std::string TimeText(const SystemTime& t);

enum class Indicator { Red, Yellow, Green };

// What the indicator says; how it looks (the strip's colour) is the window's.
struct IndicatorLook {
    Indicator state;
    const char* statusText;
    const char* name;  // "red", "yellow", "green"
};

const IndicatorLook& LookOf(Indicator state);
// No signal outranks a pending jump.
Indicator IndicatorFor(const RuntimeState& s);

inline constexpr const char* kNoSignalText = "未收到标准时间码，请检查通讯连接和设置!";

class SecondTick {
public:
    // Returns true when this call acted (the second had changed).
    bool CheckSecond(Clock& clock, PortWriter& port, const Settings& settings, RuntimeState& state);

    uint16_t LastSecond = 60;  // 60 never matches, so the first call acts
    uint16_t LastYear = 0, LastMonth = 0, LastDay = 0;

    // What the strip shows.
    std::string TimeLabel = "88:88:88";  // Label1
    std::string DateLabel = "Label2";    // Label2
    Indicator indicator = Indicator::Red;
    std::string StatusText = kNoSignalText;
};

}  // namespace tkw
