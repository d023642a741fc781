// The boxes the program shows when its settings file cannot be read or written.
#pragma once

#include "config/settings.h"
#include "platform/message_box.h"

namespace tkw {

// "File access error" (warning) for a file that cannot be opened, the system's
// text in a stop box for any other failure; nothing for a load that may go on.
void ReportLoad(const LoadResult& r, MessageBoxes& boxes);
// The system's text in a stop box when the save failed; nothing otherwise.
void ReportSave(const Status& st, MessageBoxes& boxes);

}  // namespace tkw
