#include "logging/LogReader.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>
#include <vector>

#include "platform/ProgramFile.h"

namespace halvern {

namespace {

constexpr std::int64_t kReadChunk = 256 * 1024;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The writer writes printable ASCII and Latin-1 only; a control byte is damage.
bool PrintableBytes(std::string_view s) {
    for (const char c : s) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || (b >= 0x7F && b < 0xA0))
            return false;
    }
    return true;
}

// The same, eight bytes at a time while they are ASCII: every line of a log passes here.
bool Printable(std::string_view s) {
    constexpr std::uint64_t kOnes = 0x0101010101010101u, kHigh = 0x8080808080808080u;
    std::size_t i = 0;
    for (; i + 8 <= s.size(); i += 8) {
        std::uint64_t x;
        std::memcpy(&x, s.data() + i, 8);
        if (x & kHigh) {
            if (!PrintableBytes(s.substr(i, 8)))
                return false;
            continue;
        }
        // In bytes below 0x80: is one of them below 0x20, or 0x7F (zero once xored)?
        const std::uint64_t below = (x - kOnes * 0x20) & ~x & kHigh;
        const std::uint64_t del = x ^ (kOnes * 0x7F);
        if (below | ((del - kOnes) & ~del & kHigh))
            return false;
    }
    return PrintableBytes(s.substr(i));
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

// The text between two 1-based start columns (to the end of the line when `to` is 0), without
// the spaces around it.
std::string_view Span(std::string_view line, std::size_t from, std::size_t to = 0) {
    const std::size_t begin = from - 1;
    if (begin >= line.size())
        return {};
    const std::size_t length = to == 0 ? std::string_view::npos : to - from;
    return Trim(line.substr(begin, length));
}

// 1 or 2 digits (exactly 2 when `two`), their value in *out.
bool SmallNumber(std::string_view s, bool two, int* out) {
    if (s.empty() || s.size() > 2 || (two && s.size() != 2))
        return false;
    int v = 0;
    for (const char c : s) {
        if (!IsDigit(c))
            return false;
        v = v * 10 + (c - '0');
    }
    *out = v;
    return true;
}

// Three numbers separated by `sep`. The texts are short (a date, a time): a plain look for
// the separators beats a library search.
bool ThreeParts(std::string_view s, char sep, bool two, int* a, int* b, int* c) {
    std::size_t p = 0;
    while (p < s.size() && s[p] != sep)
        ++p;
    std::size_t q = p + 1;
    while (q < s.size() && s[q] != sep)
        ++q;
    if (q >= s.size())
        return false;
    return SmallNumber(s.substr(0, p), two, a) && SmallNumber(s.substr(p + 1, q - p - 1), two, b) &&
           SmallNumber(s.substr(q + 1), two, c);
}

bool LeapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && LeapYear(y) ? 29 : kDays[m - 1];
}

// "dd/mm/yy"
bool ParseDate(std::string_view s, LocalDateTime* t) {
    int d = 0, m = 0, y = 0;
    if (!ThreeParts(s, '/', true, &d, &m, &y) || m < 1 || m > 12)
        return false;
    y = CenturyYear(y);
    if (d < 1 || d > DaysInMonth(y, m))
        return false;
    t->day = d;
    t->month = m;
    t->year = y;
    return true;
}

// "hh:mm:ss" in cycle records, "h:m:s" in disconnection records; either is read in both.
bool ParseTime(std::string_view s, LocalDateTime* t) {
    int h = 0, m = 0, sec = 0;
    if (!ThreeParts(s, ':', false, &h, &m, &sec) || h > 23 || m > 59 || sec > 59)
        return false;
    t->hour = h;
    t->minute = m;
    t->second = sec;
    return true;
}

