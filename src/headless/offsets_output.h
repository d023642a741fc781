// Where a headless run's offsets go: each minute's row to the daily file
// YYMMDDO.csv and to the observers (systemd's STATUS line); once an hour a
// line with the last minute's figures (the journal, the Windows service's
// log); with --offsets every frame's offset as a line of its own.
#pragma once

#include <string>
#include <vector>

#include "engine/offset_recorder.h"
#include "headless/console.h"
#include "headless/observer.h"
#include "logs/offsets_file.h"
#include "platform/files.h"

namespace tkw {

// "offset +0.213 ms ±0.051, drift +12.3 ppm": the minute's mean and spread,
// and the drift once known; "no offset this minute" without frames.
std::string OffsetFiguresText(const OffsetRow& row);

class OffsetsOutput {
public:
    // Binds `recorder`'s rows and samples; `me` starts the run's own lines.
    OffsetsOutput(OffsetRecorder& recorder, FileSystem& files, Console& console, std::string me,
                  const std::vector<RunObserver*>& observers, bool printSamples);

private:
    void Row(const OffsetRow& row);

    OffsetsWriter writer_;
    Console& console_;
    std::string me_;
    const std::vector<RunObserver*>& observers_;
};

}  // namespace tkw
