#include "engine/time_service_check.h"

namespace tkw {

namespace {

// Stops it for good; or, where it serves the time to the network, only ends
// its own synchronisation and restarts it.
constexpr const char* kStopCommands = "sc config w32time start= disabled & net stop w32time";
constexpr const char* kNoSyncCommands =
    "reg add HKLM\\SYSTEM\\CurrentControlSet\\Services\\W32Time\\Parameters /v Type /d NoSync /f & "
    "net stop w32time & net start w32time";

bool IsNoSync(const std::string& type) {
    std::string lower;
    for (const char c : type) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return lower == "nosync";
}

}  // namespace

bool TimeServiceSetsTheClock(const WindowsTimeService& s) {
    return s.installed && (s.running || s.automatic) && !(s.typeRead && IsNoSync(s.type));
}

std::string TimeServiceLogLine(const WindowsTimeService& s, const std::string& program) {
    return program + ": the Windows Time service sets this clock too (W32Time " +
           (s.running ? "running" : "starting at boot") + ", Type " + (s.typeRead ? s.type : "not set") +
           "), and two programs stepping one clock fight each other. Stop it from an administrator's console: " +
           kStopCommands + "  (or, to keep it serving the time to the network, end only its own synchronisation: " +
           kNoSyncCommands + ")";
}

std::string TimeServiceBoxText() {
    return std::string(
               "Windows 时间服务（W32Time）也在校准本机时钟，两个程序同时校时会互相干扰。\n\n"
               "请以管理员身份运行命令提示符，用以下命令停止它：\n") +
           kStopCommands +
           "\n\n若要保留它向网络提供时间，只停止它自己的同步：\n" + kNoSyncCommands;
}

}  // namespace tkw
