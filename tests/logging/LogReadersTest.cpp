// The record reader, the viewer's columns, the CSV export and the plot read the same lines:
// one table of lines written by hand, each with what every reader must take from it. Then the
// reading of whole files: in chunks, in parts side by side, cancelled, refused.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <numeric>
#include <vector>

#include "LogTestSupport.h"
#include "logging/LogCsv.h"
#include "logging/LogPlot.h"
#include "logging/LogReader.h"
#include "logging/LogViewer.h"
#include "platform/FilePath.h"
#ifndef _WIN32
#include <sys/stat.h>

#include "support/Guarded.h"
#endif

namespace halvern {
namespace {

using testing::kRecordLine;

std::string Replace(std::string line, std::size_t column, std::string_view text) {
    line.replace(column - 1, text.size(), text);
    return line;
}

struct Row {
    const char* name;
    std::string line;  // without its line end
    // The CSV row after its line number; nullptr: no record, so no reader takes anything.
    const char* csv;
    // The thirteen columns the viewer cuts, '|' between them; nullptr: not looked at.
    const char* viewer = nullptr;
    // Signal 1, Reference, Signal 2, Ratio 1, Ratio 2 and the gas reading as the plot draws
    // them; none for a disconnection record.
    std::vector<double> plot{};
};

#define VALUES "4.12,3.98,4.05,1.03,0.98,0.47,2.55"
const std::vector<double> kPlot{4.12, 3.98, 4.05, 1.03, 0.98, 0};

// clang-format off
const Row kRows[] = {
    {"cycle record", kRecordLine, "2026-12-05,14:03:27,NNN0,23,3," VALUES ",0", "NNN0|14:03:27|05/12/26|23|3|4.12|3.98|4.05|1.03|0.98|0.47|2.55|0", kPlot},
    // Every reader takes each field whole, with its sign.
    {"minus 5 degrees and a gas reading of 1234", "SSU90   05/12/26  14:03:28-5    3    4.12  3.98  4.05    1.03  0.98    0.47  2.55   1234 ",
     "2026-12-05,14:03:28,SSU90,-5,3," VALUES ",1234", "SSU90|14:03:28|05/12/26|-5|3|4.12|3.98|4.05|1.03|0.98|0.47|2.55|1234", {4.12, 3.98, 4.05, 1.03, 0.98, 1234}},
    {"six-character status, -12 degrees and a five-digit gas reading", "SSU190  05/12/26  14:03:27-12   3    4.12  3.98  4.05    1.03  0.98    0.47  2.55   65535 ",
     "2026-12-05,14:03:27,SSU190,-12,3," VALUES ",65535", "SSU190|14:03:27|05/12/26|-12|3|4.12|3.98|4.05|1.03|0.98|0.47|2.55|65535", {4.12, 3.98, 4.05, 1.03, 0.98, 65535}},
    // A 22-byte status reply: Ratio 2, the NQ ratios and the gas reading blank, the line
    // still reaching past the gas reading's columns.
    {"short reply, its last values blank", "VVV81   05/12/26  14:03:27 23   3    4.12  3.98  4.05    1.03" + std::string(25, ' '),
     "2026-12-05,14:03:27,VVV81,23,3,4.12,3.98,4.05,1.03,,,,", "VVV81|14:03:27|05/12/26|23|3|4.12|3.98|4.05|1.03||||", {4.12, 3.98, 4.05, 1.03, std::nan(""), std::nan("")}},
    {"disconnection record h:m:s", "DDD     05/12/26  9:5:3", "2026-12-05,09:05:03,DDD,,,,,,,,,,", "DDD|9:5:3|05/12/26||||||||||"},
    {"disconnection record hh:mm:ss", "DDD     05/12/26  09:05:04", "2026-12-05,09:05:04,DDD,,,,,,,,,,"},
    {"year 79 is 2079", Replace(kRecordLine, 9, "01/01/79  00:00:00"), "2079-01-01,00:00:00,NNN0,23,3," VALUES ",0", nullptr, kPlot},
    {"year 80 is 1980", Replace(kRecordLine, 9, "01/01/80  00:00:00"), "1980-01-01,00:00:00,NNN0,23,3," VALUES ",0", nullptr, kPlot},
    {"29 February of a leap year", Replace(kRecordLine, 9, "29/02/24  23:59:59"), "2024-02-29,23:59:59,NNN0,23,3," VALUES ",0", nullptr, kPlot},
    // The log's bytes are Latin-1, the CSV UTF-8; a status a spreadsheet could take for
    // separators is quoted.
    {"Latin-1 status", Replace(kRecordLine, 1, "N\xe9N0    31/12/99  23:59:59"), "1999-12-31,23:59:59,N\xc3\xa9N0,23,3," VALUES ",0", nullptr, kPlot},
    {"status with a comma and a quote", Replace(kRecordLine, 1, "A,\"7    05/12/26  14:04:00"), "2026-12-05,14:04:00,\"A,\"\"7\",23,3," VALUES ",0", nullptr, kPlot},
    {"cut", "NNN0    05/12/26  14:0", nullptr, "NNN0|14:0|05/12/26||||||||||"},
    {"empty line", "", nullptr, "||||||||||||"},
    {"disconnection record last, without its line end", "DDD     06/12/26  0:0:0", "2026-12-06,00:00:00,DDD,,,,,,,,,,"},
};

// No record: the record line with one field spoilt (its column, the text put there), or
// other lines whole.
const std::pair<int, const char*> kSpoilt[] = {{9, "29/02/25"}, {9, "31/02/26"}, {9, "01/13/26"}, {9, "00/12/26"}, {9, " 5/12/26"}, {19, "24:00:00"},
                                               {38, "4.1x"}, {44, "3e98"}, {50, "nan "}, {33, "34"}, {1, "    "}};
// clang-format on
std::vector<std::string> NoRecords() {
    std::vector<std::string> lines{"DDD     05/12/26  9:5:3  23  3", "DDX     05/12/26  9:5:3",
                                   std::string("NNN0\0\0\0\0", 8) + kRecordLine.substr(8),
                                   std::string("\x01\x02\0\xff\xfe", 5)};
    for (const auto& [column, text] : kSpoilt)
        lines.push_back(Replace(kRecordLine, static_cast<std::size_t>(column), text));
    return lines;
}

std::string Joined(const LogFields& fields) {
    const auto join = [](std::string a, const std::string& b) { return a + "|" + b; };
    return std::accumulate(fields.begin() + 1, fields.end(), fields[0], join);
}

// However a cycle record is cut short (a write cut by a full disk, a file copied while
// written), the part left is no record, even when the cut falls in the digits of the gas
// reading.
TEST(LogRecordTable, EveryReaderTakesFromEachLineWhatTheFormatPutsThere) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        EXPECT_TRUE(!row.viewer || Joined(CutLogLine(row.line)) == row.viewer)
            << Joined(CutLogLine(row.line));
        const auto r = ParseLogRecord(row.line, 7);
        ASSERT_EQ(r.has_value(), row.csv != nullptr);
        if (!r)
            continue;
        EXPECT_EQ(CsvRow(*r), "7," + std::string(row.csv) + "\r\n");
        EXPECT_EQ(r->Kind, row.plot.empty() ? LogRecordKind::Disconnection : LogRecordKind::Cycle);
        for (std::size_t s = 0; s < row.plot.size(); ++s) {
            const double v = PlotValue(*r, static_cast<int>(s));
            EXPECT_TRUE(v == row.plot[s] || (std::isnan(v) && std::isnan(row.plot[s])))
                << PlotSeriesName(static_cast<int>(s)) << " " << v;
        }
        for (std::size_t n = 0; n < row.line.size() && !row.plot.empty(); ++n)
            EXPECT_FALSE(ParseLogRecord(row.line.substr(0, n))) << n;
    }
    for (const std::string& line : NoRecords())
        EXPECT_FALSE(ParseLogRecord(line)) << line;
}

