// tkw --detect over socat pseudo-terminal pairs, one a port, as a user with a
// receiver of unknown format would run it: tkw-sim of each format is found,
// a silent line, noise and a port another program holds are not taken for a
// receiver, and --save stores the one receiver found or refuses to choose.
// A pseudo-terminal carries bytes at any bit rate, so the rate found here is
// always the first one listened at; the rate decision is the unit tests'.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "config/settings.h"
#include "support/child.h"
#include "timecode/frame_formats.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

using tkw::test::Child;
using tkw::test::PtyPair;

// What is on the far end of a port.
enum class Far { Silent, Noise, Held, Krw, Pl, Mn };

struct DetectCase {
    const char* name;
    std::vector<Far> ports;        // COM1, COM2, ...
    bool save;                     // --detect ... --save
    std::vector<const char*> say;  // how each port's line goes on after "COMn (DEVICE): " (see Says)
    int status;
    int savedPort;  // what horalsys.conf holds after: port and format (0: as it was, a PL_CODE setup on COM7)
    int savedFormat;
    // How much of the record horalsys.conf holds before (less: a short file,
    // which a save must leave as it is).
    size_t fileBytes = tkw::kConfigRecordSize;
    friend void PrintTo(const DetectCase& c, std::ostream* os) { *os << c.name; }
};

class Detect : public ::testing::TestWithParam<DetectCase> {
protected:
    void SetUp() override {
        if (std::system("command -v socat >/dev/null 2>&1") != 0) GTEST_SKIP() << "socat is not installed";
        dir = fs::temp_directory_path() / ("tkw-detect-e2e-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override {
        stop = true;
        if (noise.joinable()) noise.join();
        if (held >= 0) ::close(held);
        children.clear();
        fs::remove_all(dir);
    }
    // The pair for COMn: the receiver's end dir/rn, the PC's dir/pn.
    fs::path Pair(int n) {
        const fs::path r = dir / ("r" + std::to_string(n)), p = dir / ("p" + std::to_string(n));
        children.push_back(PtyPair(r, p, dir));
        return r;
    }
    void Feed(Far far, const fs::path& receiver, const fs::path& pc) {
        switch (far) {
            case Far::Silent: break;
            case Far::Krw:
            case Far::Pl:
            case Far::Mn: {
                const int format = far == Far::Krw ? 1 : far == Far::Pl ? 2 : 3;
                children.push_back(std::make_unique<Child>(
                    std::vector<std::string>{TKW_SIM_EXE, "--device", receiver.string(), "--format",
                                             std::to_string(format)},
                    dir));
                break;
            }
            case Far::Noise:
                // Random bytes, and among them what a wrong format makes
                // of noise: frames that pass MN_CODE's test (an 0xAA and an
                // 0x03 twelve bytes on) with a date and a time that exist,
                // but times at random. The same every run.
                noise = std::thread([this, path = receiver] {
                    const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY);
                    std::mt19937 random(18);
                    while (fd >= 0 && !stop) {
                        const auto any = [&random](unsigned n) { return static_cast<uint16_t>(random() % n); };
                        const tkw::SystemTime t{.wYear = 2026, .wMonth = static_cast<uint16_t>(1 + any(12)), .wDay = 1,
                                                .wHour = any(24), .wMinute = any(60), .wSecond = any(60)};
                        const tkw::FrameBytes frame = tkw::EncodeFrame(*tkw::FindFormat(3), t);
                        std::vector<uint8_t> bytes(frame.begin(), frame.end());
                        for (int i = 0; i < 12; ++i) bytes.push_back(static_cast<uint8_t>(any(0xAA)));
                        (void)!::write(fd, bytes.data(), bytes.size());
                        std::this_thread::sleep_for(50ms);
                    }
                    if (fd >= 0) ::close(fd);
                });
                break;
            case Far::Held:
                // Another program has the port, with the lock serial
                // programs take.
                held = ::open(pc.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
                ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
                break;
        }
    }
    static tkw::ConfigRecord Record(const fs::path& file) {
        tkw::ConfigRecord rec{};
        std::ifstream(file, std::ios::binary).read(reinterpret_cast<char*>(rec.data()), rec.size());
        return rec;
    }

    fs::path dir;
    std::vector<std::unique_ptr<Child>> children;
    std::thread noise;
    std::atomic<bool> stop{false};
    int held = -1;
};

// Whether the rest of a port's line reads as `expected` says: its start, or
// the whole of it when `expected` ends in '$'; "{rate}" stands for either
// bit rate. (No std::regex: g++ 12's sanitizer builds warn inside it.)
bool Says(const std::string& rest, const std::string& expected) {
    if (const size_t at = expected.find("{rate}"); at != std::string::npos)
        return Says(rest, std::string(expected).replace(at, 6, "4800")) ||
               Says(rest, std::string(expected).replace(at, 6, "9600"));
    if (!expected.empty() && expected.back() == '$') return rest == expected.substr(0, expected.size() - 1);
    return rest.rfind(expected, 0) == 0;
}

TEST_P(Detect, FindsTheReceiversAndNothingElse) {
    const DetectCase& c = GetParam();
    // Settings that differ from what any case finds, and must survive a save.
    tkw::Settings before;
    tkw::ApplyDefaults(before);
    before.PortNumber = 7;
    before.CodeFormat = 2;
    before.BaudCode = tkw::kBaudCode9600;
    before.JumpThreshold = 9;
    const tkw::ConfigRecord rec = tkw::EncodeConfig(before);
    const std::string written(reinterpret_cast<const char*>(rec.data()), c.fileBytes);
    std::ofstream(dir / "horalsys.conf", std::ios::binary) << written;

    std::vector<std::string> argv{TKW_EXE};
    std::vector<std::string> names;
    for (size_t i = 0; i < c.ports.size(); ++i) {
        const int n = static_cast<int>(i) + 1;
        const fs::path receiver = Pair(n), pc = dir / ("p" + std::to_string(n));
        Feed(c.ports[i], receiver, pc);
        argv.insert(argv.end(), {"--map", "COM" + std::to_string(n) + "=" + pc.string()});
        names.push_back("COM" + std::to_string(n) + " (" + pc.string() + "): ");
    }
    argv.push_back("--detect");
    for (size_t i = 0; i < c.ports.size(); ++i) argv.push_back("COM" + std::to_string(i + 1));
    if (c.save) argv.push_back("--save");
    std::this_thread::sleep_for(300ms);  // the simulators have their devices open

    Child tkw(argv, dir);
    EXPECT_EQ(tkw.Wait(), c.status);
    const std::vector<std::string> lines = tkw.Lines();
    std::string all;
    for (const std::string& l : lines) all += l + "\n";
    for (size_t i = 0; i < c.ports.size(); ++i) {
        bool seen = false;
        for (const std::string& l : lines)
            seen = seen || (l.rfind(names[i], 0) == 0 && Says(l.substr(names[i].size()), c.say[i]));
        EXPECT_TRUE(seen) << names[i] << c.say[i] << "\nin\n" << all;
    }

    if (c.savedPort == 0) {
        std::ifstream in(dir / "horalsys.conf", std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), written) << all;
    } else {
        tkw::Settings after;
        tkw::DecodeConfig(Record(dir / "horalsys.conf"), after);
        EXPECT_EQ(after.PortNumber, c.savedPort) << all;
        EXPECT_EQ(after.CodeFormat, c.savedFormat);
        EXPECT_EQ(after.BaudCode, tkw::kBaudCode4800);  // the first rate: a pseudo-terminal takes any
        EXPECT_EQ(after.JumpThreshold, 9);
    }
}

