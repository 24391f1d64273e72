#include "tools/cli/ExportFormats.h"

#include "base/SafeFile.h"
#include "data/Comtrade.h"
#include "data/LineFormats.h"
#include "data/MeasurementSet.h"
#include "tools/cli/CliCommand.h"
#include "tools/cli/CliSupport.h"

#include <QFileInfo>

#include <cstdio>

namespace {

constexpr double kLargestLineFrequencyHz = 1000.0;

bool WriteOut(const QByteArray& bytes, const QString& output, QString* error) {
    if (!output.isEmpty())
        return WriteFileAtomically(output, bytes, error);
    if (std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) != size_t(bytes.size()) ||
        std::fflush(stdout) != 0) {
        *error = QStringLiteral("standard output refused the data");
        return false;
    }
    return true;
}

} // namespace

int ExportLines(const MeasurementSet& set, const QString& format, const QString& input,
                const QString& output) {
    const bool influx = format == QLatin1String("influx");
    const LineTags tags{{QStringLiteral("file"), QFileInfo(input).fileName()}};
    QByteArray out;
    for (int i = 0; i < set.m_rmsCount; ++i) {
        const LineSample s = StoredRmsSample(set, i);
        const QByteArray line = influx ? SampleLineProtocol(s, tags) : SampleJson(s);
        if (!line.isEmpty())
            out += line + '\n';
    }
    QString error;
    if (!WriteOut(out, output, &error)) {
        std::fprintf(stderr, "orvex-dl export: cannot write %s: %s\n",
                     output.isEmpty() ? "to stdout" : qPrintable(output), qPrintable(error));
        return CliExit::Failure;
    }
    return CliExit::Ok;
}

int ExportComtrade(const MeasurementSet& set, const CliArgs& args, const QString& input,
                   const char* usage) {
    bool ok = false;
    const int record = args.Value(QStringLiteral("--tr")).toInt(&ok);
    if (!ok || record < 1) {
        CliUsageError("export", QStringLiteral("--comtrade needs --tr N, a record from 1"), usage);
        return CliExit::Usage;
    }
    double frequency = kDefaultLineFrequencyHz;
    if (args.Has(QStringLiteral("--frequency"))) {
        frequency = args.Value(QStringLiteral("--frequency")).toDouble(&ok);
        if (!ok || !(frequency > 0) || frequency > kLargestLineFrequencyHz) {
            CliUsageError("export", QStringLiteral("--frequency takes a number above 0 up to 1000"),
                          usage);
            return CliExit::Usage;
        }
    }
    if (record > set.m_trCount) {
        std::fprintf(stderr, "orvex-dl export: %s holds %d transient records, no record %d\n",
                     qPrintable(input), set.m_trCount, record);
        return CliExit::BadFile;
    }
    ComtradeRecord r = TransientComtrade(set, record - 1);
    r.lineFrequencyHz = frequency;
    r.stationName = args.Has(QStringLiteral("--station")) ? args.Value(QStringLiteral("--station"))
                                                          : QFileInfo(input).completeBaseName();
    r.deviceId = QStringLiteral("Orvex DATA LOGGER");
    QString base = args.Value(QStringLiteral("--comtrade"));
    if (base.endsWith(QLatin1String(".cfg"), Qt::CaseInsensitive) ||
        base.endsWith(QLatin1String(".dat"), Qt::CaseInsensitive))
        base.chop(4);
    for (const char* suffix : {".cfg", ".dat"}) {
        if (QFileInfo(base + QString::fromLatin1(suffix)).canonicalFilePath() ==
            QFileInfo(input).canonicalFilePath()) {
            CliUsageError("export",
                          QStringLiteral("%1%2 would replace the measurement file")
                              .arg(base, QString::fromLatin1(suffix)),
                          usage);
            return CliExit::Usage;
        }
    }
    QString error;
    if (!WriteComtrade(base, r, &error)) {
        std::fprintf(stderr, "orvex-dl export: cannot write %s\n", qPrintable(error));
        return CliExit::Failure;
    }
    return CliExit::Ok;
}
