#include "headless/offsets_output.h"

#include <cstdio>

namespace tkw {

std::string OffsetFiguresText(const OffsetRow& row) {
    std::string text = row.frames > 0 ? "offset " + std::string(row.meanMs < 0 ? "" : "+") +
                                            FormatFixed(row.meanMs, 3) + " ms ±" + FormatFixed(row.sdMs, 3)
                                      : std::string("no offset this minute");
    if (row.driftPpm)
        text += ", drift " + std::string(*row.driftPpm < 0 ? "" : "+") + FormatFixed(*row.driftPpm, 1) + " ppm";
    return text;
}

OffsetsOutput::OffsetsOutput(OffsetRecorder& recorder, FileSystem& files, Console& console, std::string me,
                             const std::vector<RunObserver*>& observers, bool printSamples)
    : writer_(files), console_(console), me_(std::move(me)), observers_(observers) {
    // A failing disk is said once, and once when the file is written again.
    writer_.OnFailure = [this](const std::string& path, const std::string& why) {
        console_.Err(me_ + path + " cannot be written: " + why + "; the offsets are not kept until it can");
    };
    writer_.OnRecovered = [this](const std::string& path) { console_.Err(me_ + path + " is written again"); };
    recorder.OnRow = [this](const OffsetRow& row) { Row(row); };
    if (printSamples)
        recorder.OnSample = [this](double offsetMs, LocalMs frameMs) {
            console_.Out("OFFSET " + DateTimeText(FromLocalMs(frameMs)) + " " + (offsetMs < 0 ? "" : "+") +
                         FormatFixed(offsetMs, 3) + " ms");
        };
}

void OffsetsOutput::Row(const OffsetRow& row) {
    writer_.Write(row);
    for (RunObserver* o : observers_) o->OffsetMinute(row);
    // The last minute of each hour, so that the journal or the service's
    // log shows how the clock does without a line a minute.
    if (row.minute.wMinute == 59) {
        char hm[16];
        std::snprintf(hm, sizeof hm, "%02u:%02u", row.minute.wHour, row.minute.wMinute);
        console_.Out(me_ + hm + " " + OffsetFiguresText(row));
    }
}

}  // namespace tkw