// A decimal number as the writer writes them: optional minus, digits, optional point and
// digits. No exponent, no "inf" or "nan". Inlined: the divisions of a line's values overlap.
[[gnu::always_inline]] inline bool ParseDecimal(std::string_view s, double* out) {
    const bool negative = s.starts_with('-');
    std::size_t i = negative ? 1 : 0;
    std::uint64_t mantissa = 0;
    std::size_t digits = 0, decimals = 0;
    for (; i < s.size() && IsDigit(s[i]); ++i, ++digits)
        mantissa = mantissa * 10 + static_cast<std::uint64_t>(s[i] - '0');
    if (i < s.size() && s[i] == '.') {
        for (++i; i < s.size() && IsDigit(s[i]); ++i, ++digits, ++decimals)
            mantissa = mantissa * 10 + static_cast<std::uint64_t>(s[i] - '0');
    }
    if (digits == 0 || i != s.size() || digits > 18)
        return false;
    // A log holds millions of these. The digits and the power of ten are both exact doubles
    // here, so one correctly rounded division gives the nearest double, as from_chars does.
    static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8, 1e9,
                                         1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18};
    if (mantissa <= (std::uint64_t{1} << 53)) {
        const double v = static_cast<double>(mantissa) / kPowers[decimals];
        *out = negative ? -v : v;
        return true;
    }
    const auto [end, ec] =
        std::from_chars(s.data(), s.data() + s.size(), *out, std::chars_format::fixed);
    return ec == std::errc() && end == s.data() + s.size();
}

// A value field: a number as the writer writes them, or blank for a value the detector's reply
// did not carry (NaN).
bool GivenOrBlank(std::string_view s, double* out) {
    if (s.empty()) {
        *out = std::numeric_limits<double>::quiet_NaN();
        return true;
    }
    return ParseDecimal(s, out);
}

bool ParseDisconnection(std::string_view line, LogRecord& r) {
    namespace C = RecordColumn;
    if (r.Status != "DDD" || !ParseTime(Span(line, C::Time), &r.When))
        return false;
    r.Kind = LogRecordKind::Disconnection;
    r.Temperature = r.Gain = r.Gas = {};
    r.ValueTexts = {};
    r.Values = {};
    r.GasValue = 0;
    r.Seconds = SecondsOf(r.When);
    return true;
}

// ParseLogRecord into a record of the caller's, which a reader reuses line after line: every
// field is set when the line is a record; otherwise the record is left half filled.
bool ParseInto(std::string_view line, std::int64_t lineNumber, LogRecord& r) {
    namespace C = RecordColumn;
    if (!Printable(line))
        return false;
    r.Line = lineNumber;
    r.Status = Span(line, C::Status, C::Date);
    if (r.Status.empty() || !ParseDate(Span(line, C::Date, C::Time), &r.When))
        return false;
    // A disconnection record ends with its time; a cycle record goes on to the gas reading.
    if (line.size() < C::Gas)
        return ParseDisconnection(line, r);
    r.Kind = LogRecordKind::Cycle;
    if (!ParseTime(Span(line, C::Time, C::Temperature), &r.When))
        return false;
    r.Temperature = Span(line, C::Temperature, C::Gain);
    r.Gain = Span(line, C::Gain, C::Signal1);
    r.Gas = Span(line, C::Gas);
    // The gas reading is written with a space after it, and a blank one as blank columns up to
    // the same end: a line that stops short was cut and may have lost digits.
    if (!line.ends_with(' ') || line.size() < C::Gas + 2)
        return false;
    double temperature = 0;
    if ((!r.Temperature.empty() && !ParseDecimal(r.Temperature, &temperature)) ||
        (!r.Gain.empty() && (r.Gain.size() != 1 || !IsDigit(r.Gain[0]))) ||
        !GivenOrBlank(r.Gas, &r.GasValue))
        return false;
    static constexpr std::size_t kStarts[kLogValueCount + 1] = {
        C::Signal1, C::Reference, C::Signal2,  C::Ratio1,
        C::Ratio2,  C::NqRatio1,  C::NqRatio2, C::Gas};
    for (std::size_t v = 0; v < kLogValueCount; ++v) {
        r.ValueTexts[v] = Span(line, kStarts[v], kStarts[v + 1]);
        if (!GivenOrBlank(r.ValueTexts[v], &r.Values[v]))
            return false;
    }
    r.Seconds = SecondsOf(r.When);
    return true;
}

}  // namespace

int CenturyYear(int twoDigitYear) {
    return twoDigitYear >= 80 ? 1900 + twoDigitYear : 2000 + twoDigitYear;
}

