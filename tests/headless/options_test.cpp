// The headless programs' command line: one table parses and documents it, so
// what --help lists is what the parser takes, on each system.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "headless/options.h"

namespace tkw {
namespace {

struct ParseCase {
    const char* name;
    HeadlessSystem system;
    std::vector<std::string> args;
    Command command;
    const char* error;  // part of the error; null when the line is good
};

class HeadlessOptionsParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(HeadlessOptionsParse, TakesOrRefusesTheLine) {
    const ParseCase& c = GetParam();
    const ParsedOptions r = ParseOptions(c.args, c.system);
    if (c.error) {
        EXPECT_NE(r.error.find(c.error), std::string::npos) << r.error;
    } else {
        EXPECT_TRUE(r.ok()) << r.error;
        EXPECT_EQ(r.options.command, c.command);
    }
}

const ParseCase kCases[] = {
    {"PlainRun", kLinux, {}, Command::Run, nullptr},
    {"SetCollectsUpToTheNextOption", kLinux, {"--set", "port=2", "jump=5", "--show-settings"}, Command::SetSettings, nullptr},
    {"ListPortsOutranksSettings", kLinux, {"--show-settings", "--list-ports"}, Command::ListPorts, nullptr},
    {"HelpOutranksEverything", kWindows, {"--version", "-h", "--list-ports"}, Command::Help, nullptr},
    {"SetWithoutValue", kLinux, {"--set", "--monitor"}, Command::Run, "--set needs NAME=VALUE"},
    {"MapWithoutValue", kLinux, {"--map"}, Command::Run, "--map needs COMn=PATH"},
    {"MapOutOfRange", kLinux, {"--map=COM0=/dev/x"}, Command::Run, "n from 1 to 255"},
    {"SwitchWithValue", kLinux, {"--dry-run=yes"}, Command::Run, "--dry-run takes no value"},
    {"Unknown", kLinux, {"--fast"}, Command::Run, "unknown option '--fast'"},
    {"NoMapOnWindows", kWindows, {"--map", "COM1=x"}, Command::Run, "unknown option '--map'"},
    {"NoChronyOnWindows", kWindows, {"--chrony-sock", "/x"}, Command::Run, "unknown option"},
    {"NoVerbsOnLinux", kLinux, {"install"}, Command::Run, "unknown option 'install'"},
    {"Install", kWindows, {"install", "--dir", "D:\\TKW", "--no-step"}, Command::Install, nullptr},
    {"InstallTakesRunOptionsOnly", kWindows, {"install", "--set", "port=3"}, Command::Run, "--set does not go with install"},
    {"UninstallTakesNoOptions", kWindows, {"uninstall", "--dir", "x"}, Command::Run, "uninstall takes no options"},
    {"DetectAllPorts", kWindows, {"--detect", "--save"}, Command::Detect, nullptr},
    {"DetectTakesPortNamesOnly", kLinux, {"--detect", "/dev/ttyUSB0"}, Command::Run, "--detect takes port names"},
    {"SaveGoesWithDetect", kLinux, {"--save", "--show-settings"}, Command::Run, "--save goes with --detect"},
    {"Calibrate", kWindows, {"--calibrate", "com2", "--seconds", "86400", "--save", "--trust-clock"}, Command::Calibrate,
     nullptr},
    {"CalibrateTakesOnePort", kLinux, {"--calibrate", "COM1", "COM2"}, Command::Run, "--calibrate takes one port name"},
    {"CalibrateSecondsBounded", kLinux, {"--calibrate", "--seconds", "9"}, Command::Run, "--seconds takes 10 to 86400"},
    {"TrustClockGoesWithCalibrate", kLinux, {"--detect", "--trust-clock"}, Command::Run,
     "--trust-clock goes with --calibrate"},
    {"ResetAmongSetsValues", kLinux, {"--set", "--reset", "port=2", "--dry-run"}, Command::SetSettings, nullptr},
    {"ResetAfterSet", kWindows, {"--set", "port=2", "--reset"}, Command::SetSettings, nullptr},
    {"ResetAlone", kLinux, {"--reset"}, Command::Run, "--reset goes with --set"},
    {"ResetWithoutAChange", kLinux, {"--show-settings", "--reset"}, Command::Run, "--reset goes with --set"},
    {"ResetWithDetect", kLinux, {"--detect", "--save", "--reset"}, Command::Run, "--reset goes with --set"},
    {"SetResetWithoutValue", kLinux, {"--set", "--reset"}, Command::Run, "--set needs NAME=VALUE"},
    {"ServiceStart", kWindows, {"service", "--dir", "C:\\ProgramData\\TKW", "--comm-log"}, Command::Service, nullptr},
};
INSTANTIATE_TEST_SUITE_P(Lines, HeadlessOptionsParse, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(HeadlessOptions, ValuesLandInTheStructAndRunOptionsAreKeptForTheService) {
    const ParsedOptions r = ParseOptions(
        {"install", "--dir=C:\\TKW", "--monitor", "--poll-reads", "--no-step", "--dry-run", "--comm-log"}, kWindows);
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.options.dir, "C:\\TKW");
    // What install registers for the service parses back to the same run.
    std::vector<std::string> service{"service"};
    service.insert(service.end(), r.options.runArgs.begin(), r.options.runArgs.end());
    const ParsedOptions back = ParseOptions(service, kWindows);
    ASSERT_TRUE(back.ok()) << back.error;
    for (const ParsedOptions* p : {&r, &back}) {
        EXPECT_TRUE(p->options.monitor && p->options.pollReads && p->options.noStep && p->options.dryRun &&
                    p->options.commLog);
    }
    EXPECT_TRUE(back.options.dir.empty()) << "install passes the directory itself";

    const ParsedOptions linux = ParseOptions({"--map", "COM3=/dev/ttyUSB0", "--map=com4=/dev/pts/7",
                                              "--chrony-sock", "/run/chrony.tkw.sock", "--set", "port=3"},
                                             kLinux);
    ASSERT_TRUE(linux.ok()) << linux.error;
    ASSERT_EQ(linux.options.maps.size(), 2u);
    EXPECT_EQ(linux.options.maps[1].port, 4);
    EXPECT_EQ(linux.options.maps[1].path, "/dev/pts/7");
    EXPECT_EQ(linux.options.chronySock, "/run/chrony.tkw.sock");
    EXPECT_EQ(linux.options.sets, std::vector<std::string>{"port=3"});
    EXPECT_FALSE(linux.options.reset);
    const ParsedOptions reset = ParseOptions({"--set", "--reset", "port=3", "fine=5"}, kLinux);
    EXPECT_TRUE(reset.options.reset);
    EXPECT_EQ(reset.options.sets, (std::vector<std::string>{"port=3", "fine=5"}));

    const ParsedOptions detect = ParseOptions({"--detect", "COM3", "com12", "3", "--save"}, kLinux);
    ASSERT_TRUE(detect.ok()) << detect.error;
    EXPECT_EQ(detect.options.detectPorts, (std::vector<int32_t>{3, 12}));
    EXPECT_TRUE(detect.options.save);
}

// Every row of a system is in its --help, with its first help line, and is
// taken by its parser; an option of the other system alone is neither.
TEST(HeadlessOptions, HelpListsExactlyWhatTheParserTakes) {
    for (const HeadlessSystem system : {kLinux, kWindows}) {
        SCOPED_TRACE(system == kLinux ? "Linux" : "Windows");
        const std::string help = HelpText(system, "prog");
        for (const OptionRow& row : OptionTable()) {
            bool named = false;  // by this row or another of the system (--no-step has one each)
            for (const OptionRow& other : OptionTable())
                named = named || (std::string(other.name) == row.name && (other.systems & system));
            const std::string name = std::string("\n  ") + row.name + (row.argument ? " " : "");
            EXPECT_EQ(help.find(name) != std::string::npos, named) << row.name;
            const std::string text = row.help;
            if (row.systems & system) {
                EXPECT_NE(help.find(text.substr(0, text.find('\n'))), std::string::npos) << row.name;
            }

            std::vector<std::string> args{row.name};
            if (row.argument) args.push_back(std::string(row.name) == "--map" ? "COM1=/dev/x" : "x");
            EXPECT_EQ(ParseOptions(args, system).error.find("unknown option") == std::string::npos, named)
                << row.name;
        }
    }
    // The control code the service takes is the one its --help gives for sc.
    EXPECT_NE(HelpText(kWindows, "tkw-service").find("sc control TKW " + std::to_string(kCorrectNowControl)),
              std::string::npos);
}

}  // namespace
}  // namespace tkw
