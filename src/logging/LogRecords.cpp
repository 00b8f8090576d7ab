#include "logging/LogRecords.h"

#include <cmath>
#include <cstdio>
#include <string_view>

#include "link/LinkFiles.h"
#include "platform/FilePath.h"
#include "platform/ProgramFile.h"
#include "platform/System.h"
#include "state/Formats.h"

namespace halvern {

namespace {

constexpr const char* kLineEnd = "\r\n";
constexpr const char* kDisconnectedMark = "DDD";
constexpr std::string_view kBlankGas = "   ";

// A byte a record can hold as it is: printable ASCII and the printable half of Latin-1, in
// which the viewer reads the files. Control bytes (a CR, LF or NUL among a detector's status
// characters) would break or cut the line.
bool Printable(unsigned char c) {
    return (c >= 0x20 && c < 0x7F) || c >= 0xA0;
}

// Puts a field at its 1-based start column, filling the gap with spaces; bytes that are not
// printable become '?'. A field that ran past the next start column (a value no decoder
// produces) gets one space, so the line stays one line and the fields stay apart.
void PutAt(std::string& line, std::size_t column, std::string_view field) {
    const std::size_t at = column - 1;
    if (line.size() < at) {
        line.append(at - line.size(), ' ');
    } else if (line.size() > at) {
        line += ' ';
    }
    for (const char c : field)
        line += Printable(static_cast<unsigned char>(c)) ? c : '?';
}

std::string DateText(const LocalDateTime& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%02d", t.day % 100, t.month % 100,
                  ((t.year % 100) + 100) % 100);
    return buf;
}

std::string ShortTimeText(const LocalDateTime& t) {
    return std::to_string(t.hour) + ":" + std::to_string(t.minute) + ":" + std::to_string(t.second);
}

// Appends one record in one write. On failure the file is left as it was (as far as the system
// allows) and `failures` holds the file with the reason; a success takes the file out again.
bool AppendRecord(Par& par, std::map<std::string, std::string>& failures,
                  const std::string& fileName, const std::string& line) {
    const std::string path = JoinPath(par.ProgramFolder, fileName);
    const OpenedFile opened = OpenProgramFile(path, FileAccess::Append);
    std::string reason;
    if (!opened) {
        reason = opened.error;
    } else {
        ProgramFile& file = *opened.file;
        const std::int64_t sizeBefore = file.Size();
        const std::int64_t written = file.Write(line);
        if (written != static_cast<std::int64_t>(line.size())) {
            reason = written > 0 ? "only part of the record could be written" : file.Error();
            // A half line would glue itself to the retried record; take it back.
            if (written > 0 && sizeBefore >= 0)
                file.Resize(sizeBefore);
        }
        if (!file.Close() && reason.empty())
            reason = file.Error();
    }
    if (!reason.empty()) {
        failures[fileName] = "Cannot write the log file " + NativePath(path) + ": " + reason;
        ++par.LogWriteFailures;
        return false;
    }
    failures.erase(fileName);
    ++par.LogRecordsWritten;
    return true;
}

// Writes the pending disconnection record of CurrentAddress and clears its mark once written.
void WritePendingDisconnection(Par& par, const LocalDateTime& now) {
    const std::uint8_t a = par.CurrentAddress;
    std::string& mark = par.DisconnectMark[a];
    if (AppendRecord(par, par.DisconnectionLogFailures, DisconnectionFileName(a),
                     DisconnectionRecordLine(mark, now))) {
        mark.clear();
    }
}

}  // namespace

