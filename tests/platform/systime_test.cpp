// Date-time helpers: the millisecond count against known calendar dates, every
// day of years 1 to 9999, the time of day of stored doubles, and parsing.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/systime.h"

namespace tkw {
namespace {

// A SystemTime exactly as written, weekday included: nothing converted.
SystemTime Raw(int y, int mo, int d, int dow, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    return {static_cast<uint16_t>(y),  static_cast<uint16_t>(mo), static_cast<uint16_t>(dow),
            static_cast<uint16_t>(d),  static_cast<uint16_t>(h),  static_cast<uint16_t>(mi),
            static_cast<uint16_t>(s),  static_cast<uint16_t>(ms)};
}

TEST(SysTime, KnownDatesAndTheInstantBefore) {
    struct Case {
        int64_t days;       // since 1899-12-30
        SystemTime date;    // midnight of that day
        SystemTime before;  // one millisecond earlier
    } cases[] = {
        {0, Raw(1899, 12, 30, 6), Raw(1899, 12, 29, 5, 23, 59, 59, 999)},
        {2, Raw(1900, 1, 1, 1), Raw(1899, 12, 31, 0, 23, 59, 59, 999)},
        {61, Raw(1900, 3, 1, 4), Raw(1900, 2, 28, 3, 23, 59, 59, 999)},  // 1900: no 29 February
        {25569, Raw(1970, 1, 1, 4), Raw(1969, 12, 31, 3, 23, 59, 59, 999)},
        {36526, Raw(2000, 1, 1, 6), Raw(1999, 12, 31, 5, 23, 59, 59, 999)},
        {36586, Raw(2000, 3, 1, 3), Raw(2000, 2, 29, 2, 23, 59, 59, 999)},  // 2000 is a leap year
        {43670, Raw(2019, 7, 24, 3), Raw(2019, 7, 23, 2, 23, 59, 59, 999)},
        {73110, Raw(2100, 3, 1, 1), Raw(2100, 2, 28, 0, 23, 59, 59, 999)},  // 2100 is not
        {-693593, Raw(1, 1, 1, 1), Raw(0, 0, 0, 0)},
        {2958465, Raw(9999, 12, 31, 5), Raw(9999, 12, 30, 4, 23, 59, 59, 999)},
    };
    for (const Case& c : cases) {
        const LocalMs ms = c.days * kMsPerDay;
        EXPECT_EQ(ToLocalMs(c.date), ms) << c.days;
        EXPECT_EQ(FromLocalMs(ms), c.date) << c.days;
        EXPECT_EQ(ToDateTime(ms), static_cast<double>(c.days));
        if (c.before.wYear != 0) {  // 0001-01-01 has no instant before it in range
            EXPECT_EQ(FromLocalMs(ms - 1), c.before) << c.days;
        }
    }
    EXPECT_EQ(FromLocalMs(kMinLocalMs), Raw(1, 1, 1, 1));
    EXPECT_EQ(FromLocalMs(kMaxLocalMs), Raw(9999, 12, 31, 5, 23, 59, 59, 999));
}

TEST(SysTime, EveryDayOfTheRangeFollowsTheDayBefore) {
    SystemTime prev = FromLocalMs(kMinLocalMs);
    for (LocalMs day = kMinLocalMs + kMsPerDay; day <= kMaxLocalMs; day += kMsPerDay) {
        const LocalMs at = day + 45'296'789;  // 12:34:56.789
        const SystemTime t = FromLocalMs(at);
        const bool newMonth = prev.wDay == DaysInMonth(prev.wYear, prev.wMonth);
        const bool newYear = newMonth && prev.wMonth == 12;
        const SystemTime want = Raw(prev.wYear + newYear, newYear ? 1 : prev.wMonth + newMonth, newMonth ? 1 : prev.wDay + 1,
                                    (prev.wDayOfWeek + 1) % 7, 12, 34, 56, 789);
        if (t != want || ToLocalMs(t) != at || !IsValid(t)) {
            FAIL() << "after " << WithMsText(prev) << " came " << WithMsText(t);
        }
        prev = t;
    }
}

TEST(SysTime, IsValidChecksEveryField) {
    EXPECT_TRUE(IsValid(Raw(2020, 2, 29, 0, 23, 59, 59, 999)));
    EXPECT_TRUE(IsValid(Raw(2000, 2, 29, 0)));
    EXPECT_TRUE(IsValid(Raw(1, 1, 1, 0)));
    EXPECT_TRUE(IsValid(Raw(9999, 12, 31, 0)));
    for (const SystemTime& t : {Raw(2019, 2, 29, 0), Raw(1900, 2, 29, 0), Raw(2100, 2, 29, 0), Raw(2019, 4, 31, 0),
                                Raw(2019, 0, 1, 0), Raw(2019, 13, 1, 0), Raw(2019, 1, 0, 0), Raw(0, 1, 1, 0),
                                Raw(10000, 1, 1, 0), Raw(2019, 1, 1, 0, 24), Raw(2019, 1, 1, 0, 0, 60),
                                Raw(2019, 1, 1, 0, 0, 0, 60), Raw(2019, 1, 1, 0, 0, 0, 0, 1000)})
        EXPECT_FALSE(IsValid(t)) << WithMsText(t);
}

TEST(SysTime, TimeOfDayOfStoredDoubles) {
    struct Case {
        double value;
        int h, m, s;
    } cases[] = {
        {(8 * 3600 + 20) / 86400.0, 8, 0, 20},  // as the settings dialog stores it: just below 20 s
        {0.5, 12, 0, 0},
        {43670 + (13 * 3600 + 5 * 60 + 9) / 86400.0, 13, 5, 9},  // the date part is ignored
        {(10 * 3600 + 59.9996) / 86400.0, 10, 1, 0},              // rounds to the millisecond, then splits
        {0.99999999, 23, 59, 59},
        {0.9999999999, 0, 0, 0},  // rounds up to the next midnight
        {-1.25, 6, 0, 0},         // before the epoch the fraction counts from midnight too
        {2958465.5, 12, 0, 0},
    };
    for (const Case& c : cases) {
        int h = -1, m = -1, s = -1;
        ASSERT_TRUE(TimeOfDay(c.value, h, m, s)) << c.value;
        EXPECT_EQ(std::make_tuple(h, m, s), std::make_tuple(c.h, c.m, c.s)) << c.value;
    }
    for (double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                       -std::numeric_limits<double>::infinity(), 2958467.0, -2958467.0, 1e300, -1e19}) {
        int h = -1, m = -1, s = -1;
        EXPECT_FALSE(TimeOfDay(bad, h, m, s)) << bad;
        EXPECT_EQ(std::make_tuple(h, m, s), std::make_tuple(-1, -1, -1));
    }
}

TEST(SysTime, ParseWithMs) {
    for (const char* good : {"2019-07-24 13:05:09.007", "2000-02-29 00:00:00.000", "0001-01-01 00:00:00.000",
                             "9999-12-31 23:59:59.999"}) {
        SystemTime t;
        ASSERT_TRUE(ParseWithMs(good, t)) << good;
        EXPECT_EQ(WithMsText(t), good);
        EXPECT_EQ(t, FromLocalMs(ToLocalMs(t)));  // weekday filled in
    }
    SystemTime t;
    ASSERT_TRUE(ParseWithMs("2019-07-24 13:05:09", t));
    EXPECT_EQ(t, Raw(2019, 7, 24, 3, 13, 5, 9, 0));

    const SystemTime untouched = Raw(1234, 5, 6, 0);
    for (const char* bad :
         {"", "2019-07-24", "2019-02-29 00:00:00", "2019-07-24 24:00:00", "2019-07-24 13:60:09", "0000-01-01 00:00:00",
          "2019-07-24T13:05:09", "2019-07-24 13:05:09.07", "2019-07-24 13:05:09.0070", "2019-07-24 13:05:09,007",
          "2019-7-24 13:05:09.007", "+019-07-24 13:05:09", "2019-07-24 13:05:09.", " 2019-07-24 13:05:09",
          "2019-07-24 13:05:-9"}) {
        t = untouched;
        EXPECT_FALSE(ParseWithMs(bad, t)) << bad;
        EXPECT_EQ(t, untouched);
    }
}

}  // namespace
}  // namespace tkw
