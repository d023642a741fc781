#include "engine/settings_report.h"

namespace tkw {

void ReportLoad(const LoadResult& r, MessageBoxes& boxes) {
    if (r.outcome == LoadOutcome::AccessError)
        boxes.Show(BoxKind::Warning, kWarningCaption, kFileAccessError);
    else if (r.outcome == LoadOutcome::IoError)
        boxes.Show(BoxKind::Stop, kAppTitle, r.error);
}

void ReportSave(const Status& st, MessageBoxes& boxes) {
    if (!st) boxes.Show(BoxKind::Stop, kAppTitle, st.error);
}

}  // namespace tkw
