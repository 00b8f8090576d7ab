// A log file opened in the log viewer: read from disk into the line table, paged through, and
// each row cut into its columns; its first line is also typed into the serial-number prompt.
// The whole file is also read as records, reduced for a plot and exported as CSV.
//
// Input: two control bytes, then the file.
//   byte 0 bit 7: the file starts with a 65535-byte line, so the input's first two bytes
//                 straddle the reader's 64 KiB chunks (a CR LF split there is one line end)
//   byte 0 bits 0-6: PgDn presses, 16 each
//   byte 1: PgUp presses

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "Support.h"
#include "logging/LogCsv.h"
#include "logging/LogPlot.h"
#include "logging/LogViewer.h"

using namespace halvern;

namespace {
constexpr std::size_t kReaderChunk = 64 * 1024;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::Scratch scratch("log_viewer");
    if (size < 2)
        return 0;
    std::string text;
    if (data[0] & 0x80)
        text.assign(kReaderChunk - 1, 'x');
    text.append(reinterpret_cast<const char*>(data + 2), size - 2);

    const std::string path = scratch.File("4711.txt");
    std::filesystem::remove(path);  // a new file: rewriting one in place makes ext4 flush it
    std::ofstream(path, std::ios::binary) << text;
    const auto lines = ReadLogLines(path);
    FUZZ_CHECK(lines);
    FUZZ_CHECK(lines->Lines == SplitLogLines(text));
    // The last lines, read in one pass with the count, end where the file does.
    const auto last = ReadLogLines(path, LogStretch::Last);
    FUZZ_CHECK(last && last->Total == lines->Total);
    FUZZ_CHECK(last->First == std::max<std::int64_t>(0, lines->Total - kLogLineCount));
    if (lines->Total <= kLogLineCount)
        FUZZ_CHECK(last->Lines == lines->Lines);

    LogViewerModel model(*lines);
    for (int i = (data[0] & 0x7F) * 16; i > 0 && model.PageDown(); --i) {
    }
    for (int i = data[1]; i > 0 && model.PageUp(); --i) {
    }
    FUZZ_CHECK(model.TopLine() >= 0 && model.TopLine() <= kLastTopLine);
    // The fields are parts of their line that do not overlap, without blanks around them.
    const auto blank = [](char ch) { return ch == ' ' || ch == '\t'; };
    for (int r = 0; r < kViewerRows; ++r) {
        const LogRow row = model.Row(r);
        std::size_t shown = 0;
        for (const std::string& field : row.Fields) {
            FUZZ_CHECK(field.empty() || (!blank(field.front()) && !blank(field.back())));
            shown += field.size();
        }
        FUZZ_CHECK(shown <= model.Entry(model.TopLine() + r).size());
    }

    // Every line is a record or skipped; the plot and the CSV see the same records.
    const LogPlotData plot = ReadLogPlot(path, 8);
    FUZZ_CHECK(plot.Read.Ok);
    const LogReadCounts& c = plot.Read.Counts;
    FUZZ_CHECK(c.Records() + c.Skipped == c.Lines);
    for (const auto& series : plot.Segments) {
        std::size_t points = 0;
        for (const PlotSegment& segment : series)
            points += segment.size();
        FUZZ_CHECK(points <= 4 * 8);
    }
    const CsvExportResult csv = ExportLogCsv(path, scratch.File("4711.csv"));
    FUZZ_CHECK(csv.Ok && csv.Counts.Records() == c.Records());

    // Whatever is typed, the prompt names a file in the program folder or none.
    const std::string& entry = model.Entry(0);
    if (const auto named = LogPathForEntry(scratch.Path(), entry))
        FUZZ_CHECK(std::filesystem::path(*named).parent_path() == scratch.Path());
    (void)CheckSerialEntry(scratch.Path(), entry);
    return 0;
}
