#pragma once
// The search for a working turnaround delay (F12): step by 1000 us after each silent poll,
// wrap above 25000 to 4000, give up after 23 failures, save at the first valid status reply.

#include <cstdint>
#include <string>

namespace halvern {

struct TuneState {
    bool TuneActive = false;
    std::uint8_t TuneStep = 0;
};

void StartTuning(TuneState& t);
void TuneAfterFailedPoll(TuneState& t, double& turnaroundDelay);
// Writes the delay to tuneFilePath when tuning runs and the reply was a valid status reply.
void TuneAfterGoodReply(TuneState& t, bool validStatusReply, double turnaroundDelay,
                        const std::string& tuneFilePath);
// The delay at start-up: the file's first value, or 4000 (the file is then created holding
// 4000 when it is missing). A file that does not read as a number from 0 to 2147483647 gives
// 4000 and is left alone; so does one that cannot be read, or something else than a file
// under the name (*problem says which).
double LoadTurnaroundDelay(const std::string& tuneFilePath, std::string* problem = nullptr);

}  // namespace halvern
