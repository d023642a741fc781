// What a failed read on an open Windows serial port means: a line error to
// clear, the device gone from under the handle, or some other failure. Kept
// apart from the backend, over the system's error numbers, so that the rule
// is tested on any machine.
//
// Gone means that nothing read through this handle will ever work again; the
// program then closes the port and opens it anew (engine/port_recovery). A wrong
// "gone" costs a reopen two seconds later; a missed one leaves the reader
// failing for ever, so the rule leans towards gone:
//   - when the port no longer answers even for its status (ClearCommError
//     fails too), whatever the read said: a present port always answers;
//   - for the codes with which drivers report a removal, whatever the status
//     call said. Under Wine, a COM port on a pseudo-terminal whose other end
//     went away fails its reads with ERROR_BROKEN_PIPE (the read finds end
//     of file) and its status calls with ERROR_NOT_READY. USB adapters
//     pulled out, or left with a stale handle across a sleep, report
//     ERROR_DEVICE_NOT_CONNECTED, ERROR_DEVICE_REMOVED, ERROR_BAD_COMMAND
//     (the CDC class driver and others), ERROR_GEN_FAILURE (common with
//     FTDI and Prolific adapters), ERROR_ACCESS_DENIED (a handle opened
//     without sharing cannot be refused for any other reason),
//     ERROR_INVALID_HANDLE and ERROR_INVALID_FUNCTION (the handle no longer
//     leads to the driver it was opened on) or ERROR_DEV_NOT_EXIST;
//   - ERROR_OPERATION_ABORTED is what a driver that stops on line errors
//     answers (a line error: cleared, and reading goes on); some drivers
//     abort every read once their device has gone, so a run of aborts with
//     no byte between them counts as gone too.
#pragma once

#include <cstdint>

namespace tkw {

// The system's numbers for the codes above (winerror.h).
namespace win32_error {
inline constexpr uint32_t kInvalidFunction = 1;
inline constexpr uint32_t kAccessDenied = 5;
inline constexpr uint32_t kInvalidHandle = 6;
inline constexpr uint32_t kNotReady = 21;
inline constexpr uint32_t kBadCommand = 22;
inline constexpr uint32_t kGenFailure = 31;
inline constexpr uint32_t kDevNotExist = 55;
inline constexpr uint32_t kBrokenPipe = 109;
inline constexpr uint32_t kOperationAborted = 995;
inline constexpr uint32_t kDeviceNotConnected = 1167;
inline constexpr uint32_t kDeviceRemoved = 1617;
}  // namespace win32_error

enum class ReadFailure { LineError, Gone, Other };

// Aborted reads in a row, with no byte between them, that mean the device has gone.
inline constexpr int kAbortsMeaningGone = 10;

// `error`: what the read or wait failed with. `statusAnswers`: whether
// ClearCommError then succeeded on the same handle. `abortsInARow`: the
// aborted reads before this one since the last byte came.
ReadFailure ClassifyReadFailure(uint32_t error, bool statusAnswers, int abortsInARow);

}  // namespace tkw
