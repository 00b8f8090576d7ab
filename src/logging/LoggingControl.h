#pragma once
// Logging control: the start/stop menu command, the one-second tick and the record triggers of
// the polling cycle. The main window shows what these return; it computes nothing itself.

#include <functional>
#include <optional>
#include <string>

#include "logging/LogRecords.h"
#include "state/Par.h"

namespace halvern {

constexpr const char* kLogPeriodPrompt = "Enter log file period in seconds (1-255):";
constexpr const char* kLogPeriodTitle = "Log Record";
constexpr const char* kLogPeriodDefault = "1";
constexpr const char* kLogPeriodRejected =
    "The log period must be 1 to 255 seconds - logging stays off!";
constexpr const char* kStartLogCaption = "start loggin&G";
constexpr const char* kStopLogCaption = "stop loggin&G";
constexpr int kLogTickMs = 1000;

// The period typed into the input box: the leading number of the answer (leading spaces
// skipped, sign, digits, fraction and exponent taken, the rest ignored; 0 when there is none),
// rounded to the nearest whole number with halves to the even neighbour. Nothing when that
// whole number lies outside 0 to 255, which the period cannot hold.
std::optional<int> ParseLogPeriod(const std::string& answer);

// What the main window shows after the menu command.
struct LoggingDisplay {
    std::string MenuCaption;                  // mnuSLog
    std::optional<std::string> LogOnCaption;  // lblLogOn; nothing: leave it as it is
    bool LogOnVisible = false;                // lblLogOn
    bool Timer2Enabled = false;
};

enum class LogCommandOutcome {
    Stopped,         // logging was on and is now off
    Started,         // logging is on with the new period
    StayedOff,       // the answer gave 0: nothing changes, no message
    PeriodRejected,  // the answer gave a period outside 0 to 255: show `message`, stay off
};

struct LogCommandResult {
    LogCommandOutcome outcome = LogCommandOutcome::StayedOff;
    std::optional<LoggingDisplay> display;  // nothing: the window keeps what it shows
    std::string message;                    // for a critical message box titled kLogPeriodTitle
};

// "Record is activate every 10 seconds..."
std::string LogOnCaption(int period);

// The start/stop logging menu command (mnuSLog). askPeriod shows the input box (kLogPeriodPrompt,
// kLogPeriodTitle, kLogPeriodDefault) and returns the answer, empty when cancelled; it is only
// called when logging is off.
LogCommandResult LogMenuCommand(Par& par, const std::function<std::string()>& askPeriod);

// The logging tick (Timer2, every kLogTickMs while logging is on): once per LogPeriod ticks the
// detector that answered last gets a cycle record of its last reading, unless the polling
// cycle has given it up since. LogTickCount survives switching off and on.
void LogTick(Par& par, const LocalDateTime& now);

// The two triggers the polling cycle runs after a valid status reply has been decoded into
// par.Reading: a changed first status byte makes a record due, and a letter as second status
// byte writes what is due while logging is on.
void AfterValidReply(Par& par, const LocalDateTime& now);

}  // namespace halvern
