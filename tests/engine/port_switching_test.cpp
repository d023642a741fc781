// Taking the port into use and changing port or baud code: the exact calls
// made on the port, the boxes shown, the fallbacks, the menu marks, the save,
// and the reader held around every change and released exactly once.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "engine/port_switching.h"
#include "ui/port_menu.h"
#include "support/fakes.h"

namespace tkw::test {
namespace {

// Pauses nest; `low` remembers whether more resumes than pauses ever came.
class CountingReader final : public ReaderControl {
public:
    void Pause() override { ++depth, ++pauses; }
    void Resume() override { low = std::min(low, --depth); }
    int depth = 0, pauses = 0, low = 0;
};

// Records every call as one text ("open 3", "ioctl 3 10 3"); the calls named
// in `failing` as "<function>#<n>" (the n-th call of that function) return -1.
// sio_getbaud reports `rate`.
class ScriptedSerial final : public SerialApi {
public:
    int32_t sio_open(int32_t p) override { return Call("open", {p}); }
    int32_t sio_close(int32_t p) override { return Call("close", {p}); }
    int32_t sio_flush(int32_t p, int32_t f) override { return Call("flush", {p, f}); }
    int32_t sio_ioctl(int32_t p, int32_t b, int32_t m) override { return Call("ioctl", {p, b, m}); }
    int32_t sio_flowctrl(int32_t p, int32_t m) override { return Call("flowctrl", {p, m}); }
    int32_t sio_DTR(int32_t p, int32_t m) override { return Call("DTR", {p, m}); }
    int32_t sio_RTS(int32_t p, int32_t m) override { return Call("RTS", {p, m}); }
    int32_t sio_getbaud(int32_t p) override { Call("getbaud", {p}); return rate; }
    int32_t sio_SetWriteTimeouts(int32_t p, int32_t ms) override { return Call("timeouts", {p, ms}); }
    int32_t sio_read(int32_t p, uint8_t*, int32_t len) override { return Call("read", {p, len}); }
    int32_t sio_write(int32_t p, const uint8_t*, int32_t len) override { return Call("write", {p, len}); }

    void Restart(std::set<std::string> fail) {
        failing = std::move(fail);
        counts.clear();
        calls.clear();
        unheld = 0;
    }
    std::string Trace() const {
        std::string s;
        for (const auto& c : calls) s += (s.empty() ? "" : "; ") + c;
        return s;
    }

    std::set<std::string> failing;
    int32_t rate = 4800;
    const CountingReader* reader = nullptr;
    int unheld = 0;  // calls made while `reader` was running
    std::vector<std::string> calls;

private:
    int32_t Call(const std::string& fn, std::initializer_list<int32_t> args) {
        std::string line = fn;
        for (int32_t a : args) {
            line += ' ';
            line += std::to_string(a);
        }
        calls.push_back(line);
        if (reader && reader->depth <= 0) ++unheld;
        return failing.count(fn + "#" + std::to_string(++counts[fn])) ? -1 : 0;
    }
    std::map<std::string, int> counts;
};

std::string Err(const char* t) { return std::string("E 错误|") + t; }
std::string Msg(const char* t) { return std::string("P TKW|") + t; }

// The checked items of the two groups and the chooser item's caption.
std::string Marks(const PortMenu& m) {
    std::string s;
    for (const MenuItem* i : {&m.com11, &m.com21, &m.com31, &m.com41, &m.N21, &m.N48001, &m.N96001})
        if (i->Checked) s += i->Name + " ";
    return s + "[" + m.N21.Caption + "]";
}

struct Rig {
    explicit Rig(int32_t port, int32_t baud) {
        settings.PortNumber = port;
        settings.BaudCode = baud;
        serial.reader = &reader;
    }
    std::vector<std::string> Boxes() const {
        std::vector<std::string> v;
        for (const auto& b : boxes.shown)
            v.push_back(std::string(b.kind == BoxKind::Error ? "E " : b.kind == BoxKind::Plain ? "P " : "S ") +
                        b.caption + "|" + b.text);
        return v;
    }

