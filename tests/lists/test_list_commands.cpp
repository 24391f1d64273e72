// The list, print and export commands below the widgets: enable rules, the data
// list's open flag, the list model following the data, the CSV export.

#include "ListSamples.h"
#include "support/RunSamples.h"

#include "base/Prompts.h"
#include "base/Timers.h"
#include "shell/AppShell.h"
#include "shell/GraphController.h"
#include "shell/ListCommands.h"
#include "support/ShellFixture.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <tuple>
#include <utility>
#include <vector>

using namespace lists;

namespace {

class Lists : public ::testing::Test {
protected:
    Lists() : timers(clock) {
        shell = std::make_unique<AppShell>(timers, prompts, now, dir.filePath("x.ini"));
        graph = std::make_unique<GraphController>(*shell);
        lists = std::make_unique<ListCommands>(*shell);
    }
    void Load(MeasurementSet s) {
        shell->Set().ReplaceStored(s.Stored());
        shell->Graph().SetDisplayContent(1);
        shell->Graph().SetDataReplaced(true);
        shell->SizeWorkBuffers(WorkBufferOccasion::AfterFileRead);
        graph->EnterMode(GraphMode::StoreRms);
        shell->UpdateAllViews();
        lists->Refresh();
    }
    bool Enabled(int id) const { return shell->StateOf(id).enabled; }

    QTemporaryDir dir;
    ManualClock clock;
    ManualTimerTable timers;
    FakePrompts prompts;
    FixedClock now{At(2026, 12, 8, 10, 0, 0)};
    std::unique_ptr<AppShell> shell;
    std::unique_ptr<GraphController> graph;
    std::unique_ptr<ListCommands> lists;
};

} // namespace

TEST_F(Lists, BeforeDataEveryPrintListAndExportCommandIsDisabled) {
    for (int id :
         {Cmd::PrintSetup, Cmd::PrintPreviewGraph, Cmd::PrintPreviewList, Cmd::PrintGraph,
          Cmd::PrintList, Cmd::DataList, Cmd::FilePrintFramework, Cmd::ExportCsv, Cmd::ExportImage})
        EXPECT_FALSE(Enabled(id)) << id;
    // Import Data To List has no handler: always shown disabled.
    EXPECT_FALSE(Enabled(Cmd::ImportToList));
    EXPECT_FALSE(shell->Execute(Cmd::DataList));
}

TEST_F(Lists, ListCommandsNeedTheDataListOpen) {
    Load(Stored(56));
    for (int id :
         {Cmd::PrintSetup, Cmd::PrintPreviewGraph, Cmd::PrintGraph, Cmd::DataList, Cmd::ExportCsv})
        EXPECT_TRUE(Enabled(id)) << id;
    EXPECT_FALSE(Enabled(Cmd::PrintPreviewList));
    EXPECT_FALSE(Enabled(Cmd::PrintList));
    int shown = 0;
    QObject::connect(lists.get(), &ListCommands::dataListShowRequested, [&] {
        ++shown;
        lists->SetDataListOpen(true);
    });
    ASSERT_TRUE(shell->Execute(Cmd::DataList));
    EXPECT_EQ(shown, 1);
    EXPECT_TRUE(Enabled(Cmd::PrintPreviewList));
    EXPECT_TRUE(Enabled(Cmd::PrintList));
    // The close sequence ends the data list: the list commands go grey again.
    int closed = 0;
    QObject::connect(lists.get(), &ListCommands::dataListCloseRequested, [&] { ++closed; });
    emit shell->closeDataListRequested();
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(Enabled(Cmd::PrintList));
}

