// tkw --calibrate on pseudo-terminals against tkw-sim sending its frames a
// known time after their second (--late-ms), as a user would calibrate a
// receiver: the delay is found within 1 ms in each format, --save stores it
// only from a measurement long and steady enough, a wrong format, a silent
// line, a line that goes away and an interruption are said and store
// nothing, and --set then says when a change of format leaves the
// calibration behind. Every case has a line, a lock and a directory of its
// own, so that all of them listen at once: the whole takes about as long as
// the one that has to listen for a minute.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "config/settings.h"
#include "support/child.h"
#include "support/faulty_fs.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

using tkw::test::Child;
using tkw::test::PtyPair;

// What happens to a listen under way.
enum class Meddle { None, PullLine, Interrupt };

struct CalibrateCase {
    const char* name;
    int simFormat;  // tkw-sim's --format; 0: nothing on the line
    int lateMs;
    int jitterMs;
    int storedFormat;  // horalsys.conf's format (the fine adjustment is 135)
    int seconds;
    std::vector<std::string> extra;  // after --calibrate --trust-clock --seconds N
    Meddle meddle;
    int status;
    std::vector<const char*> says;  // parts of lines it must print
    bool measures;                  // the three result lines, the delay found within 1 ms
    bool stores;                    // the calibrated value, and horalsys.cal; else the fine adjustment stays 135
};

const char* const kFormats[] = {"KRW_CODE", "PL_CODE", "MN_CODE"};

const CalibrateCase kCases[] = {
    {"KrwNoDelay", 1, 0, 0, 1, 10, {}, Meddle::None, 0, {}, true, false},
    {"KrwFineAdjustmentRight", 1, 135, 0, 1, 10, {}, Meddle::None, 0, {}, true, false},
    {"KrwLate", 1, 480, 0, 1, 10, {}, Meddle::None, 0, {}, true, false},
    {"PlNoDelay", 2, 0, 0, 2, 10, {}, Meddle::None, 0, {}, true, false},
    {"PlFineAdjustmentRight", 2, 135, 0, 2, 10, {}, Meddle::None, 0, {}, true, false},
    {"PlLate", 2, 480, 0, 2, 10, {}, Meddle::None, 0, {}, true, false},
    {"MnNoDelay", 3, 0, 0, 3, 10, {}, Meddle::None, 0, {}, true, false},
    {"MnFineAdjustmentRight", 3, 135, 0, 3, 10, {}, Meddle::None, 0, {}, true, false},
    {"MnLate", 3, 480, 0, 3, 10, {}, Meddle::None, 0, {}, true, false},
    {"SaveStoresTheDelay", 2, 37, 0, 2, 65, {"--save"}, Meddle::None, 0, {"stored fine="}, true, true},
    {"SaveNeedsAMinuteOfFrames", 1, 200, 0, 1, 10, {"--save"}, Meddle::None, 1,
     {"--save: only ", " frames were measured, 60 are needed", "horalsys.conf is left as it was"}, true, false},
    {"SaveRefusesAnUnevenDelay", 1, 700, 20, 1, 10, {"--save"}, Meddle::None, 1,
     {"the delay varies too much: 95 % of the frames lie within ", "horalsys.conf is left as it was"}, false, false},
    {"AnotherFormatIsNoFrame", 3, 250, 0, 1, 10, {}, Meddle::None, 1,
     {"bytes arrived on COM1 (", "but no KRW_CODE frame", "tkw --detect COM1"}, false, false},
    {"ASilentLine", 0, 0, 0, 1, 10, {}, Meddle::None, 1, {": 0 frames in 10 s", "nothing received on COM1 ("}, false,
     false},
    {"TheLineGoesAway", 1, 300, 0, 1, 10, {"--save"}, Meddle::PullLine, 1, {") went away after "}, false, false},
    {"InterruptedWithTheResultSoFar", 1, 350, 0, 1, 30, {"--save"}, Meddle::Interrupt, 1,
     {"stopped after ", " s of 30: the result so far; horalsys.conf is left as it was"}, true, false},
};

