#include "engine/engine.h"

namespace tkw {

bool Engine::CheckSecond() {
    if (!Tick.CheckSecond(io_.clock, io_.port, UserSettings, State)) return false;
    const SystemTime now = io_.clock.GetLocalTime();
    if (IsValid(now)) Offsets.OnSecond(ToLocalMs(now));
    return true;
}

ReadStamp Engine::StampNow() {
    ReadStamp s = ReadStamp::Now();
    s.localUs = io_.clock.GetLocalMicros();
    return s;
}

SerialLink::SerialLink(SerialApi& serial, MainThread& main, Engine& engine, MessageBoxes& boxes, PortMarks* marks,
                       std::function<Status()> save, Tcomm::SleepFn sleep, bool pollReads)
    : engine_(engine),
      watch_(serial,
             [this] {
                 recovery_.DeviceGone();
                 if (OnDeviceGone) OnDeviceGone();
             }),
      reader_(watch_, engine.UserSettings.PortNumber, main,
              [&engine](const uint8_t* buf, int32_t len, const ReadStamp& stamp) { engine.HandleChunk(buf, len, stamp); },
              std::move(sleep), pollReads, [&engine] { return engine.StampNow(); }),
      Ports(serial, engine.UserSettings, Line, boxes, &hold_, marks, std::move(save)),
      configured_(serial, engine.UserSettings, Line),
      recovery_(configured_, hold_, [this](const std::string& line) {
          if (OnPortNews) OnPortNews(line);
      }) {}

bool SerialLink::Start() {
    const bool open = Ports.StartupOpen();
    engine_.Receiver.ResetRing(0);
    reader_.Start();
    started_ = true;
    recovery_.Started(open, SteadyNow());
    return open;
}

void SerialLink::Stop() {
    if (started_) reader_.Stop();
}

PortChange SerialLink::ChangePort(int32_t port, std::optional<int32_t> fallbackBaudCode) {
    recovery_.ChangeBegins();
    const PortChange r = Ports.ChangePort(port, fallbackBaudCode);
    recovery_.ChangeEnded(r.ok, SteadyNow());
    return r;
}

PortChange SerialLink::ChangeBaud(int32_t code) {
    recovery_.ChangeBegins();
    const PortChange r = Ports.ChangeBaud(code);
    recovery_.ChangeEnded(r.ok, SteadyNow());
    return r;
}

}  // namespace tkw