TEST_F(Lists, PrintCommandsChooseTheReportAndItsPages) {
    Load(Stored(56));
    lists->SetDataListOpen(true);
    std::vector<std::pair<ListCommands::Report, bool>> jobs;
    QObject::connect(lists.get(), &ListCommands::printRequested,
                     [&](ListCommands::Report r, bool preview) { jobs.emplace_back(r, preview); });
    ASSERT_TRUE(shell->Execute(Cmd::PrintPreviewList));
    EXPECT_EQ(shell->Graph().DisplayContent(), 2);
    EXPECT_EQ(lists->ListPages().count, 2);
    // Ctrl+P prints what the last print command chose.
    ASSERT_TRUE(shell->Execute(Cmd::FilePrintFramework));
    ASSERT_TRUE(shell->Execute(Cmd::PrintGraph));
    EXPECT_EQ(shell->Graph().DisplayContent(), 1);
    ASSERT_EQ(jobs.size(), 3u);
    EXPECT_EQ(jobs[0], std::make_pair(ListCommands::Report::List, true));
    EXPECT_EQ(jobs[1], std::make_pair(ListCommands::Report::List, false));
    EXPECT_EQ(jobs[2], std::make_pair(ListCommands::Report::Graph, false));
    EXPECT_EQ(lists->GraphPages(QSize(800, 600), RenderOptions{}).count, 1);
    // The list report's date is the shell's today.
    EXPECT_EQ(FormatDate(now.Now()), "08/12/26");
}

TEST_F(Lists, TheModelFollowsModeRecordAndGrowingLiveData) {
    Load(Stored(40, true, true, 3));
    DataListModel& m = lists->DataList();
    EXPECT_EQ(m.rowCount(), 40);
    EXPECT_EQ(m.Caption(), "STORE RMS Data List");
    graph->EnterMode(GraphMode::StoreTransient);
    m.Refresh();
    EXPECT_EQ(m.rowCount(), 251);
    EXPECT_EQ(m.Caption(), "STORE TR Data List");
    graph->SelectTransientRecord(2);
    m.Refresh();
    EXPECT_EQ(m.data(m.index(0, 2)).toString(), "1875.0 V");
    EXPECT_EQ(lists->TrFileList().rowCount(), 3);
    EXPECT_EQ(lists->TrFileList().data(lists->TrFileList().index(1, 0)).toString(), "2");

    // A live series grows at the end: rows are inserted, not the list rebuilt.
    MeasurementSet& s = shell->Set();
    runs::BeginRun(s.Run(), 100);
    runs::GrowTo(s.Run(), 5);
    FakeRealTimeRun run(*shell);
    graph->EnterMode(GraphMode::RealTimeRms);
    m.Refresh();
    EXPECT_EQ(m.rowCount(), 5);
    QSignalSpy inserted(&m, &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(&m, &QAbstractItemModel::modelReset);
    runs::GrowTo(s.Run(), 8);
    m.Refresh();
    EXPECT_EQ(m.rowCount(), 8);
    EXPECT_EQ(inserted.count(), 1);
    EXPECT_EQ(reset.count(), 0);
    EXPECT_TRUE(DataListFollowsNewest(m.View()));
    EXPECT_EQ(m.headerData(2, Qt::Horizontal).toString(), "CH1");
    graph->EnterMode(GraphMode::RealTimeApparentPower);
    m.Refresh();
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(m.headerData(2, Qt::Horizontal).toString(), "S(VA)");
    EXPECT_EQ(m.ColumnWidth(3), 0);
}

TEST_F(Lists, CsvExportAsksForANameAndReportsAFailure) {
    Load(Stored(3));
    const QString path = dir.filePath("out.csv");
    prompts.QueueFile(path);
    ASSERT_TRUE(shell->Execute(Cmd::ExportCsv));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll().count('\n'), 4);
    EXPECT_TRUE(prompts.shown.empty());
    // Cancelled: nothing, no message.
    EXPECT_TRUE(lists->ExportCsv());
    EXPECT_TRUE(prompts.shown.empty());
    prompts.QueueFile(dir.filePath("missing/out.csv"));
    EXPECT_FALSE(lists->ExportCsv());
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_TRUE(prompts.LastText().startsWith("The data could not be written to "));
}

