#include "SampleSets.h"

#include "data/PreviousMeasurement.h"
#include "data/ReportWriter.h"
#include "data/StdataFile.h"
#include "shell/AppShell.h"
#include "shell/FileCommands.h"
#include "shell/LinkSession.h"
#include "sim/FakeSerialChannel.h"
#include "support/ShellFixture.h"

#include <QDir>
#include <QTemporaryDir>

#include <cstdlib>
#include <ctime>
#include <map>

#include <gtest/gtest.h>

using namespace samples;

namespace {

class Files : public ShellFixture {
protected:
    Files() : files(shell) {
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
        qputenv("DATALOGGER_DIR", dir.filePath("datadir").toLocal8Bit());
        now.Set(At(2010, 2, 3, 14, 5, 6));
        QObject::connect(&shell, &AppShell::workBuffersSized,
                         [this](int64_t n) { sizedTo.push_back(n); });
        QObject::connect(&shell, &AppShell::viewsUpdated, [this] { ++viewUpdates; });
        QObject::connect(&shell, &AppShell::statusText, [this](const QString& t) { status = t; });
    }
    ~Files() override { qunsetenv("DATALOGGER_DIR"); }

    // Downloaded data on screen, not saved yet.
    void ShowDownloaded() {
        shell.Set().ReplaceStored(Rich().Stored());
        shell.Graph().SetLastPoint(5);
        shell.Graph().SetDisplayContent(1);
        shell.SetDataUnsaved(true);
        shell.SetPromptOnOpen(true);
        shell.SetPromptOnDownload(true);
    }
    QString File(const char* name, const MeasurementSet& set) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        EXPECT_TRUE(WriteAll(path, EncodeStdata(set)));
        return path;
    }

    FileCommands files;
    std::vector<int64_t> sizedTo;
    int viewUpdates = 0;
    QString status;
};

// ------------------------------------------------------------------ Open

TEST_F(Files, OpenLoadsTheChosenFileAndResetsTheScale50msLater) {
    prompts.QueueFile(File("a.stdata", WorkedExample()));
    ASSERT_TRUE(shell.Execute(Cmd::Open));
    EXPECT_EQ(prompts.filters,
              std::vector<QString>{QStringLiteral("DataLogger Files (*.stdata *.rtdata)")});
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(prompts.waitCursorDepth, 0);
    EXPECT_EQ(shell.Set().ChannelRms(0), std::vector<float>{230.0f});
    EXPECT_EQ(shell.Set().FileTag(), QStringLiteral("RMSTRDATA"));
    EXPECT_EQ(shell.Set().ModeFromFile(), 1);
    EXPECT_EQ(shell.Set().LoadedFromFile(), 1);
    EXPECT_EQ(shell.Graph().DisplayContent(), 1);
    EXPECT_EQ(sizedTo, std::vector<int64_t>{590});
    EXPECT_EQ(viewUpdates, 1);
    EXPECT_TRUE(timers.IsActive(FrameTimer::ResetScale));
    EXPECT_EQ(timers.PeriodOf(FrameTimer::ResetScale), 50);
}

TEST_F(Files, OpenAsksToSaveOnlyUnsavedDataThatWasNotReadFromAFile) {
    struct Case {
        int lastPoint;
        uint8_t loaded, unsaved, promptOnOpen;
        bool asks;
    } cases[] = {{1, 0, 1, 1, true},
                 {0, 0, 1, 1, false},
                 {5, 1, 1, 1, false},
                 {5, 0, 0, 1, false},
                 {5, 0, 1, 0, false}};
    for (const Case& c : cases) {
        prompts.shown.clear();
        shell.Graph().SetLastPoint(c.lastPoint);
        shell.Set().SetLoadedFromFile(c.loaded);
        shell.SetDataUnsaved(c.unsaved);
        shell.SetPromptOnOpen(c.promptOnOpen);
        if (c.asks)
            prompts.QueueAnswer(PromptAnswer::No);
        files.Open(); // file dialog cancelled
        ASSERT_EQ(prompts.shown.size(), c.asks ? 1u : 0u) << c.lastPoint << c.loaded;
        if (c.asks) {
            EXPECT_EQ(
                prompts.LastText(),
                QStringLiteral("Do you want to save the existing graph data before continuing?"));
            EXPECT_EQ(prompts.shown[0].icon, PromptIcon::Exclamation);
            EXPECT_EQ(prompts.shown[0].buttons, PromptButtons::YesNoCancel);
            EXPECT_EQ(shell.DataUnsaved(), 0);
            EXPECT_EQ(shell.PromptOnOpen(), 0);
        }
    }
}

TEST_F(Files, YesToTheOpenPromptSavesFirstThenOpens) {
    ShowDownloaded();
    prompts.QueueAnswer(PromptAnswer::Yes);
    prompts.QueueFile(dir.filePath("saved.xls"));
    prompts.QueueFile(File("next.stdata", WorkedExample()));
    files.Open();
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("saved.stdata")));
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("saved.xls")));
    EXPECT_EQ(shell.Set().RmsCount(), 1);
}

