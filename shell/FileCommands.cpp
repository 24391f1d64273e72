#include "shell/FileCommands.h"

#include "graph/PowerAnalysis.h"

#include "base/LocalTime.h"
#include "base/SafeFile.h"
#include "data/PreviousMeasurement.h"
#include "data/ReportWriter.h"
#include "data/RtdataFile.h"
#include "data/StdataFile.h"
#include "graph/RealTimeSampler.h"
#include "shell/AppShell.h"

#include <QDir>
#include <QFileInfo>

#include <memory>

namespace {

const QString kInvalidFormat = QStringLiteral("Invalid Format!");
const QString kSaveBeforeOpen =
    QStringLiteral("Do you want to save the existing graph data before continuing?");
const QString kSaveBeforeDownload =
    QStringLiteral("Do you want to save the existing RMS&TR graph data before continuing?");

// Clears the wait cursor however the scope is left.
class WaitCursor {
public:
    explicit WaitCursor(Prompts& p) : m_p(p) { m_p.SetWaitCursor(true); }
    ~WaitCursor() { Release(); }
    void Release() {
        if (m_on)
            m_p.SetWaitCursor(false);
        m_on = false;
    }

private:
    Prompts& m_p;
    bool m_on = true;
};

// The power figures of a run read back from its file, worked out when something first
// reads them (the P(W) and PF graphs, their lists, the run's energy): opening a long
// run stays as quick as reading it. The wait cursor and a word in the status bar
// cover the second or so that 100,000 samples take.
class RunPowerOnDemand final : public RtPowerSource {
public:
    explicit RunPowerOnDemand(AppShell& shell) : m_shell(shell) {}
    std::vector<RtPowerRow> PowerOf(const RtWaveformSource& waves, std::array<uint8_t, 2> kinds,
                                    int count) const override {
        WaitCursor wait(m_shell.UserPrompts());
        m_shell.Notices().Started(WorkUnderWay::RunPowerFigures, count);
        std::vector<RtPowerRow> rows = RunPowerRows(waves, kinds, count);
        m_shell.Notices().Finished(WorkUnderWay::RunPowerFigures);
        return rows;
    }

private:
    AppShell& m_shell;
};

// Both files go to temporary files first; the targets are replaced only once both
// are completely written, the report first. Returns the file of the step that
// failed, or null; `replacedReport` tells whether the report was replaced.
const AtomicFile* CommitBoth(AtomicFile& report, const QByteArray& reportBytes, AtomicFile& data,
                             const QByteArray& dataBytes, bool& replacedReport) {
    const auto written = [](AtomicFile& f, const QByteArray& bytes) {
        return f.Open() && f.Write(bytes) && f.Sync();
    };
    if (!written(report, reportBytes))
        return &report;
    if (!written(data, dataBytes))
        return &data;
    if (!report.Commit())
        return &report;
    replacedReport = true;
    return data.Commit() ? nullptr : &data;
}

} // namespace

FileCommands::FileCommands(AppShell& shell) : m_shell(shell) {
    Register();
}

QString FileCommands::OpenFilter() {
    return QStringLiteral("DataLogger Files (*.stdata *.rtdata)");
}
QString FileCommands::SaveFilter() {
    return QStringLiteral("DataLogger Files (*.stdata *.xls)");
}
QString FileCommands::FrameworkFilter() {
    return QStringLiteral("OrvexDatalogger Files (*.stdata )");
}

FileCommands::SaveTargets FileCommands::TargetsFor(const QString& chosenPath) {
    const QFileInfo info(chosenPath);
    QString stem = info.fileName();
    // Only an extension of the two files is cut: the proposed name ends in the
    // seconds (".48"), and cutting those would put two saves of the same minute
    // into one pair of files, the second replacing the first without a question.
    for (const QLatin1String ext :
         {QLatin1String(".stdata"), QLatin1String(".xls"), QLatin1String(".rtdata")}) {
        if (stem.endsWith(ext, Qt::CaseInsensitive)) {
            stem.chop(ext.size());
            break;
        }
    }
    const QDir folder = info.absoluteDir();
    return {folder.filePath(stem + QStringLiteral(".stdata")),
            folder.filePath(stem + QStringLiteral(".xls")),
            folder.filePath(stem + QStringLiteral(".rtdata"))};
}

QString FileCommands::ProposedSaveName() const {
    return FormatLocal(m_shell.Now().Now(), "%y-%m-%d  %H.%M.%S");
}

