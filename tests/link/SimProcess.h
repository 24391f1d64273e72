#pragma once
// The logger simulator as a child process for end-to-end tests: started with its
// options, its device path read from its first line (bounded), killed at the end.

#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>

class SimProcess {
public:
    bool Start(const QStringList& args, int limitMs = 5000) {
        m_process.setProgram(QStringLiteral(DL_SIM_PATH));
        m_process.setArguments(args);
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.start();
        if (!m_process.waitForStarted(limitMs))
            return false;
        QElapsedTimer t;
        t.start();
        while (!m_process.canReadLine() && t.elapsed() < limitMs)
            m_process.waitForReadyRead(100);
        if (!m_process.canReadLine())
            return false;
        device = QString::fromLocal8Bit(m_process.readLine()).trimmed();
        return !device.isEmpty();
    }
    ~SimProcess() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }
    QString device;

private:
    QProcess m_process;
};