TEST_F(Files, ADamagedFileSaysSoAndLeavesTheDataShown) {
    ShowDownloaded();
    const QByteArray shownBytes = EncodeStdata(shell.Set());
    const QString path = dir.filePath("cut.stdata");
    ASSERT_TRUE(WriteAll(path, EncodeStdata(WorkedExample()).left(80)));
    shell.SetDataUnsaved(false); // no prompt
    prompts.QueueFile(path);
    files.Open();
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_TRUE(prompts.LastText().contains(QStringLiteral("damaged")));
    EXPECT_EQ(EncodeStdata(shell.Set()), shownBytes);
    EXPECT_EQ(shell.Set().LoadedFromFile(), 0);
    EXPECT_TRUE(sizedTo.empty());
    EXPECT_FALSE(timers.IsActive(FrameTimer::ResetScale));
    EXPECT_EQ(prompts.waitCursorDepth, 0);
}

TEST_F(Files, AnotherTagIsInvalidFormatAndKeepsTheData) {
    ShowDownloaded();
    shell.SetDataUnsaved(false);
    const QByteArray shownBytes = EncodeStdata(shell.Set());
    MeasurementSet epa = WorkedExample();
    epa.SetDataTag(QString::fromLatin1(kTagRealTime));
    prompts.QueueFile(File("epa.stdata", epa));
    files.Open();
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.LastText(), QStringLiteral("Invalid Format!"));
    EXPECT_EQ(prompts.shown[0].icon, PromptIcon::Exclamation);
    EXPECT_EQ(EncodeStdata(shell.Set()), shownBytes);
    // The graph view still hears about the refused file.
    EXPECT_EQ(shell.Set().FileTag(), QStringLiteral("EPADATA"));
    EXPECT_EQ(shell.Set().ModeFromFile(), 1);
    EXPECT_EQ(shell.Set().LoadedFromFile(), 1);
    EXPECT_TRUE(timers.IsActive(FrameTimer::ResetScale));
}

TEST_F(Files, AFileThatCannotBeOpenedChangesNothing) {
    ShowDownloaded();
    shell.SetDataUnsaved(false);
    prompts.QueueFile(dir.filePath("missing.stdata"));
    files.Open();
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(shell.Set().LoadedFromFile(), 0);
    EXPECT_FALSE(timers.IsActive(FrameTimer::ResetScale));
    // Named on the command line, the user gets told.
    shell.OpenFileAtStart(dir.filePath("missing.stdata"));
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_TRUE(prompts.LastText().contains(QStringLiteral("missing.stdata")));
}

// ------------------------------------------------------------------ Save

TEST_F(Files, SaveWritesBothFilesIntoTheChosenFolder) {
    ShowDownloaded();
    shell.Set().SetDataTag(QStringLiteral("EPADATA"));
    ASSERT_TRUE(QDir(dir.path()).mkdir("my.data"));
    prompts.QueueFile(dir.filePath("my.data/run.xls"));
    ASSERT_TRUE(shell.Execute(Cmd::Save));
    EXPECT_EQ(prompts.proposedNames, std::vector<QString>{QStringLiteral("10-02-03  14.05.06")});
    EXPECT_EQ(prompts.filters,
              std::vector<QString>{QStringLiteral("DataLogger Files (*.stdata *.xls)")});
    EXPECT_EQ(shell.Set().DataTag(), QStringLiteral("RMSTRDATA"));
    EXPECT_EQ(ReadAll(dir.filePath("my.data/run.stdata")), EncodeStdata(shell.Set()));
    EXPECT_EQ(ReadAll(dir.filePath("my.data/run.xls")), BuildReport(shell.Set()));
    EXPECT_EQ(shell.DataUnsaved(), 0);
    EXPECT_EQ(shell.PromptOnOpen(), 0);
    EXPECT_EQ(shell.PromptOnDownload(), 0);
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(prompts.waitCursorDepth, 0);
    EXPECT_EQ(QDir(dir.filePath("my.data")).entryList(QDir::Files).size(), 2);

    // Without an extension, and with a dot only in the folder name.
    EXPECT_EQ(FileCommands::TargetsFor(QStringLiteral("/a.b/run")).dataPath,
              QStringLiteral("/a.b/run.stdata"));
    EXPECT_EQ(FileCommands::TargetsFor(QStringLiteral("/a.b/run")).reportPath,
              QStringLiteral("/a.b/run.xls"));
    EXPECT_EQ(FileCommands::TargetsFor(QStringLiteral("/a/x.y.stdata")).reportPath,
              QStringLiteral("/a/x.y.xls"));
}

