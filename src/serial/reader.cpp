#include "serial/reader.h"

#include <utility>

#include "platform/thread_priority.h"

namespace tkw {

Tcomm::Tcomm(SerialApi& serial, const int32_t& PortNumber, MainThread& main, ChunkHandler handler,
             SleepFn sleep, bool pollReads, StampFn stamp)
    : serial_(serial), PortNumber(PortNumber), main_(main), handler_(std::move(handler)), sleep_(std::move(sleep)),
      pollReads_(pollReads), stampNow_(std::move(stamp)) {
    handOff_ = [this] {
        // A chunk that makes the handler fail is lost, but neither the main
        // thread's loop nor the reader may end over it.
        try {
            handler_(ChunkBuf, ChunkLen, stamp_);
        } catch (...) {
        }
    };
}

Tcomm::~Tcomm() {
    Stop();
    if (thread_.joinable()) thread_.join();
}

void Tcomm::Start() {
    {
        std::lock_guard lk(lock_);
        if (started_) return;
        started_ = true;
        StopReader = false;
    }
    try {
        thread_ = std::thread([this] { Execute(); });
    } catch (...) {
        std::lock_guard lk(lock_);
        started_ = false;
        throw;
    }
}

// Before Start (start-up ended early) there is nothing to hold or stop, and a
// hold counted then would keep the reader off the port for good.
void Tcomm::Pause() {
    {
        std::lock_guard lk(lock_);
        if (!started_) return;
        StopReader = true;
        ++holdCount_;
    }
    // A reader waiting for input on the port leaves the wait and parks.
    serial_.sio_wake(PortNumber);
}

void Tcomm::Resume() {
    std::lock_guard lk(lock_);
    if (!started_) return;
    StopReader = false;
    if (holdCount_ > 0) --holdCount_;
    parked_ = false;  // the reader parks again if pauses remain
    wake_.notify_all();
}

void Tcomm::Stop() {
    {
        std::lock_guard lk(lock_);
        if (!started_) return;
        StopReader = true;
        terminate_ = true;
        wake_.notify_all();
    }
    serial_.sio_wake(PortNumber);
}

bool Tcomm::WaitEnded(std::chrono::milliseconds timeout) {
    {
        std::unique_lock lk(lock_);
        if (!started_) return true;
        if (!changed_.wait_for(lk, timeout, [this] { return ended_; })) return false;
    }
    if (thread_.joinable()) thread_.join();
    return true;
}

bool Tcomm::WaitParked(std::chrono::milliseconds timeout) {
    std::unique_lock lk(lock_);
    return changed_.wait_for(lk, timeout, [this] { return parked_; });
}

void Tcomm::Execute() {
    RaiseCurrentThreadToTimeCritical();
    for (;;) {
        int32_t port;
        {
            std::unique_lock lk(lock_);
            // A pause alone never ends the loop; only the stop does.
            while (!terminate_ && Held()) {
                parked_ = true;
                changed_.notify_all();
                wake_.wait(lk);
            }
            parked_ = false;
            if (terminate_) break;
            port = PortNumber;
        }

        if (pollReads_) {
            sleep_(kPollInterval);
        } else if (serial_.sio_wait(port, -1) < 0) {
            // Nothing to wait on (the port is closed or failing): look again
            // in a while rather than spin.
            sleep_(kPollInterval);
        }
        // The bytes are there now (or, polling, arrived during the sleep):
        // stamped before the read and the hand-off add their own time.
        const ReadStamp stamp = stampNow_();

        int32_t n = 0;
        {
            // The test and the read under one lock: a pause that began during
            // the wait sends us back to the hold without touching the port,
            // and one that begins now waits for this non-blocking read only.
            std::lock_guard lk(lock_);
            if (terminate_ || Held()) continue;
            n = serial_.sio_read(PortNumber, ChunkBuf, kChunkMax);
        }
        if (n < 1) continue;  // nothing arrived, or the port is closed or failing
        if (n > kChunkMax) n = kChunkMax;
        ChunkBuf[n] = 0;
        ChunkLen = n;
        stamp_ = stamp;

        // Without the lock: the main thread may pause while this waits for
        // it, and then serves the chunk after its change. A refused hand-off
        // (the program is closing) drops the chunk.
        try {
            main_.Synchronize(handOff_);
        } catch (...) {
        }
    }
    std::lock_guard lk(lock_);
    ended_ = true;
    changed_.notify_all();
}
}  // namespace tkw