const DetectCase kCases[] = {
    {"EachFormatAndNothingElse",
     {Far::Krw, Far::Pl, Far::Mn, Far::Silent, Far::Noise, Far::Held},
     false,
     {"KRW_CODE at 4800 bit/s, 3 frames, ", "PL_CODE at 4800 bit/s, 3 frames, ", "MN_CODE at 4800 bit/s, 3 frames, ",
      "nothing received$",
      // On a pseudo-terminal either rate may bring the more bytes.
      "bytes at {rate} bit/s, no time code recognised$", "in use by another program$"},
     0,
     0,
     0},
    {"SaveStoresTheOneFound",
     {Far::Held, Far::Mn},
     true,
     {"in use by another program", "MN_CODE at 4800 bit/s, "},
     0,
     2,
     3},
    {"SaveRefusesToChooseBetweenTwoReceivers",
     {Far::Krw, Far::Pl},
     true,
     {"KRW_CODE at 4800 bit/s, ", "PL_CODE at 4800 bit/s, "},
     1,
     0,
     0},
    // Through --set's path, which changes no file shorter than a record.
    {"SaveRefusesAShortFile", {Far::Mn}, true, {"MN_CODE at 4800 bit/s, "}, 1, 0, 0, 100},
};
INSTANTIATE_TEST_SUITE_P(Ports, Detect, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
