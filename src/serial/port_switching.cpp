#include "serial/port_switching.h"

namespace tkw {

namespace {

// Holds the reader off the port for the life of a change. Resume() ends the
// hold early (a successful change resumes before it saves); every other exit
// ends it on the way out, so one pause always meets exactly one resume: the
// code-format change nests its own pause around ours and counts on that.
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

}  // namespace

int32_t WriteTimeoutMs(int32_t bitRate) {
    // A rate of 0 or less means the port could not tell; never divide by it.
    const int32_t q = bitRate > 0 ? 1000 / bitRate : 0;
    return 10 * (q < 1 ? 1 : q);
}

PortSwitcher::PortSwitcher(SerialApi& port, Settings& settings, LineSettings& line, MessageBoxes& boxes,
                           ReaderControl* reader, PortMenu& menu, std::function<Status()> save)
    : port_(port), settings_(settings), line_(line), boxes_(boxes), reader_(reader), menu_(menu),
      save_(std::move(save)) {}

void PortSwitcher::Error(const char* text) { boxes_.Show(BoxKind::Error, kSerialErrorCaption, text); }

void PortSwitcher::Message(const char* text) { boxes_.Show(BoxKind::Plain, kAppTitle, text); }

void PortSwitcher::Save() {
    if (save_) ReportSave(save_(), boxes_);
}

bool PortSwitcher::PortSet() {
    const int32_t p = settings_.PortNumber;
    if (port_.sio_ioctl(p, settings_.BaudCode, line_.LineMode()) != 0) {
        Error(kMsgLineModeFailed);
        return false;
    }
    if (port_.sio_flowctrl(p, line_.FlowMode()) != 0) {
        Error(kMsgFlowFailed);
        return false;
    }
    if (port_.sio_DTR(p, line_.DtrOn ? 1 : 0) != 0) {
        Error(kMsgDtrFailed);
        return false;
    }
    // Under hardware handshake RTS belongs to the port's flow control.
    if (!line_.HardwareFlow && port_.sio_RTS(p, line_.RtsOn ? 1 : 0) != 0) {
        Error(kMsgRtsFailed);
        return false;
    }
    port_.sio_SetWriteTimeouts(p, WriteTimeoutMs(port_.sio_getbaud(p)));
    return true;
}

void PortSwitcher::StartupOpen() {
    line_.SetFixed();
    // Marks first: they show the configured port and code even when the
    // port then fails to open.
    menu_.MarkPortAtStartup(settings_.PortNumber);
    menu_.MarkBaud(settings_.BaudCode, false);
    if (port_.sio_open(settings_.PortNumber) != 0) Error(kMsgStartupOpenFailed);
    if (!PortSet()) port_.sio_close(settings_.PortNumber);
}

bool PortSwitcher::com11Click(int32_t newPort, std::optional<int32_t> fallbackBaudCode) {
    ReaderHold hold(reader_);
    const int32_t old = settings_.PortNumber;
    port_.sio_close(old);
    port_.sio_flush(old, 0);
    settings_.PortNumber = newPort;
    if (port_.sio_open(newPort) != 0) {
        Message(kMsgNewPortFailed);
        port_.sio_close(newPort);
        settings_.PortNumber = old;
        line_.SetFixed();
        if (fallbackBaudCode) settings_.BaudCode = *fallbackBaudCode;
        if (port_.sio_open(old) != 0) {
            Message(kMsgFallbackFailed);
            return false;
        }
    }
    if (!PortSet()) {
        port_.sio_close(settings_.PortNumber);
        Message(kMsgPortSetAfterPortChange);
        settings_.PortNumber = old;
        return false;
    }
    menu_.MarkPortAfterChange(settings_.PortNumber);
    hold.Resume();
    Save();
    return true;
}

bool PortSwitcher::N48001Click(int32_t newCode) {
    ReaderHold hold(reader_);
    const int32_t oldCode = settings_.BaudCode;
    const int32_t p = settings_.PortNumber;
    port_.sio_close(p);
    port_.sio_flush(p, 0);
    settings_.BaudCode = newCode;
    if (port_.sio_open(p) != 0) {
        Message(kMsgNewBaudFailed);
        port_.sio_close(p);
        settings_.BaudCode = oldCode;
        line_.SetFixed();
        if (port_.sio_open(p) != 0) {
            Message(kMsgFallbackFailed);
            return false;
        }
    }
    if (!PortSet()) {
        port_.sio_close(p);
        Message(kMsgPortSetAfterBaudChange);
        settings_.BaudCode = oldCode;
        return false;
    }
    menu_.MarkBaud(settings_.BaudCode, true);
    hold.Resume();
    Save();
    return true;
}

void PortSwitcher::BindMenu() {
    for (MenuItem* item : {&menu_.com11, &menu_.com21, &menu_.com31, &menu_.com41})
        item->OnClick = [this](MenuItem& it) { com11Click(it.Tag); };
    for (MenuItem* item : {&menu_.N48001, &menu_.N96001})
        item->OnClick = [this](MenuItem& it) { N48001Click(it.Tag); };
}

}  // namespace tkw
