// The reader thread, Tcomm: waits on the current port until input arrives
// (sio_wait), reads up to 255 bytes at once, hands the chunk to the main
// thread (MainThread::Synchronize) and waits there until the handler has run.
// A frame's last byte is thus handled as soon as it arrives, and an idle
// reader sleeps without waking. Port, baud and format changes hold it off the
// port with Pause/Resume, which wake a wait under way; the close asks it to
// stop and does not wait. On a port that cannot be waited on (not open,
// failing) it looks again every 10 ms. The earlier reader, which slept 10 ms
// before every read, is kept as a mode for comparing the two.
//
// Ownership and shutdown: the thread runs on this object and on the objects
// it was given (port, PortNumber, main thread, handler), so all of them must
// outlive it. Stop() only raises flags and returns, so the close never waits
// for a reader that may sit in a hand-off. The wait comes at destruction: the
// destructor stops the thread and joins it, so no thread is left running on
// freed state and none is left joinable. A pass lasts one 10 ms sleep plus
// one non-blocking read, so that join is short, with one condition: a reader
// waiting for its hand-off is released only when the main thread serves it
// or refuses it. Destroy the reader on the main thread only after that
// thread has stopped serving hand-offs (Synchronize then returns false), or
// use WaitEnded() to bound the wait first. Detaching instead would leave a
// thread reading the port and calling the handler while the program's
// objects are torn down around it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/main_thread.h"
#include "serial/read_stamp.h"
#include "serial/reader_control.h"
#include "serial/serial_api.h"

namespace tkw {

class Tcomm final : public ReaderControl {
public:
    // The chunk, and when its read returned.
    using ChunkHandler = std::function<void(const uint8_t* ChunkBuf, int32_t ChunkLen, const ReadStamp& stamp)>;
    using SleepFn = std::function<void(std::chrono::milliseconds)>;
    // Takes a read's stamp; by default the monotonic and the real time.
    using StampFn = std::function<ReadStamp()>;

    static constexpr int32_t kChunkMax = 255;
    static constexpr std::chrono::milliseconds kPollInterval{10};

    static void RealSleep(std::chrono::milliseconds d) { std::this_thread::sleep_for(d); }

    // `PortNumber` is read afresh before every read; it may change only while
    // the reader is paused. `handler` runs on the main thread. `pollReads`:
    // sleep 10 ms before every read instead of waiting for input. `stamp`
    // runs on the reader's thread.
    Tcomm(SerialApi& serial, const int32_t& PortNumber, MainThread& main, ChunkHandler handler,
          SleepFn sleep = RealSleep, bool pollReads = false, StampFn stamp = ReadStamp::Now);
    ~Tcomm() override;
    Tcomm(const Tcomm&) = delete;
    Tcomm& operator=(const Tcomm&) = delete;

    // Creates the thread, running, at time-critical priority where the
    // platform allows it. Once only: a reader that was started (and maybe
    // stopped) is never started again.
    void Start();

    // When Pause returns the reader is not inside sio_read and starts no read
    // until every pause has been resumed. It never waits for a hand-off in
    // progress: that hand-off needs the main thread, which is the one pausing.
    void Pause() override;
    void Resume() override;

    // Asks the reader to end and returns at once.
    void Stop();

    // Waits up to `timeout` for the thread to end (true when it has, or was
    // never started).
    bool WaitEnded(std::chrono::milliseconds timeout);

    // Waits up to `timeout` until the reader sits in its hold, having seen
    // every pause and resume made so far. Lets tests tell "held" from "not
    // there yet" without guessing with sleeps.
    bool WaitParked(std::chrono::milliseconds timeout);

private:
    void Execute();
    bool Held() const { return holdCount_ > 0 || StopReader; }

    SerialApi& serial_;
    const int32_t& PortNumber;
    MainThread& main_;
    ChunkHandler handler_;
    SleepFn sleep_;
    const bool pollReads_;
    StampFn stampNow_;
    std::function<void()> handOff_;  // built once: no allocation per chunk

    // Reader only, but for the handler reading them while the reader waits.
    uint8_t ChunkBuf[kChunkMax + 1] = {};
    int32_t ChunkLen = 0;
    ReadStamp stamp_;

    // Guarded by lock_, which the reader also holds around its hold test and
    // its read, so a pause cannot fall between the two.
    std::mutex lock_;
    std::condition_variable wake_;     // to the reader: resume, stop
    std::condition_variable changed_;  // from the reader: parked, ended
    bool started_ = false;
    bool terminate_ = false;
    bool StopReader = false;
    int holdCount_ = 0;
    bool parked_ = false;
    bool ended_ = false;

    std::thread thread_;
};

}  // namespace tkw
