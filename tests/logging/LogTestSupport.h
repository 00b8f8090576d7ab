#pragma once
// A detector's decoded values and a scratch program folder for the logging tests.

#include <algorithm>
#include <string>
#include <utility>

#include "logging/LogRecords.h"
#include "state/Par.h"
#include "support/UiTest.h"

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

// That detector, with an empty scratch folder as its program folder.
class LogTest : public test::UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        par.ProgramFolder = Folder();
    }
    int Lines(const std::string& name) const {
        return static_cast<int>(std::ranges::count(Read(name), '\n'));
    }

    Par par = Detector4711();
};

}  // namespace halvern::testing
