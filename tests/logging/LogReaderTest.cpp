// Log files read back whole as records: one line at a time by the record format, in chunks,
// with the lines that are no record counted.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <ostream>
#include <vector>

#include "LogTestSupport.h"
#include "logging/LogCsv.h"
#include "logging/LogReader.h"
#include "logging/LogViewer.h"
#include "support/Guarded.h"

namespace halvern {
namespace {

std::string Cycle(const LocalDateTime& at, Par par = testing::Detector4711()) {
    std::string line = CycleRecordLine(par, at);
    return line.substr(0, line.size() - 2);
}

std::string Disconnection(const LocalDateTime& at) {
    std::string line = DisconnectionRecordLine("DDD", at);
    return line.substr(0, line.size() - 2);
}

struct LineCase {
    const char* name;
    std::string line;
    bool record;
    LocalDateTime when{};
};

void PrintTo(const LineCase& c, std::ostream* os) {
    *os << c.name;
}

class ParseLogRecordLines : public ::testing::TestWithParam<LineCase> {};

TEST_P(ParseLogRecordLines, AreRecordsOnlyWhenEveryFieldIsWhereAndWhatTheWriterPutsThere) {
    const LineCase& c = GetParam();
    const auto r = ParseLogRecord(c.line, 7);
    ASSERT_EQ(r.has_value(), c.record) << '"' << c.line << '"';
    if (!c.record)
        return;
    EXPECT_EQ(r->Line, 7);
    EXPECT_EQ(
        std::tie(r->When.year, r->When.month, r->When.day, r->When.hour, r->When.minute,
                 r->When.second),
        std::tie(c.when.year, c.when.month, c.when.day, c.when.hour, c.when.minute, c.when.second));
    EXPECT_EQ(FromSeconds(r->Seconds).second, c.when.second);
}

Par Cold() {
    Par par = testing::Detector4711();
    par.ChannelValues[4] = -12;
    par.ChannelValues[12] = 65535;
    par.StatusParts = {"S", "S", "U", "190"};
    return par;
}

// The record of a 22-byte status reply: Ratio 2, the NQ ratios and the gas reading blank.
Par Short() {
    Par par = testing::Detector4711();
    par.StatusParts = {"V", "V", "V", "81"};
    for (int slot : {6, 7, 8, 12})
        par.ChannelValues[slot] = std::numeric_limits<float>::quiet_NaN();
    return par;
}

std::string Replace(std::string line, std::size_t column, std::string_view text) {
    line.replace(column - 1, text.size(), text);
    return line;
}

const LocalDateTime kAt{2026, 12, 5, 14, 3, 27};
const std::string kLine = Cycle(kAt);

INSTANTIATE_TEST_SUITE_P(
    Table, ParseLogRecordLines,
    ::testing::Values(
        LineCase{"cycle record", kLine, true, kAt},
        LineCase{"cycle record with its sign, six-character status and five-digit gas",
                 Cycle(kAt, Cold()), true, kAt},
        LineCase{"cycle record of a short reply, its last values blank", Cycle(kAt, Short()), true,
                 kAt},
        LineCase{"disconnection record h:m:s",
                 Disconnection({2026, 12, 5, 9, 5, 3}),
                 true,
                 {2026, 12, 5, 9, 5, 3}},
        LineCase{"disconnection record hh:mm:ss",
                 "DDD     05/12/26  09:05:03",
                 true,
                 {2026, 12, 5, 9, 5, 3}},
        LineCase{"year 79 is 2079", Cycle({2079, 1, 1, 0, 0, 0}), true, {2079, 1, 1, 0, 0, 0}},
        LineCase{"year 80 is 1980", Cycle({1980, 1, 1, 0, 0, 0}), true, {1980, 1, 1, 0, 0, 0}},
        LineCase{"29 February of a leap year",
                 Cycle({2024, 2, 29, 23, 59, 59}),
                 true,
                 {2024, 2, 29, 23, 59, 59}},
        LineCase{"29 February of another year", Replace(kLine, 9, "29/02/25"), false},
        LineCase{"month 13", Replace(kLine, 9, "01/13/26"), false},
        LineCase{"day 0", Replace(kLine, 9, "00/12/26"), false},
        LineCase{"one-digit day", Replace(kLine, 9, " 5/12/26"), false},
        LineCase{"hour 24", Replace(kLine, 19, "24:00:00"), false},
        LineCase{"letters in a value", Replace(kLine, 38, "4.1x"), false},
        LineCase{"exponent in a value", Replace(kLine, 44, "3e98"), false},
        LineCase{"nan as a value", Replace(kLine, 50, "nan "), false},
        LineCase{"gain of two characters", Replace(kLine, 33, "34"), false},
        LineCase{"disconnection record with values", Disconnection(kAt) + "  23  3", false},
        LineCase{"disconnection mark other than DDD", "DDX     05/12/26  9:5:3", false},
        LineCase{"no status", Replace(kLine, 1, "    "), false},
        LineCase{"NUL bytes", std::string("NNN0\0\0\0\0", 8) + kLine.substr(8), false},
        LineCase{"empty line", "", false}));

// However a record is cut short (a write cut by a full disk, a file copied while written), the
// part left is no record, even when the cut falls in the digits of the gas reading.
TEST(ParseLogRecord, EveryCutOfACycleRecordIsNoRecord) {
    for (const Par& par : {testing::Detector4711(), Cold(), Short()}) {
        const std::string line = Cycle(kAt, par);
        for (std::size_t n = 0; n < line.size(); ++n)
            EXPECT_FALSE(ParseLogRecord(line.substr(0, n))) << n << ": " << line.substr(0, n);
        EXPECT_TRUE(ParseLogRecord(line));
    }
}

TEST(ParseLogRecord, GivesTheFieldsAsWrittenAndTheirValues) {
    const std::string line = Cycle(kAt, Cold());
    const auto r = ParseLogRecord(line);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Kind, LogRecordKind::Cycle);
    EXPECT_EQ(r->Status, "SSU190");
    EXPECT_EQ(r->Temperature, "-12");
    EXPECT_EQ(r->Gain, "3");
    EXPECT_EQ(r->Gas, "65535");
    EXPECT_EQ(r->GasValue, 65535);
    const std::array<std::string_view, kLogValueCount> texts{"4.12", "3.98", "4.05", "1.03",
                                                             "0.98", "0.47", "2.55"};
    EXPECT_EQ(r->ValueTexts, texts);
    EXPECT_DOUBLE_EQ(r->Values[Ratio1], 1.03);
    EXPECT_DOUBLE_EQ(r->Values[NqRatio2], 2.55);