void FileCommands::Register() {
    AppShell& s = m_shell;
    auto always = [] { return CommandState{true, false}; };
    auto idle = [this] { return CommandState{!m_shell.RealTimeRunning(), false}; };
    s.RegisterCommand(
        Cmd::Open, [this] { Open(); }, idle);
    s.RegisterCommand(
        Cmd::PreviousMeasurement, [this] { PreviousMeasurement(); }, idle);
    s.RegisterCommand(
        Cmd::Save, [this] { Save(); },
        [this] {
            return CommandState{m_shell.Graph().LastPoint() != 0, false};
        });
    // Reading a file resizes the graph work buffers, which a running acquisition is
    // filling; Ctrl+O therefore waits like Open does.
    s.RegisterCommand(
        Cmd::FileOpenFramework, [this] { FrameworkOpen(); }, idle);
    s.RegisterCommand(
        Cmd::FileSaveFramework, [this] { FrameworkSave(); }, always);
    s.RegisterCommand(
        Cmd::FileNew, [this] { FrameworkNew(); }, always);

    // Only a file whose data are now shown becomes the file Ctrl+S writes to: after
    // a damaged or refused file the data shown came from elsewhere, and Ctrl+S would
    // put them in that file's place without asking.
    s.SetOpenDocument([this](const QString& path) {
        if (LoadFile(path, LoadOrigin::CommandLine) == LoadResult::Loaded) {
            SetDocument(path);
            ReportLoaded(WorkDone::FileOpened, path);
        }
    });
    s.SetSaveCommand([this] { return Save(); });
    s.SetOfferSaveBeforeDownload([this] { return OfferSaveBeforeDownload(); });
}

FileCommands::LoadResult FileCommands::LoadFile(const QString& path, LoadOrigin origin) {
    if (path.endsWith(QLatin1String(".rtdata"), Qt::CaseInsensitive))
        return LoadRunFile(path, origin);
    Prompts& prompts = m_shell.UserPrompts();
    MeasurementSet& set = m_shell.Set();
    QString tag;
    QString error;
    bool opened = false;
    StdataStatus status;
    {
        WaitCursor wait(prompts);
        // The new data are parsed into a separate set and put in place only when the
        // whole file was read, so a damaged file never costs the data shown.
        status = LoadStdataFileDetailed(path, set, &tag, &error, &opened);
    }
    const QString name = QDir::toNativeSeparators(path);
    if (!opened) {
        m_shell.ShowStatus(QStringLiteral("Cannot open %1: %2").arg(name, error));
        if (origin != LoadOrigin::Menu)
            prompts.Message(QStringLiteral("The file %1 cannot be opened: %2").arg(name, error));
        return LoadResult::NotOpened;
    }
    if (status == StdataStatus::Damaged) {
        prompts.Message(
            QStringLiteral("%1\n\n%2\nThe data shown were left unchanged.").arg(name, error));
        return LoadResult::Damaged;
    }
    set.SetModeFromFile(true);
    set.SetLoadedFromFile(true);
    if (status == StdataStatus::WrongTag) {
        // The graph view reacts to the refused tag on its next drawing.
        set.SetFileTag(tag);
        prompts.Message(origin == LoadOrigin::CommandLine
                            ? QStringLiteral("%1\n\n%2").arg(kInvalidFormat, name)
                            : kInvalidFormat);
    } else {
        m_shell.SizeWorkBuffers(WorkBufferOccasion::AfterFileRead);
        m_shell.Graph().ShowGraphIfWelcome();
        m_shell.UpdateAllViews();
    }
    m_shell.Timers().Start(FrameTimer::ResetScale, 50);
    return status == StdataStatus::Loaded ? LoadResult::Loaded : LoadResult::WrongTag;
}

