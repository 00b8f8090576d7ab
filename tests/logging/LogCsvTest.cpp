// A log file exported as CSV, against a CSV written by hand.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "LogTestSupport.h"
#include "logging/LogCsv.h"

namespace halvern {
namespace {

class LogCsv : public testing::LogTest {
  protected:
    // Each kind of record and of broken line, the last line without its line end.
    void SetUp() override {
        LogTest::SetUp();
        std::string log = CycleRecordLine(par, testing::At(14, 3, 27));
        Par cold = par;
        cold.StatusParts = {"S", "S", "U", "90"};
        cold.ChannelValues[4] = -5;
        cold.ChannelValues[12] = 1234;
        log += CycleRecordLine(cold, testing::At(14, 3, 28));
        log += DisconnectionRecordLine("DDD", testing::At(9, 5, 3));
        log += "NNN0    05/12/26  14:0\r\n";  // cut
        log += "\r\n";
        log += std::string("\x01\x02\0\xff\xfe", 5) + "\r\n";
        Par odd = par;  // status characters a spreadsheet must not take as separators
        odd.StatusParts = {"A", ",", "\"", "7"};
        log += CycleRecordLine(odd, testing::At(14, 4, 0));
        Par latin = par;
        latin.StatusParts = {"N", "\xe9", "N", "0"};
        log += CycleRecordLine(latin, {1999, 12, 31, 23, 59, 59});
        log +=
            "NNN0    31/02/26  14:03:27 " + CycleRecordLine(par, testing::At(0, 0, 0)).substr(27);
        log += "DDD     06/12/26  0:0:0";
        Write("4711.txt", log);
    }
};

const char* const kExpected[] = {
    "Line,Date,Time,Status,Temperature,Gain,Signal 1,Reference,Signal 2,Ratio 1,Ratio 2,"
    "NQ ratio 1,NQ ratio 2,Gas reading",
    "1,2026-12-05,14:03:27,NNN0,23,3,4.12,3.98,4.05,1.03,0.98,0.47,2.55,0",
    "2,2026-12-05,14:03:28,SSU90,-5,3,4.12,3.98,4.05,1.03,0.98,0.47,2.55,1234",
    "3,2026-12-05,09:05:03,DDD,,,,,,,,,,",
    "7,2026-12-05,14:04:00,\"A,\"\"7\",23,3,4.12,3.98,4.05,1.03,0.98,0.47,2.55,0",
    "8,1999-12-31,23:59:59,N\xc3\xa9N0,23,3,4.12,3.98,4.05,1.03,0.98,0.47,2.55,0",
    "10,2026-12-06,00:00:00,DDD,,,,,,,,,,",
};

TEST_F(LogCsv, WholeFileMatchesTheHandMadeCsvAndCountsTheSkippedLines) {
    std::string expected;
    for (const char* line : kExpected)
        expected += std::string(line) + "\r\n";
    const CsvExportResult r = ExportLogCsv(PathOf("4711.txt"), PathOf("4711.csv"));
    ASSERT_TRUE(r.Ok) << r.Error;
    EXPECT_EQ(Read("4711.csv"), expected);
    EXPECT_EQ(r.Counts.Lines, 10);
    EXPECT_EQ(r.Counts.CycleRecords, 4);
    EXPECT_EQ(r.Counts.DisconnectionRecords, 2);
    EXPECT_EQ(r.Counts.Skipped, 4);
}

// Nothing is lost when the export fails: the log stays, a CSV there before stays whole, and
// the message names the file and the reason.
TEST_F(LogCsv, ATargetThatCannotBeWrittenLeavesEverythingAsItWas) {
    const std::string log = Read("4711.txt");
    Write("old.csv", "kept\r\n");
    Write("plain", "a file, not a folder");
    const struct {
        std::string target;
        const char* says;
    } cases[] = {
        {PathOf("plain") + "/4711.csv", "Cannot write "},
        {PathOf("no such folder") + "/4711.csv", "Cannot write "},
        {PathOf("4711.txt"), "is the log file itself"},
        {PathOf(".") + "/4711.txt", "is the log file itself"},
    };
    for (const auto& c : cases) {
        const CsvExportResult r = ExportLogCsv(PathOf("4711.txt"), c.target);
        EXPECT_FALSE(r.Ok) << c.target;
        EXPECT_NE(r.Error.find(c.says), std::string::npos) << r.Error;
        EXPECT_NE(r.Error.find(c.target), std::string::npos) << r.Error;
    }
    EXPECT_EQ(Read("4711.txt"), log);

    const CsvExportResult missing = ExportLogCsv(PathOf("13.txt"), PathOf("old.csv"));
    EXPECT_FALSE(missing.Ok);
    EXPECT_NE(missing.Error.find("Cannot read the log file"), std::string::npos);
    EXPECT_EQ(Read("old.csv"), "kept\r\n");
}

// Cancelled after its first chunk, the export leaves no CSV and no file of its own: a file
// there before stays as it was.
TEST_F(LogCsv, ACancelledExportLeavesNoCsvAndTheOldFileAsItWas) {
    std::string big;
    while (big.size() < 600'000)
        big += CycleRecordLine(par, testing::At(14, 3, 27));
    Write("big.txt", big);
    Write("old.csv", "kept\r\n");
    for (const char* target : {"new.csv", "old.csv"}) {
        LogReadControl control;
        control.OnProgress = [&] { control.Cancel = true; };
        const CsvExportResult r = ExportLogCsv(PathOf("big.txt"), PathOf(target), &control);
        EXPECT_FALSE(r.Ok) << target;
        EXPECT_TRUE(r.Cancelled) << target;
        EXPECT_EQ(control.Total, static_cast<std::int64_t>(big.size()));
    }
    EXPECT_EQ(Read("old.csv"), "kept\r\n");
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(Folder()))
        files.push_back(entry.path().filename().string());
    std::ranges::sort(files);
    EXPECT_EQ(files, (std::vector<std::string>{"4711.txt", "big.txt", "old.csv"}));
}

}  // namespace
}  // namespace halvern
