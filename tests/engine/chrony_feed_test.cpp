// The samples chronyd gets: the offset of the receiver's time from the
// frame's arrival, in chrony's layout, and what the user is told when the
// socket is not there.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "engine/chrony_feed.h"
#include "support/fakes.h"

namespace tkw {
namespace {

using test::At;

// Frames carry the receiver's local time: these cases are in a fixed zone.
struct InZone {
    explicit InZone(const char* tz) {
        const char* old = std::getenv("TZ");
        had_ = old != nullptr;
        if (had_) old_ = old;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~InZone() {
        if (had_)
            setenv("TZ", old_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    bool had_ = false;
    std::string old_;
};

TEST(ChronyFeed, OffsetIsTheFrameAndFineAdjustmentLessTheArrival) {
    InZone zone("CST-8");  // Beijing time, as the receivers send it
    // 2026-12-08 16:00:00 in Beijing is 1796716800 UTC.
    const int64_t t = 1796716800;
    struct Case {
        SystemTime frame;
        int fineMs;
        RealInstant arrived;
        double offset;
    } cases[] = {
        {At(2026, 12, 8, 16, 0, 0), 0, {t, 0}, 0.0},
        {At(2026, 12, 8, 16, 0, 0), 0, {t, 250'000'000}, -0.25},     // the frame came late in its second
        {At(2026, 12, 8, 16, 0, 0), 120, {t, 0}, 0.12},              // fine adjustment forward
        {At(2026, 12, 8, 16, 0, 0), -500, {t - 2, 0}, 1.5},         // the PC two seconds behind
        {At(2026, 12, 31, 23, 59, 59), 0, {1798732799, 0}, 0.0},    // year's end
    };
    for (const Case& c : cases) {
        double offset = 99;
        ASSERT_TRUE(ChronyFeed::Offset(c.frame, c.fineMs, c.arrived, offset));
        EXPECT_NEAR(offset, c.offset, 1e-9) << c.frame.wMonth << "-" << c.frame.wDay << " fine " << c.fineMs;
    }
    SystemTime noSuchDay = At(2026, 2, 28);
    noSuchDay.wDay = 30;
    double offset = 0;
    EXPECT_FALSE(ChronyFeed::Offset(noSuchDay, 0, {t, 0}, offset));
}

TEST(ChronyFeed, SampleHasChronysLayout) {
    const auto s = ChronyFeed::Sample({1796716800, 123'456'789}, -0.25);
    int64_t sec = 0, usec = 0;
    double offset = 0;
    int32_t pulse = 1, leap = 1, magic = 0;
    std::memcpy(&sec, s.data(), 8);
    std::memcpy(&usec, s.data() + 8, 8);
    std::memcpy(&offset, s.data() + 16, 8);
    std::memcpy(&pulse, s.data() + 24, 4);
    std::memcpy(&leap, s.data() + 28, 4);
    std::memcpy(&magic, s.data() + 36, 4);
    EXPECT_EQ(sec, 1796716800);
    EXPECT_EQ(usec, 123456);
    EXPECT_EQ(offset, -0.25);
    EXPECT_EQ(pulse, 0);
    EXPECT_EQ(leap, 0);
    EXPECT_EQ(magic, 0x534f434b);
}

struct FakeSocket final : DatagramSender {
    bool Send(const void* bytes, size_t size, std::string& why) override {
        if (!works) {
            why = "No such file or directory";
            return false;
        }
        sent.emplace_back(static_cast<const uint8_t*>(bytes), static_cast<const uint8_t*>(bytes) + size);
        return true;
    }
    bool works = false;
    std::vector<std::vector<uint8_t>> sent;
};

TEST(ChronyFeed, SaysOnceWhenTheSocketIsMissingAndOnceWhenItTakesSamples) {
    InZone zone("UTC");
    FakeSocket socket;
    std::vector<std::string> said;
    ChronyFeed feed(socket, "/run/chrony.tkw.sock", [&](const std::string& l) { said.push_back(l); });
    const SystemTime frame = At(2026, 12, 8, 8, 0, 0);
    feed.Frame(frame, 0, {1796716800, 400'000'999});
    feed.Frame(frame, 0, {1796716800, 400'000'999});
    ASSERT_EQ(said.size(), 1u);
    EXPECT_EQ(said[0], "chrony's socket /run/chrony.tkw.sock: No such file or directory; trying again with each frame");

    socket.works = true;
    feed.Frame(frame, 0, {1796716800, 400'000'999});
    feed.Frame(frame, 0, {1796716800, 400'000'999});
    ASSERT_EQ(said.size(), 2u);
    EXPECT_EQ(said[1], "chrony's socket /run/chrony.tkw.sock takes the samples");
    ASSERT_EQ(socket.sent.size(), 2u);
    // The offset belongs to the microsecond the sample names.
    double offset = 0;
    std::memcpy(&offset, socket.sent[0].data() + 16, 8);
    EXPECT_DOUBLE_EQ(offset, -0.4);
    SystemTime notADate = frame;
    notADate.wMonth = 13;
    feed.Frame(notADate, 0, {1796716800, 0});  // nothing sent
    EXPECT_EQ(socket.sent.size(), 2u);
}

}  // namespace
}  // namespace tkw
