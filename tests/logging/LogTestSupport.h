#pragma once
// A detector's decoded values and a scratch program folder for the logging tests.

#include <algorithm>
#include <string>

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
    par.StatusParts = {"N", "N", "N", "0"};
    par.SerialNumber = 4711;
    par.GainText = "3";
    par.ChannelValues[0] = 4.12f;
    par.ChannelValues[1] = 3.98f;
    par.ChannelValues[2] = 4.05f;
    par.ChannelValues[4] = 23;
    par.ChannelValues[5] = 1.03f;
    par.ChannelValues[6] = 0.98f;
    par.ChannelValues[7] = 0.47f;
    par.ChannelValues[8] = 2.55f;
    par.ChannelValues[12] = 0;
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
