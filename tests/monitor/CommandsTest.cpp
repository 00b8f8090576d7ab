// Operator commands of the main window on virtual time.

#include <gtest/gtest.h>

#include "monitor/MainComm.h"
#include "support/Bench.h"

namespace halvern::test {
namespace {

TEST(Commands, UpAndDownStayWithinOneTo247AndStillDrain) {
    Bench b;
    b.par.Main.DetNum = "246";
    b.comm->cmdUp();
    EXPECT_EQ(b.par.Main.DetNum, "247");
    const Micros t = b.plat.NowUs();
    b.comm->cmdUp();
    EXPECT_EQ(b.par.Main.DetNum, "247");
    EXPECT_GT(b.plat.NowUs() - t, kFirstByteWindowUs);  // the drain waited for a reply
    b.par.Main.DetNum = "1";
    b.comm->cmdDown();
    EXPECT_EQ(b.par.Main.DetNum, "1");
    b.par.Main.DetNum = "2";
    b.par.SearchMode = b.par.SearchToggle = true;
    b.comm->cmdDown();
    EXPECT_EQ(b.par.Main.DetNum, "1");
    EXPECT_FALSE(b.par.SearchMode);
    EXPECT_FALSE(b.par.SearchToggle);
}

// The primary version shows for three seconds, and nothing after a failure (bytes of an older
// reply are not this detector's version); the secondary, in search mode, goes to the search
// address. Which replies are taken as a version is the table of VersionAnswer.
TEST(Commands, VersionsShowTheDetectorsTextForThreeSecondsAndNothingAfterAFailure) {
    Bench b(OneDetector(1));
    const std::string primary = b.bus().Find(1)->PrimaryVersion();
    b.At(1'000'000, [&] { b.comm->Hotkey('v'); });
    b.At(2'000'000, [&] { EXPECT_EQ(b.par.Main.VerVisible ? b.par.Main.Ver : "-", primary); });
    b.At(4'700'000, [&] { EXPECT_FALSE(b.par.Main.VerVisible); });
    b.At(5'000'000, [&] {
        b.bus().InjectFault(1, "silent");
        b.comm->cmdVer();
    });
    b.At(6'500'000, [&] { EXPECT_EQ(b.par.Main.VerVisible ? b.par.Main.Ver : "-", ""); });
    b.At(10'000'000, [&] {
        b.bus().ClearFaults(1);
        b.comm->cmdMaster();
    });
    b.At(11'000'000, [&] { b.comm->Hotkey('c'); });
    b.At(12'000'000, [&] { EXPECT_EQ(b.par.Main.Ver, "DSP 1.07 F24"); });
    b.Run(15'000'000);
    EXPECT_EQ(b.FramesOf(200, 20).size(), 2u);
    const auto secondary = b.FramesOf(200, 23);
    ASSERT_EQ(secondary.size(), 1u);
    EXPECT_EQ(secondary[0].bytes[0], 0);
}

TEST(Commands, SetupReadsTheTableFirstAndOpensTheScreenOnlyOnItsSetupReply) {
    // The fault is given once the detector is connected: a reply the link takes but that is
    // not this detector's setup table opens nothing either.
    for (const char* fault : {"", "wrong address", "exception", "silent", "truncated"}) {
        SCOPED_TRACE(fault);
        Bench b;
        b.At(1'000'000, [&] {
            b.bus().InjectFault(1, fault);
            b.comm->Hotkey('s');
        });
        b.Run(3'000'000);
        const auto reads = b.FramesOf(3);
        ASSERT_EQ(reads.size(), 1u);
        EXPECT_EQ(reads[0].bytes, ReadSetupFrame(1));
        EXPECT_EQ(b.openedSetup, *fault ? 0 : 1);
        if (!*fault) {
            EXPECT_EQ(b.setupReplyFunction, 3);  // the reply stands in the buffer for the screen
            EXPECT_EQ(b.setupAddress, 1);
        }
    }
}

// Letters map to their commands, other keys do nothing; Align (code 17) and the address dialog
// wait for a connected detector; a second command while one waits is refused.
TEST(Commands, LetterKeysMapToTheirCommandsOnAConnectedDetectorOneAtATime) {
    Bench b;
    EXPECT_FALSE(b.comm->Hotkey('x'));
    EXPECT_TRUE(b.comm->Hotkey('m') && b.comm->Hotkey('D'));
    b.comm->Hotkey('A');
    EXPECT_EQ(b.openedMaintenance + 10 * b.openedAddress, 1);  // not connected
    EXPECT_TRUE(b.port.Frames().empty());
    b.At(1'000'000, [&] { b.comm->Hotkey('a'); });
    b.At(2'000'000, [&] { b.comm->cmdVer(); });
    b.At(3'000'000, [&] {
        EXPECT_TRUE(b.comm->CommandRunning());
        b.comm->Hotkey('a');
        b.comm->cmdUp();
    });
    b.Run(7'000'000);
    const auto align = b.FramesOf(200, 17);
    ASSERT_EQ(align.size(), 1u);
    EXPECT_EQ(align[0].bytes, CommandFrame(1, 17));
    EXPECT_EQ(b.par.Main.DetNum, "1");
    EXPECT_TRUE(b.comm->Hotkey('R') && b.par.SearchMode);
}

TEST(Commands, ExitAnsweredNoKeepsPollingAndYesClosesThePort) {
    Bench b;
    b.dialogs.AnswerYesNo(false);
    b.At(500'000, [&] { b.comm->Hotkey(27); });
    b.Run(1'000'000);
    ASSERT_EQ(b.dialogs.Calls().size(), 1u);
    EXPECT_EQ(b.dialogs.Calls()[0].text, "Are you sure to exit program?");
    EXPECT_FALSE(b.exited);
    EXPECT_TRUE(b.port.IsOpen());
    const auto polls = b.StatusQueries().size();
    b.dialogs.AnswerYesNo(true);
    b.At(1'500'000, [&] { b.comm->Hotkey('e'); });
    b.Continue(10'000'000);
    EXPECT_TRUE(b.exited);
    EXPECT_FALSE(b.port.IsOpen());
    EXPECT_TRUE(b.loop.Quitting());
    EXPECT_LT(b.plat.NowUs(), 2'000'000);  // the loop ended at once
    EXPECT_LE(b.StatusQueries().size(), polls + 4);
}

}  // namespace
}  // namespace halvern::test
