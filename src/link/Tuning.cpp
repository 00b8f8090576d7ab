#include "link/Tuning.h"

#include <limits>

#include "link/Link.h"
#include "link/LinkFiles.h"

namespace halvern {

namespace {
constexpr double kTuneStepUs = 1000;
constexpr double kTuneMaxUs = 25000;
constexpr std::uint8_t kTuneMaxFailures = 22;  // the search gives up at the 23rd
}  // namespace

void StartTuning(TuneState& t) {
    t.TuneActive = true;
    t.TuneStep = 0;
}

void TuneAfterFailedPoll(TuneState& t, double& turnaroundDelay) {
    if (!t.TuneActive)
        return;
    turnaroundDelay += kTuneStepUs;
    if (turnaroundDelay > kTuneMaxUs)
        turnaroundDelay = kDefaultTurnaroundUs;
    ++t.TuneStep;
    if (t.TuneStep > kTuneMaxFailures)
        t.TuneActive = false;  // the delay reached stays, unsaved
}

void TuneAfterGoodReply(TuneState& t, bool validStatusReply, double turnaroundDelay,
                        const std::string& tuneFilePath) {
    // The value saved is the one the port actually waits, so the file always holds whole
    // microseconds.
    if (t.TuneActive && validStatusReply)
        WriteValueFile(tuneFilePath, TurnaroundMicros(turnaroundDelay));
    t.TuneActive = false;
}

double LoadTurnaroundDelay(const std::string& tuneFilePath, std::string* problem) {
    // A value no delay can take (text, negative, beyond the delay's range) is ignored rather
    // than rewritten: the technician may want to see what the file held.
    const auto value =
        LoadSettingValue(tuneFilePath, static_cast<long long>(kDefaultTurnaroundUs), problem);
    if (!value || *value < 0 || *value > std::numeric_limits<std::int32_t>::max())
        return kDefaultTurnaroundUs;
    return *value;
}

}  // namespace halvern
