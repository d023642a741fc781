// Which port's find `--detect --save` stores: the one time code found, never
// a guess between two.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "headless/detect_command.h"

namespace tkw {
namespace {

PortDetection Port(int32_t port, DetectOutcome outcome, uint8_t code = 1, int score = 2, int64_t unexplained = 0) {
    PortDetection p;
    p.port = port;
    p.verdict.outcome = outcome;
    if (outcome == DetectOutcome::Found || outcome == DetectOutcome::Tie) {
        p.verdict.code = code;
        p.verdict.baud = 4800;
        p.verdict.frames = score + 1;
        p.verdict.score = score;
        p.verdict.unexplained = unexplained;
        p.verdict.rivalCode = outcome == DetectOutcome::Tie ? 3 : 0;
        p.verdict.rivalBaud = outcome == DetectOutcome::Tie ? 9600 : 0;
    }
    return p;
}

TEST(DetectSave, StoresOnlyTheOneTimeCodeFound) {
    const auto busy = [] {
        PortDetection p = Port(4, DetectOutcome::Nothing);
        p.failure = "in use by another program";
        return p;
    }();
    const struct {
        const char* name;
        std::vector<PortDetection> ports;
        int chosen;
        const char* why;  // part of the refusal
    } cases[] = {
        {"one receiver among silence, bytes and a busy port",
         {Port(1, DetectOutcome::Nothing), Port(2, DetectOutcome::NoTimeCode), busy, Port(3, DetectOutcome::Found)},
         3, nullptr},
        {"two formats fit one port equally", {Port(1, DetectOutcome::Tie), Port(2, DetectOutcome::NoTimeCode)}, -1,
         "on COM1 KRW_CODE at 4800 bit/s and MN_CODE at 9600 bit/s fit equally"},
        // Even when one line is cleaner, or was heard longer.
        {"two ports with a time code",
         {Port(1, DetectOutcome::Found, 1, 2, 5), Port(2, DetectOutcome::NoTimeCode),
          Port(3, DetectOutcome::Found, 2, 3, 0)},
         -1, "time codes on COM1 and COM3: name the one to store (tkw-service --detect COM1 --save)"},
        {"nothing found", {Port(1, DetectOutcome::NoTimeCode), busy}, -1, "no time code was found"},
    };
    HeadlessProgram program;
    program.system = kWindows;  // port names without their devices
    program.name = "tkw-service";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string why;
        EXPECT_EQ(ChooseToSave(c.ports, program, why), c.chosen);
        if (c.why) {
            EXPECT_NE(why.find(c.why), std::string::npos) << why;
        }
    }
}

}  // namespace
}  // namespace tkw
