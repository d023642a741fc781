// A program started with its standard input, output or error closed
// ("tkw >&- 2>&-", a careless service manager) would have the first files and
// sockets it opens take those numbers, and its messages written into them
// (into a lock, an eventfd, a log). First thing in main(), before anything
// else is opened: each of the three that is closed is opened on the null
// device, where its reads find nothing and its writes go nowhere.
#pragma once

namespace tkw {

void OpenClosedStandardStreams();

}  // namespace tkw
