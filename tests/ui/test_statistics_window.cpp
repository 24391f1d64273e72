// The Statistics window in the main window: opened from the Window menu for the
// data on show, sorted, copied, its nominal voltage kept in the settings file, and
// an event double-clicked into view on the graph.

#include "app/CMainFrame.h"
#include "base/LocalTime.h"
#include "base/Settings.h"
#include "shell/AppShell.h"
#include "support/ShellFixture.h"
#include "support/StoredSetBuilder.h"
#include "support/TabOrder.h"
#include "support/TestApp.h"
#include "support/WindowFixture.h"
#include "ui/CDTView.h"
#include "ui/CNumericEdit.h"
#include "ui/CStatisticsDlg.h"

#include <QAction>
#include <QClipboard>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class StatisticsWindow : public MainWindowFixture {
protected:
    // 2000 samples at 10 s of 230 V on CH1 with a dip of 3 samples at 1000, a swell
    // of 1 at 1500 and a dip of 8 at 300; 10 A on CH2.
    void LoadRecording() {
        std::vector<float> ch1(2000, 230.0f);
        for (int i = 1000; i < 1003; ++i)
            ch1[size_t(i)] = 190.0f;
        ch1[1500] = 270.0f;
        for (int i = 300; i < 308; ++i)
            ch1[size_t(i)] = 200.0f;
        shell->Set().ReplaceStored(StoredSetBuilder()
                                       .Interval(10)
                                       .Start(FromLocalFields({2026, 3, 2, 0, 0, 0}))
                                       .ChannelCount(2)
                                       .Channel(0, ch1, "V")
                                       .Channel(1, std::vector<float>(2000, 10.0f), "A")
                                       .Build());
        shell->SizeWorkBuffers(WorkBufferOccasion::AfterDownload);
        shell->ExecuteDirect(Cmd::StoreRms);
        shell->Graph().SetDisplayContent(GraphModel::kContentGraph);
        frame->GraphView()->repaint();
    }

    CStatisticsDlg* Open() {
        QAction* open = frame->menuBar()->findChild<QAction*>(QStringLiteral("statisticsAction"));
        EXPECT_NE(open, nullptr);
        if (open)
            open->trigger();
        return frame->StatisticsWindow();
    }

    static QStringList Column(QTableWidget* t, int c) {
        QStringList out;
        for (int r = 0; r < t->rowCount(); ++r)
            out << t->item(r, c)->text();
        return out;
    }
};

TEST_F(StatisticsWindow, EventsListLongestFirstSortsByColumnAndCopiesAsShown) {
    LoadRecording();
    CStatisticsDlg* w = Open();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->NominalEdit()->text(), QStringLiteral("230"));
    QTableWidget* events = w->EventsTable();
    ASSERT_EQ(events->rowCount(), 3);
    EXPECT_EQ(Column(events, 3), (QStringList{"00:01:20", "00:00:30", "00:00:10"}));
    EXPECT_EQ(Column(events, 1), (QStringList{"dip", "dip", "swell"}));

    events->sortByColumn(2, Qt::AscendingOrder);
    EXPECT_EQ(Column(events, 2),
              (QStringList{"02/03/26 00:50:00", "02/03/26 02:46:40", "02/03/26 04:10:00"}));
    const QString copied = w->EventsText();
    EXPECT_TRUE(
        copied.startsWith(QStringLiteral("Channel\tKind\tStart\tDuration\tExtreme\n"
                                         "CH1\tdip\t02/03/26 00:50:00\t00:01:20\t200.0 V\n")))
        << copied.toStdString();
    EXPECT_TRUE(w->FiguresText().contains(QStringLiteral("Dips\t2\t\n")));
}