// One case under way: its line, its receiver and its tkw.
struct Listen {
    const CalibrateCase* c;
    fs::path dir;
    std::string device;  // COM1
    std::unique_ptr<Child> socat, sim, tkw;
    int status = -1;
    std::vector<std::string> lines;
};

class Calibrate : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("command -v socat >/dev/null 2>&1") != 0) GTEST_SKIP() << "socat is not installed";
        base = fs::temp_directory_path() / ("tkw-calibrate-e2e-" + std::to_string(::getpid()));
        fs::remove_all(base);
        fs::create_directories(base);
    }
    void TearDown() override {
        listens.clear();
        fs::remove_all(base);
    }
    // tkw with a lock of the case's own (kept in its directory, as the
    // service's runtime directory keeps it), COM1 its end of the line.
    static std::vector<std::string> Tkw(const fs::path& dir, const std::string& instance, const std::string& device,
                                        std::vector<std::string> args) {
        std::vector<std::string> argv{"/usr/bin/env", "TKW_INSTANCE=tkw-cal-" + std::to_string(::getpid()) + instance,
                                      "RUNTIME_DIRECTORY=" + dir.string(), TKW_EXE, "--map", "COM1=" + device};
        argv.insert(argv.end(), args.begin(), args.end());
        return argv;
    }
    static void WriteSettings(const fs::path& dir, int format) {
        tkw::Settings s;
        tkw::ApplyDefaults(s);
        s.CodeFormat = static_cast<uint8_t>(format);
        s.BaudCode = tkw::BaudCodeForFormat(format);
        const tkw::ConfigRecord rec = tkw::EncodeConfig(s);
        std::ofstream(dir / "horalsys.conf", std::ios::binary)
            .write(reinterpret_cast<const char*>(rec.data()), static_cast<std::streamsize>(rec.size()));
    }
    static std::unique_ptr<Child> Line(const fs::path& dir) {
        return PtyPair(dir / "receiver", dir / "pc", dir);
    }
    static int StoredFine(const fs::path& dir) {
        tkw::ConfigRecord rec{};
        std::ifstream(dir / "horalsys.conf", std::ios::binary).read(reinterpret_cast<char*>(rec.data()), rec.size());
        tkw::Settings s;
        tkw::DecodeConfig(rec, s);
        return s.FineAdjustMs;
    }

    fs::path base;
    std::vector<std::unique_ptr<Listen>> listens;
};