    const std::string shortLine = Cycle(kAt, Short());  // the record's texts are views into it
    const auto blank = ParseLogRecord(shortLine);
    ASSERT_TRUE(blank);
    EXPECT_EQ(blank->ValueTexts[Ratio1], "1.03");
    EXPECT_EQ(blank->ValueTexts[Ratio2], "");
    EXPECT_TRUE(std::isnan(blank->Values[NqRatio2]));
    EXPECT_EQ(blank->Gas, "");
    EXPECT_TRUE(std::isnan(blank->GasValue));

    const std::string disconnection = Disconnection(kAt);
    const auto d = ParseLogRecord(disconnection);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->Kind, LogRecordKind::Disconnection);
    EXPECT_EQ(d->Status, "DDD");
    EXPECT_EQ(d->Seconds - r->Seconds, 0);
}

// Each value is the double nearest its digits, as strtod reads them, down to the sign of zero
// and past the digits a double holds exactly.
TEST(ParseLogRecord, ReadsEveryValueAsTheNearestDouble) {
    for (const char* text : {"0.00", "-0.00", "4.12", "-12.5", "65535", "0.1", "2.675", "1234.56",
                             "999999999999999.999", "9007199254740993", "123456789012345678",
                             "0.00000000000000001", "-.5", "7."}) {
        const std::string line = kLine.substr(0, RecordColumn::Gas - 1) + text + " ";
        const auto r = ParseLogRecord(line);
        ASSERT_TRUE(r) << text;
        const double expected = std::strtod(text, nullptr);
        EXPECT_EQ(r->GasValue, expected) << text;
        EXPECT_EQ(std::signbit(r->GasValue), std::signbit(expected)) << text;
    }
}

