// The date-named logs: file names, the exact bytes of each entry, appending,
// and what happens when the day's file cannot be opened or written.
#include <gtest/gtest.h>

#include <functional>

#include "logs/log_writer.h"
#include "support/fakes.h"
#include "support/faulty_fs.h"

namespace tkw::test {
namespace {

TEST(LogFileName, SixDigitDateAndSuffixByFlag) {
    struct Case {
        SystemTime date;
        int32_t flag;
        const char* name;
    } cases[] = {
        {At(2009, 1, 5), 1, "090105S.txt"},  {At(2009, 1, 5), 0, "090105C.txt"},
        {At(2015, 12, 31), 1, "151231S.txt"}, {At(2008, 4, 1), 0, "080401C.txt"},
        {At(2000, 2, 29), -1, "000229S.txt"}, {At(2100, 10, 10), 2, "001010S.txt"},
    };
    for (const Case& c : cases) EXPECT_EQ(LogFileName(c.date, c.flag), c.name);
}

class LogWriterTest : public ::testing::Test {
protected:
    TempDir dir;
    FakeClock clock{At(2008, 4, 1, 9, 5, 7, 400)};
    RecordingBoxes boxes;

    void ExpectOneWarning() {
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].kind, BoxKind::Warning);
        EXPECT_EQ(boxes.shown[0].caption, "Warning");
        EXPECT_EQ(boxes.shown[0].text, "File access error");
        boxes.shown.clear();
    }
};

TEST_F(LogWriterTest, EntriesAreLineBreakHeaderAndTextWithNoTrailingBreak) {
    LogWriter log(RealFileSystem(), clock, boxes, dir.str());
    log.savelogline(1, "时间跳动 12s");
    clock.Advance(1000);
    log.savelogline(1, "");
    log.savelogline(0, " AA 00 08 04 01 02 09 05 08");

    EXPECT_EQ(ReadFile(dir / "080401S.txt"),
              "\r\n 2008-04-01 09:05:07 ------时间跳动 12s"
              "\r\n 2008-04-01 09:05:08 ------");
    EXPECT_EQ(ReadFile(dir / "080401C.txt"), "\r\n 2008-04-01 09:05:08 ------ AA 00 08 04 01 02 09 05 08");
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"080401C.txt", "080401S.txt"}));
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(LogWriterTest, ExistingFileIsAppendedToNeverTruncated) {
    WriteFile(dir / "080401C.txt", "written by hand\r\n");
    LogWriter log(RealFileSystem(), clock, boxes, dir.str());
    log.savelogline(0, "x");
    EXPECT_EQ(ReadFile(dir / "080401C.txt"), "written by hand\r\n\r\n 2008-04-01 09:05:07 ------x");
}

TEST_F(LogWriterTest, NewDayStartsNewFile) {
    LogWriter log(RealFileSystem(), clock, boxes, dir.str());
    clock.Set(At(2015, 12, 31, 23, 59, 59, 0));
    log.savelogline(1, "a");
    clock.Advance(1000);
    log.savelogline(1, "b");
    EXPECT_EQ(ReadFile(dir / "151231S.txt"), "\r\n 2015-12-31 23:59:59 ------a");
    EXPECT_EQ(ReadFile(dir / "160101S.txt"), "\r\n 2016-01-01 00:00:00 ------b");
}

TEST_F(LogWriterTest, HeaderTimeIsReadAfterTheFileIsChosen) {
    // The clock moves on a millisecond at every reading: the name comes from
    // the last instant of the day, the header from the next day.
    clock.Set(At(2008, 4, 1, 23, 59, 59, 999));
    clock.stepMs = 1;
    LogWriter log(RealFileSystem(), clock, boxes, dir.str());
    log.savelogline(1, "edge");
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"080401S.txt"});
    EXPECT_EQ(ReadFile(dir / "080401S.txt"), "\r\n 2008-04-02 00:00:00 ------edge");
}

TEST_F(LogWriterTest, NameTakenByADirectoryWarnsEveryTimeAndWritesNothing) {
    std::filesystem::create_directory(dir / "080401S.txt");
    LogWriter log(RealFileSystem(), clock, boxes, dir.str());
    log.savelogline(1, "lost");
    ExpectOneWarning();
    log.savelogline(1, "lost too");
    ExpectOneWarning();
    EXPECT_TRUE(std::filesystem::is_empty(dir / "080401S.txt"));

    // The communication log of the same day is not affected, and once the
    // obstacle is gone the next entry gets through.
    log.savelogline(0, "ok");
    EXPECT_TRUE(boxes.shown.empty());
    std::filesystem::remove(dir / "080401S.txt");
    log.savelogline(1, "back");
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(ReadFile(dir / "080401S.txt"), "\r\n 2008-04-01 09:05:07 ------back");
}

