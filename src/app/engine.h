// The time-code engine as every program wires it: the stored settings, the
// flags its handlers share, the receive ring with the correction decision and
// the one-second tick, over the seams the program gives it; and its port
// side, the reader thread and the port changes. The desktop strip, the Linux
// program and tkw-replay all build on these two, so each is wired in one place.
#pragma once

#include <cstdint>
#include <functional>

#include "app/port_switching.h"
#include "app/tick.h"
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
        : Receiver(UserSettings, State, seams.clock, seams.port, seams.monitor, seams.log), io_(seams) {}
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Looks at the clock (the strip's timer does every 2 ms, the headless
    // loop at each wake-up): true when the second had changed and the tick acted.
    bool CheckSecond() { return Tick.CheckSecond(io_.clock, io_.port, UserSettings, State); }
    // A chunk from the reader, on the main thread.
    void HandleChunk(const uint8_t* buf, int32_t len) { Receiver.HandleChunk(buf, len); }

    Settings UserSettings;  // all zero until loaded
    RuntimeState State;     // all zero until start-up sets it
    TimeCodeReceiver Receiver;
    SecondTick Tick;

private:
    EngineSeams io_;
};

// The engine's port side: the fixed line settings, the reader thread that
// hands every chunk to the engine on the main thread, and the port and baud
// changes, which hold that reader off the port.
class SerialLink {
public:
    // `menu` may be null (a program without one). `save` writes the settings.
    // The engine must outlive the link (the reader hands chunks to it).
    SerialLink(SerialApi& serial, MainThread& main, Engine& engine, MessageBoxes& boxes, PortMenu* menu,
               std::function<Status()> save, Tcomm::SleepFn sleep = Tcomm::RealSleep, bool pollReads = false);
    SerialLink(const SerialLink&) = delete;
    SerialLink& operator=(const SerialLink&) = delete;

    // The last steps of start-up: the port opened and set up (its failures
    // reported, start-up goes on), the ring emptied, the reader started.
    // True when the port is open and set up.
    bool Start();
    // Asks the reader to stop and returns at once.
    void Stop();

    // The started reader; null before Start.
    Tcomm* ReaderThread() { return started_ ? &reader_ : nullptr; }
    // Holds the reader off the port, counting the pauses in force (the format
    // change nests the port change's pause inside its own).
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
    Tcomm reader_;
    CountedHold hold_{reader_};
    bool started_ = false;

public:
    PortSwitcher Ports;  // after the hold it pauses
};

}  // namespace tkw