TEST_F(StatisticsWindow, NominalVoltageIsCheckedUsedAndKeptInTheSettingsFile) {
    LoadRecording();
    CStatisticsDlg* w = Open();
    ASSERT_NE(w, nullptr);
    CNumericEdit* edit = w->NominalEdit();

    edit->setText(QStringLiteral("50"));
    emit edit->editingFinished();
    EXPECT_FALSE(w->NominalNote()->text().isEmpty());
    EXPECT_EQ(shell->Settings().m_nominalVoltage, QStringLiteral("230"));

    // Against 200 V, 230 V is a swell of the whole recording but for the dips.
    edit->setText(QStringLiteral("200"));
    emit edit->editingFinished();
    EXPECT_TRUE(w->NominalNote()->text().isEmpty());
    EXPECT_EQ(shell->Settings().m_nominalVoltage, QStringLiteral("200"));
    ASSERT_FALSE(w->Statistics().channels.empty());
    EXPECT_EQ(w->Statistics().channels[0].voltage->nominal, 200.0);
    EXPECT_EQ(w->Statistics().channels[0].voltage->swells, 3);

    ASSERT_TRUE(SaveSettingsFile(SettingsFilePath(), shell->Settings()));
    EXPECT_EQ(LoadSettingsFile(SettingsFilePath()).m_nominalVoltage, QStringLiteral("200"));
    // A value out of range from the file shows as the default.
    AppSettings damaged;
    damaged.m_nominalVoltage = QStringLiteral("abc");
    CStatisticsDlg fresh;
    fresh.SetNominalText(damaged.m_nominalVoltage);
    EXPECT_EQ(fresh.NominalEdit()->text(), QStringLiteral("230"));
}

TEST_F(StatisticsWindow, TabWasCaughtInTheTablesAndEnterCopiedTheFigures) {
    LoadRecording();
    CStatisticsDlg* w = Open();
    ASSERT_NE(w, nullptr);
    // Top to bottom, then the buttons; Tab leaves a table (the arrows move in it).
    EXPECT_EQ(Names(TabStops(w, w->NominalEdit())),
              (std::vector<std::string>{"nominalEdit", "figuresTable", "eventsTable", "copyFigures",
                                        "copyEvents", "close"}));

    // Enter after typing a nominal voltage takes it, and neither copies nor closes.
    QApplication::clipboard()->setText(QStringLiteral("mine"));
    w->NominalEdit()->setFocus();
    w->NominalEdit()->selectAll();
    QTest::keyClicks(w->NominalEdit(), "220");
    QTest::keyClick(w->NominalEdit(), Qt::Key_Return);
    EXPECT_EQ(shell->Settings().m_nominalVoltage, QStringLiteral("220"));
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("mine"));

    // Enter on an event shows it, as a double-click does.
    QSignalSpy chosen(w, &CStatisticsDlg::eventChosen);
    QTableWidget* events = w->EventsTable();
    ASSERT_GT(events->rowCount(), 0);
    events->setFocus();
    events->setCurrentCell(0, 0);
    QTest::keyClick(events, Qt::Key_Return);
    EXPECT_EQ(chosen.size(), 1);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("mine"));
}

TEST_F(StatisticsWindow, DoubleClickedEventIsZoomedIntoView) {
    LoadRecording();
    CStatisticsDlg* w = Open();
    ASSERT_NE(w, nullptr);
    QTableWidget* events = w->EventsTable();
    ASSERT_EQ(events->rowCount(), 3);
    // Row 1 is the dip of 3 samples from sample 1000 (longest first).
    ASSERT_EQ(events->item(1, 2)->text(), QStringLiteral("02/03/26 02:46:40"));
    emit events->cellDoubleClicked(1, 0);
    frame->GraphView()->repaint();
    const GraphModel& g = shell->Graph();
    ASSERT_TRUE(g.Zoom().Zoomed());
    const GraphLayout& l = g.Layout();
    for (int64_t i : {1000, 1002}) {
        const double x = g.XPix(i, 1, 0);
        EXPECT_GE(x, l.plotLeft) << i;
        EXPECT_LE(x, l.plotRight) << i;
    }
    // Zoomed in, not the whole recording: sample 0 and the last lie off the plot.
    EXPECT_LT(g.XPix(0, 1, 0), l.plotLeft);
    EXPECT_GT(g.XPix(1999, 1, 0), l.plotRight);
}

} // namespace