// The table as one file, its lines ending every way and the last without a break: each
// reader gives the same records at their lines and counts the same lines skipped.
using LogFiles = test::FolderTest;

TEST_F(LogFiles, EveryReaderReadsTheTableWhole) {
    std::vector<std::string> lines = NoRecords();  // between the rows and the last row
    std::vector<const char*> csvs(lines.size(), nullptr);
    for (std::size_t i = 0; i < std::size(kRows); ++i) {
        const auto at =
            i + 1 < std::size(kRows) ? lines.begin() + static_cast<long>(i) : lines.end();
        csvs.insert(csvs.begin() + (at - lines.begin()), kRows[i].csv);
        lines.insert(at, kRows[i].line);
    }
    std::string bytes, expectedCsv =
                           "Line,Date,Time,Status,Temperature,Gain,Signal 1,Reference,Signal 2,"
                           "Ratio 1,Ratio 2,NQ ratio 1,NQ ratio 2,Gas reading\r\n";
    const char* breaks[] = {"\r\n", "\n", "\r\n", "\r"};
    for (std::size_t i = 0; i < lines.size(); ++i) {
        bytes += lines[i] + (i + 1 < lines.size() ? breaks[i % 4] : "");
        if (csvs[i])
            expectedCsv += std::to_string(i + 1) + "," + csvs[i] + "\r\n";
    }
    Write("4711.txt", bytes);
    const CsvExportResult csv = ExportLogCsv(PathOf("4711.txt"), PathOf("4711.csv"));
    ASSERT_TRUE(csv.Ok) << csv.Error;
    EXPECT_EQ(Read("4711.csv"), expectedCsv);
    EXPECT_EQ(std::tie(csv.Counts.Lines, csv.Counts.CycleRecords, csv.Counts.DisconnectionRecords,
                       csv.Counts.Skipped),
              std::make_tuple(29, 9, 3, 17));
    const auto viewer = ReadLogLines(PathOf("4711.txt"));
    ASSERT_TRUE(viewer && viewer->Total == 29);
    EXPECT_EQ(std::vector<std::string>(viewer->Lines.begin(), viewer->Lines.begin() + 29), lines);
    // From the earliest record to the latest, not the first to the last; files a plot must
    // survive say so.
    const std::pair<std::string, std::string> plots[] = {
        {bytes,
         "9 readings from 01/01/80 00:00:00 to 01/01/79 00:00:00, 3 disconnection records, "
         "17 lines skipped (not log records)"},
        {"DDD     05/12/26  9:5:3\r\nDDD     05/12/26  9:5:4\r\n",
         "No readings to plot from 05/12/26 09:05:03 to 05/12/26 09:05:04, 2 disconnection "
         "records"}};
    for (const auto& [file, summary] : plots) {
        Write("12.txt", file);
        EXPECT_EQ(PlotSummary(ReadLogPlot(PathOf("12.txt"))), summary);
    }
}

