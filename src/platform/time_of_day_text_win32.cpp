#include <windows.h>

#include "platform/time_of_day_text.h"
#include "platform/win32_text.h"

namespace tkw {

namespace {

std::string LocaleText(LCTYPE what, const char* fallback) {
    wchar_t buf[128] = {};
    const int n = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, what, buf, 128);
    if (n <= 1) return fallback;
    return Utf8FromWide(buf, n - 1);
}

// Formats as Windows does for the user (GetTimeFormatEx, the user's long time
// format); reads with the same picture, which is what Windows formats from.
class WindowsTimeText final : public TimeOfDayText {
public:
    WindowsTimeText()
        : reader_(LocaleText(LOCALE_STIMEFORMAT, "H:mm:ss"), LocaleText(LOCALE_S1159, ""),
                  LocaleText(LOCALE_S2359, "")) {}

    std::string Format(int hour, int minute, int second) override {
        SYSTEMTIME st{};
        st.wYear = 2000, st.wMonth = 1, st.wDay = 1;
        st.wHour = static_cast<WORD>(hour);
        st.wMinute = static_cast<WORD>(minute);
        st.wSecond = static_cast<WORD>(second);
        wchar_t buf[128] = {};
        const int n = GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &st, nullptr, buf, 128);
        if (n <= 1) return reader_.Format(hour, minute, second);
        return Utf8FromWide(buf, n - 1);
    }

    bool Parse(const std::string& text, int& hour, int& minute, int& second) override {
        return reader_.Parse(text, hour, minute, second);
    }

private:
    PatternTimeText reader_;
};

}  // namespace

std::unique_ptr<TimeOfDayText> SystemTimeOfDayText() { return std::make_unique<WindowsTimeText>(); }

}  // namespace tkw
