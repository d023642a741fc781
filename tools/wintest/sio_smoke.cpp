// tkw-sio-smoke: takes a COM port into use the way TKW does (4800 8N1, no flow
// control, DTR and RTS raised, 10 ms write time-out), writes one 12-byte
// frame, reads for 2 s and prints what came in. Then it reads on a second
// thread, as TKW's reader does, while the main thread writes 50 frames and
// closes the port under the running reader. For trying the Windows serial
// backend on a real port or under Wine.
//
//   tkw-sio-smoke N        (N = the COM number, 1..255)
//
// Exit status: 0 when every step succeeded, 1 on a failed step, 2 on bad usage.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "serial/sio.h"

namespace {

bool Step(const char* what, int32_t result, int32_t ok) {
    std::printf("%-20s %d%s\n", what, static_cast<int>(result), result == ok ? "" : "  FAILED");
    return result == ok;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace tkw;
    const int port = argc == 2 ? std::atoi(argv[1]) : 0;
    if (port < 1 || port > 255) {
        std::fprintf(stderr, "usage: tkw-sio-smoke COM-number\n");
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IONBF, 0);

    if (!Step("sio_open", sio_open(port), 0)) return 1;
    bool ok = Step("sio_open again", sio_open(port), -5);
    ok = Step("sio_ioctl 4800 8N1", sio_ioctl(port, kBaud4800, kParityNone | kData8 | kStop1), 0) && ok;
    ok = Step("sio_ioctl bad baud", sio_ioctl(port, 11, kData8), -3) && ok;
    ok = Step("sio_flowctrl 0", sio_flowctrl(port, 0), 0) && ok;
    ok = Step("sio_DTR 1", sio_DTR(port, 1), 0) && ok;
    ok = Step("sio_RTS 1", sio_RTS(port, 1), 0) && ok;
    ok = Step("sio_getbaud", sio_getbaud(port), 4800) && ok;
    ok = Step("sio_SetWriteTimeouts", sio_SetWriteTimeouts(port, 10), 0) && ok;

    const uint8_t frame[12] = {0xEB, 0x90, 0x20, 0x26, 0x12, 0x07, 0x23, 0x59, 0x00, 0x00, 0x00, 0x0D};
    ok = Step("sio_write 12", sio_write(port, frame, 12), 12) && ok;

    int total = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    std::printf("read:");
    while (std::chrono::steady_clock::now() < end) {
        uint8_t buf[255];
        const int32_t n = sio_read(port, buf, 255);
        if (n < 0) {
            std::printf("\n");
            ok = Step("sio_read", n, 0) && ok;
            break;
        }
        for (int32_t i = 0; i < n; ++i) std::printf(" %02X", buf[i]);
        total += n;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::printf("\n%d bytes read\n", total);

    ok = Step("sio_flush 0", sio_flush(port, 0), 0) && ok;

    // Reads beside writes, then a close racing the reads: the reader must
    // see "not open" (-2) and nothing worse.
    std::atomic<int> beside{0};
    std::atomic<int32_t> readerEnd{0};
    std::thread reader([&] {
        for (;;) {
            uint8_t buf[255];
            const int32_t n = sio_read(port, buf, 255);
            if (n < 0) {
                readerEnd.store(n);
                return;
            }
            beside.fetch_add(n);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    int written = 0;
    for (int i = 0; i < 50; ++i) {
        if (sio_write(port, frame, 12) == 12) ++written;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ok = Step("writes beside reads", written, 50) && ok;
    ok = Step("sio_close", sio_close(port), 0) && ok;
    reader.join();
    std::printf("%d bytes read beside the writes\n", beside.load());
    ok = Step("reader's last read", readerEnd.load(), -2) && ok;
    ok = Step("sio_close again", sio_close(port), -2) && ok;
    ok = Step("sio_read closed", sio_read(port, nullptr, 0), -2) && ok;
    return ok ? 0 : 1;
}
