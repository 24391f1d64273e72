#include "app/CMainFrame.h"

#include "app/CAboutDlg.h"
#include "app/ConfigCommands.h"
#include "app/HarmonicsWindow.h"
#include "app/LinkCommands.h"
#include "app/RealTimeCommands.h"
#include "data/RecordingStatistics.h"
#include "graph/StatisticsReport.h"
#include "graph/Zoom.h"
#include "shell/AppShell.h"
#include "shell/FileCommands.h"
#include "shell/GraphController.h"
#include "shell/ListCommands.h"
#include "shell/WaveformExport.h"
#include "ui/CDTView.h"
#include "ui/CInstrumentView.h"
#include "ui/CStatisticsDlg.h"
#include "ui/Icons.h"
#include "ui/ListWindows.h"
#include "ui/PublishWiring.h"
#include "ui/ReportPrinter.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QPointer>
#include <QProcess>
#include <QSplitter>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QUrl>

namespace {
constexpr int kLeftPaneWidth = 150;
} // namespace

CMainFrame::CMainFrame(AppShell& shell, QWidget* parent) : QMainWindow(parent), m_shell(shell) {
    setWindowTitle(QStringLiteral("Orvex Datalogger"));
    setObjectName(QStringLiteral("mainFrame"));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(200, 200, 200));
    setPalette(pal);

    m_shell.LoadFrameSettings();

    CreateActions();
    CreateMenus();
    CreateToolBar();
    statusBar()->setMinimumWidth(0);
    statusBar()->setSizeGripEnabled(true);
    statusBar()->showMessage(QStringLiteral("Ready"));
    m_shownFile = new QLabel(this);
    m_shownFile->setObjectName(QStringLiteral("shownFile"));
    statusBar()->addPermanentWidget(m_shownFile);

    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setObjectName(QStringLiteral("splitter"));
    m_splitter->setChildrenCollapsible(true);
    m_instrumentView = new CInstrumentView(m_shell, m_splitter);
    m_view = new CDTView(m_shell, m_splitter);
    m_shell.LoadViewSettings();
    m_splitter->addWidget(m_instrumentView);
    m_splitter->addWidget(m_view);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({kLeftPaneWidth, 200});
    setCentralWidget(m_splitter);

    RegisterFrameCommands();
    m_fileCommands = std::make_unique<FileCommands>(m_shell);
    InstallLinkCommands(*this, m_shell);
    InstallRealTimeCommands(*this, m_shell);
    InstallHarmonicsWindow(*this, m_shell);
    InstallConfigCommands(*this, m_shell);
    InstallListCommands();
    connect(&m_shell, &AppShell::closeWindowRequested, this, &QWidget::close);
    connect(&m_shell, &AppShell::statusText, this, [this](const QString& t) { ShowStatus(t); });
    connect(&m_shell.Notices(), &WorkNotices::workDone, this,
            [this](const WorkReport& r) { ShowStatus(WorkDoneText(r)); });
    connect(&m_shell.Notices(), &WorkNotices::runProgress, this,
            [this](int taken, int requested) { ShowStatus(RunProgressText(taken, requested)); });
    connect(&m_shell.Notices(), &WorkNotices::workStarted, this,
            [this](WorkUnderWay what, int samples) {
                // The work runs before the event loop gets back: the words must be
                // on the screen already, and the message before them comes back after.
                m_messageBeforeWork = statusBar()->currentMessage();
                ShowStatus(WorkUnderWayText(what, samples));
                statusBar()->repaint();
            });
    connect(&m_shell.Notices(), &WorkNotices::workFinished, this,
            [this](WorkUnderWay) { ShowStatus(m_messageBeforeWork); });
    connect(&m_shell, &AppShell::viewsUpdated, m_view, [this] { m_view->update(); });

    // The enable rules are evaluated while the application is idle, as menus and
    // tool-bar buttons must reflect the state without the user opening anything.
    m_idleUpdate = new QTimer(this);
    connect(m_idleUpdate, &QTimer::timeout, this, &CMainFrame::UpdateCommandUI);
    m_idleUpdate->start(200);
    UpdateCommandUI();
}

