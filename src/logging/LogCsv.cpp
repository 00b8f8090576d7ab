#include "logging/LogCsv.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/FilePath.h"
#include "platform/ProgramFile.h"

namespace halvern {

namespace {

constexpr const char* kCsvLineEnd = "\r\n";
constexpr std::size_t kWriteBlock = 1 << 20;

constexpr const char* kColumns[] = {
    "Line",      "Date",     "Time",    "Status",  "Temperature", "Gain",       "Signal 1",
    "Reference", "Signal 2", "Ratio 1", "Ratio 2", "NQ ratio 1",  "NQ ratio 2", "Gas reading"};

std::string Native(const std::string& path) {
    return NativePath(path);
}

// The CSV is written beside its target under another name and takes the target's place only
// when it is whole: a failed or cancelled export leaves an earlier CSV as it was.
class CsvFile {
  public:
    explicit CsvFile(const std::string& path)
        : target_(Utf8Path(path)), part_(Utf8Path(path + ".part")) {
        opened_ = OpenProgramFile(Utf8Text(part_), FileAccess::Replace);
    }
    ~CsvFile() {
        if (opened_) {
            opened_->Close();
            std::error_code ignored;
            std::filesystem::remove(part_, ignored);
        }
    }
    bool IsOpen() const { return static_cast<bool>(opened_); }
    bool Write(const std::string& block) {
        return opened_->Write(block) == static_cast<std::int64_t>(block.size());
    }
    bool Commit() {
        if (!opened_->Close())
            return false;
        std::error_code e;
        std::filesystem::rename(part_, target_, e);
        if (e)
            why_ = e.message();
        return !e && (opened_.file.reset(), true);
    }
    std::string Error() const {
        return !why_.empty() ? why_ : opened_ ? opened_->Error() : opened_.error;
    }

  private:
    std::filesystem::path target_, part_;
    OpenedFile opened_;
    std::string why_;
};

}  // namespace

void AppendCsvField(std::string& row, std::string_view field) {
    const bool quoted = field.find_first_of(",\"\r\n") != std::string_view::npos;
    if (quoted)
        row += '"';
    for (const char c : field) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x80) {
            row += static_cast<char>(0xC0 | (b >> 6));
            row += static_cast<char>(0x80 | (b & 0x3F));
        } else {
            if (c == '"')
                row += '"';
            row += c;
        }
    }
    if (quoted)
        row += '"';
}

std::string CsvHeader() {
    std::string row;
    for (const char* column : kColumns) {
        if (!row.empty())
            row += ',';
        AppendCsvField(row, column);
    }
    return row + kCsvLineEnd;
}

std::string CsvRow(const LogRecord& r) {
    std::string row = std::to_string(r.Line);
    const auto field = [&row](std::string_view text) {
        row += ',';
        AppendCsvField(row, text);
    };
    field(IsoDateText(r.When));
    field(LongTimeText(r.When));
    field(r.Status);
    const bool cycle = r.Kind == LogRecordKind::Cycle;
    field(cycle ? r.Temperature : std::string_view());
    field(cycle ? r.Gain : std::string_view());
    for (const std::string_view value : r.ValueTexts)
        field(cycle ? value : std::string_view());
    field(cycle ? r.Gas : std::string_view());
    return row + kCsvLineEnd;
}

CsvExportResult ExportLogCsv(const std::string& logPath, const std::string& csvPath,
                             LogReadControl* control) {
    CsvExportResult result;
    // The CSV replaces its target whole: made from its own log, it would take the log's place.
    std::error_code same;
    if (std::filesystem::equivalent(Utf8Path(logPath), Utf8Path(csvPath), same)) {
        result.Error = Native(csvPath) +
                       " is the log file itself; choose another name for the "
                       "CSV file.";
        return result;
    }

    CsvFile out(csvPath);
    if (!out.IsOpen()) {
        result.Error = "Cannot write " + Native(csvPath) + ": " + out.Error();
        return result;
    }
    std::string block = CsvHeader();
    bool written = true;
    const auto flush = [&] {
        if (written && !block.empty())
            written = out.Write(block);
        block.clear();
    };
    if (control) {
        control->Done = 0;
        std::error_code unknown;
        const auto size = std::filesystem::file_size(Utf8Path(logPath), unknown);
        control->Total = unknown ? 0 : static_cast<std::int64_t>(size);
    }
    const LogReadResult read = ReadLogRecords(
        logPath,
        [&](const LogRecord& record) {
            block += CsvRow(record);
            if (block.size() >= kWriteBlock)
                flush();
        },
        control);
    result.Counts = read.Counts;
    if (!read.Ok) {
        result.Cancelled = read.Cancelled;
        result.Error = "Cannot read the log file " + Native(logPath) + ": " + read.Error;
        return result;
    }
    flush();
    if (control && control->Cancelled()) {
        result.Cancelled = true;
        result.Error = "cancelled";
        return result;
    }
    if (!written || !out.Commit()) {
        result.Error = "Cannot write " + Native(csvPath) + ": " + out.Error();
        return result;
    }
    result.Ok = true;
    return result;
}

}  // namespace halvern
