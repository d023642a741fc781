// Two corrections from one chunk: the second must not take the first one's
// step of the clock for time spent handling the chunk.
#include <gtest/gtest.h>

#include "support/fakes.h"
#include "timecode/receiver.h"

namespace tkw::test {
namespace {

TEST(SameChunk, SecondCorrectionIgnoresTheFirstOnesStep) {
    Settings settings;
    ApplyDefaults(settings);
    settings.CorrectionMode = 3;
    settings.DailyPointCount = 2;
    settings.DailyPoints[0] = (8 * 3600 + 20) / 86400.0;
    settings.DailyPoints[1] = (8 * 3600 + 21) / 86400.0;
    settings.NoCorrectOnJump = false;
    RuntimeState state = RuntimeState::AtStartUp();
    state.JumpLogOn = false;

    FakeClock clock(At(2026, 1, 1, 0, 0, 0));
    clock.stepMs = 1;  // every reading of the clock costs a millisecond
    RecordingPort port;
    RecordingMonitor monitor;
    RecordingLog log;
    TimeCodeReceiver rx(settings, state, clock, port, monitor, log);

    // 08:00:20 and 08:00:21, KRW_CODE, back to back: both are processed.
    const uint8_t chunk[] = {0xAA, 0x00, 0x26, 0x01, 0x01, 0x00, 0x08, 0x00, 0x20,
                             0xAA, 0x00, 0x26, 0x01, 0x01, 0x00, 0x08, 0x00, 0x21};
    rx.HandleChunk(chunk, sizeof chunk);

    ASSERT_EQ(clock.sets.size(), 2u);
    const LocalMs first = ToLocalMs(At(2026, 1, 1, 8, 0, 20, 135));
    const LocalMs second = ToLocalMs(At(2026, 1, 1, 8, 0, 21, 135));
    EXPECT_GE(ToLocalMs(clock.sets[0]), first);
    EXPECT_LT(ToLocalMs(clock.sets[0]), first + 20);
    EXPECT_GE(ToLocalMs(clock.sets[1]), second);
    EXPECT_LT(ToLocalMs(clock.sets[1]), second + 20);  // not eight hours later
}

}  // namespace
}  // namespace tkw::test