CMainFrame::~CMainFrame() {
    // The list windows use the list commands: they go first.
    delete m_listWindows;
    m_listWindows = nullptr;
    // The real-time and configuration hosts unhook themselves from the link the
    // link host owns: they go before it (children would go in creation order).
    for (const char* name : {"realTimeHost", "configHost"})
        delete findChild<QObject*>(QLatin1String(name), Qt::FindDirectChildrenOnly);
}

QAction* CMainFrame::AddAction(int command, const QString& text, const char* prompt) {
    auto* a = new QAction(text, this);
    a->setObjectName(QStringLiteral("cmd%1").arg(command));
    const QString p = QString::fromLatin1(prompt);
    const qsizetype nl = p.indexOf(QLatin1Char('\n'));
    a->setStatusTip(nl < 0 ? p : p.left(nl));
    a->setToolTip(nl < 0 ? text : p.mid(nl + 1));
    connect(a, &QAction::triggered, this, [this, command] {
        m_shell.Execute(command);
        UpdateCommandUI();
    });
    m_actions[command] = a;
    return a;
}

QAction* CMainFrame::Action(int command) const {
    auto it = m_actions.find(command);
    return it == m_actions.end() ? nullptr : it->second;
}

void CMainFrame::CreateActions() {
    AddAction(Cmd::Save, QStringLiteral("&Save..."),
              "Save as  record file for Orvex Datalogger software and  xls document for Windows "
              "Office Excel \nSave")
        ->setIcon(CommandIcon(CommandIconId::Save));
    AddAction(Cmd::Open, QStringLiteral("&Open..."), "Open an existing document\nOpen")
        ->setIcon(CommandIcon(CommandIconId::Open));
    AddAction(Cmd::PrintSetup, QStringLiteral("&Print Setup..."),
              "Change the printer and printing options\nPrint Setup");
    AddAction(Cmd::PrintPreviewGraph, QStringLiteral("&Graph"), "Print Graph\nPrint Graph")
        ->setIcon(CommandIcon(CommandIconId::PrintPreview));
    AddAction(Cmd::PrintPreviewList, QStringLiteral("&List"),
              "Print Preview Graph\nPrint Preview Graph")
        ->setIcon(CommandIcon(CommandIconId::PrintPreview));
    AddAction(Cmd::PrintGraph, QStringLiteral("&Graph"), "Print Graph\nPrint Graph");
    AddAction(Cmd::PrintList, QStringLiteral("&List"), "Print List\nPrint List");
    AddAction(Cmd::Exit, QStringLiteral("&Exit"), "\nExit");
    AddAction(Cmd::CorrectTime, QStringLiteral("&Correct Time..."),
              "Correct the DATA LOGGER time\nCorrect Time")
        ->setIcon(CommandIcon(CommandIconId::CorrectTime));
    AddAction(Cmd::Setup, QStringLiteral("Datalogger &Setup..."),
              "Datalogger Setup\nDatalogger Setup")
        ->setIcon(CommandIcon(CommandIconId::Setup));
    AddAction(Cmd::Download, QStringLiteral("&Download Data..."),
              "Download data from your DATALOGGER\nData Download")
        ->setIcon(CommandIcon(CommandIconId::Download));
    AddAction(Cmd::ImportToList, QStringLiteral("&Import Data To List"), "Data List\nData List");
    AddAction(Cmd::PreviousMeasurement, QStringLiteral("&Previous Measurement"),
              "Import the last measurement data.\nImport the last measurement data.");
    AddAction(Cmd::ToggleInstrument, QStringLiteral("&Instrument"), "")->setCheckable(true);
    AddAction(Cmd::ToggleInfoBar, QStringLiteral("&Info Dialog"), "")->setCheckable(true);
    AddAction(Cmd::About, QStringLiteral("&About..."),
              "Display program information, version number and copyright\nAbout");
    AddAction(Cmd::Help, QStringLiteral("&Help topics..."), "Help\nHelp")
        ->setIcon(CommandIcon(CommandIconId::Help));
    AddAction(Cmd::DataList, QStringLiteral("Data List"), "Data List\nData List")
        ->setIcon(CommandIcon(CommandIconId::DataList));
    AddAction(Cmd::StoreRms, QStringLiteral("Store RMS"), "Show store RMS graph\nStore RMS")
        ->setCheckable(true);
    AddAction(Cmd::StoreTransient, QStringLiteral("Store TR"),
              "Show store transient wave graph\nStore Transient Wave")
        ->setCheckable(true);
    AddAction(Cmd::Run, QStringLiteral("Run"), "Read real time data\nRun");
    AddAction(Cmd::Stop, QStringLiteral("Stop"), "Stop reading real time data.\nStop");
    AddAction(Cmd::ExportImage, QStringLiteral("Graph as &Image..."),
              "Save the graph as shown as a PNG image\nExport Graph");
    AddAction(Cmd::TrFileList, QStringLiteral("&TR File List"),
              "Show the list of transient records again\nTR File List");
    AddAction(Cmd::ExportCsv, QStringLiteral("Data as &CSV..."),
              "Save the rows of the data list as CSV for a spreadsheet\nExport Data");
    AddAction(Cmd::ExportComtrade, QStringLiteral("&Waveform as COMTRADE..."),
              "Save the waveform on show as a COMTRADE pair (.cfg and .dat)\nExport Waveform");
    Action(Cmd::PrintGraph)->setIcon(CommandIcon(CommandIconId::PrintGraph));
    Action(Cmd::PrintList)->setIcon(CommandIcon(CommandIconId::PrintList));

    // Accelerators.
    auto accel = [this](int command, const QList<QKeySequence>& keys) {
        auto* a = new QAction(this);
        a->setObjectName(QStringLiteral("cmd%1").arg(command));
        a->setShortcuts(keys);
        a->setShortcutContext(Qt::WindowShortcut);
        connect(a, &QAction::triggered, this, [this, command] {
            m_shell.Execute(command);
            UpdateCommandUI();
        });
        addAction(a);
        m_actions[command] = a;
    };
    accel(Cmd::FileNew, {QKeySequence(Qt::CTRL | Qt::Key_N)});
    accel(Cmd::FileOpenFramework, {QKeySequence(Qt::CTRL | Qt::Key_O)});
    accel(Cmd::FileSaveFramework, {QKeySequence(Qt::CTRL | Qt::Key_S)});
    accel(Cmd::FilePrintFramework, {QKeySequence(Qt::CTRL | Qt::Key_P)});
    accel(Cmd::NextPane, {QKeySequence(Qt::Key_F6)});
    accel(Cmd::PreviousPane, {QKeySequence(Qt::SHIFT | Qt::Key_F6)});
}

