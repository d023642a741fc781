// tkw-timetext-check.exe: the daily points' text under this system's locale.
// Formats every second of the day as the settings dialog does and reads it
// back; prints the picture, a sample and how many seconds came back as
// themselves. Exit status 0 when all 86 400 did.
#include <windows.h>

#include <cstdio>

#include "platform/time_of_day_text.h"
#include "platform/win32_text.h"

int wmain() {
    using namespace tkw;
    const auto text = SystemTimeOfDayText();
    wchar_t picture[128] = {};
    GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_STIMEFORMAT, picture, 128);
    int good = 0;
    std::string firstBad;
    for (int s = 0; s < 86400; ++s) {
        const std::string shown = text->Format(s / 3600, s / 60 % 60, s % 60);
        int h = -1, m = -1, sec = -1;
        if (text->Parse(shown, h, m, sec) && h * 3600 + m * 60 + sec == s)
            ++good;
        else if (firstBad.empty())
            firstBad = shown;
    }
    std::printf("picture %s\n7:30:00 shown as %s\n23:00:00 shown as %s\n%d of 86400 read back\n",
                Utf8FromWide(picture, -1).c_str(), text->Format(7, 30, 0).c_str(), text->Format(23, 0, 0).c_str(),
                good);
    if (!firstBad.empty()) std::printf("first that did not: %s\n", firstBad.c_str());
    return good == 86400 ? 0 : 1;
}
