// The list windows and the print preview in the main window: opening, placement,
// closing keys, the record pick, the mode rules, the pane toggles and Help.

#include "ListSamples.h"
#include "support/RunSamples.h"
#include "support/StoredSetBuilder.h"

#include "app/CMainFrame.h"
#include "shell/AppShell.h"
#include "shell/ListCommands.h"
#include "support/ShellFixture.h"
#include "ui/CDTView.h"
#include "ui/CDataListDlg.h"
#include "ui/CPrintPreviewDlg.h"
#include "ui/CTrFileListDlg.h"
#include "ui/ListWindows.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QPrinter>
#include <QScrollBar>
#include <QSplitter>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace lists;

namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "test_list_windows";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

class ListWindowsTest : public ::testing::Test {
protected:
    ListWindowsTest() : timers(clock) {
        App();
        qputenv("DATALOGGER_DIR", dir.path().toLocal8Bit());
        shell = std::make_unique<AppShell>(timers, prompts, now, dir.filePath("x.ini"));
        frame = std::make_unique<CMainFrame>(*shell);
        frame->resize(1200, 800);
        frame->show();
        QCoreApplication::processEvents();
    }
    ~ListWindowsTest() override {
        frame.reset();
        shell.reset();
    }
    void Load(MeasurementSet s) {
        shell->Set().ReplaceStored(s.Stored());
        shell->Graph().SetDataReplaced(true);
        shell->SizeWorkBuffers(WorkBufferOccasion::AfterFileRead);
        shell->Graph().SetDisplayContent(1);
        shell->ExecuteDirect(Cmd::StoreRms);
        shell->UpdateAllViews();
        frame->GraphView()->repaint();
        QCoreApplication::processEvents();
    }
    CDataListDlg* DataList() { return frame->ListWins().DataListWindow(); }
    CTrFileListDlg* TrList() { return frame->ListWins().TrFileListWindow(); }

    QTemporaryDir dir;
    ManualClock clock;
    ManualTimerTable timers;
    FakePrompts prompts;
    FixedClock now{At(2026, 12, 8, 10, 0, 0)};
    std::unique_ptr<AppShell> shell;
    std::unique_ptr<CMainFrame> frame;
};

} // namespace

