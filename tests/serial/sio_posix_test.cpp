// The termios backend of the port contract, driven through pseudo-terminal
// pairs: the port is the slave, the test plays the receiver on the master.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "serial/com_map.h"
#include "serial/port_list.h"
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
        if (master_ >= 0) close(master_);
        close(slave_);
    }
    termios SlaveLine() {
        termios t{};
        tcgetattr(slave_, &t);
        return t;
    }

    int master_ = -1, slave_ = -1;
    std::string path_;
};

// The chooser's list on Linux: a port mapped to a device that exists is
// listed under its number with the path it was given; a mapping to nothing
// is not.
TEST_F(PtyPort, PortListShowsMappedDevicesThatExist) {
    MapComPort(kOtherCom, "/nonexistent/tty");
    const std::vector<std::string> lines = SystemSerialPorts().Lines();
    MapComPort(kOtherCom, "");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "COM201......" + path_), lines.end());
    for (const std::string& l : lines) EXPECT_EQ(l.find("COM202"), std::string::npos) << l;
}

// Waiting for input instead of polling: input ends the wait, a wake ends it
// (also one that came first), a close under a wait does not hang, and a
// device whose other end went away is reported gone, with the reason.
TEST_F(PtyPort, WaitEndsOnInputOnAWakeOnACloseAndReportsADeviceGone) {
    EXPECT_EQ(sio_wait(kCom, 20), 0);
    ASSERT_EQ(write(master_, "\xAA\x00", 2), 2);
    EXPECT_EQ(sio_wait(kCom, -1), 1);
    uint8_t buf[8];
    EXPECT_EQ(sio_read(kCom, buf, 8), 2);

    EXPECT_EQ(sio_wake(kCom), 0);  // before the wait: it ends the next one
    EXPECT_EQ(sio_wait(kCom, -1), 0);

    std::atomic<int32_t> waited{99};
    std::thread reader([&] { waited = sio_wait(kCom, -1); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(sio_close(kCom), 0);
    reader.join();
    EXPECT_LE(waited.load(), 0);
    EXPECT_EQ(sio_wait(kCom, -1), kSioNotOpen);

    ASSERT_EQ(sio_open(kCom), 0);
    close(master_);
    master_ = -1;
    EXPECT_EQ(sio_wait(kCom, 1000), kSioGone);
    EXPECT_EQ(sio_read(kCom, buf, 8), kSioGone);
    EXPECT_EQ(sio_error_text(kCom), "Input/output error");
}

TEST(ComMap, DefaultsMappingsAndSpecs) {
    EXPECT_EQ(ComPortPath(1), "/dev/ttyS0");
    EXPECT_EQ(ComPortPath(255), "/dev/ttyS254");
    EXPECT_EQ(ComPortPath(0), "");
    EXPECT_EQ(ComPortPath(256), "");
    const struct {
        const char* spec;
        int32_t port;  // 0: refused
    } cases[] = {
        {"COM5=/p", 5},  {"com5=/p", 5},  {"cOm255=/p", 255}, {"COM007=/p", 7}, {"COM0=/p", 0},
        {"COM256=/p", 0}, {"COM5=", 0},    {"COM=/p", 0},      {"COMX=/p", 0},   {"CON5=/p", 0},
        {"COM5", 0},      {" COM5=/p", 0}, {"COM-5=/p", 0},    {"COM1234=/p", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.spec);
        EXPECT_EQ(MapComPortSpec(c.spec), c.port != 0);
        if (c.port == 0) continue;
        EXPECT_EQ(ComPortPath(c.port), "/p");
        MapComPort(c.port, "");  // back to the default
        EXPECT_EQ(ComPortPath(c.port), "/dev/ttyS" + std::to_string(c.port - 1));
    }
}

TEST_F(PtyPort, LineSettingsTakeOnlyWhatTheLineCanDo) {
    const struct {
        int32_t baud, mode, bps;  // bps 0: refused, and the rate in force stays
        bool twoStops;
    } lines[] = {
        {kBaud4800, kParityNone | kData8 | kStop1, 4800, false},
        {kBaud9600, kData8 | 0x04, 9600, true},
        {kBaud4800, 0x02, 0, false},  // 7 bits: a pseudo-terminal keeps 8, the half change is undone
        {11, 3, 0, false}, {13, 3, 0, false}, {0, 3, 0, false},
        {kBaud9600, 0x18, 0, false}, {kBaud9600, 0x08, 0, false},  // parity
    };
    bool twoStops = false;
    for (const auto& c : lines) {
        SCOPED_TRACE(testing::Message() << "baud " << c.baud << " mode " << c.mode);
        const int32_t before = sio_getbaud(kCom);
        ASSERT_GT(before, 0);
        EXPECT_EQ(sio_ioctl(kCom, c.baud, c.mode) == 0, c.bps != 0);
        EXPECT_EQ(sio_getbaud(kCom), c.bps != 0 ? c.bps : before);
        if (c.bps != 0) twoStops = c.twoStops;
        const termios t = SlaveLine();
        EXPECT_EQ(t.c_cflag & (CSIZE | PARENB), static_cast<tcflag_t>(CS8));
        EXPECT_EQ((t.c_cflag & CSTOPB) != 0, twoStops);
    }

    const struct {
        int32_t mode;
        bool ok, rtscts, xonxoff;
    } flows[] = {
        {kFlowHardware, true, true, false}, {kFlowSoftware, true, false, true}, {15, true, true, true},
        {0, true, false, false},            {1, false, false, false},           {16, false, false, false},
    };
    for (const auto& f : flows) {
        SCOPED_TRACE(testing::Message() << "flow " << f.mode);
        EXPECT_EQ(sio_flowctrl(kCom, f.mode) == 0, f.ok);
        if (!f.ok) continue;
        const termios t = SlaveLine();
        EXPECT_EQ((t.c_cflag & CRTSCTS) != 0, f.rtscts);
        EXPECT_EQ((t.c_iflag & (IXON | IXOFF)) == (IXON | IXOFF), f.xonxoff);
    }

    // A pseudo-terminal has no modem lines; raising and dropping them is no fault.
    for (int32_t mode : {1, 0}) {
        EXPECT_EQ(sio_DTR(kCom, mode), 0);
        EXPECT_EQ(sio_RTS(kCom, mode), 0);
    }
    EXPECT_LT(sio_DTR(kCom, 2), 0);
}

TEST_F(PtyPort, APortIsTakenOnce) {
    EXPECT_LT(sio_open(kCom), 0);  // already open here
    MapComPort(kOtherCom, path_);
    EXPECT_LT(sio_open(kOtherCom), 0);  // the same device under another number
    MapComPort(kOtherCom, "");
    // Another program is kept out, at the open (unless root) or at the lock.
    const int fd = open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0) {
        EXPECT_NE(flock(fd, LOCK_EX | LOCK_NB), 0);
        close(fd);
    }
    EXPECT_EQ(sio_close(kCom), 0);
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

// The reader thread reads what the receiver sends while the main thread
// writes frames, which the receiver here echoes back.
TEST_F(PtyPort, ReaderAndWriterThreadsShareThePort) {
    uint8_t none[8];
    EXPECT_EQ(sio_read(kCom, none, 8), 0);  // nothing waits: at once, 0
    std::vector<uint8_t> sent;
    for (int i = 0; i < 200 * 12; ++i) sent.push_back(static_cast<uint8_t>(i * 7));
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    std::vector<uint8_t> readBack;
    std::thread reader([&] {
        uint8_t buf[255];
        while (readBack.size() < sent.size() && std::chrono::steady_clock::now() < end) {
            const int32_t r = sio_read(kCom, buf, sizeof buf);
            if (r > 0) readBack.insert(readBack.end(), buf, buf + r);
            else std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    std::thread echo([&] {
        for (size_t echoed = 0; echoed < sent.size() && std::chrono::steady_clock::now() < end;) {
            pollfd p{master_, POLLIN, 0};
            uint8_t buf[512];
            const ssize_t r = poll(&p, 1, 20) > 0 ? read(master_, buf, sizeof buf) : 0;
            if (r > 0 && write(master_, buf, static_cast<size_t>(r)) == r) echoed += static_cast<size_t>(r);
        }
    });
    ASSERT_EQ(sio_SetWriteTimeouts(kCom, 1000), 0);
    for (size_t i = 0; i < sent.size(); i += 12) EXPECT_EQ(sio_write(kCom, sent.data() + i, 12), 12);
    echo.join();
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
