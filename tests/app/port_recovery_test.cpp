// Keeping a port that is missing or goes away: what is said (once), when the
// reader is held and let go, and when the next try comes.
#include <gtest/gtest.h>

#include "app/port_recovery.h"

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

}  // namespace
}  // namespace tkw