TEST_F(Calibrate, FindsTheReceiversDelayAndStoresItOnlyWhenSound) {
    for (const CalibrateCase& c : kCases) {
        auto l = std::make_unique<Listen>();
        l->c = &c;
        l->dir = base / c.name;
        fs::create_directories(l->dir);
        WriteSettings(l->dir, c.storedFormat);
        if (c.simFormat == 0) {
            l->socat = Line(l->dir);
            l->device = (l->dir / "pc").string();
        } else {
            // The simulator's own pseudo-terminal, without socat between: a
            // process less to wake for every frame.
            std::vector<std::string> sim{TKW_SIM_EXE, "--pty",   "--format", std::to_string(c.simFormat),
                                         "--late-ms", std::to_string(c.lateMs), "--stamp"};
            if (c.jitterMs) sim.insert(sim.end(), {"--jitter-ms", std::to_string(c.jitterMs)});
            l->sim = std::make_unique<Child>(sim, l->dir);
            const std::string pty = l->sim->WaitLine([](const std::string& s) { return s.starts_with("PTY "); }, 5s);
            ASSERT_FALSE(pty.empty());
            l->device = pty.substr(4);
        }
        listens.push_back(std::move(l));
    }
    for (auto& l : listens) {
        std::vector<std::string> args{"--calibrate", "--trust-clock", "--seconds", std::to_string(l->c->seconds)};
        args.insert(args.end(), l->c->extra.begin(), l->c->extra.end());
        l->tkw = std::make_unique<Child>(Tkw(l->dir, l->c->name, l->device, args), l->dir);
    }
    std::this_thread::sleep_for(5s);
    for (auto& l : listens) {
        if (l->c->meddle == Meddle::PullLine) l->sim->Stop(SIGTERM);
        if (l->c->meddle == Meddle::Interrupt) ::kill(l->tkw->Pid(), SIGINT);
    }
    for (auto& l : listens) {
        l->status = l->tkw->Wait();
        l->lines = l->tkw->Lines();
    }

    for (auto& l : listens) {
        const CalibrateCase& c = *l->c;
        std::string all;
        for (const std::string& line : l->lines) all += line + "\n";
        SCOPED_TRACE(std::string(c.name) + ":\n" + all);
        EXPECT_EQ(l->status, c.status);
        for (const char* part : c.says) {
            bool seen = false;
            for (const std::string& line : l->lines) seen = seen || line.find(part) != std::string::npos;
            EXPECT_TRUE(seen) << part;
        }
        EXPECT_EQ(fs::exists(l->dir / "horalsys.cal"), c.stores);
        if (!c.stores) {
            EXPECT_EQ(StoredFine(l->dir), 135);
        }
        if (!c.measures) continue;

        // COM1 (DEVICE) FORMAT at RATE bit/s: N frames in S s
        const std::string head = "COM1 (" + l->device + ") " + kFormats[c.storedFormat - 1] + " at " +
                                 (c.storedFormat == 1 ? "4800" : "9600") + " bit/s: ";
        int frames = -1;
        std::string median, verdict;
        for (const std::string& line : l->lines) {
            if (line.starts_with(head)) frames = std::stoi(line.substr(head.size()));
            for (auto [start, into] : {std::pair{"receiver delay: median ", &median},
                                       std::pair{"fine adjustment now 135 ms: ", &verdict}})
                if (line.starts_with(start)) *into = line.substr(std::string(start).size());
        }
        // The first frame measures nothing: it has none before it to agree with.
        const int listened = c.meddle == Meddle::Interrupt ? 5 : c.seconds;
        EXPECT_GE(frames, listened - 3);
        EXPECT_LE(frames, listened);
        ASSERT_FALSE(median.empty());
        // Against when the frames really went out, each one's last byte: a
        // busy machine wakes the simulator late too.
        std::vector<double> sent;
        for (const std::string& line : l->sim->Lines())
            if (line.starts_with("SENT "))
                sent.push_back(static_cast<double>(std::stoll(line.substr(5)) % 1000000000) / 1e6);
        ASSERT_FALSE(sent.empty());
        std::sort(sent.begin(), sent.end());
        const double late = sent[sent.size() / 2];
        EXPECT_LT(std::fabs(late - c.lateMs), 5.0) << "tkw-sim sends late: " << late;
        const double found = std::stod(median);
        EXPECT_LT(std::fabs(found - late), 1.0) << median << " against " << late;
        // The median to the millisecond (from its tenths here).
        const size_t at = verdict.find("; calibrated value: ");
        ASSERT_NE(at, std::string::npos) << verdict;
        const int value = std::stoi(verdict.substr(at + 20));
        EXPECT_LE(std::fabs(value - found), 0.55) << verdict;
        const std::string says = value == 135 ? "the fine adjustment is right"
                                 : value < 135 ? "ms late"
                                               : "ms early";
        EXPECT_NE(verdict.find(says), std::string::npos) << verdict;
        if (c.stores) {
            EXPECT_EQ(StoredFine(l->dir), value);
            const std::string cal = tkw::test::ReadFile(l->dir / "horalsys.cal");
            EXPECT_TRUE(cal.starts_with("fine=" + std::to_string(value) + " ")) << cal;
        }
    }

    // What was stored is remembered with its format and rate; a change of
    // either is said to want a new calibration, a change back is not.
    const fs::path saved = base / "SaveStoresTheDelay";
    const std::string cal = tkw::test::ReadFile(saved / "horalsys.cal");
    const std::string fine = cal.substr(0, cal.find(' '));  // fine=37 or fine=38 (pseudo-terminals take time too)
    EXPECT_TRUE(fine == "fine=37" || fine == "fine=38") << cal;
    EXPECT_NE(cal.find(" format=PL_CODE baud=9600 date="), std::string::npos) << cal;
    const auto set = [&](const std::string& assignment) {
        Child tkw(Tkw(saved, "set", "unused", {"--set", assignment}), saved);
        EXPECT_EQ(tkw.Wait(), 0);
        std::string all;
        for (const std::string& line : tkw.Lines()) all += line + "\n";
        return all;
    };
    EXPECT_NE(set("format=KRW_CODE").find("tkw: the fine adjustment (now " + fine.substr(5) +
                                          " ms) was measured by --calibrate on " +
                                          cal.substr(cal.find("date=") + 5, 10) +
                                          " for PL_CODE at 9600 bit/s; a frame of KRW_CODE at 4800 bit/s takes "
                                          "another time on the line: run tkw --calibrate again"),
              std::string::npos);
    EXPECT_EQ(set("format=PL_CODE").find("--calibrate"), std::string::npos);
}

