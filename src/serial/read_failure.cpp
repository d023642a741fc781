#include "serial/read_failure.h"

namespace tkw {

ReadFailure ClassifyReadFailure(uint32_t error, bool statusAnswers, int abortsInARow) {
    using namespace win32_error;
    if (!statusAnswers) return ReadFailure::Gone;
    switch (error) {
        case kInvalidFunction:
        case kAccessDenied:
        case kInvalidHandle:
        case kNotReady:
        case kBadCommand:
        case kGenFailure:
        case kDevNotExist:
        case kBrokenPipe:
        case kDeviceNotConnected:
        case kDeviceRemoved:
            return ReadFailure::Gone;
        case kOperationAborted:
            return abortsInARow + 1 >= kAbortsMeaningGone ? ReadFailure::Gone : ReadFailure::LineError;
        default:
            return ReadFailure::Other;
    }
}

}  // namespace tkw