    ScriptedSerial serial;
    Settings settings;
    LineSettings line;
    RecordingBoxes boxes;
    CountingReader reader;
    PortMenu menu;
    int saves = 0, savesHeld = 0;
    Status saveResult;
    PortSwitcher sw{serial, settings, line, boxes, &reader, &menu, [this] {
                        ++saves;
                        savesHeld += reader.depth != 0;
                        return saveResult;
                    }};
};

// ---- PortSet: the calls in order, the first failure's box, the time-out.

// Failures name the row, not the bytes of the parameter.
template <class Case>
void PrintCase(const Case& c, std::ostream* os) { *os << c.name; }

struct PortSetCase {
    const char* name;
    std::set<std::string> fail;
    bool hardware, software;
    int32_t rate;
    bool ok;
    const char* box;  // null: none
    const char* trace;
};

void PrintTo(const PortSetCase& c, std::ostream* os) { PrintCase(c, os); }

class PortSetTest : public ::testing::TestWithParam<PortSetCase> {};

TEST_P(PortSetTest, CallsInOrderAndStopsAtTheFirstFailure) {
    const PortSetCase& c = GetParam();
    Rig r(5, 12);
    r.serial.reader = nullptr;
    r.line.HardwareFlow = c.hardware;
    r.line.SoftwareFlow = c.software;
    r.serial.rate = c.rate;
    r.serial.Restart(c.fail);
    EXPECT_EQ(r.sw.PortSet(), c.ok);
    EXPECT_EQ(r.serial.Trace(), c.trace);
    EXPECT_EQ(r.Boxes(), c.box ? std::vector<std::string>{Err(c.box)} : std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    All, PortSetTest,
    ::testing::Values(
        PortSetCase{"At4800", {}, false, false, 4800, true, nullptr,
                    "ioctl 5 12 3; flowctrl 5 0; DTR 5 1; RTS 5 1; getbaud 5; timeouts 5 10"},
        PortSetCase{"At9600", {}, false, false, 9600, true, nullptr,
                    "ioctl 5 12 3; flowctrl 5 0; DTR 5 1; RTS 5 1; getbaud 5; timeouts 5 10"},
        PortSetCase{"At300", {}, false, false, 300, true, nullptr,
                    "ioctl 5 12 3; flowctrl 5 0; DTR 5 1; RTS 5 1; getbaud 5; timeouts 5 30"},
        PortSetCase{"RateZero", {}, false, false, 0, true, nullptr,
                    "ioctl 5 12 3; flowctrl 5 0; DTR 5 1; RTS 5 1; getbaud 5; timeouts 5 10"},
        PortSetCase{"RateMinus1", {}, false, false, -1, true, nullptr,
                    "ioctl 5 12 3; flowctrl 5 0; DTR 5 1; RTS 5 1; getbaud 5; timeouts 5 10"},
        PortSetCase{"TimeoutResultIgnored", {"timeouts#1"}, false, false, 4800, true, nullptr,
                    "ioctl 5 12 3; flowctrl 5 0; DTR 5 1; RTS 5 1; getbaud 5; timeouts 5 10"},
        PortSetCase{"HardwareFlowSkipsRts", {}, true, false, 4800, true, nullptr,
                    "ioctl 5 12 3; flowctrl 5 3; DTR 5 1; getbaud 5; timeouts 5 10"},
        PortSetCase{"SoftwareFlowKeepsRts", {}, false, true, 4800, true, nullptr,
                    "ioctl 5 12 3; flowctrl 5 12; DTR 5 1; RTS 5 1; getbaud 5; timeouts 5 10"},
        PortSetCase{"IoctlFails", {"ioctl#1"}, false, false, 4800, false, kMsgLineModeFailed, "ioctl 5 12 3"},
        PortSetCase{"FlowFails", {"flowctrl#1"}, false, false, 4800, false, kMsgFlowFailed,
                    "ioctl 5 12 3; flowctrl 5 0"},
        PortSetCase{"DtrFails", {"DTR#1"}, false, false, 4800, false, kMsgDtrFailed,
                    "ioctl 5 12 3; flowctrl 5 0; DTR 5 1"},
        PortSetCase{"RtsFails", {"RTS#1"}, false, false, 4800, false, kMsgRtsFailed,
                    "ioctl 5 12 3; flowctrl 5 0; DTR 5 1; RTS 5 1"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Start-up open.

struct StartupCase {
    const char* name;
    int32_t port, baud;
    std::set<std::string> fail;
    std::vector<std::string> boxes;
    const char* marks;
    const char* trace;
};

void PrintTo(const StartupCase& c, std::ostream* os) { PrintCase(c, os); }

class StartupTest : public ::testing::TestWithParam<StartupCase> {};

TEST_P(StartupTest, MarksThenOpensThenSetsUp) {
    const StartupCase& c = GetParam();
    Rig r(c.port, c.baud);
    r.serial.reader = nullptr;
    r.line.HardwareFlow = true;  // whatever was there, the fixed values go in first
    r.line.DtrOn = false;
    r.serial.Restart(c.fail);
    r.sw.StartupOpen();
    EXPECT_EQ(r.serial.Trace(), c.trace);
    EXPECT_EQ(r.Boxes(), c.boxes);
    EXPECT_EQ(Marks(r.menu), c.marks);
    EXPECT_EQ(r.line, LineSettings{});
    EXPECT_EQ(r.saves, 0);
}

const char* const kOpenSetup2 = "open 2; ioctl 2 10 3; flowctrl 2 0; DTR 2 1; RTS 2 1; getbaud 2; timeouts 2 10";

INSTANTIATE_TEST_SUITE_P(
    All, StartupTest,
    ::testing::Values(
        StartupCase{"Com2At4800", 2, 10, {}, {}, "com21 N48001 [>>... ]", kOpenSetup2},
        StartupCase{"Com7At9600", 7, 12, {}, {}, "N21 N96001 [>>COM7]",
                    "open 7; ioctl 7 12 3; flowctrl 7 0; DTR 7 1; RTS 7 1; getbaud 7; timeouts 7 10"},
        StartupCase{"Port0AndOddCodeGoToTheLibrary", 0, 11, {}, {}, "N21 [>>COM0]",
                    "open 0; ioctl 0 11 3; flowctrl 0 0; DTR 0 1; RTS 0 1; getbaud 0; timeouts 0 10"},
        StartupCase{"OpenFailsPortSetStillRuns", 2, 10, {"open#1"}, {Err(kMsgStartupOpenFailed)},
                    "com21 N48001 [>>... ]", kOpenSetup2},
        StartupCase{"OpenAndPortSetFailClose", 2, 10, {"open#1", "ioctl#1"},
                    {Err(kMsgStartupOpenFailed), Err(kMsgLineModeFailed)}, "com21 N48001 [>>... ]",
                    "open 2; ioctl 2 10 3; close 2"},
        StartupCase{"PortSetFailsCloses", 7, 10, {"DTR#1"}, {Err(kMsgDtrFailed)}, "N21 N48001 [>>COM7]",
                    "open 7; ioctl 7 10 3; flowctrl 7 0; DTR 7 1; close 7"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Changes. Each starts from a start-up on COM7 at 4800 with hardware
// flow switched on afterwards: the traces show where a fallback gives the
// line its fixed values again ("flowctrl 0" and RTS back).

struct ChangeCase {
    const char* name;
    int32_t value;  // the new port or baud code
    std::set<std::string> fail;
    bool ok;
    std::vector<std::string> boxes;
    int32_t port, baud;  // afterwards
    const char* marks;
    const char* trace;
};

const char* const kStart = "N21 N48001 [>>COM7]";

void RunChange(const ChangeCase& c, bool baudChange, std::optional<int32_t> chooserBaud = std::nullopt) {
    Rig r(7, 10);
    r.sw.StartupOpen();
    r.line.HardwareFlow = true;
    r.boxes.shown.clear();
    r.serial.Restart(c.fail);
    const PortChange ch = baudChange ? r.sw.ChangeBaud(c.value) : r.sw.ChangePort(c.value, chooserBaud);
    const bool ok = ch.ok;
    EXPECT_EQ(ok, c.ok);
    EXPECT_EQ(r.serial.Trace(), c.trace);
    EXPECT_EQ(r.Boxes(), c.boxes);
    EXPECT_EQ(r.settings.PortNumber, c.port);
    EXPECT_EQ(r.settings.BaudCode, c.baud);
    EXPECT_EQ(Marks(r.menu), c.marks);
    EXPECT_EQ(r.saves, c.ok ? 1 : 0);
    EXPECT_EQ(r.savesHeld, 0);
    // One pause, one resume, never one too many, and no port call unheld.
    EXPECT_EQ(r.reader.pauses, 1);
    EXPECT_EQ(r.reader.depth, 0);
    EXPECT_EQ(r.reader.low, 0);
    EXPECT_EQ(r.serial.unheld, 0);
}

void PrintTo(const ChangeCase& c, std::ostream* os) { PrintCase(c, os); }

class PortChangeTest : public ::testing::TestWithParam<ChangeCase> {};
TEST_P(PortChangeTest, FallsBackMarksAndSaves) { RunChange(GetParam(), false); }

INSTANTIATE_TEST_SUITE_P(
    All, PortChangeTest,
    ::testing::Values(
        ChangeCase{"ToCom3", 3, {}, true, {}, 3, 10, "com31 N48001 [>>COM7]",
                   "close 7; flush 7 0; open 3; ioctl 3 10 3; flowctrl 3 3; DTR 3 1; getbaud 3; timeouts 3 10"},
        ChangeCase{"SamePortRunsItAll", 7, {}, true, {}, 7, 10, "N21 N48001 [>>com7]",
                   "close 7; flush 7 0; open 7; ioctl 7 10 3; flowctrl 7 3; DTR 7 1; getbaud 7; timeouts 7 10"},
        ChangeCase{"NewFailsOldReopens", 3, {"open#1"}, true, {Msg(kMsgNewPortFailed)}, 7, 10,
                   "N21 N48001 [>>com7]",
                   "close 7; flush 7 0; open 3; close 3; open 7; ioctl 7 10 3; flowctrl 7 0; DTR 7 1; RTS 7 1; "
                   "getbaud 7; timeouts 7 10"},
        ChangeCase{"NewAndOldFail", 3, {"open#1", "open#2"}, false,
                   {Msg(kMsgNewPortFailed), Msg(kMsgFallbackFailed)}, 7, 10, kStart,
                   "close 7; flush 7 0; open 3; close 3; open 7"},
        ChangeCase{"PortSetFails", 3, {"ioctl#1"}, false,
                   {Err(kMsgLineModeFailed), Msg(kMsgPortSetAfterPortChange)}, 7, 10, kStart,
                   "close 7; flush 7 0; open 3; ioctl 3 10 3; close 3"},
        ChangeCase{"OldReopensPortSetFails", 3, {"open#1", "RTS#1"}, false,
                   {Msg(kMsgNewPortFailed), Err(kMsgRtsFailed), Msg(kMsgPortSetAfterPortChange)}, 7, 10, kStart,
                   "close 7; flush 7 0; open 3; close 3; open 7; ioctl 7 10 3; flowctrl 7 0; DTR 7 1; RTS 7 1; "
                   "close 7"}),
    [](const auto& info) { return std::string(info.param.name); });

// The chooser's fallback reopens the previous port at 9600 and marks "9600",
// which the line then runs at and the file stores; when that open fails too,
// the code stays 12, and "9600" is marked all the same: a later change saves
// that code.
TEST(PortChange, ChooserFallbackTakesItsBaudCode) {
    RunChange({"", 12, {"open#1"}, true, {Msg(kMsgNewPortFailed)}, 7, 12, "N21 N96001 [>>com7]",
               "close 7; flush 7 0; open 12; close 12; open 7; ioctl 7 12 3; flowctrl 7 0; DTR 7 1; RTS 7 1; "
               "getbaud 7; timeouts 7 10"},
              false, 12);
    RunChange({"", 12, {"open#1", "open#2"}, false, {Msg(kMsgNewPortFailed), Msg(kMsgFallbackFailed)}, 7, 12,
               "N21 N96001 [>>COM7]", "close 7; flush 7 0; open 12; close 12; open 7"},
              false, 12);
}

class BaudChangeTest : public ::testing::TestWithParam<ChangeCase> {};
TEST_P(BaudChangeTest, FallsBackMarksAndSaves) { RunChange(GetParam(), true); }

INSTANTIATE_TEST_SUITE_P(
    All, BaudChangeTest,
    ::testing::Values(
        ChangeCase{"To9600", 12, {}, true, {}, 7, 12, "N21 N96001 [>>COM7]",
                   "close 7; flush 7 0; open 7; ioctl 7 12 3; flowctrl 7 3; DTR 7 1; getbaud 7; timeouts 7 10"},
        ChangeCase{"Same4800RunsItAll", 10, {}, true, {}, 7, 10, kStart,
                   "close 7; flush 7 0; open 7; ioctl 7 10 3; flowctrl 7 3; DTR 7 1; getbaud 7; timeouts 7 10"},
        ChangeCase{"OpenFailsOldCodeReopens", 12, {"open#1"}, true, {Msg(kMsgNewBaudFailed)}, 7, 10, kStart,
                   "close 7; flush 7 0; open 7; close 7; open 7; ioctl 7 10 3; flowctrl 7 0; DTR 7 1; RTS 7 1; "
                   "getbaud 7; timeouts 7 10"},
        ChangeCase{"BothOpensFail", 12, {"open#1", "open#2"}, false,
                   {Msg(kMsgNewBaudFailed), Msg(kMsgFallbackFailed)}, 7, 10, kStart,
                   "close 7; flush 7 0; open 7; close 7; open 7"},
        ChangeCase{"PortSetFails", 12, {"flowctrl#1"}, false,
                   {Err(kMsgFlowFailed), Msg(kMsgPortSetAfterBaudChange)}, 7, 10, kStart,
                   "close 7; flush 7 0; open 7; ioctl 7 12 3; flowctrl 7 3; close 7"},
        ChangeCase{"OldCodeReopensPortSetFails", 12, {"open#1", "DTR#1"}, false,
                   {Msg(kMsgNewBaudFailed), Err(kMsgDtrFailed), Msg(kMsgPortSetAfterBaudChange)}, 7, 10, kStart,
                   "close 7; flush 7 0; open 7; close 7; open 7; ioctl 7 10 3; flowctrl 7 0; DTR 7 1; close 7"}),
    [](const auto& info) { return std::string(info.param.name); });

// A failed save is the caller's to show (after every pause has ended); no
// reader and no menu at all is fine.
TEST(PortSwitcher, SaveFailureIsReturnedAndNeitherReaderNorMenuIsNeeded) {
    Rig r(1, 10);
    PortSwitcher bare{r.serial, r.settings, r.line, r.boxes, nullptr, nullptr, [&] { return r.saveResult; }};
    bare.StartupOpen();
    r.saveResult = Status::Fail("disk full");
    EXPECT_EQ(bare.ChangePort(3).saved.error, "disk full");
    EXPECT_TRUE(bare.ChangeBaud(12).ok);
    EXPECT_EQ(r.settings.PortNumber, 3);
    EXPECT_EQ(r.settings.BaudCode, 12);
    EXPECT_EQ(Marks(r.menu), "[>>... ]");
    EXPECT_TRUE(r.boxes.shown.empty());
}

}  // namespace
}  // namespace tkw::test
