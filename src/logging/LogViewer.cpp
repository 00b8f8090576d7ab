#include "logging/LogViewer.h"

#include "link/LinkFiles.h"
#include "logging/LogReader.h"
#include "platform/FilePath.h"
#include "platform/ProgramFile.h"

#include <algorithm>

namespace halvern {

namespace {

// Splits text into a line table as it arrives, chunk by chunk, counting every line: the first
// 1025 lines, or the last 1025 kept in a ring. The viewer shows nothing past column 87; a
// longer line keeps only its start.
class LineCollector {
  public:
    explicit LineCollector(LogStretch stretch = LogStretch::First, bool countAll = true)
        : stretch_(stretch), countAll_(countAll), ring_(kLogLineCount) {}

    // False once the table is full and no more lines are wanted.
    bool Feed(std::string_view chunk) {
        return splitter_.Feed(chunk, [this](std::string_view line, bool) { return Store(line); });
    }

    LogLineTable Finish() && {
        splitter_.Finish([this](std::string_view line, bool) { return Store(line); });
        LogLineTable table;
        table.Total = stopped_ ? -1 : count_;
        const auto n = static_cast<std::int64_t>(kLogLineCount);
        if (stretch_ == LogStretch::Last && count_ > n) {
            // The ring's oldest entry stands where the next line would have gone.
            table.First = count_ - n;
            std::rotate(ring_.begin(), ring_.begin() + static_cast<std::ptrdiff_t>(count_ % n),
                        ring_.end());
        }
        table.Lines = std::move(ring_);
        return table;
    }

  private:
    bool Store(std::string_view line) {
        const auto n = static_cast<std::int64_t>(kLogLineCount);
        if (count_ == n && !countAll_) {
            stopped_ = true;
            return false;
        }
        if (count_ < n)
            ring_[static_cast<std::size_t>(count_)] = line;
        else if (stretch_ == LogStretch::Last)
            ring_[static_cast<std::size_t>(count_ % n)].assign(line);  // reuses its memory
        ++count_;
        return true;
    }