TEST_F(ListWindowsTest, DataListOpensBelowTheInfoBarAndEscapeOrEnterCloseIt) {
    Load(Stored(300));
    EXPECT_FALSE(frame->Action(Cmd::PrintList)->isEnabled());
    ASSERT_TRUE(shell->Execute(Cmd::DataList));
    ASSERT_NE(DataList(), nullptr);
    EXPECT_EQ(DataList()->windowTitle(), "STORE RMS Data List");
    QTableView* t = DataList()->Table();
    EXPECT_EQ(t->model()->rowCount(), 300);
    EXPECT_EQ(t->columnWidth(0), 50);
    EXPECT_EQ(t->columnWidth(1), 180);
    EXPECT_EQ(t->columnWidth(2), 130);
    EXPECT_EQ(t->verticalHeader()->sectionResizeMode(0), QHeaderView::Fixed);
    const QRect view(frame->GraphView()->mapToGlobal(QPoint(0, 0)), frame->GraphView()->size());
    EXPECT_EQ(DataList()->frameGeometry().top(), view.top() + 120);
    EXPECT_EQ(DataList()->frameGeometry().left(), view.left());
    frame->UpdateCommandUI();
    EXPECT_TRUE(frame->Action(Cmd::PrintList)->isEnabled());
    // A second Data List keeps the one window.
    CDataListDlg* first = DataList();
    shell->Execute(Cmd::DataList);
    EXPECT_EQ(DataList(), first);

    QTest::keyClick(t, Qt::Key_Escape);
    QCoreApplication::processEvents();
    EXPECT_EQ(DataList(), nullptr);
    frame->UpdateCommandUI();
    EXPECT_FALSE(frame->Action(Cmd::PrintList)->isEnabled());
    shell->Execute(Cmd::DataList);
    ASSERT_NE(DataList(), nullptr);
    QTest::keyClick(DataList()->Table(), Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(DataList(), nullptr);
}

TEST_F(ListWindowsTest, StoredTrOpensTheRecordListAndAPickShowsItsPoints) {
    Load(Stored(50, true, true, 4));
    shell->Execute(Cmd::DataList);
    ASSERT_TRUE(shell->Execute(Cmd::StoreTransient));
    QCoreApplication::processEvents();
    ASSERT_NE(TrList(), nullptr);
    EXPECT_EQ(TrList()->windowTitle(), "TR File List");
    EXPECT_EQ(TrList()->Table()->model()->rowCount(), 4);
    EXPECT_EQ(TrList()->Table()->columnWidth(0), 62);
    // The data list followed the mode, and moved under the slim info bar.
    ASSERT_NE(DataList(), nullptr);
    EXPECT_EQ(DataList()->windowTitle(), "STORE TR Data List");
    EXPECT_EQ(DataList()->Table()->model()->rowCount(), 251);
    const QRect view(frame->GraphView()->mapToGlobal(QPoint(0, 0)), frame->GraphView()->size());
    EXPECT_EQ(DataList()->frameGeometry().top(), view.top() + 25);
    // Info Dialog: greyed in stored TR but keeps its check mark.
    frame->UpdateCommandUI();
    EXPECT_FALSE(frame->Action(Cmd::ToggleInfoBar)->isEnabled());
    EXPECT_TRUE(frame->Action(Cmd::ToggleInfoBar)->isChecked());

    // No selection: a double-click does nothing.
    TrList()->PickSelected();
    EXPECT_EQ(shell->Graph().FirstPoint(), 1);
    // The third row: points 503 to 753, CH1 only in volts.
    QTableView* t = TrList()->Table();
    const QRect cell = t->visualRect(t->model()->index(2, 0));
    ASSERT_TRUE(cell.isValid());
    QTest::mouseClick(t->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(t->viewport(), Qt::LeftButton, {}, cell.center());
    QCoreApplication::processEvents();
    EXPECT_EQ(shell->Graph().FirstPoint(), 503);
    EXPECT_EQ(shell->Graph().LastPoint(), 753);
    EXPECT_EQ(shell->Graph().ChannelPresent(0), 1);
    EXPECT_EQ(shell->Graph().ChannelPresent(1), 0);
    EXPECT_EQ(DataList()->Table()->model()->index(0, 2).data().toString(), "1875.0 V");

    // Every other mode closes the record list.
    shell->Execute(Cmd::StoreRms);
    QCoreApplication::processEvents();
    EXPECT_EQ(TrList(), nullptr);
    EXPECT_EQ(DataList()->windowTitle(), "STORE RMS Data List");

    // New stored data (a completed download) close it too.
    shell->Execute(Cmd::StoreTransient);
    QCoreApplication::processEvents();
    ASSERT_NE(TrList(), nullptr);
    // In the order a download hands its data over: the set, the graph's buffers, the
    // views (the graph reads a stored set's values when it paints).
    shell->Set().ReplaceStored(Stored(10, true, true, 1).Stored());
    shell->SizeWorkBuffers(WorkBufferOccasion::AfterDownload);
    shell->UpdateAllViews();
    QCoreApplication::processEvents();
    EXPECT_EQ(TrList(), nullptr);
}

TEST_F(ListWindowsTest, RecordListClosesOnEscapeAndEmptyListIgnoresDoubleClick) {
    MeasurementSet s = Stored(20, true, true, 1);
    Load(s);
    shell->Execute(Cmd::StoreTransient);
    QCoreApplication::processEvents();
    ASSERT_NE(TrList(), nullptr);
    QTest::keyClick(TrList()->Table(), Qt::Key_Escape);
    QCoreApplication::processEvents();
    EXPECT_EQ(TrList(), nullptr);
    // A list without records: the pick finds nothing and changes nothing.
    EditStored(shell->Set(), [](StoredSet& d) { d.SetTrRecords({}, {}, {}, {}); });
    frame->Lists().TrFileList().Refresh();
    frame->ListWins().ShowTrFileList();
    ASSERT_NE(TrList(), nullptr);
    EXPECT_EQ(TrList()->Table()->model()->rowCount(), 0);
    const int32_t first = shell->Graph().FirstPoint();
    TrList()->PickSelected();
    QTest::mouseDClick(TrList()->Table()->viewport(), Qt::LeftButton, {}, QPoint(20, 10));
    EXPECT_EQ(shell->Graph().FirstPoint(), first);
}

TEST_F(ListWindowsTest, AClosedRecordListCouldOnlyComeBackByLeavingTrMode) {
    Load(Stored(20, true, true, 1));
    frame->UpdateCommandUI();
    EXPECT_FALSE(frame->Action(Cmd::TrFileList)->isEnabled());
    shell->Execute(Cmd::StoreTransient);
    QCoreApplication::processEvents();
    ASSERT_NE(TrList(), nullptr);
    QTest::keyClick(TrList()->Table(), Qt::Key_Escape);
    QCoreApplication::processEvents();
    ASSERT_EQ(TrList(), nullptr);
    frame->UpdateCommandUI();
    ASSERT_TRUE(frame->Action(Cmd::TrFileList)->isEnabled());
    frame->Action(Cmd::TrFileList)->trigger();
    QCoreApplication::processEvents();
    ASSERT_NE(TrList(), nullptr);

    // The main window's keys work from the list: Ctrl+S asks for a file name.
    QApplication::setActiveWindow(TrList());
    QTest::keyClick(TrList()->Table(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(prompts.filters.size(), 1u);
    // Alt+F opens the File menu of the main window.
    QTest::keyClick(TrList()->Table(), Qt::Key_F, Qt::AltModifier);
    QCoreApplication::processEvents();
    QMenuBar* bar = frame->menuBar();
    ASSERT_NE(bar->activeAction(), nullptr);
    EXPECT_EQ(bar->activeAction()->text(), "&File(F)");
    if (QMenu* open = bar->activeAction()->menu())
        open->close();
}

TEST(PrintPreview, PreviewRanOffTheScreen) {
    // A screen 1000 pixels high and a title bar of 30: the preview's frame fits.
    const QRect placed = CPrintPreviewDlg::FitInside(QRect(0, 0, 1280, 1000), QSize(900, 1000),
                                                     QMargins(4, 30, 4, 4));
    EXPECT_EQ(placed, QRect(190, 30, 900, 966));
    // Room to spare: centred with its frame.
    EXPECT_EQ(CPrintPreviewDlg::FitInside(QRect(0, 40, 1920, 1160), QSize(900, 1000),
                                          QMargins(4, 30, 4, 4)),
              QRect(510, 133, 900, 1000));
}

TEST_F(ListWindowsTest, InstrumentPaneComesBackAt150AndHelpNamesThePathsTried) {
    Load(Stored(20));
    shell->Execute(Cmd::ToggleInstrument);
    EXPECT_EQ(frame->Splitter()->sizes().at(0), 0);
    shell->Execute(Cmd::ToggleInstrument);
    EXPECT_EQ(frame->Splitter()->sizes().at(0), 150);
    frame->UpdateCommandUI();
    EXPECT_TRUE(frame->Action(Cmd::ToggleInstrument)->isChecked());

    const QStringList paths = CMainFrame::HelpCandidates("/nowhere/bin/orvex-datalogger");
    ASSERT_GE(paths.size(), 2);
    EXPECT_EQ(paths[0], "/nowhere/bin/help.chm");
    EXPECT_EQ(paths[1], "/nowhere/share/orvex-datalogger/guide/index.html");
    EXPECT_TRUE(paths.last().endsWith("/doc/guide/index.html"));
}

TEST_F(ListWindowsTest, PreviewOfAFullMemoryShowsItsFirstPageAtOnce) {
    MeasurementSet s = Stored(0);
    EditStored(s, [&](StoredSet& d) {
        d.SetRmsCount(262144);
        d.SetChannelValues(0, std::vector<float>(262144, 230.0f));
        d.SetChannelValues(1, std::vector<float>(262144, 5.0f));
    });
    Load(std::move(s));
    shell->Execute(Cmd::DataList);
    ReportPages pages = frame->Lists().ListPages();
    EXPECT_EQ(pages.count, 4370);
    // Which pages the preview paints: only the one it shows, never the whole report
    // first (bench_lists measures how long the first page takes).
    std::vector<int> painted;
    pages.paint = [&painted, paint = pages.paint](QPainter& p, QSize printable, int page) {
        painted.push_back(page);
        paint(p, printable, page);
    };
    QPrinter printer(QPrinter::HighResolution);
    CPrintPreviewDlg preview(printer, pages);
    preview.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(preview.Page(), 1);
    // (Again when the scroll area learns its size: the same page.)
    using ::testing::Each;
    using ::testing::IsEmpty;
    using ::testing::Not;
    EXPECT_THAT(painted, AllOf(Not(IsEmpty()), Each(1)));
    painted.clear();
    preview.ShowPage(4370);
    EXPECT_EQ(preview.Page(), 4370);
    EXPECT_THAT(painted, AllOf(Not(IsEmpty()), Each(4370)));
    preview.ShowPage(99999);
    EXPECT_EQ(preview.Page(), 4370);
    // The last page holds rows 262,141 to 262,144 and some ink.
    const QImage page = preview.PageImage();
    int dark = 0;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            dark += qGray(page.pixel(x, y)) < 160;
    EXPECT_GT(dark, 100);
}

TEST_F(ListWindowsTest, DuringARunTheListFollowsTheNewestRowAndLinkCommandsAreGrey) {
    Load(Stored(20));
    MeasurementSet& s = shell->Set();
    runs::BeginRun(s.Run(), 5000, kStart);
    runs::GrowTo(s.Run(), 100);
    FakeRealTimeRun run(*shell);
    shell->ExecuteDirect(Cmd::RealTimeRms);
    shell->Execute(Cmd::DataList);
    ASSERT_NE(DataList(), nullptr);
    EXPECT_EQ(DataList()->windowTitle(), "REAL TIME RMS Data List");
    runs::GrowTo(s.Run(), 3000);
    shell->AppendRealTimePoint();
    QCoreApplication::processEvents();
    QTableView* t = DataList()->Table();
    EXPECT_EQ(t->model()->rowCount(), 3000);
    EXPECT_EQ(t->verticalScrollBar()->value(), t->verticalScrollBar()->maximum());
    EXPECT_GT(t->verticalScrollBar()->maximum(), 0);
    frame->UpdateCommandUI();
    for (int id : {Cmd::Open, Cmd::PreviousMeasurement, Cmd::Download})
        EXPECT_FALSE(frame->Action(id)->isEnabled()) << id;
    // Stopped: the list stays where the user puts it.
    run.SetRunning(false);
    t->verticalScrollBar()->setValue(0);
    runs::GrowTo(s.Run(), 3100);
    shell->AppendRealTimePoint();
    QCoreApplication::processEvents();
    EXPECT_EQ(t->model()->rowCount(), 3100);
    EXPECT_EQ(t->verticalScrollBar()->value(), 0);
}

// The menu and tool-bar items while the acquisition's flag says a run is on (the
// transfer sets it; the shell's tests run a real run in virtual time): everything
// that talks to the logger or replaces the data is grey, Stop is not, and what
// reads the data shown stays as it was. After the run all comes back.
TEST_F(ListWindowsTest, EveryMenuItemFollowsTheCommandTableDuringARun) {
    Load(Stored(20));
    shell->Execute(Cmd::DataList);
    const int waits[] = {Cmd::Open,     Cmd::CorrectTime,         Cmd::Setup,
                         Cmd::Download, Cmd::PreviousMeasurement, Cmd::Run};
    const int stay[] = {Cmd::Save,
                        Cmd::PrintSetup,
                        Cmd::PrintPreviewGraph,
                        Cmd::PrintGraph,
                        Cmd::PrintPreviewList,
                        Cmd::PrintList,
                        Cmd::Exit,
                        Cmd::About,
                        Cmd::Help,
                        Cmd::DataList,
                        Cmd::StoreRms,
                        Cmd::ToggleInstrument,
                        Cmd::ToggleInfoBar,
                        Cmd::ExportImage,
                        Cmd::ExportCsv};
    auto expect = [&](bool running) {
        SCOPED_TRACE(running ? "running" : "after the run");
        frame->UpdateCommandUI();
        for (int id : waits)
            EXPECT_EQ(frame->Action(id)->isEnabled(), !running) << id;
        EXPECT_EQ(frame->Action(Cmd::Stop)->isEnabled(), running);
        for (int id : stay)
            EXPECT_TRUE(frame->Action(id)->isEnabled()) << id;
        EXPECT_FALSE(frame->Action(Cmd::ImportToList)->isEnabled());
        EXPECT_FALSE(frame->Action(Cmd::StoreTransient)->isEnabled()); // no records
        EXPECT_TRUE(frame->Action(Cmd::ToggleInstrument)->isChecked());
        EXPECT_TRUE(frame->Action(Cmd::ToggleInfoBar)->isChecked());
        // The accelerators: Ctrl+O waits like Open, the others do not.
        EXPECT_EQ(shell->StateOf(Cmd::FileOpenFramework).enabled, !running);
        for (int id : {Cmd::FileNew, Cmd::FileSaveFramework, Cmd::FilePrintFramework, Cmd::NextPane,
                       Cmd::PreviousPane})
            EXPECT_TRUE(shell->StateOf(id).enabled) << id;
    };
    expect(false);
    FakeRealTimeRun run(*shell);
    expect(true);
    // The commands themselves are refused too, not only their items greyed.
    EXPECT_FALSE(shell->Execute(Cmd::Download));
    EXPECT_FALSE(shell->Execute(Cmd::Setup));
    EXPECT_FALSE(shell->Execute(Cmd::CorrectTime));
    run.SetRunning(false);
    expect(false);
}
