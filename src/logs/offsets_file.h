// The daily offsets file YYMMDD + "O.csv" (the local date, as the other
// logs): how far the PC clock was from the time code, one row a minute.
//
//   time,frames,mean_ms,min_ms,max_ms,sd_ms,step_ms,drift_ppm
//   2026-03-14 08:05,28,0.213,-1.500,2.000,0.845,-1.372,24.95
//   2026-03-14 08:06,0,,,,,,24.95
//
// time: the minute, local; frames: the frames that gave a sample; the
// offsets (PC clock minus time code, positive: the PC ahead) in ms with 3
// decimals; step_ms: the correction made in that minute (new clock minus
// old), empty for none; drift_ppm: how fast the PC clock runs (positive:
// it gains), 2 decimals, empty until known. A minute without frames has
// its offsets empty. Lines end in CR LF, as the other logs' (Notepad shows
// them); the reader takes LF alone too. A spreadsheet opens the file as it is.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"
#include "platform/systime.h"

namespace tkw {

inline constexpr std::string_view kOffsetsHeader = "time,frames,mean_ms,min_ms,max_ms,sd_ms,step_ms,drift_ppm";

struct OffsetRow {
    SystemTime minute;  // its date, hour and minute (seconds are not kept)
    int frames = 0;
    // Of the minute's samples; not written, and read as 0, when frames is 0.
    double meanMs = 0;
    double minMs = 0;
    double maxMs = 0;
    double sdMs = 0;
    std::optional<double> stepMs;
    std::optional<double> driftPpm;
};

// "260314O.csv" for a row of 2026-03-14.
std::string OffsetsFileName(const SystemTime& date);

// `value` with `decimals` places and '.' for the point whatever the locale;
// a value that rounds to zero has no minus sign ("0.000", not "-0.000").
std::string FormatFixed(double value, int decimals);

// The row's line, CR LF included.
std::string FormatOffsetRow(const OffsetRow& row);

// Appends rows to their day's file (the day of the row's minute, so that a
// minute ending at midnight goes to the day it belongs to). Like the logs,
// each row opens the file, appends, syncs and closes it; a new or empty file
// gets the header first. A row that cannot be written is dropped whole: one
// a full disk cut short is taken back out of the file.
class OffsetsWriter {
public:
    // `dir` empty: the current directory.
    explicit OffsetsWriter(FileSystem& fs, std::string dir = {}) : fs_(fs), dir_(std::move(dir)) {}

    // False when the row could not be written.
    bool Write(const OffsetRow& row);

    // Hears once which file could not be written and the system's reason,
    // until a row is written again, which OnRecovered hears (the path).
    std::function<void(const std::string& path, const std::string& why)> OnFailure;
    std::function<void(const std::string& path)> OnRecovered;

private:
    FileSystem& fs_;
    std::string dir_;
    bool failing_ = false;
};

// A day's file read back. A line that is not a whole row is skipped and
// counted (a last line without its line end too: a row cut short looks
// whole once its last digits are gone); blank lines and header rows are
// skipped without counting.
struct OffsetsDay {
    std::vector<OffsetRow> rows;
    int badLines = 0;
};
OffsetsDay ParseOffsets(std::string_view text);

// Reads and parses the file at `path` (UTF-8). Fails with the reason when
// it cannot be read.
Status ReadOffsetsFile(const std::string& path, OffsetsDay& day);

}  // namespace tkw
