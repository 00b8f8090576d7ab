// What the maintenance window's poll reads is the detector's reading: the log records of that
// time take it, and the service history names the detector of a maintenance action by it, not
// by what the main window shows at that moment.

#include <gtest/gtest.h>

#include <fstream>

#include "history/HistoryStore.h"
#include "logging/LoggingControl.h"
#include "maintenance/MaintComm.h"
#include "support/Bench.h"

namespace halvern::test {
namespace {

// Detector 1 (Veridan Xenon 621-2, serial 4711) falls silent; the main window shows it
// disconnected; then the maintenance window's S/N test goes unconfirmed.
TEST(MaintenanceEvents, NameTheDetectorAlsoAfterTheMainWindowShowedItDisconnected) {
    Bench b;
    b.par.Main.DetNum = "1";
    HistoryStore store(b.par.ProgramFolder + "/history.sqlite", {});
    b.par.History = &store;
    MaintComm maint{b.par, b.link, b.dialogs, b.loop, {}};
    b.At(500'000, [&] { b.bus().InjectFault(1, "silent"); });
    b.At(5'000'000, [&] {
        EXPECT_EQ(b.par.Main.Status, "DDD");
        EXPECT_EQ(b.par.Main.SeNum, "");
        maint.Open();
    });
    b.At(7'000'000, [&] { maint.cmdCheck(); });
    b.Run(30'000'000);
    const auto events = store.Events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].action, kActionSnTest);
    EXPECT_EQ(events[0].confirmed, std::optional<bool>(false));
    EXPECT_EQ(events[0].serial, "4711");
    EXPECT_EQ(events[0].model, "Veridan Xenon 621-2");
}

// The detector's status changes while the window polls it: the tick's record has the new one.
TEST(MaintenanceReading, IsWhatTheRecordsOfThatTimeTake) {
    Bench b;
    b.par.Main.DetNum = "1";
    LogMenuCommand(b.par, [] { return "1"; });
    MaintComm maint{b.par, b.link, b.dialogs, b.loop, {}};
    b.At(1'000'000, [&] { maint.Open(); });
    b.At(2'000'000, [&] { b.bus().Find(1)->SetStatus("AAN", 7); });
    b.At(3'500'000, [&] { LogTick(b.par, b.clockTime); });
    b.Run(4'000'000);
    std::string last;
    std::ifstream records(b.par.ProgramFolder + "/4711.txt");
    for (std::string line; std::getline(records, line);)
        last = line;
    EXPECT_EQ(last.substr(0, 5), "AAN7 ");
}

}  // namespace
}  // namespace halvern::test