// Read whole, or in parts side by side (at: where two parts meet, 1-byte part after it):
// the records' times in order and the counts added up.
using Seen = std::pair<std::vector<std::int64_t>, std::array<std::int64_t, 4>>;
Seen ReadParts(const std::string& path, std::vector<std::int64_t> cuts = {}) {
    Seen seen{};
    cuts.insert(cuts.begin(), 0), cuts.push_back(-1);
    for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
        const LogReadResult r = ReadLogRecords(
            path, [&](const LogRecord& record) { seen.first.push_back(record.Seconds); }, nullptr,
            {cuts[i], cuts[i + 1]});
        EXPECT_TRUE(r.Ok) << r.Error;
        const LogReadCounts& c = r.Counts;
        const std::array<std::int64_t, 4> n{c.Lines, c.CycleRecords, c.DisconnectionRecords,
                                            c.Skipped};
        std::ranges::transform(seen.second, n, seen.second.begin(), std::plus<>());
    }
    return seen;
}

// A file read in parts side by side: wherever the parts meet (inside a CR LF, a long line or
// a record, on a break, a one-byte part between two), together they give every line once, to
// the part it begins in.
TEST_F(LogFiles, PartsThatMeetGiveEveryLineOnce) {
    std::string bytes;
    const std::string breaks[] = {"\r\n", "\n", "\r", "\r\n"};
    std::vector<std::int64_t> all;
    for (int i = 0; i < 13; ++i) {
        const LocalDateTime at = testing::At(14 + i / 12, i % 12, 0);
        // No break after the last record.
        bytes += testing::RecordAt(at, i % 5 == 4) + (i < 12 ? breaks[i % 4] : "");
        all.push_back(SecondsOf(at));
        if (i == 3)
            bytes += "\r\n" + std::string(kMaxLogLine + 5, 'x') + "\r";
        if (i == 7)
            bytes += "garbage\n\n";
    }
    Write("4711.txt", bytes);
    // 13 records, 1 long line, 1 garbage, 2 empty lines.
    const Seen expected{all, {17, 11, 2, 4}};
    const auto size = static_cast<std::int64_t>(bytes.size());
    for (std::int64_t at = 0; at <= size; ++at) {
        // Inside the long line one place is as good as the next.
        const auto k = static_cast<std::size_t>(at);
        if (at > 1 && at + 1 < size && bytes[k - 2] == 'x' && bytes[k + 1] == 'x' && at % 101)
            continue;
        ASSERT_EQ(ReadParts(PathOf("4711.txt"), {at}), expected) << "parts meet at " << at;
        ASSERT_EQ(ReadParts(PathOf("4711.txt"), {at, at + 1}), expected) << "at " << at;
    }
}

