// Which failed reads on a Windows serial port mean the device has gone: the
// codes drivers and Wine give for a removal, a port that no longer answers for
// its status, and a run of aborted reads.
#include <gtest/gtest.h>

#include "serial/read_failure.h"

namespace tkw {
namespace {

using namespace win32_error;

struct Case {
    const char* name;
    uint32_t error;
    bool statusAnswers;
    int abortsInARow;
    ReadFailure want;
};

TEST(ReadFailure, RemovalCodesAndSilentPortsAreGoneLineErrorsAreNot) {
    const Case cases[] = {
        {"Wine: pseudo-terminal hung up", kBrokenPipe, false, 0, ReadFailure::Gone},
        {"Wine: hung up, status still answering", kBrokenPipe, true, 0, ReadFailure::Gone},
        {"not ready", kNotReady, true, 0, ReadFailure::Gone},
        {"device not connected", kDeviceNotConnected, true, 0, ReadFailure::Gone},
        {"device removed", kDeviceRemoved, true, 0, ReadFailure::Gone},
        {"bad command (CDC driver after unplug)", kBadCommand, true, 0, ReadFailure::Gone},
        {"general failure (after unplug or sleep)", kGenFailure, true, 0, ReadFailure::Gone},
        {"access denied on an open handle", kAccessDenied, true, 0, ReadFailure::Gone},
        {"handle invalidated", kInvalidHandle, true, 0, ReadFailure::Gone},
        {"invalid function", kInvalidFunction, true, 0, ReadFailure::Gone},
        {"device no longer exists", kDevNotExist, true, 0, ReadFailure::Gone},
        {"any failure of a port that no longer answers", 87, false, 0, ReadFailure::Gone},
        {"a line error, cleared", kOperationAborted, true, 0, ReadFailure::LineError},
        {"line errors, one short of the run", kOperationAborted, true, kAbortsMeaningGone - 2, ReadFailure::LineError},
        {"a run of aborts with no byte between", kOperationAborted, true, kAbortsMeaningGone - 1, ReadFailure::Gone},
        {"an abort on a port that no longer answers", kOperationAborted, false, 0, ReadFailure::Gone},
        {"something else, port answering", 87, true, 0, ReadFailure::Other},
        {"a time-out, port answering", 1121, true, 0, ReadFailure::Other},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ClassifyReadFailure(c.error, c.statusAnswers, c.abortsInARow), c.want) << c.name;
}

}  // namespace
}  // namespace tkw
