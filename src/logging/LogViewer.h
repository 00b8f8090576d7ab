#pragma once
// The log viewer's logic: cutting a record line into its columns, the table of lines read from
// a log file, paging through it twelve rows at a time, and the serial-number prompt's checks.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halvern {

constexpr int kLogLineCount = 1025;  // LogLines: entries 0 to 1024
constexpr int kViewerRows = 12;
constexpr int kLastTopLine = kLogLineCount - kViewerRows;  // 1013: bottom row shows entry 1024

// One column of the viewer, left to right after the row number (lblNumber).
struct LogColumn {
    const char* LabelArray;  // the row label array of the column
    const char* Header;      // header caption
    int Start;               // 1-based column of the line where the writer puts the field
    int Width;               // characters the cell makes room for: the widest value written
};

// A field is shown whole: from its start up to the start of the field that follows it on the
// line (the last one to the line's end), without the blanks around it. So a gas reading of
// 1234 shows "1234" and a temperature of -5 shows "-5", as the plot and the CSV read them.
constexpr int kLogColumnCount = 13;
constexpr std::array<LogColumn, kLogColumnCount> kLogColumns{{
    {"lblS", "Status", 1, 6},
    {"lblT", "Time", 19, 8},
    {"lblD", "Date", 9, 8},
    {"lblTemperature", "T", 27, 4},
    {"lblG", "G", 33, 1},
    {"lblSig1", "Sig1", 38, 4},
    {"lblR", "Ref", 44, 4},
    {"lblSig2", "Sig2", 50, 4},
    {"lblR1", "Rat1", 58, 4},
    {"lblR2", "Rat2", 64, 4},
    {"lblNQ1", "NQR1", 72, 4},
    {"lblNQ2", "NQR2", 78, 4},
    {"lblLelLevel", "LEL", 84, 5},
}};

using LogFields = std::array<std::string, kLogColumnCount>;

// The fields of one line in kLogColumns order, each whole and without the blanks around it;
// empty where the line ends before the field.
LogFields CutLogLine(std::string_view line);

// The line table of a file's text: entry k holds line k + 1 without its line break (CR LF; a
// lone CR or LF also ends a line), entries past the last line are empty, lines after the
// 1025th are ignored. Always kLogLineCount entries.
std::vector<std::string> SplitLogLines(std::string_view text);

// A stretch of a log file's lines, as the viewer pages through it.
struct LogLineTable {
    std::vector<std::string> Lines;  // kLogLineCount entries, empty past the file's end
    std::int64_t First = 0;          // lines of the file before entry 0
    std::int64_t Total = 0;          // lines in the whole file; -1: more than the table, not
                                     // counted yet
};

// A log up to this size is read whole at once, in a few milliseconds. A bigger one takes
// longer than the polling may wait: its first lines are read alone, and its line count and its
// last lines on a thread of its own.
constexpr std::int64_t kViewerQuickBytes = 4 << 20;

struct LogReadControl;

// Which lines of a longer file the table holds: its first 1025 or its last.
enum class LogStretch { First, Last };

// Reads a log file's line table, counting all its lines (with `countAll` false, the first
// lines only: Total is -1 when the file has more). Nothing when the file cannot be opened or
// read (*error then says why) or the reading was cancelled through `control`.
std::optional<LogLineTable> ReadLogLines(const std::string& path,
                                         LogStretch stretch = LogStretch::First,
                                         std::string* error = nullptr,
                                         LogReadControl* control = nullptr, bool countAll = true);

// What one row of the viewer shows.
struct LogRow {
    std::string Number;  // lblNumber: TopLine + row + 1
    LogFields Fields;
};

// The twelve rows over the line table. Row r shows entry TopLine + r, numbered by its line in
// the file.
class LogViewerModel {
  public:
    explicit LogViewerModel(LogLineTable table);

    int TopLine() const { return topLine_; }
    LogRow Row(int row) const;
    const std::string& Entry(int index) const;
    // "lines 1-1025 of 3000" when the file has more lines than the table; empty otherwise.
    std::string Extent() const;
    // Home and End: a table of the file's first lines, shown from its top, or of its last
    // lines, shown with the last line in the bottom row.
    void ShowFirst(LogLineTable table);
    void ShowLast(LogLineTable table);
    // The file's line count, once counted, while the table still holds its first lines.
    void SetTotal(std::int64_t total);
    bool Counted() const { return table_.Total >= 0; }

    // PgDn: one line further. Stops once the bottom row shows the last entry; false then.
    bool PageDown();
    // PgUp: one line back; false at the first line.
    bool PageUp();

  private:
    LogLineTable table_;
    int topLine_ = 0;
};

// The serial-number prompt (frmSerForLog) and the viewer window's title.
constexpr const char* kSerialPromptLabel = "Enter detector serial No:";
constexpr const char* kInvalidEntryText = "Invalid Address!";
constexpr const char* kInvalidEntryTitle = "ERROR";
constexpr const char* kMissingFileText =
    "File does not exsist - First record to a file and then open it!";
constexpr const char* kMissingFileTitle = "MISSING FILE";

// A number in decimal notation: optional sign, digits with an optional decimal point, an
// optional exponent, spaces around it.
bool IsNumberEntry(std::string_view entry);

// The log file of an entry: program folder, the entry without its surrounding spaces, ".txt".
// Nothing when the entry is not a number, so no entry can name a file outside the folder.
std::optional<std::string> LogPathForEntry(const std::string& folder, std::string_view entry);

enum class SerialEntryOutcome {
    Invalid,      // kInvalidEntryText / kInvalidEntryTitle, the prompt closes
    MissingFile,  // kMissingFileText / kMissingFileTitle, the prompt stays open
    NoFile,       // something else than a file has the name (a FIFO, a device, a folder):
                  // `problem` / kInvalidEntryTitle, the prompt stays open
    Open,         // hide the prompt, open the viewer on `path`
};

struct SerialEntryCheck {
    SerialEntryOutcome outcome = SerialEntryOutcome::Invalid;
    std::string path;
    std::string problem;  // NoFile: what is wrong, naming the file
};

// The prompt's OK button: checks the entry and that its log file is a file that can be opened
// for reading.
SerialEntryCheck CheckSerialEntry(const std::string& folder, std::string_view entry);

// "Log file viewer of detector serial No 4711": the entry exactly as typed.
std::string ViewerTitle(std::string_view entry);

}  // namespace halvern
