// The termios backend of the port contract, driven through pseudo-terminal
// pairs: the port is the slave, the test plays the receiver on the master.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "serial/posix/com_map.h"
#include "serial/sio.h"

namespace tkw {
namespace {

// High numbers, out of the way of anything else in this test program.
constexpr int32_t kCom = 201;
constexpr int32_t kOtherCom = 202;

class PtyPort : public ::testing::Test {
protected:
    void SetUp() override {
        char name[128];
        ASSERT_EQ(openpty(&master_, &slave_, name, nullptr, nullptr), 0);
        path_ = name;
        termios t{};
        tcgetattr(master_, &t);
        cfmakeraw(&t);
        tcsetattr(master_, TCSANOW, &t);
        MapComPort(kCom, path_);
        ASSERT_EQ(sio_open(kCom), 0);
    }
    void TearDown() override {
        sio_close(kCom);
        MapComPort(kCom, "");
        close(master_);
        close(slave_);
    }
    // Reads from the master until `n` bytes came or two seconds passed.
    std::vector<uint8_t> FromPort(size_t n) {
        std::vector<uint8_t> got;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (got.size() < n && std::chrono::steady_clock::now() < end) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            uint8_t buf[4096];
            const ssize_t r = read(master_, buf, sizeof buf);
            if (r > 0) got.insert(got.end(), buf, buf + r);
        }
        return got;
    }
    std::vector<uint8_t> IntoPort(size_t n) {
        std::vector<uint8_t> got;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        uint8_t buf[255];
        while (got.size() < n && std::chrono::steady_clock::now() < end) {
            const int32_t r = sio_read(kCom, buf, sizeof buf);
            if (r > 0) got.insert(got.end(), buf, buf + r);
            else std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return got;
    }
    termios SlaveLine() {
        termios t{};
        tcgetattr(slave_, &t);
        return t;
    }

    int master_ = -1, slave_ = -1;
    std::string path_;
};

TEST(ComMap, DefaultsMappingsAndSpecs) {
    EXPECT_EQ(ComPortPath(1), "/dev/ttyS0");
    EXPECT_EQ(ComPortPath(255), "/dev/ttyS254");
    EXPECT_EQ(ComPortPath(0), "");
    EXPECT_EQ(ComPortPath(256), "");

    const struct {
        const char* spec;
        bool ok;
        int32_t port;
    } cases[] = {
        {"COM5=/dev/pts/3", true, 5},   {"com5=/dev/pts/3", true, 5},  {"cOm255=/dev/pts/3", true, 255},
        {"COM007=/dev/pts/3", true, 7}, {"COM0=/dev/pts/3", false, 0}, {"COM256=/dev/pts/3", false, 0},
        {"COM5=", false, 0},            {"COM=/dev/pts/3", false, 0},  {"COMX=/dev/pts/3", false, 0},
        {"CON5=/dev/pts/3", false, 0},  {"COM5", false, 0},            {" COM5=/dev/pts/3", false, 0},
        {"COM-5=/dev/pts/3", false, 0}, {"COM1234=/dev/pts/3", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.spec);
        EXPECT_EQ(MapComPortSpec(c.spec), c.ok);
        if (c.ok) {
            EXPECT_EQ(ComPortPath(c.port), "/dev/pts/3");
            MapComPort(c.port, "");  // back to the default
            EXPECT_EQ(ComPortPath(c.port), "/dev/ttyS" + std::to_string(c.port - 1));
        }
    }
}

TEST_F(PtyPort, BytesGoBothWaysAndAReadNeverWaits) {
    uint8_t buf[255];
    EXPECT_EQ(sio_read(kCom, buf, sizeof buf), 0);

    const uint8_t frame[12] = {0xAA, 0xAA, 0x00, 0x26, 0x01, 0x02, 0x03, 0x04, 0x05, 0x00, 0x07, 0xA3};
    ASSERT_EQ(sio_write(kCom, frame, 12), 12);
    EXPECT_EQ(FromPort(12), std::vector<uint8_t>(frame, frame + 12));

    const uint8_t answer[] = {0xAA, 0x00, 0x26, 0x01, 0x02, 0x00, 0x08, 0x00, 0x20, 0x00};  // raw: 0x00 passes
    ASSERT_EQ(write(master_, answer, sizeof answer), static_cast<ssize_t>(sizeof answer));
    EXPECT_EQ(IntoPort(sizeof answer), std::vector<uint8_t>(answer, answer + sizeof answer));
    EXPECT_EQ(sio_read(kCom, buf, 3), 0);
}

TEST_F(PtyPort, LineSettingsTakeOnlyWhatTheLineCanDo) {
    const struct {
        int32_t baud, mode;
        int32_t expectBps;  // 0: the call fails and the rate stays
        tcflag_t size;
        bool twoStops;
    } cases[] = {
        {kBaud4800, kParityNone | kData8 | kStop1, 4800, CS8, false},
        {kBaud9600, 3, 9600, CS8, false},
        {kBaud9600, 0x03 | 0x04, 9600, CS8, true},
        {kBaud4800, 0x02, 0, 0, false},  // 7 bits: a pseudo-terminal keeps 8, so the change is undone
        {11, 3, 0, 0, false},    // a code between the two
        {13, 3, 0, 0, false},
        {0, 3, 0, 0, false},
        {kBaud9600, 0x18, 0, 0, false},  // parity
        {kBaud9600, 0x08, 0, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "baud " << c.baud << " mode " << c.mode);
        const int32_t before = sio_getbaud(kCom);
        ASSERT_GT(before, 0);
        if (c.expectBps == 0) {
            EXPECT_LT(sio_ioctl(kCom, c.baud, c.mode), 0);
            EXPECT_EQ(sio_getbaud(kCom), before);
            continue;
        }
        EXPECT_EQ(sio_ioctl(kCom, c.baud, c.mode), 0);
        EXPECT_EQ(sio_getbaud(kCom), c.expectBps);
        const termios t = SlaveLine();
        EXPECT_EQ(t.c_cflag & CSIZE, c.size);
        EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.twoStops);
        EXPECT_EQ(t.c_cflag & PARENB, 0u);
    }

