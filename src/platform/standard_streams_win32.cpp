#include "platform/standard_streams.h"

namespace tkw {

// Windows hands out handles, not the lowest free number: a missing standard
// handle is never taken by a file opened later.
void OpenClosedStandardStreams() {}

}  // namespace tkw
