#pragma once
// The log file format: cycle records and disconnection records, one line each, CR LF.

#include <string>

#include "state/Par.h"

namespace halvern {

struct LocalDateTime {
    int year = 2000, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

// Writers. Each record is one open-append-close. RecordDue and DisconnectMark are cleared only
// after the line was written; a failure sets par.LogError (cleared again by the next success).
void WriteCycleRecord(Par& par, const LocalDateTime& now);
void WriteDisconnectionRecord(Par& par, const LocalDateTime& now);

}  // namespace halvern
