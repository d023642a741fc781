// A day of the offsets file summed up by hand, and what `tkw --stats` prints of it.
#include <gtest/gtest.h>

#include <cmath>

#include "logs/offsets_summary.h"

namespace tkw {
namespace {

TEST(OffsetsSummary, ADaySummedUpAndPrinted) {
    const OffsetsDay day = ParseOffsets(std::string(kOffsetsHeader) +
                                        "\r\n"
                                        "2026-03-14 08:00,2,1.000,0.500,1.500,0.500,,\r\n"
                                        "2026-03-14 08:01,0,,,,,-2.000,\r\n"
                                        "2026-03-14 08:02,3,-1.000,-3.000,0.000,1.000,-0.500,20.00\r\n"
                                        "2026-03-14 09:00,1,2.500,2.500,2.500,0.000,1.000,30.00\r\n");
    ASSERT_EQ(day.badLines, 0);
    const DaySummary s = Summarize(day.rows);
    EXPECT_EQ(s.day.minutes, 4);
    EXPECT_EQ(s.day.frames, 6);
    EXPECT_DOUBLE_EQ(*s.day.meanMs, (2 * 1.0 - 3 * 1.0 + 2.5) / 6);  // weighted by frames
    EXPECT_DOUBLE_EQ(*s.medianMs, 1.0);
    EXPECT_DOUBLE_EQ(*s.day.jitterMs, std::sqrt((2 * 0.25 + 3 * 1.0) / 6));
    EXPECT_EQ(s.day.worstMs, -3.0);
    EXPECT_EQ(s.driftMeanPpm, 25.0);
    EXPECT_EQ(s.driftLastPpm, 30.0);
    EXPECT_EQ(s.day.steps, 3);
    EXPECT_EQ(s.stepMinMs, 0.5);
    EXPECT_EQ(s.stepMedianMs, 1.0);
    EXPECT_EQ(s.stepMaxMs, 2.0);
    EXPECT_EQ(s.hours[8].frames, 5);
    EXPECT_DOUBLE_EQ(*s.hours[8].meanMs, -0.2);
    EXPECT_EQ(s.hours[9].steps, 1);
    EXPECT_EQ(s.hours[10].minutes, 0);

    EXPECT_EQ(FormatStats(s, "2026-03-14"),
              "Offsets of 2026-03-14: the PC clock minus the time code (+: the PC is ahead)\n"
              "\n"
              "Minutes  Frames      Mean    Median   Jitter     Worst  Mean drift  Last drift\n"
              "==============================================================================\n"
              "      4       6  +0.250ms  +1.000ms  0.764ms  -3.000ms   +25.00ppm   +30.00ppm\n"
              "\n"
              "Corrections  Smallest   Median  Largest\n"
              "=======================================\n"
              "          3   0.500ms  1.000ms  2.000ms\n"
              "\n"
              "Hour  Minutes  Frames      Mean   Jitter     Worst  Steps\n"
              "=========================================================\n"
              "08          3       5  -0.200ms  0.837ms  -3.000ms      2\n"
              "09          1       1  +2.500ms  0.000ms  +2.500ms      1\n");
}

}  // namespace
}  // namespace tkw
