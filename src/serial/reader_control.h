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

// Holds the reader off the port for a scope. Resume() ends the hold early (a
// successful port change resumes before it saves); every other way out ends
// it on leaving the scope, so one pause always meets exactly one resume and
// no way out of a command leaves reception paused. A null reader (none yet,
// or a program without one) holds nothing.
class ReaderHold {
public:
    explicit ReaderHold(ReaderControl* reader) : reader_(reader) {
        if (reader_) reader_->Pause();
    }
    ~ReaderHold() { Resume(); }
    ReaderHold(const ReaderHold&) = delete;
    ReaderHold& operator=(const ReaderHold&) = delete;

    void Resume() {
        if (reader_) reader_->Resume();
        reader_ = nullptr;
    }

private:
    ReaderControl* reader_;
};

}  // namespace tkw
