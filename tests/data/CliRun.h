#pragma once
// orvex-dl run as a script runs it: Berlin time, the given locale, its exit code and
// both streams. Each test binary names the tool's path in ORVEX_DL.

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

struct CliRun {
    int exitCode = -1;
    QByteArray out, err;
};

// An exit code of -1 when the tool crashed or did not end within 20 s.
inline CliRun Cli(const QStringList& args, const QString& locale = QStringLiteral("C.UTF-8")) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TZ"), QStringLiteral("Europe/Berlin"));
    env.insert(QStringLiteral("LC_ALL"), locale);
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(ORVEX_DL), args);
    if (!p.waitForFinished(20000)) {
        p.kill();
        p.waitForFinished(1000);
        return {};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}
