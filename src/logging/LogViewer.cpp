#include "logging/LogViewer.h"

#include "link/LinkFiles.h"
#include "logging/LogReader.h"
#include "platform/ProgramFile.h"

#include <QDir>

namespace halvern {

namespace {

// Splits text into the line table as it arrives, chunk by chunk. The viewer shows nothing past
// column 87; a longer line keeps only its start.
class LineCollector {
  public:
    LineCollector() : lines_(kLogLineCount) {}

    void Feed(std::string_view chunk) {
        if (!Full())
            splitter_.Feed(chunk, [this](std::string_view line, bool) { return Store(line); });
    }

    bool Full() const { return count_ >= static_cast<std::size_t>(kLogLineCount); }

    std::vector<std::string> Finish() && {
        if (!Full())
            splitter_.Finish([this](std::string_view line, bool) { return Store(line); });
        return std::move(lines_);
    }

  private:
    bool Store(std::string_view line) {
        lines_[count_++] = std::string(line);
        return !Full();
    }

    LogLineSplitter splitter_;
    std::vector<std::string> lines_;
    std::size_t count_ = 0;
};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

LogFields CutLogLine(std::string_view line) {
    LogFields fields;
    for (int i = 0; i < kLogColumnCount; ++i) {
        const std::size_t from = static_cast<std::size_t>(kLogColumns[i].Start - 1);
        if (from < line.size()) {
            fields[i] =
                std::string(line.substr(from, static_cast<std::size_t>(kLogColumns[i].Length)));
        }
    }
    return fields;
}

std::vector<std::string> SplitLogLines(std::string_view text) {
    LineCollector collector;
    collector.Feed(text);
    return std::move(collector).Finish();
}

std::optional<std::vector<std::string>> ReadLogLines(const std::string& path, std::string* error) {
    const OpenedFile opened = OpenProgramFile(path, FileAccess::Read);
    if (!opened) {
        if (error)
            *error = opened.error;
        return std::nullopt;
    }
    QFile& file = *opened.file;
    LineCollector collector;
    // Log files only grow; read no more of them than the table can hold.
    char buf[64 * 1024];
    while (!collector.Full()) {
        const qint64 n = file.read(buf, sizeof buf);
        if (n < 0) {
            if (error)
                *error = file.errorString().toStdString();
            return std::nullopt;
        }
        if (n == 0)
            break;
        collector.Feed(std::string_view(buf, static_cast<std::size_t>(n)));
    }
    return std::move(collector).Finish();
}

LogViewerModel::LogViewerModel(std::vector<std::string> lines) : lines_(std::move(lines)) {
    lines_.resize(kLogLineCount);
}

const std::string& LogViewerModel::Entry(int index) const {
    static const std::string kEmpty;
    if (index < 0 || index >= kLogLineCount)
        return kEmpty;
    return lines_[static_cast<std::size_t>(index)];
}

LogRow LogViewerModel::Row(int row) const {
    return {std::to_string(topLine_ + row + 1), CutLogLine(Entry(topLine_ + row))};
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
    return QDir(QString::fromStdString(folder))
        .filePath(QString::fromStdString(name))
        .toStdString();
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