TEST_F(Lists, ImageExportWritesAPngOfTheGivenImage) {
    Load(Stored(3));
    QImage image(320, 200, QImage::Format_RGB32);
    image.fill(Qt::red);
    const QString path = dir.filePath("graph.png");
    prompts.QueueFile(path);
    ASSERT_TRUE(lists->ExportImage(image));
    const QImage back(path);
    ASSERT_EQ(back.size(), QSize(320, 200));
    EXPECT_EQ(back.pixelColor(10, 10), QColor(Qt::red));
    QString error;
    EXPECT_FALSE(ListCommands::SavePng(image, dir.filePath("none/graph.png"), &error));
    EXPECT_FALSE(error.isEmpty());
}

// The CSV and PNG exports replaced an existing file without a word: the save chooser
// leaves that question to its caller, and these two never asked it.
TEST_F(Lists, ExportReplacedAnExistingFileWithoutAsking) {
    Load(Stored(3));
    QImage image(32, 20, QImage::Format_RGB32);
    image.fill(Qt::red);
    const std::vector<std::pair<QString, std::function<bool()>>> exports = {
        {QStringLiteral("mine.csv"), [this] { return lists->ExportCsv(); }},
        {QStringLiteral("mine.png"), [this, &image] { return lists->ExportImage(image); }}};
    auto contents = [](const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    for (const auto& [name, run] : exports) {
        SCOPED_TRACE(name.toStdString());
        const QString path = dir.filePath(name);
        {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write("keep");
        }
        prompts.shown.clear();
        prompts.proposedNames.clear();
        // No goes back to the chooser with the name chosen; cancelling there keeps it.
        prompts.QueueFile(path);
        prompts.QueueAnswer(PromptAnswer::No);
        EXPECT_TRUE(run());
        ASSERT_EQ(prompts.shown.size(), 1u);
        EXPECT_EQ(prompts.LastText(),
                  QStringLiteral("The file %1 already exists.\nDo you want to replace it?")
                      .arg(QDir::toNativeSeparators(path)));
        ASSERT_EQ(prompts.proposedNames.size(), 2u);
        EXPECT_EQ(prompts.proposedNames.back(), name);
        EXPECT_EQ(contents(path), QByteArray("keep"));
        // Yes replaces it.
        prompts.QueueFile(path);
        prompts.QueueAnswer(PromptAnswer::Yes);
        EXPECT_TRUE(run());
        EXPECT_NE(contents(path), QByteArray("keep"));
        EXPECT_FALSE(contents(path).isEmpty());
    }
}

// A CSV or PNG export closed its chooser and said nothing: the user could not tell
// whether the file had been written. The status bar names it, as the waveform
// export does; a cancelled or failed export leaves the status bar alone.
TEST_F(Lists, ExportSaidNothingWhenDone) {
    Load(Stored(3));
    QStringList status;
    QObject::connect(shell.get(), &AppShell::statusText,
                     [&status](const QString& t) { status << t; });
    QImage image(16, 10, QImage::Format_RGB32);
    image.fill(Qt::blue);
    const std::vector<std::tuple<QString, QString, std::function<bool()>>> exports = {
        {QStringLiteral("rows.csv"), QStringLiteral("Data exported to "),
         [this] { return lists->ExportCsv(); }},
        {QStringLiteral("graph.png"), QStringLiteral("Graph exported to "),
         [this, &image] { return lists->ExportImage(image); }}};
    for (const auto& [name, words, run] : exports) {
        SCOPED_TRACE(name.toStdString());
        status.clear();
        const QString path = dir.filePath(name);
        prompts.QueueFile(path);
        ASSERT_TRUE(run());
        EXPECT_EQ(status, QStringList{words + QDir::toNativeSeparators(path)});
        status.clear();
        EXPECT_TRUE(run()); // cancelled
        prompts.QueueFile(dir.filePath(QStringLiteral("missing/") + name));
        EXPECT_FALSE(run());
        EXPECT_TRUE(status.isEmpty());
    }
}
