// What the port and format changes need of the reader thread: holding it off
// the port while they close and reopen it. Pauses nest; every pause is ended
// by exactly one resume.
#pragma once

namespace tkw {

class ReaderControl {
public:
    virtual ~ReaderControl() = default;
    // When Pause returns, the reader is not inside sio_read and starts no new
    // read until every pause in force has been resumed.
    virtual void Pause() = 0;
    virtual void Resume() = 0;
};

}  // namespace tkw