// Days from 1970-01-01 of a civil date (the well-known era-based conversion).
std::int64_t SecondsOf(const LocalDateTime& t) {
    const std::int64_t y = t.year - (t.month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t mp = (t.month + 9) % 12;
    const std::int64_t doy = (153 * mp + 2) / 5 + t.day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const std::int64_t days = era * 146097 + doe - 719468;
    return days * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

LocalDateTime FromSeconds(std::int64_t seconds) {
    std::int64_t days = seconds / 86400;
    std::int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const int year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
    return {year,
            month,
            day,
            static_cast<int>(rest / 3600),
            static_cast<int>(rest / 60 % 60),
            static_cast<int>(rest % 60)};
}

std::optional<LogRecord> ParseLogRecord(std::string_view line, std::int64_t lineNumber) {
    LogRecord r;
    if (!ParseInto(line, lineNumber, r))
        return std::nullopt;
    return r;
}

int LogReadControl::Percent() const {
    const std::int64_t total = Total.load(std::memory_order_relaxed);
    if (total <= 0)
        return 0;
    const std::int64_t done = Done.load(std::memory_order_relaxed);
    return static_cast<int>(std::clamp<std::int64_t>(done * 100 / total, 0, 100));
}

LogReadResult ReadLogRecords(const std::string& path,
                             const std::function<void(const LogRecord&)>& onRecord,
                             LogReadControl* control, LogByteRange range) {
    LogReadResult result;
    const OpenedFile opened = OpenProgramFile(path, FileAccess::Read);
    if (!opened) {
        result.Error = opened.error;
        return result;
    }
    ProgramFile& file = *opened.file;
    // A part that starts inside the file reads from the byte before its start: the line that
    // byte ends or belongs to began before this part, and is the previous part's.
    bool skipLine = range.Begin > 0;
    std::int64_t at = skipLine ? range.Begin - 1 : 0;
    if (at > 0 && !file.Seek(at)) {
        result.Error = file.Error();
        return result;
    }
    bool pastEnd = false;  // the part's bytes are all fed: the line still open is the last
    LogReadCounts& counts = result.Counts;
    LogRecord record;
    const auto onLine = [&](std::string_view line, bool cut) {
        if (skipLine) {
            skipLine = false;
            return !pastEnd;
        }
        ++counts.Lines;
        if (cut || !ParseInto(line, counts.Lines, record)) {
            ++counts.Skipped;
        } else {
            ++(record.Kind == LogRecordKind::Cycle ? counts.CycleRecords
                                                   : counts.DisconnectionRecords);
            onRecord(record);
        }
        return !pastEnd;
    };
    LogLineSplitter splitter;
    // A small file or part gets a small buffer (a part is read to its end's line break).
    const std::int64_t ahead = (range.End >= 0 ? range.End : file.Size()) - at;
    std::vector<char> buf(static_cast<std::size_t>(
        std::clamp<std::int64_t>(ahead + static_cast<std::int64_t>(kMaxLogLine), 1, kReadChunk)));
    for (;;) {
        if (control && control->Cancelled()) {
            result.Cancelled = true;
            result.Error = "cancelled";
            return result;
        }
        auto want = static_cast<std::int64_t>(buf.size());
        if (range.End >= 0 && !pastEnd) {
            want = std::min(want, range.End - at);
            if (want <= 0) {
                pastEnd = true;
                if (!splitter.InLine())
                    break;
                want = static_cast<std::int64_t>(buf.size());
            }
        }
        const std::int64_t n = file.Read(buf.data(), want);
        if (n < 0) {
            result.Error = file.Error();
            return result;
        }
        if (n == 0) {
            splitter.Finish(onLine);
            break;
        }
        at += n;
        if (control) {
            control->Done.fetch_add(n, std::memory_order_relaxed);
            if (control->OnProgress)
                control->OnProgress();
        }
        if (!splitter.Feed(std::string_view(buf.data(), static_cast<std::size_t>(n)), onLine))
            break;
    }
    result.Ok = true;
    return result;
}

std::string SkippedText(const LogReadCounts& counts) {
    if (counts.Skipped == 0)
        return {};
    return std::to_string(counts.Skipped) + (counts.Skipped == 1 ? " line" : " lines") +
           " skipped (not log records)";
}

void LogLineSplitter::Keep(std::string_view piece) {
    const std::size_t room = kMaxLogLine - std::min(kMaxLogLine, pending_.size());
    if (piece.size() > room)
        cut_ = true;
    pending_.append(piece.substr(0, room));
}

}  // namespace halvern
