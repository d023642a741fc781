// The port chooser "Serial Port": lists the serial ports the system reports,
// takes the number of a clicked line into the number field, and "使用" runs
// the port change with it (closing the dialog on success only).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "serial/port_list.h"
#include "ui/controls.h"
#include "ui/list_box.h"
#include "ui/modal_form.h"
#include "ui/spin_edit.h"

namespace tkw {

// The port number in a list line: of its first 32 characters, what lies
// between the first three and the first dot, as a whole number, brought into
// 1..128. False (nothing to take) for a line that does not read so.
bool PortOfLine(const std::string& line, int& port);

class TForm4 final : public ModalForm {
public:
    // `applyPort` runs the port change; true when the chosen port is in use
    // (not after a fallback to the previous one).
    TForm4(SerialPortList& ports, std::function<bool(int32_t)> applyPort);

    // Every activation lists the ports afresh.
    void FormActivate() override;
    void ListBox1Click();
    void Button1Click();  // 使用
    void Button2Click();  // 返回

    ListBox ListBox1{"ListBox1", {0, 0, 227, 217}};
    Label Label1{"Label1", "端口 COM", {24, 232, 64, 16}};
    SpinEdit SpinEdit1{"SpinEdit1", {88, 232, 73, 22}, 1, 128, 1};
    Button Button1{"Button1", "使用", {24, 280, 75, 25}};
    Button Button2{"Button2", "返回", {128, 280, 75, 25}};

private:
    SerialPortList& ports_;
    std::function<bool(int32_t)> applyPort_;
};

}  // namespace tkw