    const struct {
        int32_t mode;
        bool ok, rtscts, xonxoff;
    } flows[] = {
        {kFlowHardware, true, true, false}, {kFlowSoftware, true, false, true}, {15, true, true, true},
        {0, true, false, false},            {1, false, false, false},           {4, false, false, false},
        {16, false, false, false},
    };
    for (const auto& f : flows) {
        SCOPED_TRACE(testing::Message() << "flow " << f.mode);
        EXPECT_EQ(sio_flowctrl(kCom, f.mode) == 0, f.ok);
        if (!f.ok) continue;
        const termios t = SlaveLine();
        EXPECT_EQ((t.c_cflag & CRTSCTS) != 0, f.rtscts);
        EXPECT_EQ((t.c_iflag & (IXON | IXOFF)) == (IXON | IXOFF), f.xonxoff);
    }
}

TEST_F(PtyPort, ModemLinesOnAPseudoTerminalSucceed) {
    for (int32_t mode : {1, 0, 1}) {
        EXPECT_EQ(sio_DTR(kCom, mode), 0);
        EXPECT_EQ(sio_RTS(kCom, mode), 0);
    }
    EXPECT_LT(sio_DTR(kCom, 2), 0);
    EXPECT_LT(sio_RTS(kCom, -1), 0);
}

TEST_F(PtyPort, APortIsTakenOnce) {
    EXPECT_LT(sio_open(kCom), 0);  // already open here
    MapComPort(kOtherCom, path_);
    EXPECT_LT(sio_open(kOtherCom), 0);  // the same device under another number
    MapComPort(kOtherCom, "");
    // Another program asking for the device is kept out, at the open (not
    // for root) or at the lock.
    const int fd = open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0) {
        EXPECT_NE(flock(fd, LOCK_EX | LOCK_NB), 0);
        close(fd);
    }
    // Closed, the device is free again, to us and to others.
    EXPECT_EQ(sio_close(kCom), 0);
    const int again = open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(again, 0);
    close(again);
    EXPECT_EQ(sio_open(kCom), 0);
}

