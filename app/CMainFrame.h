#pragma once
// The main window: menu, tool bar, status bar and the splitter with the
// instrument pane and the graph view. It shows the state of AppShell and forwards
// every command to it.

#include <QImage>
#include <QMainWindow>
#include <QStringList>

#include <map>
#include <memory>

class AppShell;
class CDTView;
class CInstrumentView;
class CStatisticsDlg;
class FileCommands;
class ListCommands;
class WaveformExport;
class ListWindows;
class ReportPrinter;
class QAction;
class QLabel;
class QSplitter;
struct WorkReport;
enum class WorkUnderWay;
class QTimer;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(AppShell& shell, QWidget* parent = nullptr);
    ~CMainFrame() override;

    AppShell& Shell() { return m_shell; }
    CDTView* GraphView() { return m_view; }
    CInstrumentView* InstrumentView() { return m_instrumentView; }
    QSplitter* Splitter() { return m_splitter; }
    QAction* Action(int command) const;
    // A command's action with its status prompt and tooltip ("prompt\ntooltip"), for
    // the command groups that add their own tool bars and menu items.
    QAction* AddCommand(int command, const QString& text, const char* prompt) {
        return AddAction(command, text, prompt);
    }
    // Re-evaluates every command's enable and check rule.
    void UpdateCommandUI();
    void ShowStatus(const QString& text);
    // The status bar's words for work done and for a run's progress.
    static QString WorkDoneText(const WorkReport& report);
    static QString RunProgressText(int taken, int requested);
    static QString WorkUnderWayText(WorkUnderWay what, int samples);
    // The permanent field at the right of the status bar: the file shown, or
    // "not saved", with a mark while the data shown are unsaved.
    QLabel* ShownFileField() const { return m_shownFile; }
    static QString HelpFilePath(const QString& executablePath);
    // The HTML user guide of an installed program (share/orvex-datalogger/guide).
    static QString UserGuidePath(const QString& executablePath);
    // Where Help looks, in order: help.chm beside the executable, the installed
    // user guide, the guide of the source tree this build came from.
    static QStringList HelpCandidates(const QString& executablePath);
    // What Help says when a guide was found but nothing can show it.
    static QString NoHelpViewerText(const QString& path);
    ListCommands& Lists() { return *m_listCommands; }
    ListWindows& ListWins() { return *m_listWindows; }
    ReportPrinter& Printer() { return *m_printer; }
    // The graph as File > Export > Graph as Image writes it, at the view's size.
    QImage GraphImage();
    // Window > Statistics: the statistics window of the data on show.
    void OpenStatistics();
    CStatisticsDlg* StatisticsWindow() const { return m_statistics; }
    // The stored graph zoomed around samples first .. first + count - 1 (0-based).
    void ShowSamples(qint64 first, qint64 count);
    // File > Print Statistics: the graph report followed by the statistics pages.
    void PrintStatistics();

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void RegisterFrameCommands();
    QAction* AddAction(int command, const QString& text, const char* prompt);
    void ToggleInstrumentPane();
    void ToggleInfoBar();
    void ShowHelp();
    void OpenHelpFile(const QString& path);
    void ShowAbout();
    void FocusPane(int step);

    AppShell& m_shell;
    QSplitter* m_splitter = nullptr;
    CDTView* m_view = nullptr;
    CInstrumentView* m_instrumentView = nullptr;
    std::map<int, QAction*> m_actions;
    QTimer* m_idleUpdate = nullptr;
    QLabel* m_shownFile = nullptr;
    QString m_messageBeforeWork; // the status bar's message while work holds the window
    void UpdateShownFile();
    std::unique_ptr<FileCommands> m_fileCommands;
    void InstallListCommands();
    void RunPrint(int report, bool preview);
    std::unique_ptr<ListCommands> m_listCommands;
    std::unique_ptr<WaveformExport> m_waveformExport;
    ListWindows* m_listWindows = nullptr;
    std::unique_ptr<ReportPrinter> m_printer;
    CStatisticsDlg* m_statistics = nullptr;
};
