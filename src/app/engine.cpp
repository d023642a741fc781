#include "app/engine.h"

namespace tkw {

SerialLink::SerialLink(SerialApi& serial, MainThread& main, Engine& engine, MessageBoxes& boxes, PortMenu* menu,
                       std::function<Status()> save, Tcomm::SleepFn sleep, bool pollReads)
    : engine_(engine),
      reader_(serial, engine.UserSettings.PortNumber, main,
              [&engine](const uint8_t* buf, int32_t len) { engine.HandleChunk(buf, len); }, std::move(sleep),
              pollReads),
      Ports(serial, engine.UserSettings, Line, boxes, &hold_, menu, std::move(save)) {}

bool SerialLink::Start() {
    const bool open = Ports.StartupOpen();
    engine_.Receiver.ResetRing(0);
    reader_.Start();
    started_ = true;
    return open;
}

void SerialLink::Stop() {
    if (started_) reader_.Stop();
}

}  // namespace tkw
