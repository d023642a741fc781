#include "forms/ports_form.h"

#include <algorithm>

#include "config/settings.h"

namespace tkw {

namespace {

// The first `n` characters of a UTF-8 text.
std::string FirstChars(const std::string& s, size_t n) {
    size_t at = 0;
    for (size_t count = 0; at < s.size() && count < n; ++count) {
        ++at;
        while (at < s.size() && (static_cast<unsigned char>(s[at]) & 0xC0) == 0x80) ++at;
    }
    return s.substr(0, at);
}

}  // namespace

bool PortOfLine(const std::string& line, int& port) {
    const std::string text = FirstChars(line, 32);
    if (text.empty()) return false;
    // The port name's letters are ASCII ("COM", any three): the dot's byte
    // offset is its character position too up to there.
    const size_t dot = text.find('.');
    if (dot == std::string::npos || dot < 4) return false;
    int v = 0;
    if (!ParseInteger(text.substr(3, dot - 3), v)) return false;
    port = kPortRange.Clamp(v);
    return true;
}

TForm4::TForm4(SerialPortList& ports, std::function<bool(int32_t)> applyPort)
    : ports_(ports), applyPort_(std::move(applyPort)) {
    Look.Caption = "Serial Port";
    Look.Border = FormLook::Frame::Dialog;
    Look.Width = 235, Look.Height = 356;
    Look.ClientSize = false;
    Look.Left = 317, Look.Top = 155;
    Look.FontName = "宋体";
    Look.FontHeight = 13;
    Label1.FontHeight = 16;
    Add({&ListBox1, &Label1, &SpinEdit1, &Button1, &Button2});
    ListBox1.OnClick = [this] { ListBox1Click(); };
    Button1.OnClick = [this] { Button1Click(); };
    Button2.OnClick = [this] { Button2Click(); };
}

void TForm4::FormActivate() {
    ListBox1.Clear();
    for (std::string& line : ports_.Lines()) ListBox1.Add(std::move(line));
}

void TForm4::ListBox1Click() {
    const int i = ListBox1.ItemIndex();
    if (i < 0) return;
    int port = 0;
    if (PortOfLine(ListBox1.Items()[static_cast<size_t>(i)], port)) SpinEdit1.SetValue(port);
}

void TForm4::Button1Click() {
    // Every failure leaves the dialog open, the field as it was, for another
    // number or "返回".
    if (applyPort_(SpinEdit1.Value())) Close();
}

void TForm4::Button2Click() { Close(); }

}  // namespace tkw