TEST_F(PtyPort, AWriteGivesUpAfterItsTimeOut) {
    // Nobody reads the master: the pseudo-terminal's buffers fill.
    ASSERT_EQ(sio_SetWriteTimeouts(kCom, 50), 0);
    const std::vector<uint8_t> big(1 << 20, 0x5A);
    const auto start = std::chrono::steady_clock::now();
    const int32_t n = sio_write(kCom, big.data(), static_cast<int32_t>(big.size()));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_GE(n, 0);
    EXPECT_LT(n, static_cast<int32_t>(big.size()));
}

TEST_F(PtyPort, ReaderAndWriterThreadsShareThePort) {
    constexpr int kFrames = 200;
    std::vector<uint8_t> sent;
    for (int i = 0; i < kFrames * 12; ++i) sent.push_back(static_cast<uint8_t>(i * 7));
    std::vector<uint8_t> readBack;
    std::thread reader([&] { readBack = IntoPort(sent.size()); });

    ASSERT_EQ(sio_SetWriteTimeouts(kCom, 1000), 0);
    std::thread drain([&] {
        // The receiver side echoes what the port writes back into it.
        size_t echoed = 0;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (echoed < sent.size() && std::chrono::steady_clock::now() < end) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0) continue;
            uint8_t buf[512];
            const ssize_t r = read(master_, buf, sizeof buf);
            if (r > 0 && write(master_, buf, static_cast<size_t>(r)) == r) echoed += static_cast<size_t>(r);
        }
    });
    for (int i = 0; i < kFrames; ++i) EXPECT_EQ(sio_write(kCom, sent.data() + i * 12, 12), 12);
    drain.join();
    reader.join();
    EXPECT_EQ(readBack, sent);
}

TEST_F(PtyPort, ReadsRacingCloseAndReopenFailCleanly) {
    uint8_t one[1];
    const int32_t notOpen = sio_read(kOtherCom, one, 1);
    ASSERT_LT(notOpen, 0);
    // A read that used a descriptor already closed would fail otherwise (or
    // read someone else's file).
    std::atomic<bool> stop{false};
    std::atomic<int> bad{0};
    std::thread reader([&] {
        uint8_t buf[255];
        while (!stop.load()) {
            const int32_t r = sio_read(kCom, buf, sizeof buf);
            if (r != 0 && r != notOpen) bad.fetch_add(1);
        }
    });
    for (int i = 0; i < 300; ++i) {
        EXPECT_EQ(sio_close(kCom), 0);
        EXPECT_EQ(sio_open(kCom), 0);
    }
    stop.store(true);
    reader.join();
    EXPECT_EQ(bad.load(), 0);
}

TEST(SioPort, EveryCallFailsOnAPortThatIsNotOpen) {
    uint8_t buf[16] = {};
    for (int32_t port : {0, kOtherCom, 256, -1}) {
        SCOPED_TRACE(port);
        EXPECT_LT(sio_read(port, buf, 16), 0);
        EXPECT_LT(sio_write(port, buf, 12), 0);
        EXPECT_LT(sio_close(port), 0);
        EXPECT_LT(sio_flush(port, 0), 0);
        EXPECT_LT(sio_ioctl(port, kBaud9600, 3), 0);
        EXPECT_LT(sio_flowctrl(port, 0), 0);
        EXPECT_LT(sio_DTR(port, 1), 0);
        EXPECT_LT(sio_RTS(port, 1), 0);
        EXPECT_LE(sio_getbaud(port), 0);
        EXPECT_LT(sio_SetWriteTimeouts(port, 10), 0);
    }
}

TEST(SioPort, OpenFailsWithoutATerminalBehindTheNumber) {
    char file[] = "/tmp/tkw-sio-XXXXXX";
    const int fd = mkstemp(file);
    ASSERT_GE(fd, 0);
    close(fd);
    for (const std::string& path : {std::string("/nonexistent/ttyX"), std::string(file), std::string("/tmp")}) {
        SCOPED_TRACE(path);
        MapComPort(kOtherCom, path);
        EXPECT_LT(sio_open(kOtherCom), 0);
        EXPECT_LT(sio_close(kOtherCom), 0);
    }
    MapComPort(kOtherCom, "");
    std::remove(file);
}

}  // namespace
}  // namespace tkw
