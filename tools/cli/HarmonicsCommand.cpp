// orvex-dl harmonics FILE.rtdata --sample N [--json]: the harmonic orders of both
// channels of one sample of a run, computed again from its kept waveform by the same
// analysis as the Harmonics window.

#include "base/LocalTime.h"
#include "data/RealTimeCsv.h"
#include "graph/HarmonicsReport.h"
#include "tools/cli/CliCommand.h"
#include "tools/cli/CliSupport.h"
#include "tools/cli/RtdataCli.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace {

const char* const kUsage =
    "Usage: orvex-dl harmonics FILE.rtdata --sample|-s N [--json]\n\n"
    "Prints, for sample N (counted from 1) of a real-time run, the harmonic orders\n"
    "1 to 50 of each present channel: the amplitude (peak, in the channel's unit),\n"
    "its share of the fundamental in percent and its phase in degrees against the\n"
    "voltage's fundamental (the channel's own without a voltage), and the total\n"
    "harmonic distortion. A channel without a usable signal says so. --json prints\n"
    "one JSON object for scripts.\n"
    "Exit codes: 0 printed, 1 the waveform cannot be read, 2 bad arguments, 7 the\n"
    "file is missing, unreadable, damaged, not a real-time run or keeps no\n"
    "waveforms.\n";

using Spectra = std::array<std::optional<HarmonicSpectrum>, 2>;

QJsonObject ChannelJson(const RtdataImage& run, int ch, const std::optional<HarmonicSpectrum>& h) {
    QJsonObject o;
    o[QStringLiteral("name")] = ch == 0 ? QStringLiteral("CH1") : QStringLiteral("CH2");
    o[QStringLiteral("present")] = run.ChannelPresent(ch);
    if (!run.ChannelPresent(ch))
        return o;
    o[QStringLiteral("unit")] = run.ChannelUnit(ch);
    o[QStringLiteral("usable")] = h.has_value();
    if (!h)
        return o;
    o[QStringLiteral("thdPercent")] = h->thdPercent;
    QJsonArray orders;
    for (int k = 0; k < h->orders; ++k) {
        const HarmonicOrder& order = h->order[size_t(k)];
        QJsonObject x;
        x[QStringLiteral("order")] = k + 1;
        x[QStringLiteral("amplitude")] = order.amplitude;
        x[QStringLiteral("percent")] = order.percent;
        x[QStringLiteral("phaseDeg")] = order.phaseDeg;
        orders.append(x);
    }
    o[QStringLiteral("orders")] = orders;
    return o;
}

void PrintJson(const QString& input, const RtdataImage& run, int index, const Spectra& spectra) {
    QJsonObject o;
    o[QStringLiteral("file")] = input;
    o[QStringLiteral("sample")] = index + 1;
    o[QStringLiteral("time")] = IsoLocalTime(run.times[size_t(index)]);
    QJsonArray channels;
    for (int ch = 0; ch < 2; ++ch)
        channels.append(ChannelJson(run, ch, spectra[size_t(ch)]));
    o[QStringLiteral("channels")] = channels;
    std::printf("%s", QJsonDocument(o).toJson(QJsonDocument::Indented).constData());
}

void PrintChannel(const RtdataImage& run, int ch, const std::optional<HarmonicSpectrum>& h) {
    const char* name = ch == 0 ? "CH1" : "CH2";
    if (!run.ChannelPresent(ch)) {
        std::printf("%s: absent\n", name);
        return;
    }
    const QString unit = run.ChannelUnit(ch);
    if (!h) {
        std::printf("%s (%s): no usable signal\n", name, qPrintable(unit));
        return;
    }
    // The Harmonics window shows the same figures.
    std::printf("%s (%s): THD %s %%\n", name, qPrintable(unit), qPrintable(ThdText(h)));
    std::printf("%5s %12s %9s %8s\n", "order", "amplitude", "%", "phase");
    for (int k = 0; k < h->orders; ++k) {
        const HarmonicCells cells = OrderCells(h->order[size_t(k)]);
        std::printf("%5d %10s %s %9s %8s\n", k + 1, qPrintable(cells.amplitude), qPrintable(unit),
                    qPrintable(cells.percent), qPrintable(cells.phase));
    }
}

int Run(const QStringList& args) {
    int exitCode = CliExit::Ok;
    const auto parsed =
        ParseCliArgs("harmonics", args, {{{"--sample", "-s"}, true}, {{"--json"}, false}}, 1, 1,
                     kUsage, exitCode);
    if (!parsed)
        return exitCode;
    if (!parsed->Has("--sample")) {
        CliUsageError("harmonics", QStringLiteral("--sample is required"), kUsage);
        return CliExit::Usage;
    }
    const QString input = parsed->files.first();
    RtdataReader reader;
    if (const int r = OpenRealTimeRun("harmonics", input, reader); r != CliExit::Ok)
        return r;
    int index = 0;
    RtWaveform raw{};
    if (const int r = SampleWaveformArg("harmonics", *parsed, input, reader, kUsage, index, raw);
        r != CliExit::Ok)
        return r;
    const RtdataImage& run = reader.Image();
    const std::array<FloatPair, kRtWavePoints> wave = AnalysisWave(raw);
    const Spectra spectra = PowerAnalysis(wave, RunChannelKinds(run)).Spectra();
    if (parsed->Has("--json")) {
        PrintJson(input, run, index, spectra);
        return CliExit::Ok;
    }
    std::printf("# sample %d of %d, %s\n", index + 1, run.Count(),
                qPrintable(FormatDateTime(run.times[size_t(index)])));
    for (int ch = 0; ch < 2; ++ch)
        PrintChannel(run, ch, spectra[size_t(ch)]);
    return CliExit::Ok;
}

const CliRegistration kRegistration{
    {"harmonics",
     "harmonic orders and THD of one sample of a .rtdata file (harmonics FILE --sample N)", Run}};

} // namespace