TEST_F(Files, TwoSavesUnderTheProposedNamesInOneMinuteKeepBothMeasurements) {
    // The proposed name ends in ".SS"; taking that for an extension dropped the
    // seconds, and the second save replaced the first pair without a question.
    ShowDownloaded();
    prompts.QueueFile(dir.filePath("10-02-03  14.05.06"));
    ASSERT_TRUE(files.Save());
    const QByteArray first = EncodeStdata(shell.Set());
    EditValues(shell.Set(), 0, [](std::vector<float>& v) { v[0] += 1.0f; });
    now.Set(At(2010, 2, 3, 14, 5, 40));
    EXPECT_EQ(files.ProposedSaveName(), QStringLiteral("10-02-03  14.05.40"));
    prompts.QueueFile(dir.filePath(files.ProposedSaveName()));
    ASSERT_TRUE(files.Save());
    EXPECT_EQ(ReadAll(dir.filePath("10-02-03  14.05.06.stdata")), first);
    EXPECT_EQ(ReadAll(dir.filePath("10-02-03  14.05.40.stdata")), EncodeStdata(shell.Set()));
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("10-02-03  14.05.06.xls")));
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("10-02-03  14.05.40.xls")));
    EXPECT_EQ(FileCommands::TargetsFor(QStringLiteral("/a/run.XLS")).dataPath,
              QStringLiteral("/a/run.stdata"));
}

TEST_F(Files, AfterSaveOpenDoesNotAsk) {
    ShowDownloaded();
    prompts.QueueFile(dir.filePath("run.stdata"));
    files.Save();
    files.Open();
    EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(Files, CancellingSaveChangesNothing) {
    ShowDownloaded();
    EXPECT_FALSE(files.Save());
    EXPECT_EQ(shell.DataUnsaved(), 1);
    EXPECT_EQ(shell.PromptOnOpen(), 1);
    EXPECT_EQ(shell.PromptOnDownload(), 1);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 0);
}

TEST_F(Files, AFailedSaveKeepsTheOldFilesAndTheFlagsAndSaysSo) {
    ShowDownloaded();
    ASSERT_TRUE(WriteAll(dir.filePath("run.xls"), "old report"));
    // A directory where the data file should go: not even root can replace it.
    ASSERT_TRUE(QDir(dir.path()).mkdir("run.stdata"));
    prompts.QueueFile(dir.filePath("run.xls"));
    prompts.QueueAnswer(PromptAnswer::Yes); // replace both
    EXPECT_FALSE(files.Save());
    ASSERT_EQ(prompts.shown.size(), 2u);
    EXPECT_TRUE(prompts.LastText().contains(QStringLiteral("could not be saved")));
    EXPECT_TRUE(prompts.LastText().contains(QStringLiteral("run.stdata")));
    EXPECT_TRUE(prompts.LastText().endsWith(QStringLiteral("were left unchanged.")));
    EXPECT_EQ(ReadAll(dir.filePath("run.xls")), QByteArray("old report"));
    EXPECT_TRUE(QFileInfo(dir.filePath("run.stdata")).isDir());
    EXPECT_EQ(shell.DataUnsaved(), 1);
    EXPECT_EQ(shell.PromptOnOpen(), 1);
    EXPECT_EQ(shell.PromptOnDownload(), 1);
    EXPECT_EQ(prompts.waitCursorDepth, 0);
    // No temporary file left behind.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1);

    // A folder that is a regular file: no file was there to be left unchanged, which
    // the message claimed all the same.
    prompts.QueueFile(dir.filePath("run.xls/inner.xls"));
    EXPECT_FALSE(files.Save());
    EXPECT_EQ(prompts.shown.size(), 3u);
    EXPECT_FALSE(prompts.LastText().contains(QStringLiteral("already there")));
    EXPECT_TRUE(prompts.LastText().endsWith(QStringLiteral("Nothing was written.")));
    EXPECT_EQ(ReadAll(dir.filePath("run.xls")), QByteArray("old report"));
}

TEST_F(Files, SaveIsEnabledOnlyWithAGraphShown) {
    EXPECT_FALSE(shell.StateOf(Cmd::Save).enabled);
    shell.Graph().SetLastPoint(1);
    EXPECT_TRUE(shell.StateOf(Cmd::Save).enabled);
    for (int id : {Cmd::Open, Cmd::PreviousMeasurement, Cmd::FileOpenFramework})
        EXPECT_TRUE(shell.StateOf(id).enabled) << id;
    FakeRealTimeRun run(shell);
    for (int id : {Cmd::Open, Cmd::PreviousMeasurement, Cmd::FileOpenFramework})
        EXPECT_FALSE(shell.StateOf(id).enabled) << id;
    EXPECT_TRUE(shell.StateOf(Cmd::Save).enabled);
    EXPECT_TRUE(shell.StateOf(Cmd::FileSaveFramework).enabled);
    EXPECT_TRUE(shell.StateOf(Cmd::FileNew).enabled);
}

// ------------------------------------------------------------------ prompts