// A copy that holds the port (a run, the service) is named, and so is one
// that holds the clock with the lock calibrating takes too.
TEST_F(Calibrate, APortOrAClockInUseIsRefused) {
    const fs::path dir = base;
    auto socat = Line(dir);
    const std::string pc = (dir / "pc").string();
    Child run(Tkw(dir, "run", pc, {"--dry-run", "--no-step"}), dir);
    ASSERT_FALSE(run.WaitLine([](const std::string& l) { return l.starts_with("STATUS "); }, 5s).empty());

    Child portHeld(Tkw(dir, "calibrate", pc, {"--calibrate", "--trust-clock", "--seconds", "10"}), dir);
    EXPECT_EQ(portHeld.Wait(), 1);
    EXPECT_FALSE(portHeld
                     .WaitLine(
                         [&](const std::string& l) {
                             return l == "tkw: COM1 (" + pc +
                                             "): in use by another program (a TKW service? stop it first: "
                                             "systemctl stop tkw, or end the tkw running); nothing measured";
                         },
                         1s)
                     .empty());

    Child clockHeld(Tkw(dir, "run", pc, {"--calibrate", "--trust-clock"}), dir);
    EXPECT_EQ(clockHeld.Wait(), 1);
    EXPECT_FALSE(clockHeld
                     .WaitLine(
                         [](const std::string& l) {
                             return l.starts_with("tkw: another TKW runs on this PC and sets its clock: stop it first");
                         },
                         1s)
                     .empty());
    EXPECT_EQ(run.Stop(SIGTERM), 0);
}

// This machine's own clock, whatever its state: what was found is said
// before anything is listened to, and a clock not known to be synchronised is
// refused with the way to make it so.
TEST_F(Calibrate, SaysWhatItFindsOfThisMachinesClock) {
    Child tkw(Tkw(base, "clock", (base / "pc").string(), {"--calibrate", "--seconds", "10"}), base);  // no such device
    EXPECT_EQ(tkw.Wait(), 1);
    std::string found, all;
    for (const std::string& l : tkw.Lines()) {
        all += l + "\n";
        if (l.starts_with("tkw: the clock: ") && found.empty()) found = l.substr(16);
    }
    SCOPED_TRACE(all);
    const bool synchronised = found.starts_with("synchronised by ");
    EXPECT_TRUE(synchronised || found.starts_with("not synchronised: ") ||
                found.starts_with("its synchronisation state cannot be read"))
        << found;
    if (all.find("tkw: the receiver's delay cannot be measured against a clock not known") == std::string::npos) {
        // Trusted: then the missing line is what ends it.
        EXPECT_TRUE(synchronised);
        EXPECT_NE(all.find("): no such device; nothing measured"), std::string::npos);
        return;
    }
    EXPECT_NE(all.find("--trust-clock skips this check"), std::string::npos);
    if (!synchronised) {
        for (const char* advice : {"systemctl stop tkw", "chronyc tracking", "timedatectl"}) {
            EXPECT_NE(all.find(advice), std::string::npos) << advice;
        }
    }
}

}  // namespace