void CMainFrame::CreateMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File(F)"));
    file->addAction(Action(Cmd::Save));
    file->addSeparator();
    file->addAction(Action(Cmd::Open));
    file->addSeparator();
    file->addAction(Action(Cmd::PrintSetup));
    file->addSeparator();
    QMenu* preview = file->addMenu(QStringLiteral("&Print Preview"));
    preview->addAction(Action(Cmd::PrintPreviewGraph));
    preview->addAction(Action(Cmd::PrintPreviewList));
    file->addSeparator();
    QMenu* print = file->addMenu(QStringLiteral("&Print..."));
    print->addAction(Action(Cmd::PrintGraph));
    print->addAction(Action(Cmd::PrintList));
    QAction* printStatistics = file->addAction(QStringLiteral("Print Stat&istics"));
    printStatistics->setObjectName(QStringLiteral("printStatisticsAction"));
    connect(printStatistics, &QAction::triggered, this, &CMainFrame::PrintStatistics);
    connect(file, &QMenu::aboutToShow, this,
            [this, printStatistics] { printStatistics->setEnabled(m_shell.Set().RmsCount() > 0); });
    file->addSeparator();
    QMenu* exportMenu = file->addMenu(QStringLiteral("E&xport"));
    exportMenu->setObjectName(QStringLiteral("exportMenu"));
    exportMenu->addAction(Action(Cmd::ExportImage));
    exportMenu->addAction(Action(Cmd::ExportCsv));
    exportMenu->addAction(Action(Cmd::ExportComtrade));
    connect(exportMenu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
    file->addSeparator();
    InstallPublishing(*this, m_shell, *file); // Settings... (Publish), the status field
    file->addSeparator();
    file->addAction(Action(Cmd::Exit));

    QMenu* instrument = menuBar()->addMenu(QStringLiteral("&Instrument(I)"));
    const int items[] = {Cmd::CorrectTime, Cmd::Setup, Cmd::Download, Cmd::ImportToList,
                         Cmd::PreviousMeasurement};
    for (size_t i = 0; i < std::size(items); ++i) {
        if (i)
            instrument->addSeparator();
        instrument->addAction(Action(items[i]));
    }
    QMenu* window = menuBar()->addMenu(QStringLiteral("&Window(W)"));
    window->addAction(Action(Cmd::ToggleInstrument));
    window->addAction(Action(Cmd::ToggleInfoBar));
    window->addAction(Action(Cmd::TrFileList));
    // On the tool bar too, which takes no focus: here the keyboard reaches them.
    window->addAction(Action(Cmd::DataList));
    window->addAction(Action(Cmd::StoreRms));
    window->addAction(Action(Cmd::StoreTransient));
    QAction* statistics = window->addAction(QStringLiteral("&Statistics"));
    statistics->setObjectName(QStringLiteral("statisticsAction"));
    connect(statistics, &QAction::triggered, this, &CMainFrame::OpenStatistics);
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help(H)"));
    help->addAction(Action(Cmd::About));
    help->addSeparator();
    help->addAction(Action(Cmd::Help));

    for (QMenu* m : {file, instrument, window, help, preview, print})
        connect(m, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
}

void CMainFrame::CreateToolBar() {
    QToolBar* bar = addToolBar(QStringLiteral("Standard"));
    bar->setObjectName(QStringLiteral("toolBar"));
    bar->setMovable(true);
    bar->setIconSize(QSize(20, 20));
    const int buttons[] = {Cmd::Save,     Cmd::Open,     Cmd::CorrectTime,   Cmd::Setup,
                           Cmd::Download, Cmd::DataList, Cmd::PrintGraph,    Cmd::PrintList,
                           Cmd::Help,     Cmd::StoreRms, Cmd::StoreTransient};
    for (size_t i = 0; i < std::size(buttons); ++i) {
        if (i)
            bar->addSeparator();
        bar->addAction(Action(buttons[i]));
    }
}

void CMainFrame::RegisterFrameCommands() {
    auto always = [] { return CommandState{true, false}; };
    m_shell.RegisterCommand(
        Cmd::Exit, [this] { close(); }, always);
    m_shell.RegisterCommand(
        Cmd::About, [this] { ShowAbout(); }, always);
    m_shell.RegisterCommand(
        Cmd::Help, [this] { ShowHelp(); }, always);
    m_shell.RegisterCommand(
        Cmd::ToggleInstrument, [this] { ToggleInstrumentPane(); },
        [this] {
            return CommandState{true, m_shell.InstrumentPaneShown()};
        });
    m_shell.RegisterCommand(
        Cmd::ToggleInfoBar, [this] { ToggleInfoBar(); },
        [this] {
            const GraphMode mode = m_shell.Graph().Mode();
            return CommandState{m_shell.Graph().DisplayContent() != GraphModel::kContentNone &&
                                    mode != GraphMode::StoreTransient &&
                                    mode != GraphMode::RealTimeEpa,
                                m_shell.InfoBarShown()};
        });
    m_shell.RegisterCommand(
        Cmd::NextPane, [this] { FocusPane(1); }, always);
    m_shell.RegisterCommand(
        Cmd::PreviousPane, [this] { FocusPane(-1); }, always);
}

void CMainFrame::UpdateCommandUI() {
    for (auto& [command, action] : m_actions) {
        const CommandState st = m_shell.StateOf(command);
        action->setEnabled(st.enabled);
        if (action->isCheckable())
            action->setChecked(st.checked);
    }
    UpdateShownFile();
}

void CMainFrame::UpdateShownFile() {
    QString text;
    QString tip;
    if (m_shell.Graph().DisplayContent() != GraphModel::kContentNone) {
        const QString& path = m_shell.ShownFile();
        text = path.isEmpty() ? QStringLiteral("not saved") : QFileInfo(path).fileName();
        tip = path.isEmpty() ? QStringLiteral("The data shown are in no file yet.")
                             : QDir::toNativeSeparators(path);
        if (m_shell.DataUnsaved() && !path.isEmpty()) {
            text += QStringLiteral(" *");
            tip += QStringLiteral("\nChanged since it was read or saved.");
        }
    }
    if (m_shownFile->text() != text)
        m_shownFile->setText(text);
    m_shownFile->setToolTip(tip);
}

void CMainFrame::ShowStatus(const QString& text) {
    statusBar()->showMessage(text);
}

QString CMainFrame::RunProgressText(int taken, int requested) {
    return QStringLiteral("Sample %1 of %2").arg(taken).arg(requested);
}

QString CMainFrame::WorkUnderWayText(WorkUnderWay what, int samples) {
    switch (what) {
    case WorkUnderWay::RunPowerFigures:
        return QStringLiteral("Computing the power figures of %1 samples...").arg(samples);
    }
    return QString();
}

QString CMainFrame::WorkDoneText(const WorkReport& r) {
    const QString counts =
        QStringLiteral("%1 samples and %2 TR records").arg(r.samples).arg(r.records);
    switch (r.what) {
    case WorkDone::LoggerSetUp:
        return QStringLiteral("Logger setup sent and acknowledged.");
    case WorkDone::LoggerClockSet:
        return QStringLiteral("Logger clock set to %1/%2/%3 %4:%5:%6.")
            .arg(r.clock.day, 2, 10, QLatin1Char('0'))
            .arg(r.clock.month, 2, 10, QLatin1Char('0'))
            .arg(r.clock.year % 100, 2, 10, QLatin1Char('0'))
            .arg(r.clock.hour, 2, 10, QLatin1Char('0'))
            .arg(r.clock.minute, 2, 10, QLatin1Char('0'))
            .arg(r.clock.second, 2, 10, QLatin1Char('0'));
    case WorkDone::Downloaded:
        return QStringLiteral("Downloaded %1.").arg(counts);
    case WorkDone::FileOpened:
        return QStringLiteral("Opened %1: %2.").arg(QDir::toNativeSeparators(r.path), counts);
    case WorkDone::PreviousRecalled:
        return QStringLiteral("Previous measurement recalled: %1.").arg(counts);
    case WorkDone::RunEnded:
        // No box for a logger that went silent (unplugged, switched off): the status
        // bar is the one place that says why the run stopped early.
        return QStringLiteral("Real-time run ended after %1 of %2 samples%3")
            .arg(r.samples)
            .arg(r.records)
            .arg(r.loggerSilent ? QStringLiteral(": the logger sent no data for 10 s.")
                                : QStringLiteral("."));
    case WorkDone::GraphPrinted:
        return QStringLiteral("The graph report was sent to the printer.");
    case WorkDone::ListPrinted:
        return QStringLiteral("The list report was sent to the printer.");
    }
    return QString();
}

void CMainFrame::closeEvent(QCloseEvent* e) {
    if (m_shell.ReadyToClose()) {
        e->accept();
        return;
    }
    e->ignore();
    m_shell.RequestClose();
}

void CMainFrame::ToggleInstrumentPane() {
    const int total = m_splitter->width();
    if (m_shell.InstrumentPaneShown()) {
        m_splitter->setSizes({0, total});
        m_shell.SetInstrumentPaneShown(false);
    } else {
        m_splitter->setSizes({kLeftPaneWidth, std::max(total - kLeftPaneWidth, 200)});
        m_shell.SetInstrumentPaneShown(true);
    }
}

void CMainFrame::ToggleInfoBar() {
    if (m_shell.InfoBarShown()) {
        m_shell.Graph().SetInfoBarHeight(0);
        m_shell.SetInfoBarShown(false);
    } else {
        m_shell.Graph().SetInfoBarHeight(kInfoBarFull);
        m_shell.SetInfoBarShown(true);
    }
    m_view->update();
}

QString CMainFrame::HelpFilePath(const QString& executablePath) {
    QString folder = QFileInfo(executablePath).absolutePath();
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder + QStringLiteral("help.chm");
}

QString CMainFrame::UserGuidePath(const QString& executablePath) {
    return QDir::cleanPath(QFileInfo(executablePath).absolutePath() +
                           QStringLiteral("/../share/orvex-datalogger/guide/index.html"));
}

QStringList CMainFrame::HelpCandidates(const QString& executablePath) {
    QStringList paths{HelpFilePath(executablePath), UserGuidePath(executablePath)};
    const QString guide = QStringLiteral("/share/orvex-datalogger/guide/index.html");
#ifdef DL_INSTALL_PREFIX
    paths << QDir::cleanPath(QStringLiteral(DL_INSTALL_PREFIX) + guide);
#endif
#ifdef DL_SOURCE_DIR
    // A build that was not installed: the guide of its source tree.
    paths << QDir::cleanPath(QStringLiteral(DL_SOURCE_DIR "/doc/guide/index.html"));
#endif
    paths.removeDuplicates();
    return paths;
}

void CMainFrame::ShowHelp() {
    const QStringList paths = HelpCandidates(QCoreApplication::applicationFilePath());
    for (const QString& path : paths) {
        if (QFileInfo(path).isFile()) {
            OpenHelpFile(path);
            return;
        }
    }
    m_shell.UserPrompts().Message(
        QStringLiteral("The help could not be opened. Looked for:\n%1").arg(paths.join(u'\n')));
}

QString CMainFrame::NoHelpViewerText(const QString& path) {
    return QStringLiteral("No program to show the user guide was found.\nOpen %1 in a web "
                          "browser.")
        .arg(QDir::toNativeSeparators(path));
}

void CMainFrame::OpenHelpFile(const QString& path) {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    // The desktop's opener says on its error output alone that nothing could show
    // the file; its exit code tells, so the user hears it too.
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty()) {
        if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
            m_shell.UserPrompts().Message(NoHelpViewerText(path));
        return;
    }
    // Not a child of the window: the opener may become the browser, which must not
    // go when the window does. It is deleted once it has ended.
    auto* process = new QProcess;
    process->setObjectName(QStringLiteral("helpOpener"));
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    connect(process, &QProcess::finished, this,
            [this, process, path](int code, QProcess::ExitStatus status) {
                process->deleteLater();
                if (status != QProcess::NormalExit || code != 0)
                    m_shell.UserPrompts().Message(NoHelpViewerText(path));
            });
    connect(process, &QProcess::errorOccurred, this,
            [this, process, path](QProcess::ProcessError e) {
                if (e != QProcess::FailedToStart)
                    return;
                process->deleteLater();
                m_shell.UserPrompts().Message(NoHelpViewerText(path));
            });
    process->start(opener, {QUrl::fromLocalFile(path).toString()});
#else
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        m_shell.UserPrompts().Message(NoHelpViewerText(path));
#endif
}

