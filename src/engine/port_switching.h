// Bringing the configured port into use, and changing the port or the baud
// code while the program runs. A change holds the reader off the port, closes
// it, opens it with the new value, falls back to the previous value when that
// fails, marks the menu (if any) and saves the settings. All of it runs on the main
// thread.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "config/settings.h"
#include "platform/files.h"
#include "platform/message_box.h"
#include "serial/line_settings.h"
#include "serial/reader_control.h"
#include "engine/port_marks.h"
#include "serial/serial_api.h"

namespace tkw {

// Boxes of the port set-up (BoxKind::Error) and of the changes (BoxKind::Plain).
inline constexpr const char* kSerialErrorCaption = "错误";
inline constexpr const char* kMsgLineModeFailed = "通讯参数设置错误！";
inline constexpr const char* kMsgFlowFailed = "流控制设置失败！";
inline constexpr const char* kMsgDtrFailed = "DTR设置失败！";
inline constexpr const char* kMsgRtsFailed = "RTS设置失败！";
inline constexpr const char* kMsgStartupOpenFailed = "串口打开失败！原因是串口不存在或者串口已被其他程序占用！";
inline constexpr const char* kMsgNewPortFailed = "所改端口不能打开！系统采用原来端口！";
inline constexpr const char* kMsgNewBaudFailed = "端口不能打开！系统采用原来波特率！";
inline constexpr const char* kMsgFallbackFailed = "端口不能打开!";
inline constexpr const char* kMsgPortSetAfterPortChange = "端口无效或已经被占用！请重新设置。";
inline constexpr const char* kMsgPortSetAfterBaudChange = "端口设置无效或已经被占用！请重新设置。";

// What a port or baud change came to.
struct PortChange {
    // A port ended up open and configured (the previous one after a fallback
    // included): the marks show it and the settings were saved.
    bool ok = false;
    // The new value did not open; the previous one was taken again.
    bool fellBack = false;
    // The save that follows a success. Not shown here: the caller decides
    // when its box may come (after every pause of the reader has ended).
    Status saved;
};

class PortSwitcher {
public:
    // `reader` may be null (before the reader exists, or in a program without
    // one): the changes then hold nothing off. `marks` may be null (a program
    // without a port menu): nothing is marked. `save` writes the settings (the
    // program binds savecfg on "horalsys.conf").
    PortSwitcher(SerialApi& port, Settings& settings, LineSettings& line, MessageBoxes& boxes,
                 ReaderControl* reader, PortMarks* marks, std::function<Status()> save);
    PortSwitcher(const PortSwitcher&) = delete;
    PortSwitcher& operator=(const PortSwitcher&) = delete;

    // Applies BaudCode and the line settings to the open port PortNumber.
    // On failure the failing step's error box has been shown.
    bool PortSet();

    // The start-up open: line settings, marks, open, PortSet. A port that does
    // not open is reported and start-up goes on; the port is left closed when
    // PortSet fails. Resetting the ring and starting the reader are the
    // caller's next steps, whatever happened here. True when the port ended
    // up open and set up.
    bool StartupOpen();

    // The port change (the strip's COM1..COM4 items pass their Tag). The port chooser
    // passes `fallbackBaudCode` 12: its fallback reopens the previous port at
    // that code, and marks "9600" too, since that is the code in force from
    // then on (what the line runs at, and what any later save stores), even
    // when the previous port does not reopen either.
    PortChange ChangePort(int32_t newPort, std::optional<int32_t> fallbackBaudCode = std::nullopt);

    // The baud code change (the strip's 4800 and 9600 items pass their Tag).
    PortChange ChangeBaud(int32_t newCode);

    // The desktop program sets up the line at start-up even when the port did
    // not open (and so shows a second error box); a program that reports to a
    // log turns this off, since that second message would mislead its reader.
    bool SetUpUnopenedPort = true;

private:
    PortChange Change(int32_t Settings::*field, int32_t value, const char* openFailed, const char* portSetFailed,
                      std::optional<int32_t> fallbackBaudCode);
    void Error(const char* text);
    void Message(const char* text);

    SerialApi& port_;
    Settings& settings_;
    LineSettings& line_;
    MessageBoxes& boxes_;
    ReaderControl* reader_;
    PortMarks* marks_;
    std::function<Status()> save_;
};

}  // namespace tkw
