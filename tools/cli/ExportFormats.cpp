#include "tools/cli/ExportFormats.h"

#include "base/SafeFile.h"
#include "data/Comtrade.h"
#include "data/LineFormats.h"
#include "data/MeasurementSet.h"
#include "tools/cli/CliCommand.h"
#include "tools/cli/CliSupport.h"
#include "tools/cli/RtdataCli.h"

#include <QFileInfo>

#include <cstdio>
#include <optional>

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

// Writes `count` samples, sample i from `sampleAt(i)`, as JSON Lines or line protocol
// (tagged with the input's file name) to `output`, or to stdout when it is empty.
template <typename SampleAt>
int WriteSampleLines(int count, SampleAt sampleAt, const QString& format, const QString& input,
                     const QString& output) {
    const bool influx = format == QLatin1String("influx");
    const LineTags tags{{QStringLiteral("file"), QFileInfo(input).fileName()}};
    QByteArray out;
    for (int i = 0; i < count; ++i) {
        const LineSample s = sampleAt(i);
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

} // namespace

int ExportLines(const MeasurementSet& set, const QString& format, const QString& input,
                const QString& output) {
    return WriteSampleLines(
        set.RmsCount(), [&set](int i) { return StoredRmsSample(set, i); }, format, input, output);
}

namespace {

// What --comtrade writes besides the record itself.
struct ComtradeTarget {
    std::optional<double> frequency; // --frequency, else the record's own
    QString station;
    QString base; // OUT without .cfg or .dat
};

// --frequency, --station and the base name of --comtrade; nothing after a usage error.
std::optional<ComtradeTarget> ComtradeTargetOf(const CliArgs& args, const QString& input,
                                               const char* usage) {
    ComtradeTarget t;
    if (args.Has(QStringLiteral("--frequency"))) {
        bool ok = false;
        const double frequency = args.Value(QStringLiteral("--frequency")).toDouble(&ok);
        if (!ok || !(frequency > 0) || frequency > kLargestLineFrequencyHz) {
            CliUsageError("export", QStringLiteral("--frequency takes a number above 0 up to 1000"),
                          usage);
            return std::nullopt;
        }
        t.frequency = frequency;
    }
    t.station = args.Has(QStringLiteral("--station"))
                    ? args.Value(QStringLiteral("--station"))
                    : ComtradeStation(input, QStringLiteral("logger"));
    t.base = ComtradeBase(args.Value(QStringLiteral("--comtrade")));
    for (const char* suffix : {".cfg", ".dat"}) {
        if (QFileInfo(t.base + QString::fromLatin1(suffix)).canonicalFilePath() ==
            QFileInfo(input).canonicalFilePath()) {
            CliUsageError("export",
                          QStringLiteral("%1%2 would replace the measurement file")
                              .arg(t.base, QString::fromLatin1(suffix)),
                          usage);
            return std::nullopt;
        }
    }
    return t;
}

int WriteRecord(ComtradeRecord r, const ComtradeTarget& t) {
    if (t.frequency)
        r.lineFrequencyHz = *t.frequency;
    NameComtrade(r, t.station);
    QString error;
    if (!WriteComtrade(t.base, r, &error)) {
        std::fprintf(stderr, "orvex-dl export: cannot write %s\n", qPrintable(error));
        return CliExit::Failure;
    }
    return CliExit::Ok;
}

} // namespace

int ExportComtrade(const MeasurementSet& set, const CliArgs& args, const QString& input,
                   const char* usage) {
    if (args.Has(QStringLiteral("--sample"))) {
        CliUsageError("export", QStringLiteral("--sample is for a real-time run; use --tr"), usage);
        return CliExit::Usage;
    }
    bool ok = false;
    const int record = args.Value(QStringLiteral("--tr")).toInt(&ok);
    if (!ok || record < 1) {
        CliUsageError("export", QStringLiteral("--comtrade needs --tr N, a record from 1"), usage);
        return CliExit::Usage;
    }
    const std::optional<ComtradeTarget> target = ComtradeTargetOf(args, input, usage);
    if (!target)
        return CliExit::Usage;
    if (record > set.TrCount()) {
        std::fprintf(stderr, "orvex-dl export: %s holds %d transient records, no record %d\n",
                     qPrintable(input), set.TrCount(), record);
        return CliExit::BadFile;
    }
    return WriteRecord(TransientComtrade(set, record - 1), *target);
}

int ExportRunLines(const RtdataReader& reader, const QString& format, const QString& input,
                   const QString& output) {
    return WriteSampleLines(
        reader.Image().Count(),
        [&reader](int i) { return RunLineSample(reader.Image(), i, RunPowerRow(reader, i)); },
        format, input, output);
}

int ExportRunComtrade(const RtdataReader& reader, const CliArgs& args, const QString& input,
                      const char* usage) {
    if (args.Has(QStringLiteral("--tr"))) {
        CliUsageError("export", QStringLiteral("--tr is for a stored measurement; use --sample"),
                      usage);
        return CliExit::Usage;
    }
    const std::optional<ComtradeTarget> target = ComtradeTargetOf(args, input, usage);
    if (!target)
        return CliExit::Usage;
    int index = 0;
    RtWaveform wave{};
    if (const int r = SampleWaveformArg("export", args, input, reader, usage, index, wave);
        r != CliExit::Ok)
        return r;
    ComtradeRecord r = RunSampleComtrade(reader.Image(), index, wave);
    if (r.channels.empty()) {
        std::fprintf(stderr, "orvex-dl export: %s has no channel to export\n", qPrintable(input));
        return CliExit::BadFile;
    }
    return WriteRecord(std::move(r), *target);
}