void CMainFrame::InstallListCommands() {
    m_printer = std::make_unique<ReportPrinter>();
    m_listCommands = std::make_unique<ListCommands>(m_shell);
    m_waveformExport = std::make_unique<WaveformExport>(m_shell);
    m_listWindows =
        new ListWindows(*m_listCommands, m_view->Graph(), m_view, m_instrumentView, this);
    connect(m_listCommands.get(), &ListCommands::printRequested, this,
            [this](ListCommands::Report r, bool preview) { RunPrint(int(r), preview); });
    connect(m_listCommands.get(), &ListCommands::printSetupRequested, this,
            [this] { m_printer->Setup(this); });
    // Closed, the record list had no way back but leaving stored TR mode.
    m_shell.RegisterCommand(
        Cmd::TrFileList, [this] { m_listWindows->ShowTrFileList(); },
        [this] {
            return CommandState{m_shell.Graph().Mode() == GraphMode::StoreTransient &&
                                    m_shell.Set().TrCount() > 0,
                                false};
        });
    connect(m_listCommands.get(), &ListCommands::imageExportRequested, this,
            [this] { m_listCommands->ExportImage(GraphImage()); });
    // The graph view's side-window step of every mode, its new real-time points and
    // every update of the views reach the lists too, while they exist.
    ListWindows* lists = m_listWindows;
    connect(&m_view->Graph(), &GraphController::modeWindowsChanged, lists,
            &ListWindows::OnModeChanged);
    connect(&m_shell, &AppShell::realTimePointAppended, lists, &ListWindows::Refresh);
    connect(&m_shell, &AppShell::viewsUpdated, lists, &ListWindows::Refresh);
}