TEST_F(Files, DownloadPromptAsksOnceAndYesOrNoGoOn) {
    ShowDownloaded();
    prompts.QueueAnswer(PromptAnswer::Yes);
    prompts.QueueFile(dir.filePath("before.stdata"));
    EXPECT_TRUE(shell.OfferSaveBeforeDownload());
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(
        prompts.LastText(),
        QStringLiteral("Do you want to save the existing RMS&TR graph data before continuing?"));
    EXPECT_EQ(prompts.shown[0].icon, PromptIcon::Question);
    EXPECT_EQ(prompts.shown[0].buttons, PromptButtons::YesNoCancel);
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("before.xls")));

    // Saved: no flags left, no second question.
    shell.SetDataUnsaved(true);
    EXPECT_TRUE(shell.OfferSaveBeforeDownload());
    EXPECT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(shell.DataUnsaved(), 1); // only an asked prompt clears it

    shell.SetPromptOnDownload(true);
    shell.Set().SetLoadedFromFile(true);
    EXPECT_TRUE(shell.OfferSaveBeforeDownload());
    EXPECT_EQ(prompts.shown.size(), 1u);

    shell.Set().SetLoadedFromFile(false);
    prompts.QueueAnswer(PromptAnswer::No);
    EXPECT_TRUE(shell.OfferSaveBeforeDownload());
    EXPECT_EQ(prompts.shown.size(), 2u);
    EXPECT_EQ(shell.DataUnsaved(), 0);
    EXPECT_EQ(shell.PromptOnDownload(), 0);
}

TEST_F(Files, ASaveAskedForByAPromptThatFailsLeavesTheDataMarkedUnsaved) {
    // Clearing the flags after a failed save let the close prompt pass the
    // unsaved data by without a question.
    ShowDownloaded();
    ASSERT_TRUE(QDir(dir.path()).mkdir("run.stdata")); // the data file cannot be replaced
    prompts.QueueAnswer(PromptAnswer::Yes);
    prompts.QueueFile(dir.filePath("run.xls"));
    prompts.QueueAnswer(PromptAnswer::Yes); // replace
    prompts.QueueFile(File("next.stdata", WorkedExample()));
    files.Open();
    ASSERT_EQ(prompts.shown.size(), 3u); // the question, the replace question, the failure
    EXPECT_TRUE(prompts.LastText().contains(QStringLiteral("could not be saved")));
    EXPECT_EQ(shell.Set().RmsCount(), Rich().RmsCount()); // nothing opened over it
    EXPECT_EQ(shell.DataUnsaved(), 1);
    EXPECT_EQ(shell.PromptOnOpen(), 1);
    // Open stopped before its file dialog.
    EXPECT_EQ(prompts.ChooseOpenFile(QString(), QString()), dir.filePath("next.stdata"));

    prompts.QueueAnswer(PromptAnswer::Yes);
    prompts.QueueFile(dir.filePath("run.xls"));
    prompts.QueueAnswer(PromptAnswer::Yes);
    EXPECT_FALSE(shell.OfferSaveBeforeDownload()); // the download does not go on
    EXPECT_EQ(prompts.shown.size(), 6u);
    EXPECT_EQ(shell.DataUnsaved(), 1);
    EXPECT_EQ(shell.PromptOnDownload(), 1);
}

TEST_F(Files, YesToTheClosePromptRunsSave) {
    ShowDownloaded();
    prompts.QueueAnswer(PromptAnswer::Yes);
    prompts.QueueFile(dir.filePath("closing.stdata"));
    shell.RequestClose();
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("closing.stdata")));
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("closing.xls")));
}

// ------------------------------------------------------------------ previous measurement

TEST_F(Files, PreviousMeasurementRecallsTheLastDownloadOnly) {
    // None written yet: said in the status bar, without a box, nothing changed.
    ShowDownloaded();
    const QByteArray shownBytes = EncodeStdata(shell.Set());
    ASSERT_TRUE(shell.Execute(Cmd::PreviousMeasurement));
    EXPECT_EQ(status, QStringLiteral("No previous measurement has been recorded yet."));
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(EncodeStdata(shell.Set()), shownBytes);
    EXPECT_EQ(shell.Set().LoadedFromFile(), 0);
    EXPECT_EQ(shell.DataUnsaved(), 1);
    EXPECT_FALSE(timers.IsActive(FrameTimer::ResetScale));
    EXPECT_FALSE(QFileInfo::exists(PreviousMeasurementPath()));

    MeasurementSet downloaded = WorkedExample();
    ASSERT_TRUE(WritePreviousMeasurement(downloaded));
    EXPECT_TRUE(PreviousMeasurementPath().startsWith(dir.filePath("datadir")));
    ASSERT_TRUE(shell.Execute(Cmd::PreviousMeasurement));
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(shell.Set().ChannelRms(0), std::vector<float>{230.0f});
    EXPECT_EQ(timers.PeriodOf(FrameTimer::ResetScale), 50);

    // After a real-time acquisition the file carries the real-time tag.
    MeasurementSet live = Rich();
    live.SetDataTag(QString::fromLatin1(kTagRealTime));
    ASSERT_TRUE(WritePreviousMeasurement(live));
    files.PreviousMeasurement();
    ASSERT_EQ(prompts.shown.size(), 1u); // read once, one message
    EXPECT_EQ(prompts.LastText(), QStringLiteral("Invalid Format!"));
    EXPECT_EQ(shell.Set().ChannelRms(0), std::vector<float>{230.0f});
}

