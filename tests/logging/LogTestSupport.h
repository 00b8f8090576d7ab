#pragma once
// A detector's decoded values, record lines written by hand and a scratch program folder for
// the logging tests.

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>

#include "logging/LogRecords.h"
#include "state/Par.h"
#include "support/FolderTest.h"

namespace halvern::testing {

// On 5 December 2026.
inline LocalDateTime At(int hour, int minute, int second) {
    return {2026, 12, 5, hour, minute, second};
}

// Detector 4711 at address 12 after a decoded "NNN0" reply with non-zero NQ ratios.
inline Par Detector4711() {
    Par par;
    StatusReading& r = par.Reading;
    r.Taken = true;
    r.Address = 12;
    r.StatusParts = {"N", "N", "N", "0"};
    r.StatusCode = "NNN0";
    r.FirstStatusByte = r.SecondStatusByte = 'N';
    r.SerialNumber = 4711;
    r.GainText = "3";
    const std::pair<int, float> values[] = {{0, 4.12f}, {1, 3.98f}, {2, 4.05f}, {4, 23},
                                            {5, 1.03f}, {6, 0.98f}, {7, 0.47f}, {8, 2.55f}};
    for (const auto& [slot, value] : values)
        r.ChannelValues[slot] = value;
    par.Link.ReplyAddress = 12;
    par.CurrentAddress = 12;
    return par;
}

// That detector's cycle record at 14:03:27 on 5 December 2026, without its line end, its
// fields put by hand where the format puts them: status at column 1, date at 9, time at 19,
// temperature at 27, gain at 33, the values at 38, 44, 50, 58, 64, 72 and 78, gas at 84.
inline const std::string kRecordLine =
    "NNN0    05/12/26  14:03:27 23   3    4.12  3.98  4.05    1.03  0.98    0.47  2.55   0 ";

// That record taken at another time, or a disconnection record then: "DDD", the date at
// column 9, the time h:m:s at 19.
inline std::string RecordAt(const LocalDateTime& t, bool disconnection = false) {
    char text[64];
    std::snprintf(
        text, sizeof text,
        disconnection ? "DDD     %02d/%02d/%02d  %d:%d:%d" : "%02d/%02d/%02d  %02d:%02d:%02d",
        t.day, t.month, t.year % 100, t.hour, t.minute, t.second);
    return disconnection ? std::string(text) : std::string(kRecordLine).replace(8, 18, text);
}

// That detector, with an empty scratch folder as its program folder; the technician's
// documents are a folder in it.
class LogTest : public test::FolderTest {
  protected:
    void SetUp() override {
        FolderTest::SetUp();
        par.ProgramFolder = Folder();
        par.DocumentsFolder = PathOf("Documents");
    }
    int Lines(const std::string& name) const {
        return static_cast<int>(std::ranges::count(Read(name), '\n'));
    }

    Par par = Detector4711();
};

}  // namespace halvern::testing
