#pragma once
// Reading a whole log file back as records, for plots and exports. The file is streamed in
// chunks, so a file of any size is read with the same small memory; lines that are no record
// (cut, garbled, binary) are counted and passed over.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "logging/LogRecords.h"

namespace halvern {

// Longest line kept whole; a record is under 100 characters, so a longer line is none, and a
// file without line breaks cannot fill the memory.
constexpr std::size_t kMaxLogLine = 4096;

// Cuts a byte stream into lines as it arrives. A line ends at CR LF, a lone CR or a lone LF
// (a CR LF split between two chunks is one line end); the break is not part of the line. A
// last line without its break is still a line.
class LogLineSplitter {
  public:
    // onLine(std::string_view line, bool cut) for each complete line, in order; `cut` when the
    // line was longer than kMaxLogLine and only its start is given. onLine returns false to
    // stop; Feed then returns false and the rest of the chunk is left unread.
    template <typename OnLine>
    bool Feed(std::string_view chunk, OnLine&& onLine);
    template <typename OnLine>
    void Finish(OnLine&& onLine);
    // A line has begun and waits for its end in the next chunk.
    bool InLine() const { return open_; }

  private:
    void Keep(std::string_view piece);

    std::string pending_;   // the start of a line that the next chunk goes on with
    bool open_ = false;     // a line has begun and has not ended
    bool cut_ = false;      // ... and was longer than kMaxLogLine
    bool afterCr_ = false;  // the last chunk ended with a CR: a leading LF belongs to it
};

enum class LogRecordKind { Cycle, Disconnection };

// The fields of a cycle record, in their order on the line after the time.
enum LogValue { Signal1, Reference, Signal2, Ratio1, Ratio2, NqRatio1, NqRatio2, kLogValueCount };

// One record read back. The texts are views into the line and live only as long as it.
struct LogRecord {
    LogRecordKind Kind = LogRecordKind::Cycle;
    // 1-based line number in the file, as the viewer numbers lines (in the part of the file read,
    // when only a part is)
    std::int64_t Line = 0;
    LocalDateTime When;
    std::int64_t Seconds = 0;  // When as seconds from 1970-01-01 00:00:00 on the same clock
    std::string_view Status;   // "NNN0"; "DDD" for a disconnection record
    // Cycle records only; the texts as written (no padding), the numbers read from them. A
    // value the detector's reply did not carry is written blank: an empty text, a NaN number.
    std::string_view Temperature, Gain, Gas;
    std::array<std::string_view, kLogValueCount> ValueTexts{};
    std::array<double, kLogValueCount> Values{};
    double GasValue = 0;
};

// Two-digit years are read as 1980 to 2079: no PC wrote these logs before 1980, and a window
// fixed here reads a file the same way in every year.
int CenturyYear(int twoDigitYear);

// Seconds from 1970-01-01 00:00:00 of a date and time of the proleptic Gregorian calendar.
std::int64_t SecondsOf(const LocalDateTime& t);
LocalDateTime FromSeconds(std::int64_t seconds);

// A line as one record, or nothing when it is none: every field where the writer puts it,
// dates valid dd/mm/yy, times hh:mm:ss (h:m:s in disconnection records), numbers well formed
// or blank.
std::optional<LogRecord> ParseLogRecord(std::string_view line, std::int64_t lineNumber = 0);

struct LogReadCounts {
    std::int64_t Lines = 0;
    std::int64_t CycleRecords = 0;
    std::int64_t DisconnectionRecords = 0;
    std::int64_t Skipped = 0;  // lines that are no record (empty lines included)
    std::int64_t Records() const { return CycleRecords + DisconnectionRecords; }
};

struct LogReadResult {
    bool Ok = false;
    bool Cancelled = false;  // stopped through LogReadControl::Cancel (not Ok then)
    std::string Error;       // why the file could not be read, when not Ok
    LogReadCounts Counts;
};

// A reading followed, and stopped, from another thread than the one that reads.
struct LogReadControl {
    std::atomic<bool> Cancel{false};     // set: the reading stops before its next chunk
    std::atomic<std::int64_t> Done{0};   // bytes read so far, by every thread of the reading
    std::atomic<std::int64_t> Total{0};  // of about this many; set by whoever starts the reading
    // Called after each chunk read, from the reading's threads (several at once, maybe).
    std::function<void()> OnProgress;

    bool Cancelled() const { return Cancel.load(std::memory_order_relaxed); }
    // 0 to 100; 0 while the total is not known.
    int Percent() const;
};

// Part of a file: the lines that begin at a byte offset from Begin up to, not including, End
// (End -1: up to the end of the file). A line that begins before End is read whole, even past
// End, so parts that meet give every line exactly once.
struct LogByteRange {
    std::int64_t Begin = 0, End = -1;
};

// Reads the whole file (or a part of it), calling onRecord for each record in file order.
LogReadResult ReadLogRecords(const std::string& path,
                             const std::function<void(const LogRecord&)>& onRecord,
                             LogReadControl* control = nullptr, LogByteRange range = {});

// "3 lines skipped (not log records)", or empty when none was.
std::string SkippedText(const LogReadCounts& counts);

template <typename OnLine>
bool LogLineSplitter::Feed(std::string_view chunk, OnLine&& onLine) {
    std::size_t i = 0;
    const std::size_t n = chunk.size();
    if (afterCr_ && n > 0) {
        afterCr_ = false;
        if (chunk[0] == '\n')
            i = 1;
    }
    while (i < n) {
        // The first CR or LF: two searches a machine does many bytes at a time beat one byte
        // by byte.
        const char* from = chunk.data() + i;
        const auto* cr = static_cast<const char*>(std::memchr(from, '\r', n - i));
        const std::size_t lookIn = cr ? static_cast<std::size_t>(cr - from) : n - i;
        const auto* lf = static_cast<const char*>(std::memchr(from, '\n', lookIn));
        const std::size_t end = i + (lf ? static_cast<std::size_t>(lf - from) : lookIn);
        if (end == n) {
            Keep(chunk.substr(i));
            open_ = true;
            return true;
        }
        std::string_view line;
        bool cut;
        if (open_) {
            Keep(chunk.substr(i, end - i));
            line = pending_;
            cut = cut_;
        } else {
            line = chunk.substr(i, end - i);
            cut = line.size() > kMaxLogLine;
            if (cut)
                line = line.substr(0, kMaxLogLine);
        }
        i = end + 1;
        if (chunk[end] == '\r') {
            if (i < n) {
                if (chunk[i] == '\n')
                    ++i;
            } else {
                afterCr_ = true;
            }
        }
        const bool more = onLine(line, cut);
        pending_.clear();
        open_ = cut_ = false;
        if (!more)
            return false;
    }
    return true;
}

template <typename OnLine>
void LogLineSplitter::Finish(OnLine&& onLine) {
    if (open_)
        onLine(std::string_view(pending_), cut_);
    pending_.clear();
    open_ = cut_ = afterCr_ = false;
}

}  // namespace halvern