TEST_F(Files, WritingThePreviousMeasurementKeepsTheOldOneOnFailure) {
    ASSERT_TRUE(WritePreviousMeasurement(WorkedExample()));
    const QByteArray before = ReadAll(PreviousMeasurementPath());
    // Make the data directory a place no file can be created in: the path of the
    // file's folder becomes a regular file.
    qputenv("DATALOGGER_DIR", dir.filePath("blocked/sub").toLocal8Bit());
    ASSERT_TRUE(WriteAll(dir.filePath("blocked"), "x"));
    QString error;
    EXPECT_FALSE(WritePreviousMeasurement(Rich(), &error));
    EXPECT_FALSE(error.isEmpty());
    qputenv("DATALOGGER_DIR", dir.filePath("datadir").toLocal8Bit());
    EXPECT_EQ(ReadAll(PreviousMeasurementPath()), before);
}

// ------------------------------------------------------------------ accelerators

TEST_F(Files, CtrlSAsksForANameOnceAndWritesOnlyTheDataFile) {
    ShowDownloaded();
    shell.Set().SetDataTag(QString());
    prompts.QueueFile(dir.filePath("doc"));
    ASSERT_TRUE(shell.Execute(Cmd::FileSaveFramework));
    EXPECT_EQ(prompts.filters,
              std::vector<QString>{QStringLiteral("OrvexDatalogger Files (*.stdata )")});
    const QString path = dir.filePath("doc.stdata");
    EXPECT_EQ(files.DocumentPath(), path);
    MeasurementSet back;
    EXPECT_TRUE(LoadStdataFile(path, back, nullptr)); // reopenable: tag RMSTRDATA
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("doc.xls")));
    EXPECT_EQ(shell.DataUnsaved(), 1); // only Save with its report clears the flags

    // The same data again: written to the same file without a question (stored data
    // change only by replacement, which makes them another document).
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(shell.Execute(Cmd::FileSaveFramework));
    EXPECT_EQ(prompts.fileChoosersShown, 1);
    ASSERT_TRUE(LoadStdataFile(path, back, nullptr));
    EXPECT_EQ(back.TrLevelHigh(), shell.Set().TrLevelHigh());

    const QByteArray shown = EncodeStdata(shell.Set());
    ASSERT_TRUE(shell.Execute(Cmd::FileNew));
    EXPECT_TRUE(files.DocumentPath().isEmpty());
    EXPECT_EQ(EncodeStdata(shell.Set()), shown); // the data stay
    shell.Execute(Cmd::FileSaveFramework);       // asks again, cancelled
    EXPECT_EQ(prompts.fileChoosersShown, 2);
}

TEST_F(Files, CtrlSDoesNotWriteOverAFileThatWasRefusedOrDamaged) {
    // A damaged or refused file became the document, and Ctrl+S then replaced it
    // with the data shown, which came from elsewhere.
    MeasurementSet epa = WorkedExample();
    epa.SetDataTag(QString::fromLatin1(kTagRealTime));
    const QString refused = File("refused.stdata", epa);
    const QString damaged = dir.filePath("damaged.stdata");
    ASSERT_TRUE(WriteAll(damaged, EncodeStdata(WorkedExample()).left(30)));
    const QByteArray refusedBytes = ReadAll(refused);
    for (const QString& path : {refused, damaged}) {
        ShowDownloaded();
        prompts.QueueFile(path);
        ASSERT_TRUE(shell.Execute(Cmd::FileOpenFramework));
        shell.OpenFileAtStart(path);
        EXPECT_TRUE(files.DocumentPath().isEmpty()) << path.toStdString();
    }
    shell.Execute(Cmd::FileSaveFramework); // asks for a name, cancelled
    EXPECT_EQ(prompts.fileChoosersShown, 3);
    EXPECT_EQ(ReadAll(refused), refusedBytes);
    EXPECT_EQ(ReadAll(damaged), EncodeStdata(WorkedExample()).left(30));
}