QImage CMainFrame::GraphImage() {
    return m_view->ExportImage();
}

void CMainFrame::RunPrint(int report, bool preview) {
    RenderOptions o;
    o.printing = true;
    const ReportPages pages =
        m_listCommands->Pages(ListCommands::Report(report), m_view->size(), o);
    if (preview) {
        m_printer->Preview(this, pages);
        return;
    }
    if (m_printer->Print(this, pages) == ReportPrinter::Outcome::Printed) {
        WorkReport done;
        done.what = ListCommands::Report(report) == ListCommands::Report::List
                        ? WorkDone::ListPrinted
                        : WorkDone::GraphPrinted;
        m_shell.Notices().Report(done);
    }
}

void CMainFrame::ShowAbout() {
    CAboutDlg dlg(this);
    dlg.exec();
}

void CMainFrame::FocusPane(int step) {
    QWidget* panes[] = {m_instrumentView, m_view};
    const int current = m_view->hasFocus() || m_view->isAncestorOf(focusWidget()) ? 1 : 0;
    const int next = ((current + step) % 2 + 2) % 2;
    panes[next]->setFocus(Qt::ShortcutFocusReason);
}

void CMainFrame::OpenStatistics() {
    if (!m_statistics) {
        m_statistics = new CStatisticsDlg(this);
        m_statistics->SetSource([this] { return StatisticsViewOf(m_shell.Set()); });
        m_statistics->SetNominalText(m_shell.Settings().m_nominalVoltage);
        connect(m_statistics, &CStatisticsDlg::nominalChanged, this,
                [this](const QString& text) { m_shell.Settings().m_nominalVoltage = text; });
        connect(m_statistics, &CStatisticsDlg::eventChosen, this, &CMainFrame::ShowSamples);
        // New stored data: the open window follows them (and only then, since the
        // views are also told of every real-time sample).
        const QPointer<CStatisticsDlg> window = m_statistics;
        auto shown = std::make_shared<uint64_t>(m_shell.Set().StoredGeneration());
        connect(&m_shell, &AppShell::viewsUpdated, m_statistics, [this, window, shown] {
            if (!window || !window->isVisible() || *shown == m_shell.Set().StoredGeneration())
                return;
            *shown = m_shell.Set().StoredGeneration();
            window->Refresh();
        });
    }
    m_statistics->Refresh();
    m_statistics->show();
    m_statistics->raise();
    m_statistics->activateWindow();
}

void CMainFrame::ShowSamples(qint64 first, qint64 count) {
    if (m_shell.Set().RmsCount() <= 0)
        return;
    GraphController& graph = m_view->Graph();
    if (m_shell.Graph().Mode() != GraphMode::StoreRms)
        graph.OnStoreRms();
    graph.ResetScale();
    // The unzoomed graph is laid out by a paint; the zoom box is placed on it.
    m_view->repaint();
    ZoomAroundPoints(m_shell.Graph(), first, count);
    m_view->RequestRepaint();
}

void CMainFrame::PrintStatistics() {
    RenderOptions o;
    o.printing = true;
    const double nominal = m_shell.Settings().m_nominalVoltage.toDouble();
    const auto stats = std::make_shared<const RecordingStatistics>(
        ComputeStatistics(StatisticsViewOf(m_shell.Set()), nominal));
    m_printer->Print(this,
                     WithStatisticsPages(m_listCommands->GraphPages(m_view->size(), o), stats));
}