    LogStretch stretch_;
    bool countAll_;
    bool stopped_ = false;  // a line past the table came, and was not counted
    LogLineSplitter splitter_;
    std::vector<std::string> ring_;
    std::int64_t count_ = 0;
};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

// Where each field ends: where the next one on the line begins (the last, at the line's end).
constexpr std::array<std::size_t, kLogColumnCount> kFieldEnds = [] {
    std::array<std::size_t, kLogColumnCount> ends{};
    for (std::size_t i = 0; i < ends.size(); ++i) {
        ends[i] = std::string_view::npos;
        for (const LogColumn& c : kLogColumns)
            if (c.Start > kLogColumns[i].Start)
                ends[i] = std::min(ends[i], static_cast<std::size_t>(c.Start - 1));
    }
    return ends;
}();

LogFields CutLogLine(std::string_view line) {
    LogFields fields;
    for (std::size_t i = 0; i < kLogColumns.size(); ++i) {
        const auto from = static_cast<std::size_t>(kLogColumns[i].Start - 1);
        if (from < line.size())
            fields[i] = std::string(TrimBlanks(line.substr(from, kFieldEnds[i] - from)));
    }
    return fields;
}

std::vector<std::string> SplitLogLines(std::string_view text) {
    LineCollector collector;
    collector.Feed(text);
    return std::move(collector).Finish().Lines;
}

std::optional<LogLineTable> ReadLogLines(const std::string& path, LogStretch stretch,
                                         std::string* error, LogReadControl* control,
                                         bool countAll) {
    const OpenedFile opened = OpenProgramFile(path, FileAccess::Read);
    if (!opened) {
        if (error)
            *error = opened.error;
        return std::nullopt;
    }
    ProgramFile& file = *opened.file;
    // The whole file is read: the viewer says how many lines it has beyond the table.
    LineCollector collector(stretch, countAll || stretch == LogStretch::Last);
    std::vector<char> buf(1 << 20);
    if (control && control->Total.load() == 0)
        control->Total = file.Size();
    for (;;) {
        if (control && control->Cancelled())
            return std::nullopt;
        const std::int64_t n = file.Read(buf.data(), static_cast<std::int64_t>(buf.size()));
        if (n < 0) {
            if (error)
                *error = file.Error();
            return std::nullopt;
        }
        if (n == 0)
            break;
        if (!collector.Feed(std::string_view(buf.data(), static_cast<std::size_t>(n))))
            break;
        if (control) {
            control->Done.fetch_add(n, std::memory_order_relaxed);
            if (control->OnProgress)
                control->OnProgress();
        }
    }
    return std::move(collector).Finish();
}

LogViewerModel::LogViewerModel(LogLineTable table) : table_(std::move(table)) {
    table_.Lines.resize(kLogLineCount);
}

const std::string& LogViewerModel::Entry(int index) const {
    static const std::string kEmpty;
    if (index < 0 || index >= kLogLineCount)
        return kEmpty;
    return table_.Lines[static_cast<std::size_t>(index)];
}

LogRow LogViewerModel::Row(int row) const {
    return {std::to_string(table_.First + topLine_ + row + 1), CutLogLine(Entry(topLine_ + row))};
}

std::string LogViewerModel::Extent() const {
    if (table_.Total < 0)
        return "lines 1-" + std::to_string(kLogLineCount) + " of ... (counting)";
    if (table_.First == 0 && table_.Total <= kLogLineCount)
        return {};
    const std::int64_t last = std::min(table_.Total, table_.First + kLogLineCount);
    return "lines " + std::to_string(table_.First + 1) + "-" + std::to_string(last) + " of " +
           std::to_string(table_.Total);
}

void LogViewerModel::ShowFirst(LogLineTable table) {
    *this = LogViewerModel(std::move(table));
}

void LogViewerModel::SetTotal(std::int64_t total) {
    if (table_.First == 0 && table_.Total < 0)
        table_.Total = std::max<std::int64_t>(total, kLogLineCount + 1);
}

void LogViewerModel::ShowLast(LogLineTable table) {
    *this = LogViewerModel(std::move(table));
    const std::int64_t held = std::min<std::int64_t>(table_.Total - table_.First, kLogLineCount);
    topLine_ = static_cast<int>(std::max<std::int64_t>(0, held - kViewerRows));
}

bool LogViewerModel::PageDown() {
    if (topLine_ >= kLastTopLine)
        return false;
    ++topLine_;
    return true;
}

bool LogViewerModel::PageUp() {
    if (topLine_ <= 0)
        return false;
    --topLine_;
    return true;
}

bool IsNumberEntry(std::string_view entry) {
    const std::string_view s = TrimBlanks(entry);
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    bool digits = false;
    while (i < s.size() && IsDigit(s[i])) {
        ++i;
        digits = true;
    }
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && IsDigit(s[i])) {
            ++i;
            digits = true;
        }
    }
    if (!digits)
        return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-'))
            ++i;
        const std::size_t expStart = i;
        while (i < s.size() && IsDigit(s[i]))
            ++i;
        if (i == expStart)
            return false;
    }
    return i == s.size();
}

std::optional<std::string> LogPathForEntry(const std::string& folder, std::string_view entry) {
    // Only a number passes, so the name holds digits, a sign, a point or an exponent letter:
    // never a separator, a drive or "..".
    if (!IsNumberEntry(entry))
        return std::nullopt;
    const std::string name = std::string(TrimBlanks(entry)) + ".txt";
    return JoinPath(folder, name);
}

SerialEntryCheck CheckSerialEntry(const std::string& folder, std::string_view entry) {
    const std::optional<std::string> path = LogPathForEntry(folder, entry);
    if (!path)
        return {SerialEntryOutcome::Invalid, {}, {}};
    const OpenedFile f = OpenProgramFile(*path, FileAccess::Read);
    if (f)
        return {SerialEntryOutcome::Open, *path, {}};
    // "does not exsist" would be untrue of a FIFO or a folder of that name.
    if (f.notRegular)
        return {SerialEntryOutcome::NoFile, *path, CannotRead(*path, f)};
    return {SerialEntryOutcome::MissingFile, *path, {}};
}

std::string ViewerTitle(std::string_view entry) {
    return "Log file viewer of detector serial No " + std::string(entry);
}

}  // namespace halvern