TEST_F(Files, CtrlSAfterADownloadDoesNotWriteOverTheFileOpenedBefore) {
    const QString opened = File("opened.stdata", WorkedExample());
    const QByteArray before = ReadAll(opened);
    shell.OpenFileAtStart(opened);
    ASSERT_EQ(files.DocumentPath(), opened);
    ShowDownloaded(); // a download replaces the stored set
    EXPECT_TRUE(files.DocumentPath().isEmpty());
    shell.Execute(Cmd::FileSaveFramework); // asks for a name, cancelled
    EXPECT_EQ(prompts.fileChoosersShown, 1);
    EXPECT_EQ(ReadAll(opened), before);
}

TEST_F(Files, CtrlOAndTheCommandLineOpenWithoutPrompt) {
    ShowDownloaded();
    const QString path = File("cl.stdata", WorkedExample());
    shell.OpenFileAtStart(path);
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(shell.Set().RmsCount(), 1);
    EXPECT_EQ(files.DocumentPath(), path);

    ShowDownloaded();
    prompts.QueueFile(path);
    ASSERT_TRUE(shell.Execute(Cmd::FileOpenFramework));
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(prompts.filters.back(), QStringLiteral("OrvexDatalogger Files (*.stdata )"));
    EXPECT_EQ(shell.Set().RmsCount(), 1);
}

// Ctrl+O over a download read the file without a question, as it should, but left
// the download's "unsaved" behind: the file just read showed as changed, and
// closing asked to save it.
TEST_F(Files, AFileJustOpenedWasShownAsChangedAndClosingAskedToSaveIt) {
    const QString path = File("opened.stdata", WorkedExample());
    for (int command : {Cmd::FileOpenFramework, Cmd::Open}) {
        ShowDownloaded();
        shell.Set().SetLoadedFromFile(false); // as a download leaves it
        const size_t before = prompts.shown.size();
        if (command == Cmd::Open)
            prompts.QueueAnswer(PromptAnswer::No); // the menu's Open asks first
        prompts.QueueFile(path);
        ASSERT_TRUE(shell.Execute(command));
        ASSERT_EQ(shell.ShownFile(), path);
        EXPECT_EQ(prompts.shown.size(), before + (command == Cmd::Open ? 1u : 0u));
        EXPECT_FALSE(shell.DataUnsaved()) << command;
    }
    const size_t asked = prompts.shown.size();
    shell.RequestClose();
    EXPECT_EQ(prompts.shown.size(), asked); // nothing to save
}

// ------------------------------------------------------------------ taking a prompt back

// The measurement files in the test folder with their bytes.
std::map<QString, QByteArray> MeasurementFiles(const QString& folder) {
    std::map<QString, QByteArray> out;
    for (const QString& name : QDir(folder).entryList({"*.stdata", "*.xls"}, QDir::Files))
        out[name] = ReadAll(QDir(folder).filePath(name));
    return out;
}

TEST_F(Files, ClosingWithYesAndNoSaveKeepsTheWindowTheDataAndTheFiles) {
    // Yes, then the file dialog cancelled: the window closed and the data were gone.
    // Yes, a name whose files exist, No to replacing them, then Cancel: the same.
    ShowDownloaded();
    ASSERT_TRUE(WriteAll(dir.filePath("run.stdata"), "old data"));
    ASSERT_TRUE(WriteAll(dir.filePath("run.xls"), "old report"));
    ASSERT_TRUE(WritePreviousMeasurement(WorkedExample()));
    const QByteArray previous = ReadAll(PreviousMeasurementPath());
    const auto filesBefore = MeasurementFiles(dir.path());
    // Save names its tag before it asks for a file; the data are what must stay.
    shell.Set().SetDataTag(QString::fromLatin1(kTagStored));
    const QByteArray shownBytes = EncodeStdata(shell.Set());
    int windowCloses = 0;
    QObject::connect(&shell, &AppShell::closeWindowRequested, [&] { ++windowCloses; });

    prompts.QueueAnswer(PromptAnswer::Yes); // save? - then the dialog is cancelled
    shell.RequestClose();
    prompts.QueueAnswer(PromptAnswer::Yes); // save?
    prompts.QueueFile(dir.filePath("run.xls"));
    prompts.QueueAnswer(PromptAnswer::No); // replace? - then the dialog is cancelled
    shell.RequestClose();
    clock.Advance(1000);

    EXPECT_EQ(windowCloses, 0);
    EXPECT_FALSE(shell.IsClosing());
    EXPECT_EQ(prompts.fileChoosersShown, 3);
    // Back in the dialog after No, at the name just chosen.
    EXPECT_EQ(prompts.proposedNames.back(), QStringLiteral("run.xls"));
    EXPECT_EQ(EncodeStdata(shell.Set()), shownBytes);
    EXPECT_EQ(shell.DataUnsaved(), 1);
    EXPECT_EQ(shell.PromptOnOpen(), 1);
    EXPECT_EQ(shell.PromptOnDownload(), 1);
    EXPECT_EQ(MeasurementFiles(dir.path()), filesBefore);
    EXPECT_EQ(ReadAll(PreviousMeasurementPath()), previous);

    // Saved at last, the window goes.
    prompts.QueueAnswer(PromptAnswer::Yes);
    prompts.QueueFile(dir.filePath("kept.stdata"));
    shell.RequestClose();
    clock.Advance(100);
    EXPECT_EQ(windowCloses, 1);
    EXPECT_EQ(ReadAll(dir.filePath("kept.stdata")), shownBytes);
}

