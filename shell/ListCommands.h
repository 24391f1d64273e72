#pragma once
// The main window's list, print and export commands below the widgets: Data List,
// Print Setup, the four print commands and Ctrl+P, Export > Graph as Image and
// Data as CSV, with their enable rules; the two list models; the open flag of the
// data list (list printing reads that list, so its commands need it open); the
// reports as pages for the printer, the preview and a PDF. The window opens dialogs
// and windows when the signals ask.

#include "graph/Report.h"
#include "shell/AppShell.h"
#include "shell/DataListModel.h"

#include <QImage>

#include <QObject>

#include <functional>
#include <memory>

class AppShell;

class ListCommands final : public QObject {
    Q_OBJECT
public:
    // Registers the commands and ends the data list when the shell closes.
    explicit ListCommands(AppShell& shell);
    ~ListCommands();
    ListCommands(const ListCommands&) = delete;
    ListCommands& operator=(const ListCommands&) = delete;

    DataListModel& DataList() { return *m_dataList; }
    TrFileListModel& TrFileList() { return *m_trList; }
    // What the data list shows now (the graph's mode, window and channels).
    DataListView CurrentView() const;

    // --- data list window ---
    bool DataListOpen() const { return m_dataListOpen; }
    // The window tells when it was opened and when it is gone.
    void SetDataListOpen(bool open) { m_dataListOpen = open; }
    // Refreshes both models from the data (after a load, a download, a new point).
    // True when the stored data were replaced since the last refresh.
    bool Refresh();

    // --- enable rules ---
    bool HasPoints() const; // the graph shows a data set with points
    CommandState GraphPrintState() const { return {HasPoints(), false}; }
    CommandState ListPrintState() const { return {HasPoints() && m_dataListOpen, false}; }

    // --- reports ---
    enum class Report { Graph, List };
    // The report `m_displayContent` names (2 the list, else the graph); the list
    // only while its window is open, since it prints that window's rows.
    Report CurrentReport() const;
    ReportPages ListPages() const;
    // The graph as painted at `screen`, the view's size.
    ReportPages GraphPages(QSize screen, const RenderOptions& o) const;
    ReportPages Pages(Report r, QSize screen, const RenderOptions& o) const;

    // --- export ---
    // "Data as CSV": asks for a name, writes the data list's rows; a message when
    // writing failed. False only on failure.
    bool ExportCsv();
    // "Graph as Image": asks for a name, writes `image` (the graph at the window's
    // size) as PNG through a temporary file.
    bool ExportImage(const QImage& image);
    static bool SavePng(const QImage& image, const QString& path, QString* error);

signals:
    // What the window does for these commands.
    void dataListShowRequested();  // open (or keep) the data list window
    void dataListCloseRequested(); // end and destroy it
    // Print (`preview` false) or preview report `r` with the framework's machinery.
    void printRequested(ListCommands::Report r, bool preview);
    void printSetupRequested();
    void imageExportRequested(); // the window renders the graph and calls ExportImage

private:
    void Register();
    void Print(Report r, bool preview);

    AppShell& m_shell;
    std::unique_ptr<DataListModel> m_dataList;
    std::unique_ptr<TrFileListModel> m_trList;
    bool m_dataListOpen = false;
    uint64_t m_generation = 0;
    QString m_lastFolder;
};
