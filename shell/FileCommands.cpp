#include "shell/FileCommands.h"

#include "base/LocalTime.h"
#include "data/PreviousMeasurement.h"
#include "data/ReportWriter.h"
#include "data/StdataFile.h"
#include "shell/AppShell.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

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

} // namespace

FileCommands::FileCommands(AppShell& shell) : m_shell(shell) {
    Register();
}

QString FileCommands::OpenFilter() {
    return QStringLiteral("DataLogger Files (*.stdata)");
}
QString FileCommands::SaveFilter() {
    return QStringLiteral("DataLogger Files (*.stdata *.xls)");
}
QString FileCommands::FrameworkFilter() {
    return QStringLiteral("OrvexDatalogger Files (*.stdata)");
}

FileCommands::SaveTargets FileCommands::TargetsFor(const QString& chosenPath) {
    const QFileInfo info(chosenPath);
    QString stem = info.fileName();
    // Only an extension of the two files is cut: the proposed name ends in the
    // seconds (".48"), and cutting those would put two saves of the same minute
    // into one pair of files, the second replacing the first without a question.
    for (const QLatin1String ext : {QLatin1String(".stdata"), QLatin1String(".xls")}) {
        if (stem.endsWith(ext, Qt::CaseInsensitive)) {
            stem.chop(ext.size());
            break;
        }
    }
    const QDir folder = info.absoluteDir();
    return {folder.filePath(stem + QStringLiteral(".stdata")),
            folder.filePath(stem + QStringLiteral(".xls"))};
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
            return CommandState{m_shell.m_graph.LastPoint() != 0, false};
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
    s.onOpenDocument = [this](const QString& path) {
        if (LoadFile(path, true) == LoadResult::Loaded)
            SetDocument(path);
    };
    s.onSaveCommand = [this] { return Save() || !m_saveFailed; };
    s.onOfferSaveBeforeDownload = [this] { return OfferSaveBeforeDownload(); };
}

FileCommands::LoadResult FileCommands::LoadFile(const QString& path, bool reportUnopenable) {
    Prompts& prompts = m_shell.UserPrompts();
    MeasurementSet& set = m_shell.m_set;
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
        if (reportUnopenable)
            prompts.Message(QStringLiteral("The file %1 cannot be opened: %2").arg(name, error));
        return LoadResult::NotOpened;
    }
    if (status == StdataStatus::Damaged) {
        prompts.Message(
            QStringLiteral("%1\n\n%2\nThe data shown were left unchanged.").arg(name, error));
        return LoadResult::Damaged;
    }
    set.m_modeFromFile = 1;
    set.m_loadedFromFile = 1;
    if (status == StdataStatus::WrongTag) {
        // The graph view reacts to the refused tag on its next drawing.
        set.m_fileTag = tag;
        prompts.Message(kInvalidFormat);
    } else {
        m_shell.SizeWorkBuffers(WorkBufferOccasion::AfterFileRead);
        m_shell.m_graph.ShowGraphIfWelcome();
        m_shell.UpdateAllViews();
    }
    m_shell.Timers().Start(FrameTimer::ResetScale, 50);
    return status == StdataStatus::Loaded ? LoadResult::Loaded : LoadResult::WrongTag;
}

bool FileCommands::OfferSaveBeforeOpen() {
    AppShell& s = m_shell;
    if (s.m_graph.LastPoint() >= 1 && s.m_set.m_loadedFromFile == 0 && s.m_dataUnsaved == 1 &&
        s.m_promptOnOpen == 1) {
        if (s.UserPrompts().Message(kSaveBeforeOpen, PromptIcon::Exclamation,
                                    PromptButtons::YesNo) == PromptAnswer::Yes &&
            !Save() && m_saveFailed)
            return false; // still unsaved: the close prompt must ask again
        s.m_dataUnsaved = 0;
        s.m_promptOnOpen = 0;
    }
    return true;
}

