// The service report: what it takes from a detector's history, and the PDF read back as text.

#include <gtest/gtest.h>

#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QTimeZone>
#include <filesystem>

#include "history/ReportPdf.h"
#include "history/ServiceReport.h"
#include "support/Bench.h"
#include "support/UiTest.h"

namespace halvern::test {
namespace {

const QDateTime kNow(QDate(2026, 12, 7), QTime(12, 0), Qt::UTC);

ServiceEvent At(const char* utc, const char* action, const char* before, const char* after,
                std::optional<bool> confirmed, const char* serial = "4711") {
    ServiceEvent e;
    e.utc = utc;
    e.local = std::string(utc).substr(0, 10) + " 11:00:00";
    e.serial = serial;
    e.model = "Veridan Xenon 621-2";
    e.address = 1;
    e.action = action;
    e.before = before;
    e.after = after;
    e.confirmed = confirmed;
    e.status = "NNN0 Normal";
    e.user = "tech";
    return e;
}

// Newest first, as the history gives them.
std::vector<ServiceEvent> KnownHistory() {
    std::vector<ServiceEvent> h = {
        At("2026-12-06T10:00:00Z", kActionSnTest, "", "S/N test mode", false),
        At("2026-12-05T10:00:00Z", kActionSetupWrite, "Alarm Latch: YES", "Alarm Latch: NO", false),
        At("2026-12-04T10:00:00Z", kActionSnTest, "",
           "Sig1/Noise 812, Sig2/Noise 790, Ref/Noise 901", true),
        At("2026-12-03T10:00:00Z", kActionVersion, "", "secondary: DSP 1.07 F24", true),
        At("2026-12-02T10:00:00Z", kActionVersion, "", "primary: Ver 3.12 F24", true),
        At("2026-12-01T10:00:00Z", kActionSetupRead, "", "Gas Type: 2\nAlarm Latch: YES", true),
        At("2026-11-30T10:00:00Z", kActionAddress, "1", "3", true, "880"),  // another detector
        At("2026-08-01T10:00:00Z", kActionAlign, "", "align command sent", std::nullopt),
    };
    h.front().status = "FLT2 Beam block";
    h.front().address = 3;
    return h;
}

TEST(ServiceReport, TakesEachFigureFromTheNewestEventThatHoldsIt) {
    const ReportData r =
        ReportFromHistory("4711", KnownHistory(), 90, kNow, {"halvern-cli", "0.1.0", "anna"});
    EXPECT_EQ(r.model, "Veridan Xenon 621-2");
    EXPECT_EQ(r.address, "3");
    EXPECT_EQ(r.status, "FLT2 Beam block");
    EXPECT_EQ(r.primaryVersion, "Ver 3.12 F24");
    EXPECT_EQ(r.secondaryVersion, "DSP 1.07 F24");
    // The unconfirmed write and S/N test are listed, not taken as the detector's state.
    EXPECT_EQ(r.setup, "Gas Type: 2\nAlarm Latch: YES");
    EXPECT_EQ(r.noise, "Sig1/Noise 812, Sig2/Noise 790, Ref/Noise 901");
    // 90 days back from 2026-12-07 12:00 is 2026-09-08 12:00: the align of August is out.
    ASSERT_EQ(r.events.size(), 6u);
    EXPECT_EQ(r.events.back().action, kActionSetupRead);
    EXPECT_EQ(ReportFromHistory("4711", KnownHistory(), 200, kNow, {}).events.size(), 7u);
    // After a confirmed change from 1 to 3 the detector answers at 3, not where it was asked.
    EXPECT_EQ(ReportFromHistory("880", KnownHistory(), 90, kNow, {}).address, "3");
    auto unconfirmed = KnownHistory();
    unconfirmed[6].confirmed = false;
    EXPECT_EQ(ReportFromHistory("880", unconfirmed, 90, kNow, {}).address, "1");
}

TEST(ServiceReport, ThePdfHoldsEveryField) {
    App();
    const QString pdftotext = QStandardPaths::findExecutable("pdftotext");
    if (pdftotext.isEmpty())
        GTEST_SKIP() << "pdftotext (poppler-utils) is missing";
    const std::string folder = ScratchFolder("report");
    for (const ReportPage page : {ReportPage::A4, ReportPage::Letter}) {
        const std::string pdf = folder + "/report.pdf";
        std::string why;
        const ReportData r =
            ReportFromHistory("4711", KnownHistory(), 90, kNow, {"halvern-cli", "0.1.0", "anna"});
        ASSERT_TRUE(WriteReportPdf(ReportHtml(r), pdf, page, why)) << why;
        QProcess text;
        text.start(pdftotext, {"-layout", QString::fromStdString(pdf), "-"});
        ASSERT_TRUE(text.waitForFinished(20'000));
        // The layout joins "fi" into one glyph; it is read back as the ligature.
        const std::string out = QString::fromUtf8(text.readAllStandardOutput())
                                    .replace(QChar(0xFB01), "fi")
                                    .toStdString();
        for (const char* field :
             {"4711", "Veridan Xenon 621-2", "Address", "Ver 3.12 F24", "DSP 1.07 F24",
              "Gas Type: 2", "Alarm Latch: YES", "Sig1/Noise 812", "Ref/Noise 901",
              "FLT2 Beam block", "address change" /* absent: another detector's */, "NOT confirmed",
              "2026-12-01", "2026-12-06", "last 90 days", "anna", "halvern-cli", "0.1.0",
              "2026-12-07"}) {
            const bool other = std::string(field) == "address change";
            EXPECT_EQ(out.find(field) == std::string::npos, other) << field << "\n" << out;
        }
        EXPECT_EQ(out.find("align command sent"), std::string::npos);  // older than 90 days
        EXPECT_EQ(PdfPages(pdf), 1);
        QFile f(QString::fromStdString(pdf));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        // The page's MediaBox in points: A4 595 x 842, Letter 612 x 792.
        EXPECT_TRUE(f.readAll().contains(page == ReportPage::A4 ? "595" : "612"));
    }
    std::filesystem::remove_all(folder);
}

// The most events a report lists, each a setup write of a whole table: at most two pages,
// the same from the command line's PDF writer as from the program's printer.
TEST(ServiceReport, ThirtyEventsFitOnTwoPagesWhateverTheDevice) {
    App();
    const std::string table =
        "Gas Type: 2\nFull Scale Sensitivity: 200\nBG Zero Calibration: ENABLE\n"
        "Accessory  Relay: ALARM\nAlarm Latch: YES\nHeater Mode: ON\nHeater ON at(C): 10";
    std::vector<ServiceEvent> history;
    for (int i = 0; i < kReportMostEvents; ++i) {
        const std::string day = QDate(2026, 12, 6).addDays(-i).toString("yyyy-MM-dd").toStdString();
        std::string after = table;
        after.replace(after.find("ALARM"), 5, i % 2 ? "ALARM" : "FAULT");
        after.replace(after.find("Heater ON at(C): 10"), 19,
                      "Heater ON at(C): " + std::to_string(i));
        ServiceEvent e = At((day + "T10:00:00Z").c_str(), kActionSetupWrite, table.c_str(),
                            after.c_str(), i % 3 != 0);
        e.attempts = i % 3 ? 1 : 6;
        e.user = "technician";
        history.push_back(e);
    }
    const QString html =
        ReportHtml(ReportFromHistory("4711", history, 90, kNow, {"halvern", "0.1.0", "anna"}));
    const std::string folder = ScratchFolder("report-pages");
    for (const ReportPage page : {ReportPage::A4, ReportPage::Letter}) {
        SCOPED_TRACE(page == ReportPage::A4 ? "A4" : "Letter");
        const std::string file = folder + "/file.pdf", printed = folder + "/printed.pdf";
        std::string why;
        ASSERT_TRUE(WriteReportPdf(html, file, page, why)) << why;
        {
            QPrinter printer(QPrinter::HighResolution);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(QString::fromStdString(printed));
            printer.setPageSize(
                QPageSize(page == ReportPage::A4 ? QPageSize::A4 : QPageSize::Letter));
            PaintReport(html, printer);
        }
        const int pages = PdfPages(file);
        EXPECT_GE(pages, 1);
        EXPECT_LE(pages, 2);
        EXPECT_EQ(PdfPages(printed), pages);
    }
    std::filesystem::remove_all(folder);
}

TEST(ServiceReport, AFileThatCannotBeWrittenIsSaid) {
    App();
    std::string why;
    EXPECT_FALSE(WriteReportPdf("<p>x</p>", "/nonexistent-folder/r.pdf", ReportPage::A4, why));
    EXPECT_NE(why.find("/nonexistent-folder/r.pdf"), std::string::npos);
}

}  // namespace
}  // namespace halvern::test