FileCommands::LoadResult FileCommands::LoadRunFile(const QString& path, LoadOrigin origin) {
    Prompts& prompts = m_shell.UserPrompts();
    // The waveforms stay in the file and are read one at a time when asked for.
    auto reader = std::make_shared<RtdataReader>();
    RtdataOutcome outcome;
    {
        WaitCursor wait(prompts);
        outcome = reader->Open(path);
    }
    const QString name = QDir::toNativeSeparators(path);
    switch (outcome.status) {
    case RtdataStatus::NotOpened:
        m_shell.ShowStatus(outcome.message);
        if (origin != LoadOrigin::Menu)
            prompts.Message(outcome.message);
        return LoadResult::NotOpened;
    case RtdataStatus::WrongTag:
        prompts.Message(origin == LoadOrigin::CommandLine
                            ? QStringLiteral("%1\n\n%2").arg(kInvalidFormat, name)
                            : kInvalidFormat);
        return LoadResult::WrongTag;
    case RtdataStatus::NewerVersion:
    case RtdataStatus::Damaged:
        prompts.Message(
            QStringLiteral("%1\nThe data shown were left unchanged.").arg(outcome.message));
        return LoadResult::Damaged;
    case RtdataStatus::Loaded:
        break;
    }
    MeasurementSet& set = m_shell.Set();
    RealTimeRun& run = set.Run();
    PutRunImage(reader->Image(), run);
    run.ClearCapture();
    if (reader->HasWaveforms()) {
        run.SetWaveforms(reader);
        run.ShowSample(run.Count() - 1);
        // The file keeps no power figures: they come from the waveforms when first read.
        run.SetPowerSource(std::make_shared<RunPowerOnDemand>(m_shell));
    }
    ComputeRunExtremes(set);
    set.SetFileTag(QString::fromLatin1(kTagRealTime));
    set.SetModeFromFile(true);
    set.SetLoadedFromFile(true);
    m_shell.SizeWorkBuffers(WorkBufferOccasion::AfterFileRead);
    m_shell.Graph().ShowGraphIfWelcome();
    m_shell.UpdateAllViews();
    m_shell.Timers().Start(FrameTimer::ResetScale, 50);
    return LoadResult::Loaded;
}

bool FileCommands::AskToSave(const QString& text, PromptIcon icon) {
    switch (m_shell.UserPrompts().Message(text, icon, PromptButtons::YesNoCancel)) {
    case PromptAnswer::Yes:
        return Save();
    case PromptAnswer::No:
        return true;
    default:
        return false;
    }
}

bool FileCommands::OfferSaveBeforeOpen() {
    AppShell& s = m_shell;
    if (s.Graph().LastPoint() >= 1 && !s.Set().LoadedFromFile() && s.DataUnsaved() &&
        s.PromptOnOpen()) {
        // Taken back: the data are still unsaved, and the next prompt (closing, say)
        // must ask again.
        if (!AskToSave(kSaveBeforeOpen, PromptIcon::Exclamation))
            return false;
        s.SetDataUnsaved(false);
        s.SetPromptOnOpen(false);
    }
    return true;
}

bool FileCommands::OfferSaveBeforeDownload() {
    AppShell& s = m_shell;
    if (s.Set().RmsCount() >= 1 && !s.Set().LoadedFromFile() && s.DataUnsaved() &&
        s.PromptOnDownload()) {
        if (!AskToSave(kSaveBeforeDownload, PromptIcon::Question))
            return false;
        s.SetDataUnsaved(false);
        s.SetPromptOnDownload(false);
    }
    return true;
}

void FileCommands::Open() {
    if (!OfferSaveBeforeOpen())
        return;
    const QString path = m_shell.UserPrompts().ChooseOpenFile(OpenFilter(), m_lastFolder);
    if (path.isEmpty())
        return;
    m_lastFolder = QFileInfo(path).absolutePath();
    if (LoadFile(path) == LoadResult::Loaded)
        ReportLoaded(WorkDone::FileOpened, path);
}

void FileCommands::ReportLoaded(WorkDone what, const QString& path) {
    m_shell.SetShownFile(QFileInfo(path).absoluteFilePath());
    // The data shown are the file's now: what was unsaved before is gone from view
    // (Ctrl+O asks nothing; a download stays the previous measurement), and the
    // file just read is neither marked changed nor offered for saving at closing.
    m_shell.SetDataUnsaved(false);
    WorkReport done;
    done.what = what;
    const bool run = path.endsWith(QLatin1String(".rtdata"), Qt::CaseInsensitive);
    done.samples = run ? m_shell.Set().RtCount() : m_shell.Set().RmsCount();
    done.records = run ? 0 : m_shell.Set().TrCount();
    done.path = path;
    m_shell.Notices().Report(done);
}

void FileCommands::PreviousMeasurement() {
    // Before the first download or acquisition there is nothing to recall; a
    // command that did nothing at all looked broken.
    const QString path = NewestPreviousMeasurement();
    if (path.isEmpty()) {
        m_shell.ShowStatus(QStringLiteral("No previous measurement has been recorded yet."));
        return;
    }
    if (LoadFile(path) == LoadResult::Loaded)
        ReportLoaded(WorkDone::PreviousRecalled, path);
}

