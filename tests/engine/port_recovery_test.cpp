// Keeping a port that is missing or goes away: what is said (once), when the
// reader is held and let go, when the next try comes, the tries at once on a
// wake from sleep or a port's arrival, and a port change from the menu while
// the port is away.
#include <gtest/gtest.h>

#include "engine/port_recovery.h"
#include "support/fakes.h"

namespace tkw {
namespace {

using Ms = std::chrono::milliseconds;

struct Rig final : PortRecovery::Port, ReaderControl {
    bool Reopen() override {
        ++tries;
        return reopenWorks;
    }
    void Close() override { ++closes; }
    std::string Name() override { return "tkw: COM1 (/dev/ttyUSB0)"; }
    std::string Reason() override { return reason; }
    void Pause() override { ++holds; }
    void Resume() override { --holds; }

    bool reopenWorks = false;
    std::string reason = "No such file or directory";
    int tries = 0, closes = 0, holds = 0;
    std::vector<std::string> said;
    PortRecovery recovery{*this, *this, [this](const std::string& l) { said.push_back(l); }};
};

TEST(PortRecovery, SaysOnceTriesEveryTwoSecondsAndLetsTheReaderGoWhenBack) {
    Rig r;
    r.recovery.Started(true, Ms(0));
    EXPECT_EQ(r.recovery.Service(Ms(100)), Ms(-1));
    EXPECT_TRUE(r.said.empty());

    // Gone, seen by several reads before the main thread looks.
    r.reason = "Input/output error";
    for (int i = 0; i < 3; ++i) r.recovery.DeviceGone();
    EXPECT_EQ(r.recovery.Service(Ms(1000)), Ms(2000));
    EXPECT_EQ(r.said, std::vector<std::string>{
                          "tkw: COM1 (/dev/ttyUSB0) is gone: Input/output error; trying again every 2 s"});
    EXPECT_EQ(r.holds, 1);
    EXPECT_EQ(r.closes, 1);
    EXPECT_TRUE(r.recovery.Down());

    struct Step {
        int at;
        bool works;
        int tries;
        Ms next;
    } steps[] = {{2000, false, 0, Ms(1000)}, {3000, false, 1, Ms(2000)}, {4000, false, 1, Ms(1000)},
                 {5000, true, 2, Ms(-1)},   {9000, true, 2, Ms(-1)}};
    for (const Step& s : steps) {
        r.reopenWorks = s.works;
        EXPECT_EQ(r.recovery.Service(Ms(s.at)), s.next) << s.at;
        EXPECT_EQ(r.tries, s.tries) << s.at;
    }
    EXPECT_EQ(r.said.back(), "tkw: COM1 (/dev/ttyUSB0) is back");
    EXPECT_EQ(r.said.size(), 2u);
    EXPECT_EQ(r.holds, 0);
    EXPECT_FALSE(r.recovery.Down());
}

TEST(PortRecovery, APortThatDidNotOpenAtStartUpIsTriedAgain) {
    Rig r;
    r.recovery.Started(false, Ms(0));
    EXPECT_EQ(r.said, std::vector<std::string>{
                          "tkw: COM1 (/dev/ttyUSB0) cannot be opened: No such file or directory; trying again every 2 s"});
    EXPECT_EQ(r.holds, 1);
    r.reopenWorks = true;
    EXPECT_EQ(r.recovery.Service(Ms(2000)), Ms(-1));
    EXPECT_EQ(r.holds, 0);
    EXPECT_EQ(r.said.size(), 2u);
}

// A wake from sleep reopens even a port that looks open; a port's arrival
// tries only a port that is away. Either tries at once, long before the next
// two-second turn.
TEST(PortRecovery, AWakeOrAnArrivalTriesAtOnce) {
    struct Case {
        const char* name;
        bool openAtStart;
        bool force;
        bool works;
        int tries, closes, holds;
        Ms next;
        size_t said;  // lines said after the start-up
    } cases[] = {
        {"arrival, port away, it opens", false, false, true, 1, 1, 0, Ms(-1), 1},
        {"arrival, port away, still missing", false, false, false, 1, 1, 1, Ms(2000), 0},
        {"arrival, port in use: left alone", true, false, true, 0, 0, 0, Ms(-1), 0},
        {"wake, port in use: reopened quietly", true, true, true, 1, 1, 0, Ms(-1), 0},
        {"wake, port in use, does not reopen", true, true, false, 1, 1, 1, Ms(2000), 1},
        {"wake, port away, it opens", false, true, true, 1, 1, 0, Ms(-1), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig r;
        r.recovery.Started(c.openAtStart, Ms(0));
        const size_t atStart = r.said.size();
        r.reopenWorks = c.works;
        EXPECT_EQ(r.recovery.TryNow(c.force, Ms(300)), c.next);
        EXPECT_EQ(r.tries, c.tries);
        EXPECT_EQ(r.closes, c.closes);
        EXPECT_EQ(r.holds, c.holds);
        EXPECT_EQ(r.recovery.Down(), c.holds == 1);
        EXPECT_EQ(r.said.size() - atStart, c.said);
    }
    Rig r;
    r.recovery.Started(true, Ms(0));
    r.recovery.TryNow(true, Ms(300));
    EXPECT_EQ(r.said, std::vector<std::string>{"tkw: COM1 (/dev/ttyUSB0) cannot be opened again: No such file or "
                                               "directory; trying again every 2 s"});
}

// A port or baud change from the menu while the port is away: recovery stands
// aside while it runs (a due try included), ends with its hold when a port came
// into use, and otherwise goes on with the port then in force.
TEST(PortRecovery, AMenuChangeTakesThePortOverAndRecoveryFollowsIt) {
    struct Case {
        const char* name;
        bool openAtStart;
        bool inUse;
        int holds;
        Ms next;  // from the first look after the change, 500 ms on
    } cases[] = {
        {"away, the change opens a port", false, true, 0, Ms(-1)},
        {"away, the change fails", false, false, 1, Ms(1500)},
        {"in use, the change fails", true, false, 1, Ms(1500)},
        {"in use, the change opens a port", true, true, 0, Ms(-1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig r;
        r.recovery.Started(c.openAtStart, Ms(0));
        r.recovery.ChangeBegins();
        r.recovery.DeviceGone();  // the old handle, seen failing before the hold
        EXPECT_EQ(r.recovery.Service(Ms(2500)), Ms(-1));
        EXPECT_EQ(r.recovery.TryNow(true, Ms(2500)), Ms(-1));
        EXPECT_EQ(r.tries, 0);
        r.recovery.ChangeEnded(c.inUse, Ms(3000));
        EXPECT_EQ(r.holds, c.holds);
        EXPECT_EQ(r.recovery.Service(Ms(3500)), c.next);
        EXPECT_EQ(r.tries, 0);
        EXPECT_EQ(r.holds, c.holds);
    }
}

TEST(PortRecovery, NothingHappensBeforeTheStartUpOpen) {
    Rig r;
    r.recovery.DeviceGone();
    r.recovery.ChangeBegins();
    r.recovery.ChangeEnded(false, Ms(0));
    EXPECT_EQ(r.recovery.TryNow(true, Ms(10)), Ms(-1));
    EXPECT_EQ(r.recovery.Service(Ms(5000)), Ms(-1));
    EXPECT_EQ(r.tries + r.closes + r.holds, 0);
    EXPECT_TRUE(r.said.empty());
}

// The reader's view of the port: a read or wait that finds the device gone is
// told at once; any other failure only when it repeats without a success.
TEST(GoneWatch, TellsAGoneDeviceAtOnceAndAFailureThatPersists) {
    struct Scripted final : test::NullSerial {
        int32_t sio_read(int32_t, uint8_t*, int32_t) override { return result; }
        int32_t sio_wait(int32_t, int32_t) override { return result; }
        int32_t result = 0;
    } port;
    int told = 0;
    GoneWatch watch(port, [&] { ++told; });
    uint8_t buf[8];

    port.result = kSioGone;
    watch.sio_wait(1, -1);
    watch.sio_read(1, buf, 8);
    EXPECT_EQ(told, 2);

    told = 0;
    port.result = kSioSystem;
    for (int i = 1; i < GoneWatch::kFailuresMeaningGone; ++i) watch.sio_wait(1, -1);
    port.result = 0;  // a success starts the count again
    watch.sio_wait(1, -1);
    port.result = kSioSystem;
    for (int i = 1; i < GoneWatch::kFailuresMeaningGone; ++i) watch.sio_wait(1, -1);
    EXPECT_EQ(told, 0);
    watch.sio_wait(1, -1);
    EXPECT_EQ(told, 1);
}

}  // namespace
}  // namespace tkw
