// The time-code engine as every program wires it: the stored settings, the
// flags its handlers share, the receive ring with the correction decision and
// the one-second tick, over the seams the program gives it; and its port
// side, the reader thread and the port changes. The desktop strip, the Linux
// program and tkw-replay all build on these two, so each is wired in one place.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "engine/offset_recorder.h"
#include "engine/port_recovery.h"
#include "engine/port_switching.h"
#include "engine/tick.h"
#include "config/settings.h"
#include "logs/sinks.h"
#include "platform/clock.h"
#include "platform/main_thread.h"
#include "platform/message_box.h"
#include "serial/line_settings.h"
#include "serial/port_writer.h"
#include "serial/reader.h"
#include "serial/serial_api.h"
#include "timecode/receiver.h"
#include "timecode/runtime_state.h"

namespace tkw {

struct EngineSeams {
    Clock& clock;
    PortWriter& port;
    MonitorSink& monitor;
    LogSink& log;
};

class Engine {
public:
    explicit Engine(const EngineSeams& seams)
        : Receiver(UserSettings, State, seams.clock, seams.port, seams.monitor, seams.log), io_(seams) {
        Receiver.Offsets = &Offsets;
    }
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Looks at the clock (the strip's timer does every 2 ms, the headless
    // loop at each wake-up): true when the second had changed and the tick acted.
    bool CheckSecond();
    // A chunk from the reader, on the main thread, with when its read returned.
    void HandleChunk(const uint8_t* buf, int32_t len, const ReadStamp& stamp) {
        Receiver.HandleChunk(buf, len, stamp);
    }

    // The reader's stamp of a read: the monotonic and the real time, and
    // this engine's clock (the one the corrections set). On the reader's thread.
    ReadStamp StampNow();

    Settings UserSettings;  // all zero until loaded
    RuntimeState State;     // all zero until start-up sets it
    TimeCodeReceiver Receiver;
    SecondTick Tick;
    OffsetRecorder Offsets;  // every frame's offset, a row a minute

private:
    EngineSeams io_;
};

// The engine's port side: the fixed line settings, the reader thread that
// hands every chunk to the engine on the main thread, the port and baud
// changes, which hold that reader off the port, and the recovery of a port
// that is missing or goes away (PortRecovery), which follows the changes.
class SerialLink {
public:
    using Ms = std::chrono::milliseconds;

    // `marks` may be null (a program without a port menu). `save` writes the settings.
    // The engine must outlive the link (the reader hands chunks to it).
    SerialLink(SerialApi& serial, MainThread& main, Engine& engine, MessageBoxes& boxes, PortMarks* marks,
               std::function<Status()> save, Tcomm::SleepFn sleep = Tcomm::RealSleep, bool pollReads = false);
    SerialLink(const SerialLink&) = delete;
    SerialLink& operator=(const SerialLink&) = delete;

    // The last steps of start-up: the port opened and set up (its failures
    // reported, start-up goes on), the ring emptied, the reader started, and
    // a port that did not open left to recovery. True when the port is open
    // and set up.
    bool Start();
    // Asks the reader to stop and returns at once.
    void Stop();

    // The port and baud changes of the menu and the port chooser (see
    // PortSwitcher); a recovery under way follows them.
    PortChange ChangePort(int32_t port, std::optional<int32_t> fallbackBaudCode = std::nullopt);
    PortChange ChangeBaud(int32_t code);

    // Recovery, on the main thread. ServicePort at every wake-up (the
    // desktop program's timer, the Linux program's loop): returns how long
    // until the next try is due, negative when none is. TryPortNow when the
    // system has woken from sleep (`forceReopen`) or a port has arrived.
    Ms ServicePort() { return recovery_.Service(SteadyNow()); }
    Ms TryPortNow(bool forceReopen) { return recovery_.TryNow(forceReopen, SteadyNow()); }
    bool PortDown() const { return recovery_.Down(); }

    // Set before Start. Where recovery says what happens to the port (one
    // line each time it goes and comes back; nowhere by default); what a
    // read that finds the device gone calls, on the reader's thread (to wake
    // a main thread that sleeps until its next second); the steady clock.
    std::function<void(const std::string&)> OnPortNews;
    std::function<void()> OnDeviceGone;
    std::function<Ms()> SteadyNow = [] {
        return std::chrono::duration_cast<Ms>(std::chrono::steady_clock::now().time_since_epoch());
    };

    // The started reader; null before Start.
    Tcomm* ReaderThread() { return started_ ? &reader_ : nullptr; }
    // Holds the reader off the port, counting the pauses in force (the format
    // change nests the port change's pause inside its own, a recovery holds
    // one while the port is away).
    ReaderControl& Holds() { return hold_; }
    int ReaderHolds() const { return hold_.depth; }

    LineSettings Line;

private:
    struct CountedHold final : ReaderControl {
        explicit CountedHold(Tcomm& r) : reader(r) {}
        void Pause() override { reader.Pause(), ++depth; }
        void Resume() override { --depth, reader.Resume(); }
        Tcomm& reader;
        int depth = 0;
    };

    Engine& engine_;
    GoneWatch watch_;  // the port as the reader sees it
    Tcomm reader_;
    CountedHold hold_{reader_};
    bool started_ = false;

public:
    PortSwitcher Ports;  // after the hold it pauses

private:
    ConfiguredPort configured_;
    PortRecovery recovery_;
};

}  // namespace tkw