LocalDateTime CurrentLocalDateTime() {
    const std::tm t = LocalTimeNow();
    return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

std::string NumberStyle(double value) {
    if (std::isnan(value))
        return {};
    if (!std::isfinite(value))
        value = 0;
    std::string text(1, value < 0 ? '-' : ' ');
    const double magnitude = std::fabs(value);
    char buf[64];
    if (magnitude == std::trunc(magnitude) && magnitude < 1e15) {
        std::snprintf(buf, sizeof buf, "%.0f", magnitude);
    } else {
        std::snprintf(buf, sizeof buf, "%.7g", magnitude);
    }
    text += buf;
    text += ' ';
    return text;
}

std::string CycleRecordLine(const StatusReading& reading, const LocalDateTime& now) {
    const auto& ch = reading.ChannelValues;
    std::string line;
    namespace C = RecordColumn;
    PutAt(line, C::Status, reading.StatusCode);
    PutAt(line, C::Date, DateText(now));
    PutAt(line, C::Time, LongTimeText(now));
    PutAt(line, C::Temperature, NumberStyle(ch[kSlotTemperature]));
    PutAt(line, C::Gain, reading.GainText);
    PutAt(line, C::Signal1, Format2(ch[kSlotSignal1]));
    PutAt(line, C::Reference, Format2(ch[kSlotReference]));
    PutAt(line, C::Signal2, Format2(ch[kSlotSignal2]));
    PutAt(line, C::Ratio1, Format2(ch[kSlotRatio1]));
    PutAt(line, C::Ratio2, Format2(ch[kSlotRatio2]));
    PutAt(line, C::NqRatio1, Format2(ch[kSlotNqRatio1]));
    PutAt(line, C::NqRatio2, Format2(ch[kSlotNqRatio2]));
    // A gas reading the reply did not carry leaves its columns blank; the line still reaches
    // past them, so that a reader tells it from a line cut short.
    PutAt(line, C::Gas,
          std::isnan(ch[kSlotGas]) ? std::string(kBlankGas) : NumberStyle(ch[kSlotGas]));
    line += kLineEnd;
    return line;
}

std::string DisconnectionRecordLine(const std::string& mark, const LocalDateTime& now) {
    std::string line;
    PutAt(line, RecordColumn::Status, mark);
    PutAt(line, RecordColumn::Date, DateText(now));
    PutAt(line, RecordColumn::Time, ShortTimeText(now));
    line += kLineEnd;
    return line;
}

std::string LogFileName(double serialNumber) {
    const long long n = std::isfinite(serialNumber) ? std::llround(serialNumber) : 0;
    return std::to_string(n) + ".txt";
}

std::string DisconnectionFileName(std::uint8_t address) {
    return std::to_string(address) + ".txt";
}

void WriteCycleRecord(Par& par, const StatusReading& reading, const LocalDateTime& now) {
    const std::uint8_t r = par.Link.ReplyAddress;
    // A record needs a whole status code: there is none before any detector has answered, nor
    // after a reply too short to reach the status number. The record stays due.
    if (!par.RecordDue[r] || !par.LoggingOn || !reading.WholeCode())
        return;
    // A detector that was given up is marked in its own file first; the cycle record stays due
    // for the next call.
    if (par.DisconnectMark[par.CurrentAddress] == kDisconnectedMark) {
        WritePendingDisconnection(par, now);
        return;
    }
    if (par.GivenUp[r] || par.GivenUp[par.CurrentAddress])
        return;
    if (AppendRecord(par, par.CycleLogFailures, LogFileName(reading.SerialNumber),
                     CycleRecordLine(reading, now))) {
        par.RecordDue[r] = false;
    }
}

std::string LogWarning(const Par& par) {
    for (const auto* failures : {&par.CycleLogFailures, &par.DisconnectionLogFailures}) {
        if (failures->empty())
            continue;
        std::string text = failures->begin()->second;
        const std::size_t others =
            par.CycleLogFailures.size() + par.DisconnectionLogFailures.size() - 1;
        if (others > 0)
            text += " (and " + std::to_string(others) + " more)";
        return text;
    }
    return {};
}

void WriteDisconnectionRecord(Par& par, const StatusReading& last, const LocalDateTime& now) {
    // With an NQ ratio of 0 the line is not written now; the mark stays, and the cycle
    // record's writer puts it into the address's file at its next call.
    if (last.ChannelValues[kSlotNqRatio1] == 0 || last.ChannelValues[kSlotNqRatio2] == 0)
        return;
    WritePendingDisconnection(par, now);
}

std::string LongTimeText(const LocalDateTime& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.hour % 100, t.minute % 100, t.second % 100);
    return buf;
}

std::string IsoDateText(const LocalDateTime& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", t.year % 10000, t.month % 100, t.day % 100);
    return buf;
}

}  // namespace halvern
