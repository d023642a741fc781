#include "engine/port_switching.h"

namespace tkw {

PortSwitcher::PortSwitcher(SerialApi& port, Settings& settings, LineSettings& line, MessageBoxes& boxes,
                           ReaderControl* reader, PortMarks* marks, std::function<Status()> save)
    : port_(port), settings_(settings), line_(line), boxes_(boxes), reader_(reader), marks_(marks),
      save_(std::move(save)) {}

void PortSwitcher::Error(const char* text) { boxes_.Show(BoxKind::Error, kSerialErrorCaption, text); }

void PortSwitcher::Message(const char* text) { boxes_.Show(BoxKind::Plain, kAppTitle, text); }

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

bool PortSwitcher::StartupOpen() {
    line_.SetFixed();
    // Marks first: they show the configured port and code even when the
    // port then fails to open.
    if (marks_) {
        marks_->MarkPortAtStartup(settings_.PortNumber);
        marks_->MarkBaud(settings_.BaudCode, false);
    }
    const bool opened = port_.sio_open(settings_.PortNumber) == 0;
    if (!opened) Error(kMsgStartupOpenFailed);
    if (!opened && !SetUpUnopenedPort) return false;
    if (PortSet()) return opened;
    port_.sio_close(settings_.PortNumber);
    return false;
}

PortChange PortSwitcher::ChangePort(int32_t newPort, std::optional<int32_t> fallbackBaudCode) {
    return Change(&Settings::PortNumber, newPort, kMsgNewPortFailed, kMsgPortSetAfterPortChange, fallbackBaudCode);
}

PortChange PortSwitcher::ChangeBaud(int32_t newCode) {
    return Change(&Settings::BaudCode, newCode, kMsgNewBaudFailed, kMsgPortSetAfterBaudChange, std::nullopt);
}

// Both changes: close the port in use, put the new value in `field` and open
// the port it names; when that fails, take the previous value again (and the
// fixed line settings) and reopen. Every way out ends the hold.
PortChange PortSwitcher::Change(int32_t Settings::*field, int32_t value, const char* openFailed,
                                const char* portSetFailed, std::optional<int32_t> fallbackBaudCode) {
    ReaderHold hold(reader_);
    PortChange r;
    const int32_t old = settings_.*field;
    port_.sio_close(settings_.PortNumber);
    port_.sio_flush(settings_.PortNumber, 0);
    settings_.*field = value;
    if (port_.sio_open(settings_.PortNumber) != 0) {
        Message(openFailed);
        port_.sio_close(settings_.PortNumber);
        settings_.*field = old;
        line_.SetFixed();
        if (fallbackBaudCode) {
            settings_.BaudCode = *fallbackBaudCode;
            // The code is in force from here on, whether the previous port
            // reopens or not: a later save stores it, so the marks show it.
            if (marks_) marks_->MarkBaud(settings_.BaudCode, true);
        }
        r.fellBack = true;
        if (port_.sio_open(settings_.PortNumber) != 0) {
            Message(kMsgFallbackFailed);
            return r;
        }
    }
    if (!PortSet()) {
        port_.sio_close(settings_.PortNumber);
        Message(portSetFailed);
        settings_.*field = old;
        return r;
    }
    if (marks_) {
        if (field == &Settings::PortNumber) marks_->MarkPortAfterChange(settings_.PortNumber);
        if (field == &Settings::BaudCode) marks_->MarkBaud(settings_.BaudCode, true);
    }
    hold.Resume();
    r.ok = true;
    if (save_) r.saved = save_();
    return r;
}

}  // namespace tkw
