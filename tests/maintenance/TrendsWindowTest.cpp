// The trends window on the offscreen platform: it draws the store, pause freezes the view
// while the store goes on, and Save as PNG writes the charts or says why it could not.

#include "maintenance/frmTrends.h"

#include <gtest/gtest.h>

#include <QChartView>
#include <QImage>
#include <QLineSeries>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QValueAxis>
#include <cmath>
#include <filesystem>

#include "maintenance/TrendStore.h"
#include "platform/virtual/VirtualPlatform.h"
#include "state/Par.h"
#include "support/UiTest.h"
#include "ui/ScriptedDialogs.h"

namespace halvern::test {
namespace {

class TrendsWindowTest : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        par.ProgramFolder = Folder();
        par.Maint.Serial = 4711;
        window = std::make_unique<frmTrends>(par, store, dialogs);
        window->show();
    }
    // One poll a second; every `failEvery`-th one fails.
    void Polls(int n, int failEvery = 0) {
        for (int i = 1; i <= n; ++i) {
            plat.RunFor(1'000'000);
            par.Maint.Values[0] = static_cast<float>(i % 7) / 2;
            store.AddPoll(par, failEvery == 0 || i % failEvery != 0);
            window->Refresh();
        }
    }
    QLineSeries* Line(const char* chart, const QString& name) {
        for (auto* s : window->findChild<QChartView*>(chart)->chart()->series())
            if (s->name() == name)
                return static_cast<QLineSeries*>(s);
        return nullptr;
    }
    QPushButton* Button(const char* name) { return window->findChild<QPushButton*>(name); }

    VirtualPlatform plat;
    Par par;
    TrendStore store{plat};
    ScriptedDialogs dialogs;
    std::unique_ptr<frmTrends> window;
};

TEST_F(TrendsWindowTest, DrawsEachPollWithGapsAndPauseFreezesTheViewWhileSamplesGoOn) {
    Polls(30, 10);  // the 10th, 20th and 30th fail
    QLineSeries* s1 = Line("chtSignals", "Signal 1");
    ASSERT_NE(s1, nullptr);
    ASSERT_EQ(s1->count(), 30);
    EXPECT_TRUE(std::isnan(s1->at(9).y()));
    EXPECT_EQ(s1->at(10).y(), 4 / 2.0);  // 11 % 7
    EXPECT_EQ(Line("chtGas", "Gas reading")->count(), 30);
    const auto* time = static_cast<QValueAxis*>(
        window->findChild<QChartView*>("chtRatios")->chart()->axes(Qt::Horizontal).at(0));
    EXPECT_EQ(time->min(), -60.0);  // half a minute of samples: the one-minute axis

    QTest::mouseClick(Button("cmdPause"), Qt::LeftButton);
    EXPECT_TRUE(window->Paused());
    const QList<QPointF> frozen = s1->points();
    Polls(20);
    EXPECT_EQ(s1->count(), 30);
    EXPECT_EQ(s1->at(0), frozen[0]);  // the view did not move either
    EXPECT_EQ(store.Size(), 50u);

    QTest::mouseClick(Button("cmdPause"), Qt::LeftButton);
    EXPECT_FALSE(window->Paused());
    EXPECT_EQ(s1->count(), 50);
    EXPECT_DOUBLE_EQ(s1->at(49).x(), 0.0);
}

// Saved while paused: the charts as shown. A cancelled dialog says nothing; a place that
// cannot be written is told, and the window stays as it was.
TEST_F(TrendsWindowTest, SaveAsPngWritesTheChartsAsShownOrSaysWhyNot) {
    Write("file", "not a folder");
    Polls(5);
    window->SetPaused(true);
    const struct {
        std::string answer, saved;  // saved: the file written, the suffix added
    } saves[] = {{PathOf("trends"), PathOf("trends.png")},
                 {"", ""},
                 {PathOf("missing/trends.png"), ""},
                 {PathOf("file/trends.png"), ""}};
    for (const auto& s : saves) {
        SCOPED_TRACE(s.answer);
        dialogs.ClearCalls();
        dialogs.AnswerSaveFileName(s.answer);
        QTest::mouseClick(Button("cmdSave"), Qt::LeftButton);
        const bool told = !s.answer.empty() && s.saved.empty();
        ASSERT_EQ(dialogs.Calls().size(), told ? 2u : 1u);  // the save dialog, then the message
        EXPECT_EQ(dialogs.Calls()[0].kind, DialogCall::Kind::SaveFileName);
        EXPECT_EQ(dialogs.Calls()[0].defaultText.rfind(PathOf("trends-4711-"), 0), 0u);
        if (!s.saved.empty()) {
            QImage saved(QString::fromStdString(s.saved));
            ASSERT_FALSE(saved.isNull());
            EXPECT_EQ(saved.size(), window->findChild<QWidget*>("chartArea")->size());
        }
        if (told) {
            const DialogCall& call = dialogs.Calls()[1];
            EXPECT_EQ(call.title, "Save as PNG");
            EXPECT_EQ(call.icon, MsgIcon::Critical);
            EXPECT_NE(call.text.find("could not be saved as " + s.answer + ": "), std::string::npos)
                << call.text;
            EXPECT_GT(call.text.size(), call.text.find(": ") + 3);  // a reason follows
            EXPECT_FALSE(std::filesystem::exists(s.answer));
        }
        EXPECT_TRUE(window->Paused() && window->isVisible());
        EXPECT_EQ(Line("chtSignals", "Signal 1")->count(), 5);
    }
}

TEST_F(TrendsWindowTest, GoesBesideTheWindowWhereThereIsRoomAndOverItsFirstColumnOtherwise) {
    const QRect area = window->screen()->availableGeometry();
    QWidget maintenance;
    const auto place = [&](int left, int width) {
        maintenance.resize(width, 200);
        maintenance.move(left, area.top() + 50);  // where its frame goes
        maintenance.show();
        window->PlaceBeside(maintenance);
        EXPECT_EQ(maintenance.size(), QSize(width, 200));
        EXPECT_TRUE(area.contains(window->geometry()));
        EXPECT_TRUE(area.contains(maintenance.frameGeometry()));
        EXPECT_GE(window->frameGeometry().width(), 400);  // room for ten minutes of lines
    };
    place(area.left(), 300);  // room on the right: nothing moves
    EXPECT_EQ(maintenance.frameGeometry().left(), area.left());
    EXPECT_GT(window->x(), maintenance.geometry().right());
    place(area.center().x() - 150, 300);  // room only once it moves to the right edge
    EXPECT_EQ(maintenance.frameGeometry().right(), area.right());
    EXPECT_LT(window->frameGeometry().right(), maintenance.frameGeometry().left());
    // No room at all: the trends cover the window's left part, never its right half.
    place(area.left() + 20, area.width() - 200);
    EXPECT_EQ(maintenance.frameGeometry().right(), area.right());
    EXPECT_EQ(window->x(), area.left());
    EXPECT_LT(window->frameGeometry().right(), maintenance.geometry().center().x());
}

}  // namespace
}  // namespace halvern::test
