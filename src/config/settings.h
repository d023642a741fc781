// The user's stored settings and their configuration file "horalsys.conf":
// one 224-byte little-endian record, read at start-up and written whole after
// every change.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/files.h"

namespace tkw {

inline constexpr int kDailyPointSlots = 25;
inline constexpr size_t kConfigRecordSize = 224;
inline constexpr const char* kConfigFileName = "horalsys.conf";

struct Settings {
    int32_t PortNumber = 0;
    int32_t BaudCode = 0;
    uint8_t CorrectionMode = 0;
    uint8_t CorrectionSecond = 0;
    uint8_t CorrectionMinute = 0;
    uint16_t FineAdjustMs = 0;
    uint8_t DailyPointCount = 0;
    std::array<double, kDailyPointSlots> DailyPoints{};
    uint8_t JumpThreshold = 0;
    bool NoCorrectOnJump = false;
    uint8_t CodeFormat = 0;

    bool operator==(const Settings&) const = default;
};

// What the program's own editors (the menu, the dialogs, tkw --set) let a
// setting take. The file itself is read unchecked.
struct SettingRange {
    int Min, Max;
    constexpr bool Contains(int v) const { return v >= Min && v <= Max; }
    constexpr int Clamp(int v) const { return v < Min ? Min : v > Max ? Max : v; }
};
inline constexpr SettingRange kPortRange{1, 128};
inline constexpr SettingRange kSecondRange{0, 59};
inline constexpr SettingRange kMinuteRange{0, 59};
inline constexpr SettingRange kHourRange{0, 23};
inline constexpr SettingRange kJumpThresholdRange{2, 60};
inline constexpr SettingRange kFineAdjustRange{0, 999};
inline constexpr SettingRange kCodeFormatRange{1, 3};
// The code formats' names (CodeFormat 1, 2, 3), as the menu and the Linux
// program's settings show them.
inline constexpr const char* kCodeFormatNames[] = {"KRW_CODE", "PL_CODE", "MN_CODE"};
// The dialog stores at most this many daily points (the table has 25 slots).
inline constexpr int kMaxDailyPoints = 24;
inline constexpr uint8_t kModeEveryMinute = 1, kModeEveryHour = 2, kModeDailyPoints = 3;

// The two baud codes the editors offer (4800 and 9600 bit/s).
inline constexpr int32_t kBaudCode4800 = 10, kBaudCode9600 = 12;

// The baud code a receiver of that code format talks at: 4800 bit/s for
// KRW_CODE, 9600 for the others.
constexpr int32_t BaudCodeForFormat(int format) { return format == 1 ? kBaudCode4800 : kBaudCode9600; }

// The values taken when there is no configuration file. The daily points are
// not part of the defaults: they stay as they were (all zero at start-up).
void ApplyDefaults(Settings& s);

using ConfigRecord = std::array<uint8_t, kConfigRecordSize>;

ConfigRecord EncodeConfig(const Settings& s);
// Takes the fields of a whole record into `s`, unchecked: whatever the record
// holds is used as it stands.
void DecodeConfig(const ConfigRecord& rec, Settings& s);

enum class LoadOutcome {
    NoFile,       // defaults taken
    Loaded,       // first record taken
    ShortFile,    // fewer than 224 bytes: nothing taken
    AccessError,  // present but could not be opened for reading and writing
    IoError,      // opened, but reading or closing failed
};

struct LoadResult {
    LoadOutcome outcome = LoadOutcome::NoFile;
    std::string error;  // the platform's text, for IoError
    size_t bytes = 0;   // what a ShortFile holds
    // Start-up may go on.
    bool ok() const { return outcome != LoadOutcome::AccessError && outcome != LoadOutcome::IoError; }
};

// Loads `path` (normally kConfigFileName) into `s`. Creates nothing.
LoadResult LoadSettings(FileSystem& fs, const std::string& path, Settings& s);

// Writes `s` as exactly one record. The new record goes to a temporary file in
// the same directory, is synced, and then replaces `path` in one step: a crash,
// power cut or full disk leaves either the old file or the new one, never a
// short one (which the load would take as "all settings 0" and silently stop
// the program working).
Status savecfg(FileSystem& fs, const std::string& path, const Settings& s);

}  // namespace tkw
