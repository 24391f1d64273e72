// orvex-datalogger: the desktop application.

#include "app/CMainFrame.h"
#include "app/CSplashWnd.h"
#include "app/QtPrompts.h"
#include "base/DataDir.h"
#include "base/Timers.h"
#include "shell/AppShell.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>

#include <cmath>

#include <cstdio>

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

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("OrvexDatalogger"));
    QApplication::setApplicationVersion(QStringLiteral("1.0"));
    // The installed icon where the desktop has it; the launcher is found by name.
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("orvex-datalogger"), AppIcon()));
    QGuiApplication::setDesktopFileName(QStringLiteral("orvex-datalogger"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Desktop companion of the two-channel electric-power data logger: downloads, shows, "
        "saves and prints what the logger measured."));
    parser.addHelpOption();
    parser.addVersionOption();
    QCommandLineOption portOption(
        QStringLiteral("port"),
        QStringLiteral("Serial device to use as port 1 (e.g. /dev/ttyUSB0)."),
        QStringLiteral("DEVICE"));
    QCommandLineOption noSplash(QStringLiteral("nosplash"),
                                QStringLiteral("Do not show the splash."));
    parser.addOption(portOption);
    parser.addOption(noSplash);
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("A .stdata file to open."),
                                 QStringLiteral("[file.stdata]"));
    parser.process(app);

    if (parser.isSet(portOption)) {
        // The chosen device becomes port 1, ahead of the usual list.
        const QString ports = qEnvironmentVariable("DATALOGGER_PORTS");
        qputenv("DATALOGGER_PORTS", (parser.value(portOption) +
                                     (ports.isEmpty() ? QString() : QLatin1Char(',') + ports))
                                        .toLocal8Bit());
    }

    QtTimerTable timers;
    QtPrompts prompts;
    SystemClock clock;
    AppShell shell(timers, prompts, clock, SettingsFilePath());
    CMainFrame frame(shell);
    prompts.SetParent(&frame);

    const QStringList files = parser.positionalArguments();
    if (!files.isEmpty())
        shell.OpenFileAtStart(files.first());

    // Without a window manager (a bare X server) "maximized" means nothing, so the
    // window is also given the whole available screen area.
    if (QScreen* screen = frame.screen())
        frame.setGeometry(screen->availableGeometry());
    frame.showMaximized();
    if (!parser.isSet(noSplash))
        (new CSplashWnd(&frame))->show();
    return app.exec();
}