void FileCommands::FrameworkOpen() {
    const QString path = m_shell.UserPrompts().ChooseOpenFile(FrameworkFilter(), m_lastFolder);
    if (path.isEmpty())
        return;
    m_lastFolder = QFileInfo(path).absolutePath();
    if (LoadFile(path, LoadOrigin::FrameworkDialog) == LoadResult::Loaded) {
        SetDocument(path);
        ReportLoaded(WorkDone::FileOpened, path);
    }
}

void FileCommands::SetDocument(const QString& path) {
    m_documentPath = QFileInfo(path).absoluteFilePath();
    m_documentGeneration = m_shell.Set().StoredGeneration();
}

QString FileCommands::DocumentPath() const {
    // Once a download or another file replaced the stored data, the file no longer
    // holds what is shown: Ctrl+S must ask for a name rather than write over it.
    return m_documentGeneration == m_shell.Set().StoredGeneration() ? m_documentPath : QString();
}

bool FileCommands::FrameworkSave() {
    QString path = DocumentPath();
    // The document itself is written over without a question; a name chosen in the
    // dialog is asked about once it has its extension.
    for (QString proposed; path.isEmpty();) {
        path = m_shell.UserPrompts().ChooseSaveFile(proposed, FrameworkFilter(), m_lastFolder);
        if (path.isEmpty())
            return false;
        if (!QFileInfo(path).fileName().contains(QLatin1Char('.')))
            path += QStringLiteral(".stdata");
        m_lastFolder = QFileInfo(path).absolutePath();
        if (!ConfirmReplace(path)) {
            proposed = QFileInfo(path).fileName();
            path.clear();
        }
    }
    // The file holds the stored set, so it carries the stored-data tag: after a run
    // the set's tag says real time, and a file written with it could never be
    // opened again.
    MeasurementSet& set = m_shell.Set();
    set.SetDataTag(QString::fromLatin1(kTagStored));
    QString error;
    bool ok;
    const bool existed = QFileInfo::exists(path);
    {
        WaitCursor wait(m_shell.UserPrompts());
        ok = SaveStdataFile(path, set, &error);
    }
    if (!ok) {
        m_shell.UserPrompts().Message(
            QStringLiteral("The measurement could not be saved to %1: %2\n%3")
                .arg(QDir::toNativeSeparators(path), error,
                     existed ? QStringLiteral("The file already there was left unchanged.")
                             : QStringLiteral("Nothing was written.")));
        return false;
    }
    SetDocument(path);
    m_shell.SetShownFile(QFileInfo(path).absoluteFilePath());
    m_shell.ShowStatus(QStringLiteral("Saved %1").arg(QDir::toNativeSeparators(path)));
    return true;
}

void FileCommands::FrameworkNew() {
    // A new document of the single-document window: the data shown stay (nothing is
    // discarded without asking), but the next Ctrl+S asks for a name again.
    m_documentPath.clear();
}

bool FileCommands::Save() {
    AppShell& s = m_shell;
    s.Set().SetDataTag(QString::fromLatin1(kTagStored));
    SaveTargets targets;
    // No to the replace question goes back to the dialog, in the folder and with
    // the name just chosen, as the dialog's own question would.
    for (QString proposed = ProposedSaveName();;) {
        const QString chosen = s.UserPrompts().ChooseSaveFile(proposed, SaveFilter(), m_lastFolder);
        if (chosen.isEmpty())
            return false;
        targets = TargetsFor(chosen);
        m_lastFolder = QFileInfo(targets.dataPath).absolutePath();
        if (ConfirmReplace(targets))
            break;
        proposed = QFileInfo(chosen).fileName();
    }
    if (!WriteBothFiles(targets))
        return false;
    if (!WriteRunFile(targets.runPath))
        return false;
    s.SetDataUnsaved(false);
    s.SetPromptOnOpen(false);
    s.SetPromptOnDownload(false);
    s.SetShownFile(targets.dataPath);
    if (s.Set().RtCount() > 0)
        s.ShowStatus(QStringLiteral("Saved %1, %2 and %3")
                         .arg(QDir::toNativeSeparators(targets.dataPath),
                              QDir::toNativeSeparators(targets.reportPath),
                              QDir::toNativeSeparators(targets.runPath)));
    else
        s.ShowStatus(QStringLiteral("Saved %1 and %2")
                         .arg(QDir::toNativeSeparators(targets.dataPath),
                              QDir::toNativeSeparators(targets.reportPath)));
    return true;
}

