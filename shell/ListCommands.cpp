#include "shell/ListCommands.h"

#include "base/LocalTime.h"
#include "shell/AppShell.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

ListCommands::ListCommands(AppShell& shell) : m_shell(shell) {
    m_dataList = std::make_unique<DataListModel>([this] { return CurrentView(); });
    m_trList = std::make_unique<TrFileListModel>(m_shell.Set());
    m_generation = m_shell.Set().StoredGeneration();
    Register();
    connect(&m_shell, &AppShell::closeDataListRequested, this, [this] {
        if (m_dataListOpen)
            emit dataListCloseRequested();
        m_dataListOpen = false;
    });
}

ListCommands::~ListCommands() {
    for (int id : {Cmd::DataList, Cmd::PrintSetup, Cmd::PrintPreviewGraph, Cmd::PrintPreviewList,
                   Cmd::PrintGraph, Cmd::PrintList, Cmd::FilePrintFramework, Cmd::ExportImage,
                   Cmd::ExportCsv})
        m_shell.RegisterCommand(id, {});
}

DataListView ListCommands::CurrentView() const {
    return DataListViewOf(
        m_shell.Graph(), GraphInputs{m_shell.Set(), m_shell.Settings(), m_shell.RealTimeRunning()});
}

bool ListCommands::HasPoints() const {
    return m_shell.Graph().LastPoint() != 0;
}

bool ListCommands::Refresh() {
    m_dataList->Refresh();
    if (m_shell.Set().StoredGeneration() == m_generation)
        return false;
    m_generation = m_shell.Set().StoredGeneration();
    m_trList->Refresh();
    return true;
}

void ListCommands::Register() {
    auto graphRule = [this] { return GraphPrintState(); };
    auto listRule = [this] { return ListPrintState(); };
    m_shell.RegisterCommand(
        Cmd::DataList, [this] { emit dataListShowRequested(); }, graphRule);
    m_shell.RegisterCommand(
        Cmd::PrintSetup, [this] { emit printSetupRequested(); }, graphRule);
    m_shell.RegisterCommand(
        Cmd::PrintPreviewGraph, [this] { Print(Report::Graph, true); }, graphRule);
    m_shell.RegisterCommand(
        Cmd::PrintPreviewList, [this] { Print(Report::List, true); }, listRule);
    m_shell.RegisterCommand(
        Cmd::PrintGraph, [this] { Print(Report::Graph, false); }, graphRule);
    m_shell.RegisterCommand(
        Cmd::PrintList, [this] { Print(Report::List, false); }, listRule);
    // Ctrl+P prints what the last print command chose, as the view's own print does.
    m_shell.RegisterCommand(
        Cmd::FilePrintFramework, [this] { emit printRequested(CurrentReport(), false); },
        graphRule);
    m_shell.RegisterCommand(
        Cmd::ExportImage, [this] { emit imageExportRequested(); }, graphRule);
    m_shell.RegisterCommand(
        Cmd::ExportCsv, [this] { ExportCsv(); }, graphRule);
}

void ListCommands::Print(Report r, bool preview) {
    m_shell.Graph().SetDisplayContent(r == Report::List ? GraphModel::kContentList
                                                        : GraphModel::kContentGraph);
    emit printRequested(r, preview);
}

ListCommands::Report ListCommands::CurrentReport() const {
    return m_shell.Graph().DisplayContent() == GraphModel::kContentList && m_dataListOpen
               ? Report::List
               : Report::Graph;
}

ReportPages ListCommands::ListPages() const {
    return ListReport(CurrentView(), ReportInfoOf(m_shell.Graph()),
                      FormatDate(m_shell.Now().Now()));
}

ReportPages ListCommands::GraphPages(QSize screen, const RenderOptions& o) const {
    auto copy = std::make_shared<GraphModel>(m_shell.Graph());
    copy->SetReadoutText(QString());
    return GraphReport(copy,
                       GraphInputs{m_shell.Set(), m_shell.Settings(), m_shell.RealTimeRunning()},
                       screen, o, ReportInfoOf(m_shell.Graph()));
}

ReportPages ListCommands::Pages(Report r, QSize screen, const RenderOptions& o) const {
    return r == Report::List ? ListPages() : GraphPages(screen, o);
}

bool ListCommands::ExportCsv() {
    const QString path = ChooseSavePathAsking(m_shell.UserPrompts(), QStringLiteral("data.csv"),
                                              QStringLiteral("CSV Files (*.csv)"), m_lastFolder);
    if (path.isEmpty())
        return true;
    QString error;
    if (!SaveDataListCsv(CurrentView(), path, &error)) {
        m_shell.UserPrompts().Message(
            QStringLiteral("The data could not be written to %1: %2").arg(path, error));
        return false;
    }
    // The chooser closes and nothing else changes on screen: without a word the
    // user cannot tell the rows were written.
    m_shell.ShowStatus(QStringLiteral("Data exported to %1").arg(QDir::toNativeSeparators(path)));
    return true;
}

bool ListCommands::SavePng(const QImage& image, const QString& path, QString* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    if (!image.save(&file, "PNG")) {
        if (error)
            *error = file.errorString().isEmpty() ? QStringLiteral("the image could not be encoded")
                                                  : file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

bool ListCommands::ExportImage(const QImage& image) {
    const QString path = ChooseSavePathAsking(m_shell.UserPrompts(), QStringLiteral("graph.png"),
                                              QStringLiteral("PNG Images (*.png)"), m_lastFolder);
    if (path.isEmpty())
        return true;
    QString error;
    if (!SavePng(image, path, &error)) {
        m_shell.UserPrompts().Message(
            QStringLiteral("The image could not be written to %1: %2").arg(path, error));
        return false;
    }
    m_shell.ShowStatus(QStringLiteral("Graph exported to %1").arg(QDir::toNativeSeparators(path)));
    return true;
}
