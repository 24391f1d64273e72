#pragma once
// The logger simulator for end-to-end tests: a child process serving a real
// pseudo-terminal, started with its options, its device path read from its first
// line (bounded), killed at the end or when the test takes the device away. And what
// a download from it must hold: the recording it serves, built from the same
// options, compared sample for sample with a set or a file.
//
// A header, like the other fixtures here, so that only the binaries that use it link
// the link and data layers; each names the simulator's path in DL_SIM_PATH.

#include "data/MeasurementSet.h"
#include "data/StdataFile.h"
#include "link/LoggerImage.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <algorithm>

// The recording a simulator started with `args` serves: its synthetic recording with
// --samples, --tr-every and --start taken from them (the last of each counts, as the
// simulator reads them). An option that shapes the recording otherwise fails the
// test, so that a comparison can never be made against the wrong recording.
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
            if (f.size() != 6) {
                ADD_FAILURE() << "--start " << value.toStdString();
                continue;
            }
            o.start = {f[0].toInt(), f[1].toInt(), f[2].toInt(),
                       f[3].toInt(), f[4].toInt(), f[5].toInt()};
        } else if (QStringList{"--channels", "--ch1", "--ch2", "--interval", "--unit",
                               "--start-pos", "--file"}
                       .contains(a)) {
            ADD_FAILURE() << "the recording served with " << a.toStdString()
                          << " is not built here";
        }
    }
    return SyntheticRecording(o);
}

// The set's stored values are the recording's, sample for sample, with as many
// transient records; `why` says where they part.
inline bool HoldsRecording(const MeasurementSet& s, const LoggerRecording& r, QString* why) {
    if (s.m_rmsCount != int(r.samples.size()) || s.m_trCount != int(r.tr.size())) {
        *why = QStringLiteral("%1 samples, %2 TR records").arg(s.m_rmsCount).arg(s.m_trCount);
        return false;
    }
    for (size_t i = 0; i < r.samples.size(); ++i)
        if (s.m_ch1Rms[i] != ScaledRms(r.samples[i][0]) ||
            s.m_ch2Rms[i] != ScaledRms(r.samples[i][1])) {
            *why = QStringLiteral("sample %1 differs").arg(i);
            return false;
        }
    return true;
}

// The same for a measurement file a download wrote.
inline bool FileHoldsRecording(const QString& path, const LoggerRecording& r, QString* why) {
    MeasurementSet s;
    return LoadStdataFile(path, s, why) && HoldsRecording(s, r, why);
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