TEST_F(LogWriterTest, MissingDirectoryWarns) {
    LogWriter log(RealFileSystem(), clock, boxes, dir / "no-such-dir");
    log.savelogline(0, "x");
    ExpectOneWarning();
    EXPECT_TRUE(dir.Names().empty());
}

TEST_F(LogWriterTest, FailureAtAnyStepWarnsOnceAndTheNextEntryIsWhole) {
    for (FsOp op : {FsOp::Open, FsOp::Write, FsOp::Sync, FsOp::Close}) {
        SCOPED_TRACE(OpName(op));
        TempDir here;
        FaultyFileSystem fs(op, 1);
        LogWriter log(fs, clock, boxes, here.str());
        log.savelogline(1, "first");
        ASSERT_TRUE(fs.tripped());
        ExpectOneWarning();
        const std::string after = ReadFile(here / "080401S.txt");
        if (op == FsOp::Open || op == FsOp::Write) {
            EXPECT_EQ(after, "");
        }

        log.savelogline(1, "second");
        EXPECT_TRUE(boxes.shown.empty());
        EXPECT_EQ(ReadFile(here / "080401S.txt"), after + "\r\n 2008-04-01 09:05:07 ------second");
    }
}

// A disk that fills up: three entries in a row fail, each after writing half
// of itself. The file keeps whole entries only; the desktop program shows
// the box for each failed entry, the Linux program says it once and once
// when the log is written again.
TEST_F(LogWriterTest, AFullDiskLeavesWholeEntriesAndIsSaidOnceOrEveryTime) {
    for (const bool every : {true, false}) {
        SCOPED_TRACE(every ? "box every failure" : "said once");
        TempDir here;
        FaultyFileSystem fs(FsOp::Write, 2, 3, /*torn=*/true);
        LogWriter log(fs, clock, boxes, here.str());
        log.BoxEveryFailure = every;
        int failures = 0;
        std::vector<std::string> recovered;
        log.OnFailure = [&](const std::string&, const std::string&) { ++failures; };
        log.OnRecovered = [&](const std::string& path) { recovered.push_back(path); };
        for (const char* text : {"one", "two", "three", "four", "five", "six"}) log.savelogline(1, text);

        EXPECT_EQ(ReadFile(here / "080401S.txt"),
                  "\r\n 2008-04-01 09:05:07 ------one"
                  "\r\n 2008-04-01 09:05:07 ------five"
                  "\r\n 2008-04-01 09:05:07 ------six");
        EXPECT_EQ(boxes.shown.size(), every ? 3u : 1u);
        EXPECT_EQ(failures, every ? 3 : 1);
        EXPECT_EQ(recovered, std::vector<std::string>{here / "080401S.txt"});
        boxes.shown.clear();
    }
}

// The desktop program's box is modal: while it is open the program goes on
// serving the port, and an entry for the same log may fail again then. No
// second box is stacked on the first; another log's failure is its own box.
TEST_F(LogWriterTest, NoSecondBoxWhileOneIsOpenForTheSameLog) {
    std::filesystem::create_directory(dir / "080401S.txt");
    std::filesystem::create_directory(dir / "080401C.txt");
    struct ReenteringBoxes final : MessageBoxes {
        std::function<void()> whileOpen;
        int shown = 0, depth = 0;
        void Show(BoxKind, const std::string&, const std::string&) override {
            ++shown;
            if (depth++ == 0 && whileOpen) whileOpen();
            --depth;
        }
    } modal;
    LogWriter log(RealFileSystem(), clock, modal, dir.str());
    modal.whileOpen = [&] {
        log.savelogline(1, "again");
        log.savelogline(1, "and again");
    };
    log.savelogline(1, "first");
    EXPECT_EQ(modal.shown, 1);
    modal.whileOpen = [&] { log.savelogline(0, "the other log"); };
    log.savelogline(1, "second");
    EXPECT_EQ(modal.shown, 3);
}

}  // namespace
}  // namespace tkw::test
