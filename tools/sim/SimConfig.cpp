#include "tools/sim/SimConfig.h"

#include "link/LoggerProtocol.h"

#include <QFile>

#include <array>
#include <cstdio>
#include <memory>

QString HexLine(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

bool InstallConfigHandling(LoggerModel& model, const QString& logPath,
                           std::optional<SyntheticOptions> synthetic, QString* error) {
    std::shared_ptr<FILE> log;
    if (!logPath.isEmpty()) {
        FILE* f = std::fopen(QFile::encodeName(logPath).constData(), "a");
        if (!f) {
            if (error)
                *error = QStringLiteral("cannot write the log file %1").arg(logPath);
            return false;
        }
        log.reset(f, [](FILE* p) { std::fclose(p); });
    }
    std::array<int16_t, 2> levels{model.Header().riseLevel, model.Header().dropLevel};
    model.ObserveConfigCommands([&model, log, synthetic, levels](const QByteArray& cmd) mutable {
        const QByteArray line = HexLine(cmd).toLatin1();
        if (log) {
            // Flushed at once: a test reads the file while the simulator runs.
            std::fprintf(log.get(), "%s\n", line.constData());
            std::fflush(log.get());
        } else {
            const bool setup = uint8_t(cmd[0]) == Logger::kSetup;
            std::fprintf(stderr, "orvex-logger-sim: %s %s\n", setup ? "setup" : "set-clock",
                         line.constData());
        }
        if (!synthetic)
            return;
        // A new recording under the settings and the clock the host just sent.
        const DownloadHeader& h = model.Header();
        if (uint8_t(cmd[0]) == Logger::kSetup) {
            synthetic->intervalUnit = h.intervalUnit;
            synthetic->intervalCount = h.intervalCount;
            levels = {h.riseLevel, h.dropLevel};
        } else {
            synthetic->start = h.start;
        }
        LoggerRecording rec = SyntheticRecording(*synthetic);
        rec.riseLevel = levels[0];
        rec.dropLevel = levels[1];
        model.SetRecording(rec);
    });
    return true;
}
