#pragma once
// The logger simulator as a child process for end-to-end tests and benchmarks: it
// serves a real pseudo-terminal, is started with its options, its device path read
// from its first line (bounded), and is killed at the end or when the test takes the
// device away. It also tells the recording it serves, built from the same options.
// Each binary that uses it names the simulator's path in DL_SIM_PATH.

#include "sim/LoggerImage.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <algorithm>

// The recording a simulator started with `args` serves: its synthetic recording with
// --samples, --tr-every and --start taken from them (the last of each counts, as the
// simulator reads them). With an option that shapes the recording otherwise, or a
// start it cannot read, it is an empty recording, which no download equals, so that
// a comparison is never made against the wrong recording.
inline LoggerRecording SimulatorRecording(const QStringList& args) {
    SyntheticOptions o;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const QString value = args.value(i + 1);
        if (a == QLatin1String("--samples")) {
            o.samples = value.toLongLong();
        } else if (a == QLatin1String("--tr-every")) {
            o.trEvery = value.toLongLong();
        } else if (a == QLatin1String("--start")) {
            const QStringList f = value.split(QRegularExpression(QStringLiteral("[-T:]")));
            if (f.size() != 6)
                return {};
            o.start = {f[0].toInt(), f[1].toInt(), f[2].toInt(),
                       f[3].toInt(), f[4].toInt(), f[5].toInt()};
        } else if (QStringList{"--channels", "--ch1", "--ch2", "--interval", "--unit",
                               "--start-pos", "--file"}
                       .contains(a)) {
            return {};
        }
    }
    return SyntheticRecording(o);
}

class SimProcess {
public:
    // Starts the simulator and waits for its device line; false if it did not
    // start or printed none within `limitMs`.
    bool Start(const QStringList& args, int limitMs = 5000) {
        m_args = args;
        m_process.setProgram(QStringLiteral(DL_SIM_PATH));
        m_process.setArguments(args);
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.start();
        if (!m_process.waitForStarted(limitMs))
            return false;
        QElapsedTimer t;
        t.start();
        while (!m_process.canReadLine() && m_process.state() == QProcess::Running &&
               t.elapsed() < limitMs)
            m_process.waitForReadyRead(int(std::max<qint64>(1, limitMs - t.elapsed())));
        if (!m_process.canReadLine())
            return false;
        device = QString::fromLocal8Bit(m_process.readLine()).trimmed();
        return !device.isEmpty();
    }
    // Kills the simulator; its pseudo-terminal goes away with it.
    void Stop() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }
    ~SimProcess() { Stop(); }

    // The recording this simulator serves.
    LoggerRecording Recording() const { return SimulatorRecording(m_args); }

    QString device;

private:
    QStringList m_args;
    QProcess m_process;
};
