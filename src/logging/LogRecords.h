#pragma once
// The log file format: cycle records and disconnection records, one line each, CR LF.

#include <cstddef>
#include <cstdint>
#include <string>

#include "state/Par.h"

namespace halvern {

struct LocalDateTime {
    int year = 2000, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

// The PC's local date and time, for the real program; tests pass their own.
LocalDateTime CurrentLocalDateTime();

// "14:03:27", as the records give the time.
std::string LongTimeText(const LocalDateTime& t);
// "2026-12-05" (ISO 8601), for exports and machine-read output.
std::string IsoDateText(const LocalDateTime& t);

// The 1-based columns at which the record fields start; the gap up to the next start is spaces.
// The writer puts the fields there and the record reader takes them back from there.
namespace RecordColumn {
constexpr std::size_t Status = 1, Date = 9, Time = 19, Temperature = 27, Gain = 33, Signal1 = 38,
                      Reference = 44, Signal2 = 50, Ratio1 = 58, Ratio2 = 64, NqRatio1 = 72,
                      NqRatio2 = 78, Gas = 84;
}

// The record lines, CR LF included, their fields at the columns above. The viewer cuts them
// back by its own columns and widths. A value the reading does not carry (NaN, an empty gain)
// leaves its columns blank.
std::string CycleRecordLine(const StatusReading& reading, const LocalDateTime& now);
std::string DisconnectionRecordLine(const std::string& mark, const LocalDateTime& now);

// " 23 ", "-5 ": the sign position (space for zero or more), the whole number, one space;
// empty for a value not given (NaN).
std::string NumberStyle(double value);

// File names are built from numbers only, so a record never lands outside the program folder.
std::string LogFileName(double serialNumber);             // "4711.txt"
std::string DisconnectionFileName(std::uint8_t address);  // "12.txt"

// Writers, into the logging state `par` (its folder, flags, marks and failures). Each record is
// one open-append-close. RecordDue and DisconnectMark are cleared only after the line was
// written; a failure puts the file and the reason into the failures of its kind of record, and
// a later success takes them out.
// The cycle record of `reading`, when one is due for the address of the last reply taken
// (par.Link.ReplyAddress): a pending disconnection of CurrentAddress is written first, in its
// place. No record is written of a detector given up (par.GivenUp): its last reading is no
// measurement of now; the record stays due.
void WriteCycleRecord(Par& par, const StatusReading& reading, const LocalDateTime& now);
// The disconnection record of CurrentAddress, whose last reading was `last`.
void WriteDisconnectionRecord(Par& par, const StatusReading& last, const LocalDateTime& now);
// What the operator is told while a due record cannot be written (which file and why); empty
// while every due record could be written.
std::string LogWarning(const Par& par);

}  // namespace halvern
