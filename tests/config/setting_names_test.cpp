// The settings by name, as tkw --set takes them: the editors' ranges, the
// format's bit rate, the daily points' cap, and nothing changed by a bad one.
#include <gtest/gtest.h>

#include "config/setting_names.h"
#include "platform/systime.h"

namespace tkw {
namespace {

TEST(SettingNames, TakeWhatTheEditorsAllowAndSayWhyNot) {
    struct Case {
        const char* set;
        const char* why;  // null: taken
    } cases[] = {
        {"port=128", nullptr},
        {"port=COM3", nullptr},
        {"port=129", "129 is outside 1 to 128"},
        {"port=0", "0 is outside 1 to 128"},
        {"baud=9600", nullptr},
        {"baud=19200", "the bit rate is 4800 or 9600"},
        {"format=mn_code", nullptr},
        {"format=4", "the format is KRW_CODE, PL_CODE or MN_CODE (or 1, 2, 3)"},
        {"mode=hour", nullptr},
        {"mode=weekly", "the mode is minute, hour or daily"},
        {"second=59", nullptr},
        {"second=60", "60 is outside 0 to 59"},
        {"minute=-1", "'-1' is not a whole number"},
        {"jump=2", nullptr},
        {"jump=1", "1 is outside 2 to 60"},
        {"fine=999", nullptr},
        {"fine=1000", "1000 is outside 0 to 999"},
        {"fine=", "'' is not a whole number"},
        {"no-correct-on-jump=off", nullptr},
        {"no-correct-on-jump=maybe", "no-correct-on-jump is on or off"},
        {"points=7:30:00,24:00:00", "'24:00:00' is not a time of day H:mm:ss"},
        {"colour=red", "no setting is called 'colour'"},
        {"jump", "'jump' is not NAME=VALUE"},
    };
    for (const Case& c : cases) {
        Settings s;
        ApplyDefaults(s);
        const Settings before = s;
        std::string why;
        EXPECT_EQ(ApplySetting(c.set, s, why), c.why == nullptr) << c.set;
        if (c.why) {
            EXPECT_EQ(why.substr(0, std::string(c.why).size()), c.why) << c.set;
            EXPECT_EQ(s, before) << c.set;
        }
    }
}

TEST(SettingNames, FormatBringsItsBitRateAndPointsAreCappedInOrder) {
    Settings s;
    ApplyDefaults(s);
    s.DailyPoints[24] = 99.5;
    std::string why;
    ASSERT_TRUE(ApplySetting("format=PL_CODE", s, why));
    EXPECT_EQ(s.CodeFormat, 2);
    EXPECT_EQ(s.BaudCode, kBaudCode9600);
    ASSERT_TRUE(ApplySetting("format=KRW_CODE", s, why));
    EXPECT_EQ(s.BaudCode, kBaudCode4800);

    std::string points = "points=";
    for (int i = 0; i < 25; ++i) {
        if (i) points += ',';
        points += std::to_string(i % 24);
        points += ":00:00";
    }
    EXPECT_FALSE(ApplySetting(points, s, why));
    EXPECT_EQ(why, "25 points; at most 24");
    ASSERT_TRUE(ApplySetting("points=23:00:00,6:15:00,23:00:00", s, why));
    EXPECT_EQ(s.DailyPointCount, 3);
    int h = 0, m = 0, sec = 0;
    ASSERT_TRUE(TimeOfDay(s.DailyPoints[1], h, m, sec));
    EXPECT_EQ(h * 100 + m, 615);
    EXPECT_EQ(s.DailyPoints[24], 99.5);
    ASSERT_TRUE(ApplySetting("points=", s, why));
    EXPECT_EQ(s.DailyPointCount, 0);

    const auto lines = DescribeSettings(s, [](int) { return std::string("/dev/ttyS0"); });
    ASSERT_EQ(lines.size(), SettingNames().size());
    for (size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i].rfind(SettingNames()[i], 0), 0u) << lines[i];
}

}  // namespace
}  // namespace tkw