// Nothing is lost when an export fails or a reading is cancelled after its first chunk: the
// log stays, a CSV there before stays whole, no file of the export's own is left, the plot
// has nothing to draw, and a failure's message names the file and the reason.
TEST_F(LogFiles, AFailedOrCancelledReadingLeavesEverythingAsItWas) {
    std::string big;
    while (big.size() < 600'000)
        big += kRecordLine + "\r\n";
    Write("4711.txt", big);
    Write("old.csv", "kept\r\n");
    Write("plain", "a file, not a folder");
    const std::string refused[][3] = {
        {"4711.txt", "Cannot write ", PathOf("plain") + "/4711.csv"},
        {"4711.txt", "is the log file itself", PathOf("4711.txt")},
        {"4711.txt", "is the log file itself", PathOf(".") + "/4711.txt"},
        {"13.txt", "Cannot read the log file", PathOf("old.csv")}};
    for (const auto& [log, says, target] : refused) {
        const CsvExportResult r = ExportLogCsv(PathOf(log), target);
        const std::string named = NativePath(log == "13.txt" ? PathOf(log) : target);
        EXPECT_TRUE(!r.Ok && r.Error.find(says) != std::string::npos &&
                    r.Error.find(named) != std::string::npos)
            << r.Error;
    }
    for (const int parts : {-1, 0, 1, 2}) {  // below 1: the CSV export, to new.csv, old.csv
        LogReadControl control;
        int calls = 0;
        control.OnProgress = [&] { control.Cancel = ++calls > 0; };
        if (parts < 1) {
            const std::string target = PathOf(parts ? "new.csv" : "old.csv");
            const CsvExportResult r = ExportLogCsv(PathOf("4711.txt"), target, &control);
            EXPECT_TRUE(!r.Ok && r.Cancelled) << target;
        } else {
            const LogPlotData d = ReadLogPlot(PathOf("4711.txt"), kPlotIntervals, &control, parts);
            EXPECT_TRUE(!d.Read.Ok && d.Read.Cancelled);
            EXPECT_LE(calls, parts);  // each part stopped after its first chunk at most
            EXPECT_LT(control.Percent(), 100);
            for (const auto& segments : d.Segments)
                EXPECT_TRUE(segments.empty());
        }
        EXPECT_GE(calls, 1);
        EXPECT_EQ(control.Total, static_cast<std::int64_t>(big.size()));
    }
    EXPECT_EQ(Read("4711.txt"), big);
    EXPECT_EQ(Read("old.csv"), "kept\r\n");
    using Files = std::filesystem::directory_iterator;
    EXPECT_EQ(std::distance(Files(Folder()), Files()), 3);  // 4711.txt, old.csv, plain
}

// Something else than a file named like detector 4711's log (a FIFO, a folder, a link to
// /dev/zero): the writer, the prompt, the viewer, the plot's reader and the CSV export each
// refuse it at once and say why. Everything runs in a child process with a time bound: a
// FIFO waited on, or a device read for ever, fails the case instead of hanging the run.
#ifndef _WIN32
using LogNameTakenBy = testing::LogTest;

TEST_F(LogNameTakenBy, AFifoAFolderOrADeviceEveryReaderAndTheWriterRefuseWithoutWaiting) {
    const std::string log = PathOf("4711.txt");
    for (const std::string what : {"a FIFO (named pipe)", "a folder", "a device"}) {
        SCOPED_TRACE(what);
        std::filesystem::remove(log);
        ASSERT_TRUE(what[2] == 'F'   ? ::mkfifo(log.c_str(), 0600) == 0
                    : what[2] == 'f' ? std::filesystem::create_directory(log)
                                     : (std::filesystem::create_symlink("/dev/zero", log), true));
        par.LoggingOn = true, par.RecordDue[12] = true;
        const auto seen = test::RunGuarded([&] {
            WriteCycleRecord(par, par.Reading, testing::At(14, 3, 27));
            const SerialEntryCheck prompt = CheckSerialEntry(Folder(), "4711");
            std::string viewer;
            ReadLogLines(log, LogStretch::First, &viewer);
            const LogReadResult records = ReadLogRecords(log, [](const LogRecord&) {});
            const CsvExportResult csv = ExportLogCsv(log, PathOf("4711.csv"));
            return LogWarning(par) + "|" + (par.RecordDue[12] ? "due" : "done") + "|" +
                   std::to_string(static_cast<int>(prompt.outcome)) + " " + prompt.problem + "|" +
                   viewer + "|" + (records.Ok ? "read " : "") + records.Error + "|" + csv.Error;
        });
        const std::string why = ": it is " + what + ", not a regular file";
        EXPECT_EQ(seen.value_or("blocked"),
                  "Cannot write the log file " + log + why + "|due|" +
                      std::to_string(static_cast<int>(SerialEntryOutcome::NoFile)) +
                      " Cannot read " + log + why + "|" + why.substr(2) + "|" + why.substr(2) +
                      "|Cannot read the log file " + log + why);
        EXPECT_FALSE(std::filesystem::is_regular_file(log) ||
                     std::filesystem::exists(PathOf("4711.csv")));
    }
}
#endif  // FIFOs and /dev/zero are Unix's

std::string NumberedLines(int count) {
    std::string text;
    for (int i = 1; i <= count; ++i)
        text += "line " + std::to_string(i) + "\r\n";
    return text;
}

// The reads take 1 MiB at a time: the first CR is the last byte of the first read.
TEST_F(LogFiles, AnyLineBreakEndsALineEvenSplitBetweenTwoReadsAndEveryLineIsCounted) {
    Write("4711.txt", std::string((1 << 20) - 1, 'x') + "\r\nafter\r\n\r\na\nb\r" +
                          NumberedLines(1100) + "no break");
    const auto first = halvern::ReadLogLines(PathOf("4711.txt"));
    const auto last = halvern::ReadLogLines(PathOf("4711.txt"), LogStretch::Last);
    ASSERT_TRUE(first && last && first->Lines.size() == 1025u);
    EXPECT_EQ(std::vector<std::string>(first->Lines.begin() + 1, first->Lines.begin() + 6),
              (std::vector<std::string>{"after", "", "a", "b", "line 1"}));
    EXPECT_EQ(std::tie(first->Lines[1024], first->First, first->Total),
              std::make_tuple("line 1020", 0, 1106));
    // Line 82 of the file is "line 77".
    EXPECT_EQ(
        std::tie(last->First, last->Total, last->Lines[0], last->Lines[1023], last->Lines[1024]),
        std::make_tuple(81, 1106, "line 77", "line 1100", "no break"));
}

// A log longer than the table says which lines it holds; a log it holds whole says nothing,
// and End leaves its first line at the top.
TEST(LogViewerModel, PagingStopsAtTheFirstLineAndWhenTheBottomRowShowsEntry1024) {
    LogViewerModel two({SplitLogLines("NNN1\r\nNNN2\r\n"), 0, 2});
    two.ShowLast({SplitLogLines("NNN1\r\nNNN2\r\n"), 0, 2});
    EXPECT_EQ(std::make_tuple(two.Extent(), two.TopLine(), two.Row(1).Fields[0]),
              std::make_tuple(std::string(), 0, std::string("NNN2")));
    LogViewerModel m({SplitLogLines(NumberedLines(1030)), 0, 1030});
    EXPECT_EQ(m.Extent(), "lines 1-1025 of 1030");
    EXPECT_FALSE(m.PageUp());
    int moves = 0;
    while (m.PageDown())
        ++moves;
    EXPECT_EQ(std::make_tuple(moves, m.Row(11).Number, m.Row(11).Fields[0]),
              std::make_tuple(1013, "1025", "line 102"));
    EXPECT_TRUE(m.PageUp());
    EXPECT_EQ(m.Row(11).Number, "1024");
}

// Only a number names a log file, so no entry can reach outside the program folder.
TEST(LogPathForEntry, OnlyNumbersAndNoneLeavesTheFolder) {
    EXPECT_EQ(LogPathForEntry("/logs", " 4711 ").value_or(""), "/logs/4711.txt");
    for (const char* entry : {"-5", "1e3", "2.5E-1", ".5", "5."})
        EXPECT_EQ(std::filesystem::path(LogPathForEntry("/logs", entry).value_or("")).parent_path(),
                  "/logs")
            << entry;
    for (const char* entry :
         {"", ".", "-", "1e", "1 2", "4711/..", "..\\4711", "/etc/passwd", "C:4711", "&H12"})
        EXPECT_FALSE(LogPathForEntry("/logs", entry)) << entry;
}

// The plot's reduction: bounded points, the lowest and highest value of every interval kept,
// gaps where no readings were taken.

constexpr std::int64_t kStart = 1'800'000'000;  // some time in 2027

LogRecord Reading(std::int64_t seconds, double signal1, double gas = 0) {
    LogRecord r;
    r.Seconds = seconds, r.When = FromSeconds(seconds), r.GasValue = gas;
    r.Values.fill(1.0), r.Values[Signal1] = signal1;
    return r;
}

LogRecord Disconnected(std::int64_t seconds) {
    LogRecord r;
    return r.Kind = LogRecordKind::Disconnection, r.Seconds = seconds, r;
}

LogPlotData Reduce(const std::vector<LogRecord>& records, int intervals) {
    const auto [first, last] = std::ranges::minmax(records, {}, &LogRecord::Seconds);
    LogPlotReducer reducer(first.Seconds, last.Seconds, intervals);
    for (const LogRecord& r : records)
        reducer.Add(r);
    return reducer.Finish();
}

std::vector<PlotPoint> Points(const LogPlotData& d, int series) {
    std::vector<PlotPoint> all;
    for (const PlotSegment& s : d.Segments[static_cast<std::size_t>(series)])
        all.insert(all.end(), s.begin(), s.end());
    return all;
}

// 10 000 readings a second apart, in 10 intervals of 1000: each interval gives exactly its
// lowest and highest Signal 1, in time order; a single-reading spike survives, and a dip.
TEST(LogPlotReducer, KeepsTheLowestAndHighestOfEachIntervalInTimeOrder) {
    std::vector<LogRecord> records;
    for (int i = 0; i < 10000; ++i)
        records.push_back(Reading(kStart + i, 3 + std::sin(i / 37.0), i % 100));
    records[4321].Values[Signal1] = 9.5;
    records[7007].Values[Signal1] = -1;
    const LogPlotData d = Reduce(records, 10);
    ASSERT_EQ(d.Segments[PlotSignal1].size(), 1u);
    std::vector<PlotPoint> expected;
    for (auto from = records.begin(); from != records.end(); from += 1000) {
        const auto [lo, hi] =
            std::minmax_element(from, from + 1000, [](const LogRecord& a, const LogRecord& b) {
                return a.Values[Signal1] < b.Values[Signal1];
            });
        for (const auto* r : {&*std::min(lo, hi), &*std::max(lo, hi)})
            expected.push_back({r->Seconds, r->Values[Signal1]});
    }
    EXPECT_EQ(Points(d, PlotSignal1), expected);
    // The gas reading has its own extremes: 0 and 99 in every interval.
    const auto extreme = [](const PlotPoint& p) { return p.Value == 0 || p.Value == 99; };
    EXPECT_EQ(std::ranges::count_if(Points(d, PlotGas), extreme), 20);

    // The stretch the readout names for a time is the interval the time's record went into:
    // here 4321 is in the fifth thousand; seconds 0 to 6 in 3 intervals are cut at 3 and 5.
    const struct {
        std::int64_t first, last, at, from, to;
    } rows[] = {{kStart, kStart + 9999, kStart + 4321, kStart + 4000, kStart + 5000},
                {0, 6, 2, 0, 3},
                {0, 6, 3, 3, 5},
                {0, 6, 4, 3, 5},
                {0, 6, 9, 5, 7}};  // a record after the range goes into the last
    for (const auto& r : rows)
        EXPECT_EQ(PlotIntervalOf(r.first, r.last, r.first == 0 ? 3 : 10, r.at),
                  std::make_pair(r.from, r.to))
            << r.at;
}

// Disconnection records and a silence longer than any logging period break the lines where
// the gap is at least an interval long; a silence of a whole logging period of 255 s does
// not. A value a short status reply did not carry breaks only its own line.
TEST(LogPlotReducer, BreaksTheLinesWhereNoReadingsWereTaken) {
    using Seg = std::vector<PlotPoint>;
    const std::int64_t t = kStart;
    // clang-format off
    const std::vector<LogRecord> mixed{Reading(t, 1, 1), Reading(t + 255, 2, 2), Disconnected(t + 256), Disconnected(t + 257),
                                       Reading(t + 300, 3, 3), Reading(t + 301, 4, 4), Reading(t + 1000, 5, 5)};  // 699 s of silence
    // clang-format on
    const struct {
        std::vector<LogRecord> records;
        int intervals;
        std::vector<Seg> signal1, gas;  // gas empty: as Signal 1
        std::vector<PlotGap> gaps;
    } cases[] = {
        // clang-format off
        {mixed, 1000, {Seg{{t, 1}, {t + 255, 2}}, Seg{{t + 300, 3}, {t + 301, 4}}, Seg{{t + 1000, 5}}}, {}, {{t + 255, t + 300}, {t + 301, t + 1000}}},
        // In ten intervals of about 100 s the 45 s gap does not show.
        {mixed, 10, {Seg{{t, 1}, {t + 255, 2}, {t + 300, 3}, {t + 301, 4}}, Seg{{t + 1000, 5}}}, {}, {{t + 301, t + 1000}}},
        {{Reading(t, 1, 5), Reading(t + 1, 2, std::nan("")), Reading(t + 2, 3, 7)}, 3, {Seg{{t, 1}, {t + 1, 2}, {t + 2, 3}}}, {Seg{{t, 5}}, Seg{{t + 2, 7}}}, {}},
        {{Disconnected(t), Disconnected(t + 1), Disconnected(t + 90)}, 600, {}, {}, {{t, t + 90}}},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.intervals);
        const LogPlotData d = Reduce(c.records, c.intervals);
        EXPECT_EQ(d.Segments[PlotSignal1], c.signal1);
        EXPECT_EQ(d.Segments[PlotGas], c.gas.empty() ? c.signal1 : c.gas);
        EXPECT_EQ(d.Gaps, c.gaps);
        EXPECT_EQ(d.Segments[PlotRatio1].size(), c.signal1.size());  // all break together
    }
    // The PC's clock set back: the line breaks once.
    const LogPlotData back = Reduce({Reading(t, 1), Reading(t + 10, 2), Reading(t + 5, 3)}, 1000);
    EXPECT_EQ(back.Segments[PlotSignal1].size(), 2u);
}