bool FileCommands::OfferSaveBeforeDownload() {
    AppShell& s = m_shell;
    if (s.m_set.m_rmsCount >= 1 && s.m_set.m_loadedFromFile == 0 && s.m_dataUnsaved == 1 &&
        s.m_promptOnDownload == 1) {
        if (s.UserPrompts().Message(kSaveBeforeDownload, PromptIcon::Question,
                                    PromptButtons::YesNo) == PromptAnswer::Yes &&
            !Save() && m_saveFailed)
            return true; // still unsaved: the flags stay for the next prompt
        s.m_dataUnsaved = 0;
        s.m_promptOnDownload = 0;
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
    LoadFile(path);
}

void FileCommands::PreviousMeasurement() {
    // Nothing to recall before the first download: silently nothing.
    const QString path = PreviousMeasurementPath();
    if (!QFileInfo::exists(path))
        return;
    LoadFile(path);
}

void FileCommands::FrameworkOpen() {
    const QString path = m_shell.UserPrompts().ChooseOpenFile(FrameworkFilter(), m_lastFolder);
    if (path.isEmpty())
        return;
    m_lastFolder = QFileInfo(path).absolutePath();
    if (LoadFile(path, true) == LoadResult::Loaded)
        SetDocument(path);
}

void FileCommands::SetDocument(const QString& path) {
    m_documentPath = QFileInfo(path).absoluteFilePath();
    m_documentGeneration = m_shell.m_set.m_storedGeneration;
}

QString FileCommands::DocumentPath() const {
    // Once a download or another file replaced the stored data, the file no longer
    // holds what is shown: Ctrl+S must ask for a name rather than write over it.
    return m_documentGeneration == m_shell.m_set.m_storedGeneration ? m_documentPath : QString();
}

bool FileCommands::FrameworkSave() {
    QString path = DocumentPath();
    if (path.isEmpty()) {
        path = m_shell.UserPrompts().ChooseSaveFile(QString(), FrameworkFilter(), m_lastFolder);
        if (path.isEmpty())
            return false;
        if (!QFileInfo(path).fileName().contains(QLatin1Char('.')))
            path += QStringLiteral(".stdata");
        m_lastFolder = QFileInfo(path).absolutePath();
    }
    // The file carries the set's current tag. A set that never had one (nothing was
    // downloaded, saved or read yet) gets the stored-data tag, so that the file can
    // be opened again.
    MeasurementSet& set = m_shell.m_set;
    if (set.m_dataTag.isEmpty())
        set.m_dataTag = QString::fromLatin1(kTagStored);
    QString error;
    bool ok;
    {
        WaitCursor wait(m_shell.UserPrompts());
        ok = SaveStdataFile(path, set, &error);
    }
    if (!ok) {
        m_shell.UserPrompts().Message(
            QStringLiteral("The measurement could not be saved to %1: %2\nThe file already there "
                           "was left unchanged.")
                .arg(QDir::toNativeSeparators(path), error));
        return false;
    }
    SetDocument(path);
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
    m_saveFailed = false;
    s.m_set.m_dataTag = QString::fromLatin1(kTagStored);
    const QString chosen =
        s.UserPrompts().ChooseSaveFile(ProposedSaveName(), SaveFilter(), m_lastFolder);
    if (chosen.isEmpty())
        return false;
    const SaveTargets targets = TargetsFor(chosen);
    m_lastFolder = QFileInfo(targets.dataPath).absolutePath();
    if (!WriteBothFiles(targets)) {
        m_saveFailed = true;
        return false;
    }
    s.m_dataUnsaved = 0;
    s.m_promptOnOpen = 0;
    s.m_promptOnDownload = 0;
    s.ShowStatus(QStringLiteral("Saved %1 and %2")
                     .arg(QDir::toNativeSeparators(targets.dataPath),
                          QDir::toNativeSeparators(targets.reportPath)));
    return true;
}

bool FileCommands::WriteBothFiles(const SaveTargets& targets) {
    Prompts& prompts = m_shell.UserPrompts();
    QString failedPath;
    QString error;
    bool replacedReport = false;
    {
        WaitCursor wait(prompts);
        const MeasurementSet& set = m_shell.m_set;
        const QByteArray report = BuildReport(set, &error);
        const QByteArray data = EncodeStdata(set);
        // Both files go to temporary files first; the targets are replaced only
        // once both are completely written.
        QSaveFile reportFile(targets.reportPath);
        QSaveFile dataFile(targets.dataPath);
        if (report.isEmpty()) {
            failedPath = targets.reportPath;
        } else if (!reportFile.open(QIODevice::WriteOnly) ||
                   reportFile.write(report) != report.size()) {
            failedPath = targets.reportPath;
            error = reportFile.errorString();
        } else if (!dataFile.open(QIODevice::WriteOnly) || dataFile.write(data) != data.size()) {
            failedPath = targets.dataPath;
            error = dataFile.errorString();
        } else if (!reportFile.commit()) {
            failedPath = targets.reportPath;
            error = reportFile.errorString();
        } else {
            replacedReport = true;
            if (!dataFile.commit()) {
                failedPath = targets.dataPath;
                error = dataFile.errorString();
            }
        }
        // An uncommitted QSaveFile removes its temporary file when it goes away.
    }
    if (failedPath.isEmpty())
        return true;
    QString text = QStringLiteral("The measurement could not be saved.\n%1: %2\n")
                       .arg(QDir::toNativeSeparators(failedPath), error);
    text += replacedReport ? QStringLiteral("The report was written; the data file already "
                                            "there was left unchanged.")
                           : QStringLiteral("Files already there were left unchanged.");
    prompts.Message(text);
    return false;
}