TEST_F(Files, OpenPromptCancelOrYesWithoutASaveStopsTheOpen) {
    ShowDownloaded();
    // Save names its tag before it asks for a file; the data are what must stay.
    shell.Set().SetDataTag(QString::fromLatin1(kTagStored));
    const QByteArray shownBytes = EncodeStdata(shell.Set());
    const QString next = File("next.stdata", WorkedExample());
    // Cancel: neither dialog. Yes and a cancelled save dialog: no open dialog.
    prompts.QueueAnswer(PromptAnswer::Cancel);
    files.Open();
    EXPECT_EQ(prompts.fileChoosersShown, 0);
    prompts.QueueAnswer(PromptAnswer::Yes);
    files.Open();
    EXPECT_EQ(prompts.fileChoosersShown, 1);
    EXPECT_EQ(prompts.proposedNames.size(), 1u); // that one was the save dialog
    ASSERT_EQ(prompts.shown.size(), 2u);
    for (const auto& shown : prompts.shown) {
        EXPECT_EQ(shown.text,
                  QStringLiteral("Do you want to save the existing graph data before continuing?"));
        EXPECT_EQ(shown.buttons, PromptButtons::YesNoCancel);
    }
    EXPECT_EQ(EncodeStdata(shell.Set()), shownBytes);
    EXPECT_EQ(shell.DataUnsaved(), 1);
    EXPECT_EQ(shell.PromptOnOpen(), 1);
    EXPECT_EQ(shell.PromptOnDownload(), 1);
    EXPECT_EQ(MeasurementFiles(dir.path()).size(), 1u); // next.stdata only

    // No still opens without saving, and clears the two flags as before.
    prompts.QueueAnswer(PromptAnswer::No);
    prompts.QueueFile(next);
    files.Open();
    EXPECT_EQ(shell.Set().RmsCount(), 1);
    EXPECT_EQ(shell.DataUnsaved(), 0);
    EXPECT_EQ(shell.PromptOnOpen(), 0);
}

TEST_F(Files, DownloadPromptCancelOrYesWithoutASaveStopsTheDownloadCommand) {
    FakeSerialChannel channel(&clock);
    channel.SetOpenable(1);
    LinkSession session(shell, channel);
    ShowDownloaded();
    // Save names its tag before it asks for a file; the data are what must stay.
    shell.Set().SetDataTag(QString::fromLatin1(kTagStored));
    const QByteArray shownBytes = EncodeStdata(shell.Set());
    for (PromptAnswer answer : {PromptAnswer::Cancel, PromptAnswer::Yes}) {
        prompts.QueueAnswer(answer); // Yes: the save dialog is cancelled
        EXPECT_FALSE(session.BeginDownloadCommand());
        EXPECT_EQ(prompts.LastText(),
                  QStringLiteral(
                      "Do you want to save the existing RMS&TR graph data before continuing?"));
        EXPECT_EQ(prompts.shown.back().buttons, PromptButtons::YesNoCancel);
    }
    // Nothing searched, nothing opened, nothing changed.
    for (int id : LinkController::kTimerIds)
        EXPECT_FALSE(timers.IsActive(id)) << id;
    EXPECT_FALSE(channel.IsOpen());
    EXPECT_EQ(EncodeStdata(shell.Set()), shownBytes);
    EXPECT_EQ(shell.DataUnsaved(), 1);
    EXPECT_EQ(shell.PromptOnDownload(), 1);
    EXPECT_EQ(shell.PromptOnOpen(), 1);
    EXPECT_TRUE(MeasurementFiles(dir.path()).empty());

    prompts.QueueAnswer(PromptAnswer::No);
    EXPECT_TRUE(session.BeginDownloadCommand());
    EXPECT_EQ(shell.DataUnsaved(), 0);
    EXPECT_EQ(shell.PromptOnDownload(), 0);
}

// ------------------------------------------------------------------ replacing files

