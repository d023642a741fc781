// The daily points' text: every second of the day formats and reads back as
// itself under the pictures systems use, and what a picture does not write is
// not read.
#include <gtest/gtest.h>

#include "platform/time_of_day_text.h"

namespace tkw {
namespace {

TEST(TimeOfDayText, EverySecondOfTheDayReadsBackAsItself) {
    struct Case {
        const char* pattern;
        const char* am;
        const char* pm;
        const char* sevenThirty;  // 7:30:00
        const char* elevenPm;     // 23:00:05
    } cases[] = {
        {"H:mm:ss", "", "", "7:30:00", "23:00:05"},  // the Chinese (PRC) long time, and Linux's
        {"HH:mm:ss", "", "", "07:30:00", "23:00:05"},
        {"h:mm:ss tt", "AM", "PM", "7:30:00 AM", "11:00:05 PM"},
        {"tt h:mm:ss", "上午", "下午", "上午 7:30:00", "下午 11:00:05"},
        {"tt hh'時'mm'分'ss'秒'", "午前", "午後", "午前 07時30分00秒", "午後 11時00分05秒"},
        {"h.mm.ss t", "AM", "PM", "7.30.00 A", "11.00.05 P"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern);
        PatternTimeText t(c.pattern, c.am, c.pm);
        EXPECT_EQ(t.Format(7, 30, 0), c.sevenThirty);
        EXPECT_EQ(t.Format(23, 0, 5), c.elevenPm);
        int bad = 0;
        for (int s = 0; s < 86400; ++s) {
            int h = -1, m = -1, sec = -1;
            const std::string text = t.Format(s / 3600, s / 60 % 60, s % 60);
            if (!t.Parse(text, h, m, sec) || h * 3600 + m * 60 + sec != s) ++bad;
        }
        EXPECT_EQ(bad, 0);
    }
}

TEST(TimeOfDayText, TextTheFormatDoesNotWriteIsNotRead) {
    PatternTimeText t("H:mm:ss");
    for (const char* text : {"", "7:30", "7:30:00 ", "24:00:00", "7:60:00", "7:3:00", "abc", "7:30:00PM"}) {
        int h = 1, m = 2, s = 3;
        EXPECT_FALSE(t.Parse(text, h, m, s)) << text;
        EXPECT_EQ(h * 10000 + m * 100 + s, 10203) << "outputs untouched: " << text;
    }
    PatternTimeText twelve("h:mm:ss tt");
    int h = 0, m = 0, s = 0;
    EXPECT_TRUE(twelve.Parse("12:00:00 am", h, m, s));
    EXPECT_EQ(h, 0);
    EXPECT_FALSE(twelve.Parse("13:00:00 PM", h, m, s));
    EXPECT_FALSE(twelve.Parse("0:00:00 AM", h, m, s));
}

}  // namespace
}  // namespace tkw
