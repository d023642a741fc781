// The Linux main loop: hand-offs run on the loop's own thread while the
// caller waits, and a caller is released without running its job once the
// loop has ended (the program is closing).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/event_loop.h"

namespace tkw {
namespace {

TEST(EventLoop, HandOffsRunOnTheLoopThreadAndEndWithIt) {
    EventLoop loop;
    const std::thread::id loopThread = std::this_thread::get_id();
    std::atomic<int> ran{0};
    bool sameThread = true;
    std::thread other([&] {
        for (int i = 0; i < 3; ++i)
            EXPECT_TRUE(loop.Synchronize([&] {
                sameThread = sameThread && std::this_thread::get_id() == loopThread;
                ++ran;
            }));
        loop.Quit();
    });
    int wakes = 0;
    loop.Run([&] {
        ++wakes;
        return 1000;  // only hand-offs and Quit wake it before that
    });
    other.join();
    EXPECT_EQ(ran, 3);
    EXPECT_TRUE(sameThread);
    EXPECT_GE(wakes, 1);

    bool late = false;
    std::thread after([&] { EXPECT_FALSE(loop.Synchronize([&] { late = true; })); });
    after.join();
    EXPECT_FALSE(late);
}

}  // namespace
}  // namespace tkw