TEST_F(Files, TheReplaceQuestionNamesBothFilesWhicheverOfThemExists) {
    // The file dialog asked only about the name chosen, and the other file of the
    // pair was replaced without a word.
    struct Case {
        bool data, report;
        const char* asks;
    } cases[] = {{true, false, "Do you want to replace the data file?"},
                 {false, true, "Do you want to replace the report?"},
                 {true, true, "Do you want to replace both?"}};
    int n = 0;
    for (const Case& c : cases) {
        ShowDownloaded();
        const QString stem = QStringLiteral("pair%1").arg(n++);
        const QString data = dir.filePath(stem + ".stdata");
        const QString report = dir.filePath(stem + ".xls");
        if (c.data) {
            ASSERT_TRUE(WriteAll(data, "old data"));
        }
        if (c.report) {
            ASSERT_TRUE(WriteAll(report, "old report"));
        }
        const auto before = MeasurementFiles(dir.path());
        const size_t shownBefore = prompts.shown.size();

        // No, then the dialog cancelled: nothing written, the flags stay.
        prompts.QueueFile(c.data ? data : report);
        prompts.QueueAnswer(PromptAnswer::No);
        EXPECT_FALSE(files.Save());
        ASSERT_EQ(prompts.shown.size(), shownBefore + 1);
        const auto& q = prompts.shown.back();
        EXPECT_TRUE(q.text.contains(QDir::toNativeSeparators(data))) << q.text.toStdString();
        EXPECT_TRUE(q.text.contains(QDir::toNativeSeparators(report))) << q.text.toStdString();
        EXPECT_TRUE(q.text.endsWith(QString::fromLatin1(c.asks))) << q.text.toStdString();
        EXPECT_EQ(q.buttons, PromptButtons::YesNo);
        EXPECT_EQ(MeasurementFiles(dir.path()), before);
        EXPECT_EQ(shell.DataUnsaved(), 1);

        // Yes replaces both, asked once.
        prompts.QueueFile(c.report ? report : data);
        prompts.QueueAnswer(PromptAnswer::Yes);
        EXPECT_TRUE(files.Save());
        EXPECT_EQ(prompts.shown.size(), shownBefore + 2);
        EXPECT_EQ(ReadAll(data), EncodeStdata(shell.Set()));
        EXPECT_EQ(ReadAll(report), BuildReport(shell.Set()));
    }
}

TEST_F(Files, CtrlSAsksBeforeReplacingAFileItDidNotOpen) {
    ShowDownloaded();
    const QString path = File("other.stdata", WorkedExample());
    const QByteArray before = ReadAll(path);
    prompts.QueueFile(dir.filePath("other")); // the extension is added, then asked about
    prompts.QueueAnswer(PromptAnswer::No);
    EXPECT_FALSE(files.FrameworkSave());
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_TRUE(prompts.LastText().contains(QDir::toNativeSeparators(path)));
    EXPECT_EQ(prompts.fileChoosersShown, 2);
    EXPECT_EQ(prompts.proposedNames.back(), QStringLiteral("other.stdata"));
    EXPECT_EQ(ReadAll(path), before);

    prompts.QueueFile(path);
    prompts.QueueAnswer(PromptAnswer::Yes);
    EXPECT_TRUE(files.FrameworkSave());
    EXPECT_EQ(ReadAll(path), EncodeStdata(shell.Set()));
    // Its own document is written over without a question.
    EXPECT_TRUE(files.FrameworkSave());
    EXPECT_EQ(prompts.shown.size(), 2u);
}

TEST_F(Files, CtrlSThatFailsClaimsNoFileLeftUnchangedWhereNoneWas) {
    ShowDownloaded();
    ASSERT_TRUE(WriteAll(dir.filePath("plain"), "a file, not a folder"));
    prompts.QueueFile(dir.filePath("plain/run.stdata"));
    EXPECT_FALSE(files.FrameworkSave());
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_TRUE(prompts.LastText().contains(QStringLiteral("could not be saved")));
    EXPECT_TRUE(prompts.LastText().endsWith(QStringLiteral("Nothing was written.")));
    EXPECT_EQ(shell.DataUnsaved(), 1);
}

// ------------------------------------------------------------------ start-up

TEST_F(Files, AFileRefusedAtStartUpIsNamedAndTheWelcomeScreenStays) {
    MeasurementSet epa = WorkedExample();
    epa.SetDataTag(QString::fromLatin1(kTagRealTime));
    const QString refused = File("live.stdata", epa);
    const QString damaged = dir.filePath("cut.stdata");
    ASSERT_TRUE(WriteAll(damaged, EncodeStdata(WorkedExample()).left(80)));
    for (const QString& path : {refused, damaged}) {
        shell.OpenFileAtStart(path);
        EXPECT_TRUE(prompts.LastText().contains(QDir::toNativeSeparators(path)))
            << prompts.LastText().toStdString();
        EXPECT_EQ(prompts.shown.back().icon, PromptIcon::Exclamation);
        EXPECT_EQ(shell.Graph().DisplayContent(), 0);
        EXPECT_EQ(shell.Set().RmsCount(), 0);
        EXPECT_TRUE(files.DocumentPath().isEmpty());
    }
    EXPECT_TRUE(prompts.shown[0].text.startsWith(QStringLiteral("Invalid Format!")));
    // Open from the menu keeps the bare text.
    prompts.QueueFile(refused);
    files.Open();
    EXPECT_EQ(prompts.LastText(), QStringLiteral("Invalid Format!"));
}

} // namespace
