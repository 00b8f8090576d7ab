#include "logging/LoggingControl.h"

#include <charconv>
#include <cmath>
#include <string_view>

namespace halvern {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::size_t SkipDigits(std::string_view s, std::size_t i) {
    while (i < s.size() && IsDigit(s[i]))
        ++i;
    return i;
}

// The longest leading decimal number of s (after leading spaces), or 0 when there is none.
double LeadingNumber(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
        ++i;
    const std::size_t start = i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    const std::size_t intStart = i;
    i = SkipDigits(s, i);
    bool digits = i > intStart;
    if (i < s.size() && s[i] == '.') {
        const std::size_t fracStart = i + 1;
        const std::size_t fracEnd = SkipDigits(s, fracStart);
        digits = digits || fracEnd > fracStart;
        i = fracEnd;
    }
    if (!digits)
        return 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            ++j;
        const std::size_t expEnd = SkipDigits(s, j);
        if (expEnd > j)
            i = expEnd;  // an exponent counts only with its digits
    }
    std::string_view number = s.substr(start, i - start);
    if (!number.empty() && number.front() == '+')
        number.remove_prefix(1);
    double value = 0;
    // from_chars ignores the locale: "2.5" is two and a half whatever the PC's settings.
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (ec == std::errc::result_out_of_range) {
        return number.front() == '-' ? -HUGE_VAL : HUGE_VAL;
    }
    (void)end;
    return ec == std::errc() ? value : 0;
}

double RoundHalfEven(double v) {
    const double lower = std::floor(v);
    const double diff = v - lower;
    if (diff > 0.5)
        return lower + 1;
    if (diff < 0.5)
        return lower;
    return std::fmod(lower, 2.0) == 0 ? lower : lower + 1;
}

bool IsAsciiLetter(std::uint8_t b) {
    return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
}

}  // namespace

std::optional<int> ParseLogPeriod(const std::string& answer) {
    const double whole = RoundHalfEven(LeadingNumber(answer));
    if (!(whole >= 0 && whole <= 255))
        return std::nullopt;
    return static_cast<int>(whole);
}

std::string LogOnCaption(int period) {
    return "Record is activate every " + std::to_string(period) + " seconds...";
}

LogCommandResult LogMenuCommand(Par& par, const std::function<std::string()>& askPeriod) {
    LogCommandResult result;
    if (par.LoggingOn) {
        par.LoggingOn = false;
        par.CycleLogFailures.clear();  // none is due any more
        result.outcome = LogCommandOutcome::Stopped;
        result.display = LoggingDisplay{kStartLogCaption, std::nullopt, false, false};
        return result;
    }
    const std::optional<int> period = ParseLogPeriod(askPeriod ? askPeriod() : std::string());
    if (!period) {
        par.LogPeriod = 0;
        result.outcome = LogCommandOutcome::PeriodRejected;
        result.message = kLogPeriodRejected;
        return result;
    }
    par.LogPeriod = static_cast<std::uint8_t>(*period);
    if (*period == 0) {
        result.outcome = LogCommandOutcome::StayedOff;
        return result;
    }
    par.LoggingOn = true;
    result.outcome = LogCommandOutcome::Started;
    result.display = LoggingDisplay{kStopLogCaption, LogOnCaption(*period), true, true};
    return result;
}

void LogTick(Par& par, const LocalDateTime& now) {
    ++par.LogTickCount;
    if (par.LogTickCount < par.LogPeriod)
        return;
    par.LogTickCount = 0;
    par.RecordDue[par.Link.ReplyAddress] = true;
    WriteCycleRecord(par, par.Reading, now);
}

void AfterValidReply(Par& par, const LocalDateTime& now) {
    const StatusReading& reading = par.Reading;
    const std::uint8_t r = par.Link.ReplyAddress;
    if (reading.FirstStatusByte != par.LastStatusByte[r]) {
        par.LastStatusByte[r] = reading.FirstStatusByte;
        par.RecordDue[r] = true;
    }
    if (IsAsciiLetter(reading.SecondStatusByte) && par.LoggingOn)
        WriteCycleRecord(par, reading, now);
}

}  // namespace halvern
