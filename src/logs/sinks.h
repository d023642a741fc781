// Where the time-code handling sends its text: the monitor window's line list
// and the two date-named logs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tkw {

class MonitorSink {
public:
    virtual ~MonitorSink() = default;
    virtual void AppendLine(std::string line) = 0;
};

class LogSink {
public:
    virtual ~LogSink() = default;
    // flag 0: the communication log; any other value: the jump log.
    virtual void savelogline(int32_t flag, std::string_view text) = 0;
};

}  // namespace tkw
