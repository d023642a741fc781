#include "platform/time_of_day_text.h"

namespace tkw {

std::unique_ptr<TimeOfDayText> SystemTimeOfDayText() { return std::make_unique<PatternTimeText>("H:mm:ss"); }

}  // namespace tkw