// Whatever the chunks, the lines are the same: a CR LF split between two chunks is one break.
TEST(LogLineSplitter, GivesTheSameLinesWhereverTheChunksEnd) {
    const std::string text = "ab\r\ncd\re\n\r\n" + std::string(kMaxLogLine + 3, 'x') + "\nlast";
    const auto split = [&](std::size_t at) {
        std::vector<std::pair<std::string, bool>> lines;
        LogLineSplitter splitter;
        const auto take = [&](std::string_view l, bool cut) {
            lines.emplace_back(std::string(l), cut);
            return true;
        };
        splitter.Feed(std::string_view(text).substr(0, at), take);
        splitter.Feed(std::string_view(text).substr(at), take);
        splitter.Finish(take);
        return lines;
    };
    const std::vector<std::pair<std::string, bool>> expected{{"ab", false},
                                                             {"cd", false},
                                                             {"e", false},
                                                             {"", false},
                                                             {std::string(kMaxLogLine, 'x'), true},
                                                             {"last", false}};
    for (std::size_t at = 0; at <= text.size(); ++at)
        ASSERT_EQ(split(at), expected) << "split at " << at;
}

struct FileCase {
    const char* name;
    std::string bytes;
    LogReadCounts counts;
    std::vector<std::int64_t> recordLines;
};

void PrintTo(const FileCase& c, std::ostream* os) {
    *os << c.name;
}

class ReadLogRecordsFiles : public test::UiTest, public ::testing::WithParamInterface<FileCase> {};

TEST_P(ReadLogRecordsFiles, KeepEveryRecordAndCountTheRest) {
    const FileCase& c = GetParam();
    Write("4711.txt", c.bytes);
    std::vector<std::int64_t> lines;
    const LogReadResult read =
        ReadLogRecords(PathOf("4711.txt"), [&](const LogRecord& r) { lines.push_back(r.Line); });
    ASSERT_TRUE(read.Ok) << read.Error;
    EXPECT_EQ(read.Counts.Lines, c.counts.Lines);
    EXPECT_EQ(read.Counts.CycleRecords, c.counts.CycleRecords);
    EXPECT_EQ(read.Counts.DisconnectionRecords, c.counts.DisconnectionRecords);
    EXPECT_EQ(read.Counts.Skipped, c.counts.Skipped);
    EXPECT_EQ(lines, c.recordLines);
}

const std::string kRecord = kLine + "\r\n";
const std::string kDdd = Disconnection(kAt) + "\r\n";

INSTANTIATE_TEST_SUITE_P(
    Files, ReadLogRecordsFiles,
    ::testing::Values(
        FileCase{"empty file", "", {0, 0, 0, 0}, {}},
        FileCase{"only disconnection records", kDdd + kDdd + kDdd, {3, 0, 3, 0}, {1, 2, 3}},
        FileCase{"last record without line end", kRecord + kLine, {2, 2, 0, 0}, {1, 2}},
        FileCase{"last line cut", kRecord + kLine.substr(0, 40), {2, 1, 0, 1}, {1}},
        FileCase{"broken lines between records",
                 kRecord + "NNN0    05/12/26\r\n\r\n" + kDdd + "garbage\n" + kRecord,
                 {6, 2, 1, 3},
                 {1, 4, 6}},
        FileCase{"binary garbage without line breaks, then records",
                 std::string(3 << 20, '\xff') + "\r\n" + kRecord,
                 {2, 1, 0, 1},
                 {2}},
        FileCase{"binary garbage with NULs and breaks",
                 kRecord + std::string("\0\x01\r\x02\n\0\r\n", 8) + kRecord,
                 {5, 2, 0, 3},
                 {1, 5}}));

