// What --calibrate --save stored, beside the settings: the receiver's delay
// was measured for one time-code format at one bit rate (the frame's time on
// the line is part of it), and a later change of either makes the fine
// adjustment a guess again. The 224-byte settings record has no room for
// that and other programs read it as it is, so it goes in a file of its own,
// horalsys.cal, one text line:
//   fine=127 format=KRW_CODE baud=4800 date=2026-12-08
// A missing, unreadable or damaged file means "not calibrated".
#pragma once

#include <cstdint>
#include <string>

#include "platform/files.h"

namespace tkw {

inline constexpr const char* kCalibrationFileName = "horalsys.cal";

struct Calibration {
    int fineMs = 0;
    uint8_t codeFormat = 0;  // 1..3
    int32_t baudCode = 0;    // kBaudCode4800 or kBaudCode9600
    std::string date;        // YYYY-MM-DD, when it was measured
};

// The fine adjustment that cancels a receiver's delay of `delayMs`: to the
// whole millisecond the setting holds, within its range.
int FineAdjustForDelay(double delayMs);

// False when `path` holds no calibration.
bool LoadCalibration(FileSystem& fs, const std::string& path, Calibration& c);
// Replaces `path` whole, as savecfg does the settings.
Status SaveCalibration(FileSystem& fs, const std::string& path, const Calibration& c);

}  // namespace tkw