// Two hours of readings a second apart, Signal 1 a hundredth up each second, silent from 5000
// to 6000 s. A stretch zoomed in on is read again: every reading in it and the nearest either
// side, so that its lines and gaps run on past its ends. A log in time order is read only
// around the stretch; one out of order is read whole, to the same points.
TEST_F(LogFiles, AStretchIsReadWithItsNeighboursAndOnlyAroundItInATimeOrderedLog) {
    const std::int64_t t = SecondsOf(testing::At(10, 0, 0));
    const auto value = [](int i) { return (i % 1000) / 100.0; };
    std::string log;
    for (int i = 0; i < 7200; ++i) {
        char text[8];
        std::snprintf(text, sizeof text, "%4.2f", value(i));
        if (i < 5000 || i >= 6000)
            log += Replace(testing::RecordAt(FromSeconds(t + i)), 38, text) + "\r\n";
    }
    Write("4711.txt", log);
    Write("12.txt", log + testing::RecordAt(FromSeconds(t)) + "\r\n");  // the clock set back
    const LogPlotData whole = ReadLogPlot(PathOf("4711.txt"), kPlotIntervals, nullptr, 3);
    EXPECT_TRUE(whole.InOrder);
    EXPECT_FALSE(ReadLogPlot(PathOf("12.txt"), kPlotIntervals, nullptr, 3).InOrder);
    EXPECT_LT(Points(whole, PlotSignal1).size(), 1300u);  // not every reading: read again

    using Seg = std::vector<PlotPoint>;
    const auto run = [&](int from, int to) {
        Seg points;
        for (int i = from; i <= to; ++i)
            points.push_back({t + i, value(i)});
        return points;
    };
    const struct {
        int from, to;
        std::vector<Seg> signal1;
        std::vector<PlotGap> gaps;
    } rows[] = {
        {3600, 3659, {run(3599, 3660)}, {}},
        {4990, 5100, {run(4989, 4999), run(6000, 6000)}, {{t + 4999, t + 6000}}},
        {5100, 5200, {run(4999, 4999), run(6000, 6000)}, {{t + 4999, t + 6000}}},  // all silent
        {0, 100, {run(0, 101)}, {}},
        {7100, 7199, {run(7099, 7199)}, {}},
    };
    const auto size = static_cast<std::int64_t>(log.size());
    for (const auto& r : rows) {
        for (const bool inOrder : {true, false}) {
            SCOPED_TRACE(std::to_string(r.from) + (inOrder ? " in order" : " out of order"));
            LogReadControl control;
            const LogPlotData d = ReadLogPlotSpan(PathOf("4711.txt"), t + r.from, t + r.to, inOrder,
                                                  kPlotIntervals, &control, 2);
            EXPECT_EQ(d.Segments[PlotSignal1], r.signal1);
            EXPECT_EQ(d.Gaps, r.gaps);
            EXPECT_EQ(std::make_pair(d.First, d.Last), std::make_pair(t + r.from, t + r.to));
            if (inOrder)
                EXPECT_LT(control.Total, size / 10);
            else
                EXPECT_EQ(control.Total, size);
        }
    }
}

}  // namespace
}  // namespace halvern