// A file read in parts side by side: wherever the parts meet (inside a CR LF, a long line or
// a record, on a break, a one-byte part between two), together they give every line once, to
// the part it begins in.
TEST_F(ReadLogRecordsFiles, PartsThatMeetGiveEveryLineOnce) {
    std::string bytes;
    const std::string breaks[] = {"\r\n", "\n", "\r", "\r\n"};
    for (int i = 0; i < 12; ++i) {
        bytes +=
            (i % 5 == 4 ? Disconnection(testing::At(14, i, 0)) : Cycle(testing::At(14, i, 0))) +
            breaks[i % 4];
        if (i == 3)
            bytes += "\r\n" + std::string(kMaxLogLine + 5, 'x') + "\r";
        if (i == 7)
            bytes += "garbage\n\n";
    }
    bytes += Cycle(testing::At(15, 0, 0));  // no break at the end
    Write("4711.txt", bytes);
    const std::string path = PathOf("4711.txt");

    using Seen = std::pair<std::vector<std::int64_t>, LogReadCounts>;
    const auto read = [&](std::int64_t begin, std::int64_t end, Seen& seen) {
        const LogReadResult r = ReadLogRecords(
            path, [&](const LogRecord& record) { seen.first.push_back(record.Seconds); }, nullptr,
            {begin, end});
        ASSERT_TRUE(r.Ok);
        seen.second.Lines += r.Counts.Lines;
        seen.second.CycleRecords += r.Counts.CycleRecords;
        seen.second.DisconnectionRecords += r.Counts.DisconnectionRecords;
        seen.second.Skipped += r.Counts.Skipped;
    };
    // 12 records and the last, 1 long line, 1 garbage, 2 empty lines.
    std::vector<std::int64_t> all;
    for (int i = 0; i < 12; ++i)
        all.push_back(SecondsOf(testing::At(14, i, 0)));
    all.push_back(SecondsOf(testing::At(15, 0, 0)));
    const auto size = static_cast<std::int64_t>(bytes.size());
    for (std::int64_t at = 0; at <= size; ++at) {
        // Inside the long line one place is as good as the next.
        const auto k = static_cast<std::size_t>(at);
        if (at > 1 && at + 1 < size && bytes[k - 2] == 'x' && bytes[k + 1] == 'x' && at % 101)
            continue;
        Seen two, three;
        read(0, at, two);
        read(at, -1, two);
        read(0, at, three);
        read(at, at + 1, three);
        read(at + 1, -1, three);
        for (const Seen* seen : {&two, &three}) {
            ASSERT_EQ(seen->first, all) << "parts meet at " << at;
            EXPECT_EQ(seen->second.Lines, 17) << at;
            EXPECT_EQ(seen->second.CycleRecords, 11) << at;
            EXPECT_EQ(seen->second.DisconnectionRecords, 2) << at;
            EXPECT_EQ(seen->second.Skipped, 4) << at;
        }
    }
}

// Something else than a file named like detector 4711's log (a FIFO, a folder, a link to
// /dev/zero): the writer, the prompt, the viewer, the plot's reader and the CSV export each
// refuse it at once and say why. Everything runs in a child process with a time bound: a
// FIFO waited on, or a device read for ever, fails the case instead of hanging the run.
struct Impostor {
    const char* name;
    bool (*make)(const std::string& path);
    std::string why;
};

void PrintTo(const Impostor& c, std::ostream* os) {
    *os << c.name;
}

class LogNameTakenBy : public testing::LogTest, public ::testing::WithParamInterface<Impostor> {};

TEST_P(LogNameTakenBy, EveryReaderAndTheWriterRefuseItWithoutWaiting) {
    const Impostor& c = GetParam();
    const std::string log = PathOf("4711.txt");
    ASSERT_TRUE(c.make(log));
    par.LoggingOn = true;
    par.RecordDue[12] = true;
    const auto seen = test::RunGuarded([&] {
        WriteCycleRecord(par, testing::At(14, 3, 27));
        const SerialEntryCheck prompt = CheckSerialEntry(Folder(), "4711");
        std::string viewer;
        ReadLogLines(log, LogStretch::First, &viewer);
        const LogReadResult records = ReadLogRecords(log, [](const LogRecord&) {});
        const CsvExportResult csv = ExportLogCsv(log, PathOf("4711.csv"));
        return LogWarning(par) + "|" + (par.RecordDue[12] ? "due" : "done") + "|" +
               std::to_string(static_cast<int>(prompt.outcome)) + " " + prompt.problem + "|" +
               viewer + "|" + (records.Ok ? "read " : "") + records.Error + "|" + csv.Error;
    });
    const std::string why = ": it is " + c.why + ", not a regular file";
    EXPECT_EQ(seen.value_or("blocked"),
              "Cannot write the log file " + log + why + "|due|" +
                  std::to_string(static_cast<int>(SerialEntryOutcome::NoFile)) + " Cannot read " +
                  log + why + "|" + why.substr(2) + "|" + why.substr(2) +
                  "|Cannot read the log file " + log + why);
    EXPECT_FALSE(std::filesystem::is_regular_file(log));
    EXPECT_FALSE(std::filesystem::exists(PathOf("4711.csv")));
}

INSTANTIATE_TEST_SUITE_P(
    Names, LogNameTakenBy,
    ::testing::Values(
        Impostor{"FIFO", [](const std::string& p) { return ::mkfifo(p.c_str(), 0600) == 0; },
                 "a FIFO (named pipe)"},
        Impostor{"Folder",
                 [](const std::string& p) { return std::filesystem::create_directory(p); },
                 "a folder"},
        Impostor{"LinkToDevZero",
                 [](const std::string& p) {
                     std::filesystem::create_symlink("/dev/zero", p);
                     return true;
                 },
                 "a device"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace halvern
