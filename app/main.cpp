// orvex-datalogger: the desktop application.

#include "app/CMainFrame.h"
#include "app/CSplashWnd.h"
#include "app/QtPrompts.h"
#include "base/DataDir.h"
#include "base/SafeFile.h"
#include "base/Timers.h"
#include "shell/AppShell.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QTimer>

#include <cmath>

#include <cstdio>
#include <string_view>

namespace {

QIcon AppIcon() {
    QPixmap pm(64, 64);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(102, 122, 157));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(2, 2, 60, 60, 10, 10);
    p.setPen(QPen(QColor(255, 210, 80), 5));
    QPainterPath wave;
    for (int x = 8; x <= 56; ++x) {
        const double y = 32 - 16 * std::sin((x - 8) / 48.0 * 2 * 3.14159265);
        x == 8 ? wave.moveTo(x, y) : wave.lineTo(x, y);
    }
    p.drawPath(wave);
    return QIcon(pm);
}

// The options, for the windowless --help and --version as for the window.
struct Options {
    QCommandLineOption help;
    QCommandLineOption version;
    QCommandLineOption port{QStringLiteral("port"),
                            QStringLiteral("Serial device to use as port 1 (e.g. /dev/ttyUSB0)."),
                            QStringLiteral("DEVICE")};
    QCommandLineOption noSplash{QStringLiteral("nosplash"),
                                QStringLiteral("Do not show the splash.")};

    explicit Options(QCommandLineParser& parser)
        : help(parser.addHelpOption()), version(parser.addVersionOption()) {
        parser.setApplicationDescription(QStringLiteral(
            "Desktop companion of the two-channel electric-power data logger: downloads, shows, "
            "saves and prints what the logger measured."));
        parser.addOption(port);
        parser.addOption(noSplash);
        parser.addPositionalArgument(QStringLiteral("file"),
                                     QStringLiteral("A .stdata file to open."),
                                     QStringLiteral("[file.stdata]"));
    }
};

void SetApplicationNames() {
    QCoreApplication::setApplicationName(QStringLiteral("OrvexDatalogger"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));
}

bool AskedForHelpOrVersion(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--")
            break;
        if (a == "-h" || a == "--help" || a == "-?" || a == "--help-all" || a == "-v" ||
            a == "--version")
            return true;
    }
    return false;
}

// --help and --version answer without a display: over ssh or in a script the
// platform plugin would otherwise end the program before the options are read.
// Options this parser does not know (Qt's own -platform, say) are ignored here.
[[noreturn]] void PrintHelpOrVersion(int argc, char** argv) {
    QCoreApplication core(argc, argv);
    SetApplicationNames();
    QCommandLineParser parser;
    Options options(parser);
    parser.parse(QCoreApplication::arguments());
    if (parser.isSet(options.version))
        parser.showVersion();
    parser.showHelp(0);
}

// Without any display the platform plugin aborts with a message about plugins that
// tells a new user nothing; say what to do instead, as ./run.sh does.
bool DisplayMissing(int argc, char** argv) {
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "-platform" || a.starts_with("-platform=") || a == "--platform")
            return false;
    }
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        if (!qEnvironmentVariableIsEmpty(name))
            return false;
    return true;
#else
    (void)argc;
    (void)argv;
    return false;
#endif
}

constexpr int kExitNoDisplay = 2;

} // namespace

int main(int argc, char** argv) {
    if (AskedForHelpOrVersion(argc, argv))
        PrintHelpOrVersion(argc, argv);
    if (DisplayMissing(argc, argv)) {
        std::fputs("No display found: orvex-datalogger needs a graphical session.\n"
                   "  - On a desktop, run orvex-datalogger from a terminal inside that session.\n"
                   "  - Over SSH, connect with \"ssh -X\" (X11 forwarding).\n"
                   "  - Without any screen, start a virtual one:  xvfb-run -a orvex-datalogger\n",
                   stderr);
        return kExitNoDisplay;
    }

    QApplication app(argc, argv);
    SetApplicationNames();
    // The installed icon where the desktop has it; the launcher is found by name.
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("orvex-datalogger"), AppIcon()));
    QGuiApplication::setDesktopFileName(QStringLiteral("orvex-datalogger"));
    // Temporary files of saves that an earlier run could not finish go first.
    StartSaveJournal(DataDirectory());

    QCommandLineParser parser;
    Options options(parser);
    parser.process(app);

    if (parser.isSet(options.port)) {
        // The chosen device becomes port 1, ahead of the usual list.
        const QString ports = qEnvironmentVariable("DATALOGGER_PORTS");
        qputenv("DATALOGGER_PORTS", (parser.value(options.port) +
                                     (ports.isEmpty() ? QString() : QLatin1Char(',') + ports))
                                        .toLocal8Bit());
    }

    QtTimerTable timers;
    QtPrompts prompts;
    SystemClock clock;
    AppShell shell(timers, prompts, clock, SettingsFilePath());
    CMainFrame frame(shell);
    prompts.SetParent(&frame);

    // Without a window manager (a bare X server) "maximized" means nothing, so the
    // window is also given the whole available screen area.
    if (QScreen* screen = frame.screen())
        frame.setGeometry(screen->availableGeometry());
    frame.showMaximized();
    CSplashWnd* splash = nullptr;
    if (!parser.isSet(options.noSplash)) {
        splash = new CSplashWnd(&frame);
        splash->show();
    }

    // The file named on the command line is read once the window stands and the
    // splash has gone: a message about it then comes over the window it concerns
    // (and not before any window, or under the splash, which swallows the first click).
    const QStringList files = parser.positionalArguments();
    if (!files.isEmpty()) {
        auto openAtStart = [&shell, file = files.first()] { shell.OpenFileAtStart(file); };
        if (splash)
            QObject::connect(splash, &QObject::destroyed, &frame, openAtStart,
                             Qt::QueuedConnection);
        else
            QTimer::singleShot(0, &frame, openAtStart);
    }
    return app.exec();
}
