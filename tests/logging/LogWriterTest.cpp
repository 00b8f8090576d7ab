// The writers: when a record is written, to which file, and what happens when it cannot be.

#include <gtest/gtest.h>

#include <filesystem>

#include <unistd.h>

#include "LogTestSupport.h"
#include "logging/LogRecords.h"

namespace halvern {
namespace {

namespace fs = std::filesystem;
using testing::At;
using testing::CountLines;
using testing::TempFolder;

class LogWriter : public ::testing::Test {
  protected:
    LogWriter() {
        par.ProgramFolder = folder.Path().string();
        testing::SetDecodedValues(par);
        par.LoggingOn = true;
    }

    TempFolder folder;
    Par par;
};

TEST_F(LogWriter, DueCycleRecordLandsInTheSerialNumberFileOnce) {
    par.RecordDue[12] = true;
    WriteCycleRecord(par, At(14, 3, 27));
    EXPECT_EQ(folder.Read("4711.txt"), CycleRecordLine(par, At(14, 3, 27)));
    EXPECT_FALSE(par.RecordDue[12]);
    WriteCycleRecord(par, At(14, 3, 28));
    EXPECT_EQ(CountLines(folder.Read("4711.txt")), 1) << "nothing due any more";
    EXPECT_EQ(par.LogError, "");
}

TEST_F(LogWriter, NothingIsWrittenWhenNotDueOrLoggingOff) {
    par.RecordDue[13] = true;  // due for another address than the one that replied
    WriteCycleRecord(par, At(14, 3, 27));
    par.Link.ReplyAddress = 250;  // an address without a logging slot
    WriteCycleRecord(par, At(14, 3, 27));
    par.Link.ReplyAddress = 12;
    par.LoggingOn = false;
    par.RecordDue[12] = true;
    WriteCycleRecord(par, At(14, 3, 27));
    EXPECT_FALSE(folder.Exists("4711.txt"));
    EXPECT_TRUE(par.RecordDue[12]) << "stays due until logging is on again";
}

TEST_F(LogWriter, PendingDisconnectionIsWrittenBeforeTheDueCycleRecord) {
    par.RecordDue[12] = true;
    par.DisconnectMark[12] = "DDD";
    WriteCycleRecord(par, At(9, 5, 3));
    EXPECT_EQ(folder.Read("12.txt"), "DDD     05/12/26  9:5:3\r\n");
    EXPECT_FALSE(folder.Exists("4711.txt"));
    EXPECT_EQ(par.DisconnectMark[12], "");
    EXPECT_TRUE(par.RecordDue[12]);

    WriteCycleRecord(par, At(9, 5, 4));
    EXPECT_EQ(CountLines(folder.Read("4711.txt")), 1);
    EXPECT_EQ(CountLines(folder.Read("12.txt")), 1);
    EXPECT_FALSE(par.RecordDue[12]);
}

TEST_F(LogWriter, DisconnectionRecordIgnoresLoggingOffAndRepeatsPerFailedPoll) {
    par.LoggingOn = false;
    par.SerialNumber = 12;  // same number as the address: still two kinds of line, one file
    for (int second = 3; second <= 5; ++second) {
        par.DisconnectMark[12] = "DDD";
        WriteDisconnectionRecord(par, At(9, 5, second));
        EXPECT_EQ(par.DisconnectMark[12], "");
    }
    EXPECT_EQ(folder.Read("12.txt"),
              "DDD     05/12/26  9:5:3\r\nDDD     05/12/26  9:5:4\r\nDDD     05/12/26  9:5:5\r\n");
}

class NoDisconnectionRecord : public LogWriter, public ::testing::WithParamInterface<int> {};

TEST_P(NoDisconnectionRecord, WhenAnNqRatioIsZero) {
    par.ChannelValues[GetParam()] = 0;
    par.DisconnectMark[12] = "DDD";
    WriteDisconnectionRecord(par, At(9, 5, 3));
    EXPECT_FALSE(folder.Exists("12.txt"));
}

INSTANTIATE_TEST_SUITE_P(NqRatioSlots, NoDisconnectionRecord, ::testing::Values(7, 8));

TEST_F(LogWriter, AppendsToAnExistingFileWithoutTruncating) {
    const std::string earlier = "SSU90   01/12/26  08:00:00 20   1    0.47  ...\r\n";
    folder.Write("4711.txt", earlier);
    par.RecordDue[12] = true;
    WriteCycleRecord(par, At(14, 3, 27));
    EXPECT_EQ(folder.Read("4711.txt"), earlier + CycleRecordLine(par, At(14, 3, 27)));
}

// A folder that cannot take the record: the record stays pending, the operator is told which
// file and why, and the next call after the folder is usable again writes it.
TEST_F(LogWriter, MissingFolderKeepsTheRecordsPendingUntilItExists) {
    const fs::path missing = folder.Path() / "gone";
    par.ProgramFolder = missing.string();
    par.RecordDue[12] = true;
    WriteCycleRecord(par, At(14, 3, 27));
    EXPECT_TRUE(par.RecordDue[12]);
    EXPECT_NE(par.LogError.find((missing / "4711.txt").string()), std::string::npos)
        << par.LogError;
    EXPECT_NE(par.LogError.find("No such file or directory"), std::string::npos) << par.LogError;

    par.DisconnectMark[12] = "DDD";
    WriteDisconnectionRecord(par, At(14, 3, 28));
    EXPECT_EQ(par.DisconnectMark[12], "DDD");
    EXPECT_NE(par.LogError.find("12.txt"), std::string::npos) << par.LogError;

    fs::create_directory(missing);
    WriteCycleRecord(par, At(14, 3, 29));  // the pending disconnection goes first
    EXPECT_EQ(par.LogError, "");
    EXPECT_EQ(par.DisconnectMark[12], "");
    WriteCycleRecord(par, At(14, 3, 30));
    EXPECT_FALSE(par.RecordDue[12]);
    EXPECT_EQ(CountLines(folder.Read("gone/12.txt")), 1);
    EXPECT_EQ(folder.Read("gone/4711.txt"), CycleRecordLine(par, At(14, 3, 30)));
}

TEST_F(LogWriter, FullDiskKeepsTheRecordDue) {
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full here";
    fs::create_symlink("/dev/full", folder.Path() / "4711.txt");
    par.RecordDue[12] = true;
    WriteCycleRecord(par, At(14, 3, 27));
    EXPECT_TRUE(par.RecordDue[12]);
    EXPECT_NE(par.LogError.find("4711.txt"), std::string::npos) << par.LogError;
}

TEST_F(LogWriter, ReadOnlyFolderKeepsTheRecordDueUntilWritable) {
    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind the superuser";
    fs::permissions(folder.Path(), fs::perms::owner_read | fs::perms::owner_exec);
    par.RecordDue[12] = true;
    WriteCycleRecord(par, At(14, 3, 27));
    EXPECT_TRUE(par.RecordDue[12]);
    EXPECT_NE(par.LogError.find("4711.txt"), std::string::npos) << par.LogError;

    fs::permissions(folder.Path(), fs::perms::owner_all);
    WriteCycleRecord(par, At(14, 3, 28));
    EXPECT_FALSE(par.RecordDue[12]);
    EXPECT_EQ(par.LogError, "");
    EXPECT_EQ(CountLines(folder.Read("4711.txt")), 1);
}

}  // namespace
}  // namespace halvern
