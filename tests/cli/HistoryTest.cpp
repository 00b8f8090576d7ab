// Each action of halvern-cli on a detector leaves exactly one event in the service history,
// confirmed or not, with the texts before and after; the history and report commands read it.

#include <gtest/gtest.h>

#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <filesystem>

#include "cli/CliBench.h"
#include "history/HistoryStore.h"
#include "support/UiTest.h"

namespace halvern::test {
namespace {

using Args = std::vector<std::string>;

// The setup table of the Veridan Xenon 621-2 at address 1 (24 05 02 0A), as the screen shows it.
const std::string kSetup1 =
    "Gas Type: 2\nFull Scale Sensitivity: 200\nBG Zero Calibration: ENABLE\n"
    "Accessory  Relay: ALARM\nAlarm Latch: YES\nHeater Mode: ON\nHeater ON at(C): 10";
const std::string kSetup1Unlatched =
    "Gas Type: 2\nFull Scale Sensitivity: 200\nBG Zero Calibration: ENABLE\n"
    "Accessory  Relay: ALARM\nAlarm Latch: NO\nHeater Mode: ON\nHeater ON at(C): 10";

struct EventCase {
    std::string args;   // the words after "--device sim"
    const char* fault;  // injected into address 1 first; "" for none
    std::string serial, action, before, after;
    std::optional<bool> confirmed;
};

void PrintTo(const EventCase& c, std::ostream* os) {
    *os << c.args << " " << c.fault;
}

const char* const kDeaf = "ignore writes";
const EventCase kEventCases[] = {
    {"setup 1", "", "4711", kActionSetupRead, "", kSetup1, true},
    {"setup 1 alarm_latch=no", "", "4711", kActionSetupWrite, kSetup1, kSetup1Unlatched, true},
    {"setup 1 alarm_latch=no", kDeaf, "4711", kActionSetupWrite, kSetup1, kSetup1Unlatched, false},
    {"address 7 9", "", "1207", kActionAddress, "7", "9", true},
    {"address 1 2", kDeaf, "4711", kActionAddress, "1", "2", false},
    {"normal 1", "", "4711", kActionNormal, "", "normal mode", true},
    {"normal 1", kDeaf, "4711", kActionNormal, "", "normal mode", false},
    // A confirmed S/N test keeps the noise figures it printed.
    {"sn-test 1", "", "4711", kActionSnTest, "", "Sig1/Noise 184, Sig2/Noise 170, Ref/Noise 185",
     true},
    {"sn-test 1", kDeaf, "4711", kActionSnTest, "", "S/N test mode", false},
    {"align 12", "", "880", kActionAlign, "", "align command sent", std::nullopt},
    // The version command asks for nothing else: the detector's serial number is not known.
    {"version 1", "", "", kActionVersion, "", "primary: Ver 3.12 F24", true},
    {"version 7 --secondary", "", "", kActionVersion, "", "secondary: DSP 1.07 F36", true},
};

class OneEvent : public ::testing::TestWithParam<EventCase> {};

TEST_P(OneEvent, PerAction) {
    const EventCase& c = GetParam();
    CliBench b;
    if (*c.fault)
        b.bus().InjectFault(1, c.fault);
    Args args;
    std::istringstream words(c.args);
    for (std::string word; words >> word;)
        args.push_back(word);
    const CliRun run = b.Cli(args);
    EXPECT_EQ(run.code, c.confirmed.value_or(true) ? 0 : 1) << run.err;
    EXPECT_EQ(run.err.find("history"), std::string::npos) << run.err;
    HistoryStore store(b.folder + "/" + kHistoryFile, {});
    const auto events = store.Events();
    ASSERT_EQ(events.size(), 1u) << store.ReadError();
    const ServiceEvent& e = events[0];
    EXPECT_EQ(e.action, c.action);
    EXPECT_EQ(e.serial, c.serial);
    EXPECT_EQ(e.address, std::stoi(args[1]));
    EXPECT_EQ(e.before, c.before);
    EXPECT_EQ(e.after, c.after);
    EXPECT_EQ(e.confirmed, c.confirmed);
    EXPECT_EQ(e.program, "halvern-cli");
    if (c.action == kActionSetupWrite) {
        EXPECT_EQ(e.rawBefore, "24 05 02 0A");
    }
    if (c.action == kActionSetupWrite && *c.confirmed) {
        // The bytes the detector holds now.
        const SetupTable t = b.bus().Find(1)->Setup();
        char hex[16];
        std::snprintf(hex, sizeof hex, "%02X %02X %02X %02X", t.MeasureFlags, t.OutputFlags,
                      t.HeaterMode, t.HeaterOnTemp);
        EXPECT_EQ(e.rawAfter, hex);
    }
}

INSTANTIATE_TEST_SUITE_P(Actions, OneEvent, ::testing::ValuesIn(kEventCases));

// A history that cannot be written (a folder in its way) or that another writer holds (said
// after the CLI's bounded busy time): said, and the action goes on.
TEST(History, AHistoryThatCannotBeWrittenOrIsLockedIsSaidAndTheActionGoesOn) {
    for (const bool locked : {false, true}) {
        CliBench b;
        QSqlDatabase db;
        if (locked) {
            ASSERT_EQ(b.Cli({"align", "12"}).code, 0);  // the file exists
            db = QSqlDatabase::addDatabase("QSQLITE", "locker");
            db.setDatabaseName(QString::fromStdString(b.folder + "/" + kHistoryFile));
            ASSERT_TRUE(db.open());
            QSqlQuery(db).exec("BEGIN EXCLUSIVE");
        } else {
            std::filesystem::create_directories(b.folder + "/" + kHistoryFile);
        }
        const CliRun run = b.Cli({"normal", "1"});
        if (locked) {
            QSqlQuery(db).exec("ROLLBACK");
            db.close();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase("locker");
        }
        EXPECT_EQ(run.code, 0);
        EXPECT_EQ(run.out, "address 1: normal mode\n");
        EXPECT_NE(run.err.find(locked ? "locked" : "could not be written"), std::string::npos)
            << run.err;
        EXPECT_NE(run.err.find("1 event of this command not recorded"), std::string::npos);
    }
}

TEST(History, TheHistoryCommandListsTheEventsNewestFirst) {
    CliBench b;
    ASSERT_EQ(b.Cli({"align", "12"}).code, 0);
    ASSERT_EQ(b.Cli({"address", "7", "9"}).code, 0);
    const CliRun all = b.Run({"history"});
    EXPECT_EQ(all.code, 0) << all.err;
    const auto address = all.out.find("address change"), align = all.out.find("align");
    EXPECT_TRUE(address != std::string::npos && align != std::string::npos && address < align)
        << all.out;
    EXPECT_NE(all.out.find("    before: 7\n    after:  9\n"), std::string::npos) << all.out;
    const CliRun one = b.Run({"history", "880", "--json"});
    EXPECT_EQ(one.code, 0);
    EXPECT_EQ(std::count(one.out.begin(), one.out.end(), '\n'), 1) << one.out;
    EXPECT_NE(one.out.find(R"("serial":"880","model":"Talvek 880","address":12,"action":"align")"),
              std::string::npos)
        << one.out;
    EXPECT_NE(one.out.find(R"("confirmed":null,"attempts":null)"), std::string::npos);
    // A setup table's lines read back whole: escaped as JSON has them, not blotted out.
    ASSERT_EQ(b.Cli({"setup", "12", "Heater Mode=off"}).code, 0);
    const CliRun setup = b.Run({"history", "880", "--json"});
    EXPECT_NE(setup.out.find("\\n"), std::string::npos) << setup.out;
    EXPECT_EQ(setup.out.find('?'), std::string::npos) << setup.out;
    EXPECT_EQ(b.Run({"history", "--since", "2999-01-01"}).out, "");
}

TEST(History, TheReportCommandWritesAPdf) {
    const QString pdftotext = QStandardPaths::findExecutable("pdftotext");
    if (pdftotext.isEmpty())
        GTEST_SKIP() << "pdftotext (poppler-utils) is missing";
    App();  // the report's fonts
    CliBench b;
    ASSERT_EQ(b.Cli({"setup", "12", "Heater Mode=off"}).code, 0);
    const std::string pdf = b.folder + "/r.pdf";
    const CliRun run = b.Run({"report", "880", "-o", pdf, "--page", "letter"});
    ASSERT_EQ(run.code, 0) << run.err;
    QProcess text;
    text.start(pdftotext, {QString::fromStdString(pdf), "-"});
    ASSERT_TRUE(text.waitForFinished(20'000));
    const std::string out = text.readAllStandardOutput().toStdString();
    for (const char* field : {"Talvek 880", "880", "Heater Mode: OFF", "setup write", "12"})
        EXPECT_NE(out.find(field), std::string::npos) << field << "\n" << out;
}

}  // namespace
}  // namespace halvern::test