bool FileCommands::ConfirmReplace(const SaveTargets& targets) {
    if (m_shell.Set().RtCount() > 0) {
        QStringList existing;
        for (const QString& p : {targets.dataPath, targets.reportPath, targets.runPath})
            if (QFileInfo::exists(p))
                existing << QDir::toNativeSeparators(p);
        return ConfirmReplaceFiles(m_shell.UserPrompts(), existing);
    }
    const bool dataExists = QFileInfo::exists(targets.dataPath);
    const bool reportExists = QFileInfo::exists(targets.reportPath);
    if (!dataExists && !reportExists)
        return true;
    const QString data = QDir::toNativeSeparators(targets.dataPath);
    const QString report = QDir::toNativeSeparators(targets.reportPath);
    QString text;
    if (dataExists && reportExists)
        text = QStringLiteral("The data file %1 and the report %2 already exist.\n"
                              "Do you want to replace both?")
                   .arg(data, report);
    else if (dataExists)
        text = QStringLiteral("The data file %1 already exists; the report %2 is written "
                              "beside it.\nDo you want to replace the data file?")
                   .arg(data, report);
    else
        text = QStringLiteral("The report %1 already exists; the data file %2 is written "
                              "beside it.\nDo you want to replace the report?")
                   .arg(report, data);
    return m_shell.UserPrompts().Message(text, PromptIcon::Exclamation, PromptButtons::YesNo) ==
           PromptAnswer::Yes;
}

bool FileCommands::WriteRunFile(const QString& path) {
    const RealTimeRun& run = m_shell.Set().Run();
    if (run.Count() <= 0 || path.isEmpty())
        return true;
    QString error;
    bool written = false;
    {
        WaitCursor wait(m_shell.UserPrompts());
        const RtWaveformSource* waves = run.KeepsWaveforms() ? run.Waveforms() : nullptr;
        written = SaveRtdataFile(path, RunImage(run), waves, &error);
    }
    if (written)
        return true;
    m_shell.UserPrompts().Message(
        QStringLiteral("The real-time samples could not be saved.\n%1: %2")
            .arg(QDir::toNativeSeparators(path), error));
    return false;
}

bool FileCommands::ConfirmReplace(const QString& path) {
    if (!QFileInfo::exists(path))
        return true;
    return m_shell.UserPrompts().Message(QStringLiteral("%1 already exists.\nDo you want to "
                                                        "replace it?")
                                             .arg(QDir::toNativeSeparators(path)),
                                         PromptIcon::Exclamation,
                                         PromptButtons::YesNo) == PromptAnswer::Yes;
}

bool FileCommands::WriteBothFiles(const SaveTargets& targets) {
    Prompts& prompts = m_shell.UserPrompts();
    QString failedPath;
    QString error;
    bool replacedReport = false;
    // Told afterwards: "left unchanged" only of files that were there.
    const bool hadReport = QFileInfo::exists(targets.reportPath);
    const bool hadData = QFileInfo::exists(targets.dataPath);
    {
        WaitCursor wait(prompts);
        const MeasurementSet& set = m_shell.Set();
        const QByteArray report = BuildReport(set, &error);
        const QByteArray data = EncodeStdata(set);
        AtomicFile reportFile(targets.reportPath);
        AtomicFile dataFile(targets.dataPath);
        const AtomicFile* failed =
            report.isEmpty() ? nullptr
                             : CommitBoth(reportFile, report, dataFile, data, replacedReport);
        if (report.isEmpty()) {
            failedPath = targets.reportPath; // `error` says why
        } else if (failed) {
            failedPath = failed->Path();
            error = failed->Error();
        }
        // An uncommitted AtomicFile removes its temporary file when it goes away.
    }
    if (failedPath.isEmpty())
        return true;
    QString text = QStringLiteral("The measurement could not be saved.\n%1: %2\n")
                       .arg(QDir::toNativeSeparators(failedPath), error);
    if (replacedReport)
        text += hadData ? QStringLiteral("The report was written; the data file already there "
                                         "was left unchanged.")
                        : QStringLiteral("The report was written; the data file was not.");
    else
        text += hadReport || hadData ? QStringLiteral("Files already there were left unchanged.")
                                     : QStringLiteral("Nothing was written.");
    prompts.Message(text);
    return false;
}
