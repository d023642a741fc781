// The Windows service's portable parts: the command line install registers,
// whether the Windows Time service competes for the clock, and the daily log
// that stands in for a console.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "headless/command_line.h"
#include "headless/daily_log.h"
#include "engine/time_service_check.h"
#include "support/fakes.h"
#include "support/faulty_fs.h"

namespace tkw {
namespace {

// What the C runtime splits back into the same arguments.
TEST(ServiceCommandLine, QuotesWhatTheRuntimeWouldSplitOrEscape) {
    const std::pair<std::string, std::string> cases[] = {
        {"--comm-log", "--comm-log"},
        {"C:\\TKW data", "\"C:\\TKW data\""},
        {"C:\\TKW data\\", "\"C:\\TKW data\\\\\""},  // the closing quote is not escaped
        {"a\\\"b", "\"a\\\\\\\"b\""},                 // backslashes before a quote doubled, the quote escaped
        {"a\\b c", "\"a\\b c\""},                    // other backslashes stay as they are
        {"", "\"\""},
    };
    for (const auto& [arg, quoted] : cases) EXPECT_EQ(QuoteWindowsArgument(arg), quoted) << arg;
    EXPECT_EQ(WindowsCommandLine({"C:\\Program Files\\TKW\\tkw-service.exe", "service", "--dir", "C:\\ProgramData\\TKW"}),
              "\"C:\\Program Files\\TKW\\tkw-service.exe\" service --dir C:\\ProgramData\\TKW");
}

TEST(WindowsTimeCheck, CompetesWhenItRunsOrStartsAndSynchronises) {
    struct Case {
        bool installed, running, automatic, typeRead;
        const char* type;
        bool competes;
    };
    const Case cases[] = {
        {true, true, false, true, "NTP", true},
        {true, false, true, true, "NT5DS", true},
        {true, false, true, false, "", true},  // no Type: the default synchronises
        {true, true, true, true, "NoSync", false},
        {true, true, true, true, "nosync", false},
        {true, false, false, true, "NTP", false},  // manual and stopped
        {false, false, false, true, "NTP", false},
    };
    for (const Case& c : cases) {
        WindowsTimeService s;
        s.installed = c.installed;
        s.running = c.running;
        s.automatic = c.automatic;
        s.typeRead = c.typeRead;
        s.type = c.type;
        EXPECT_EQ(TimeServiceSetsTheClock(s), c.competes) << c.running << c.automatic << " " << c.type;
    }
}

TEST(ServiceDailyLog, OneFileADayEachLineStampedAndAFailureGoesToTheFallback) {
    test::TempDir dir;
    test::FakeClock clock(test::At(2026, 12, 31, 23, 59, 59));
    std::vector<std::string> fellBack;
    test::FaultyFileSystem fs(test::FsOp::Write, 3);
    DailyLogConsole log(fs, clock, [&](const std::string& line) { fellBack.push_back(line); }, dir.str());
    log.Out("STATUS green ok");
    clock.Advance(1000);
    log.Err("tkw-service: COM1 is gone");
    log.Err("lost?");  // the third write fails
    EXPECT_EQ(test::ReadFile(dir / "service-261231.txt"), "2026-12-31 23:59:59 STATUS green ok\r\n");
    EXPECT_EQ(test::ReadFile(dir / "service-270101.txt"), "2027-01-01 00:00:00 tkw-service: COM1 is gone\r\n");
    ASSERT_EQ(fellBack.size(), 1u);
    EXPECT_EQ(fellBack[0].rfind("lost? (", 0), 0u) << fellBack[0];
    EXPECT_NE(fellBack[0].find("injected Write failure"), std::string::npos) << fellBack[0];
}

}  // namespace
}  // namespace tkw
