#include <windows.h>

#include "programs/tkw-service.exe/service_console.h"
#include "platform/win32_text.h"

namespace tkw {

void Win32Console::Out(const std::string& line) { Write(STD_OUTPUT_HANDLE, line); }
void Win32Console::Err(const std::string& line) { Write(STD_ERROR_HANDLE, line); }

void Win32Console::Write(unsigned long stdHandle, const std::string& line) {
    std::lock_guard<std::mutex> lock(m_);
    HANDLE h = GetStdHandle(stdHandle);
    if (h == nullptr || h == INVALID_HANDLE_VALUE) return;
    DWORD mode = 0, written = 0;
    if (GetConsoleMode(h, &mode)) {
        const std::wstring text = WideFromUtf8(line) + L"\r\n";
        WriteConsoleW(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    } else {
        const std::string text = line + "\r\n";
        WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
}

void ReportToEventLog(const std::string& line) {
    // The source needs no registration for its text to be kept: the Event
    // Viewer shows the line after a note that the source's own message file
    // is missing.
    HANDLE source = RegisterEventSourceW(nullptr, L"TKW");
    if (!source) return;
    const std::wstring text = WideFromUtf8(line);
    const wchar_t* strings[] = {text.c_str()};
    ReportEventW(source, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 1, 0, strings, nullptr);
    DeregisterEventSource(source);
}

}  // namespace tkw
