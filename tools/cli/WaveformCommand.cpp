// orvex-dl waveform FILE.rtdata --sample N [--csv]: the captured waveform behind one
// sample of a real-time run, read from the file without loading the others.

#include "base/LocalTime.h"
#include "graph/WaveformAnalysis.h"
#include "tools/cli/CliCommand.h"
#include "tools/cli/CliSupport.h"
#include "tools/cli/RtdataCli.h"

#include <cstdio>

namespace {

const char* const kUsage =
    "Usage: orvex-dl waveform FILE.rtdata --sample|-s N [--csv]\n\n"
    "Prints the waveform captured for sample N (counted from 1, as the data list\n"
    "counts) of a real-time run: its 590 points with their time in ms from the\n"
    "start of the capture and the values of CH1 and CH2 as the logger sent them\n"
    "(an absent channel's column is empty). --csv prints a header line\n"
    "ms,ch1,ch2 and comma-separated lines instead of aligned columns.\n"
    "Exit codes: 0 printed, 1 the waveform cannot be read, 2 bad arguments, 7 the\n"
    "file is missing, unreadable, damaged, not a real-time run or keeps no\n"
    "waveforms.\n";

QString Value(const RtdataImage& r, int ch, int16_t v) {
    return r.ChannelPresent(ch) ? QString::number(v) : QString();
}

void Print(const RtdataImage& r, int sample, const RtWaveform& w, bool csv) {
    if (csv) {
        std::printf("ms,ch1,ch2\n");
    } else {
        std::printf("# sample %d of %d, %s; CH1 %s, CH2 %s\n", sample, r.Count(),
                    qPrintable(FormatDateTime(r.times[size_t(sample - 1)])),
                    r.ChannelPresent(0) ? qPrintable(r.ChannelUnit(0)) : "absent",
                    r.ChannelPresent(1) ? qPrintable(r.ChannelUnit(1)) : "absent");
        std::printf("%10s %7s %7s\n", "ms", "CH1", "CH2");
    }
    for (int i = 0; i < kRtWavePoints; ++i) {
        const QString ms = QString::asprintf("%.5f", i * kWaveSampleMs);
        const QString a = Value(r, 0, w[size_t(i)][0]);
        const QString b = Value(r, 1, w[size_t(i)][1]);
        if (csv)
            std::printf("%s,%s,%s\n", qPrintable(ms), qPrintable(a), qPrintable(b));
        else
            std::printf("%10s %7s %7s\n", qPrintable(ms), qPrintable(a.isEmpty() ? "-" : a),
                        qPrintable(b.isEmpty() ? "-" : b));
    }
}

int Run(const QStringList& args) {
    int exitCode = CliExit::Ok;
    const auto parsed = ParseCliArgs(
        "waveform", args, {{{"--sample", "-s"}, true}, {{"--csv"}, false}}, 1, 1, kUsage, exitCode);
    if (!parsed)
        return exitCode;
    if (!parsed->Has("--sample")) {
        CliUsageError("waveform", QStringLiteral("--sample is required"), kUsage);
        return CliExit::Usage;
    }
    const QString input = parsed->files.first();
    RtdataReader reader;
    if (const int r = OpenRealTimeRun("waveform", input, reader); r != CliExit::Ok)
        return r;
    int index = 0;
    RtWaveform w{};
    if (const int r = SampleWaveformArg("waveform", *parsed, input, reader, kUsage, index, w);
        r != CliExit::Ok)
        return r;
    const RtdataImage& run = reader.Image();
    const int sample = index + 1;
    Print(run, sample, w, parsed->Has("--csv"));
    return CliExit::Ok;
}

const CliRegistration kRegistration{
    {"waveform", "the captured waveform of one sample of a .rtdata file (waveform FILE --sample N)",
     Run}};

} // namespace
