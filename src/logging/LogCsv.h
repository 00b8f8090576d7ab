#pragma once
// A log file as CSV for a spreadsheet (RFC 4180): a header of named columns, then one row per
// record in file order, dates and times in ISO 8601, disconnection records as rows with status
// "DDD" and empty value columns. Lines that are no record are left out and counted.

#include <string>
#include <string_view>

#include "logging/LogReader.h"

namespace halvern {

// "Line,Date,Time,Status,...,Gas reading" and CR LF.
std::string CsvHeader();

// One record's row, CR LF included. Line is the record's line in the log file, so a row can
// be found again in the viewer.
std::string CsvRow(const LogRecord& record);

// Appends a field, quoted when it holds a comma, a quote or a line break (quotes doubled).
// The log's bytes are Latin-1; the CSV is UTF-8.
void AppendCsvField(std::string& row, std::string_view field);

struct CsvExportResult {
    bool Ok = false;
    bool Cancelled = false;  // stopped through the control (not Ok then)
    std::string Error;       // what went wrong, for the operator, when not Ok
    LogReadCounts Counts;
};

// Writes the whole log at logPath as CSV to csvPath. The CSV appears only complete: a failure
// leaves whatever was at csvPath as it was, and so does a cancel through `control`. The log
// itself is never the target.
CsvExportResult ExportLogCsv(const std::string& logPath, const std::string& csvPath,
                             LogReadControl* control = nullptr);

}  // namespace halvern
