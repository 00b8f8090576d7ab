// The service history names the detector of a maintenance action by the reading the action
// used, not by what the main window shows at that moment.

#include <gtest/gtest.h>

#include "history/HistoryStore.h"
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

}  // namespace
}  // namespace halvern::test
