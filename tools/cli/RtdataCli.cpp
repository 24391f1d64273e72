#include "tools/cli/RtdataCli.h"

#include "base/LocalTime.h"
#include "base/NumberText.h"
#include "base/SafeFile.h"
#include "data/RealTimeCsv.h"
#include "data/RunEnergy.h"
#include "graph/PowerAnalysis.h"
#include "tools/cli/CliCommand.h"
#include "tools/cli/CliSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <optional>

namespace {

// The highest and lowest value of a series with the samples they were taken at; an
// equal later value moves the time, as the running extremes of a live run do.
struct Extreme {
    float maximum = 0, minimum = 0;
    int maxAt = 0, minAt = 0;
};

Extreme ExtremeOf(const std::vector<float>& v) {
    Extreme e;
    for (size_t i = 0; i < v.size(); ++i) {
        if (i == 0 || v[i] >= e.maximum) {
            e.maximum = v[i];
            e.maxAt = int(i);
        }
        if (i == 0 || v[i] <= e.minimum) {
            e.minimum = v[i];
            e.minAt = int(i);
        }
    }
    return e;
}

std::vector<float> ApparentPower(const RtdataImage& r) {
    std::vector<float> va(r.rms[0].size());
    for (size_t i = 0; i < va.size(); ++i)
        va[i] = r.rms[0][i] * r.rms[1][i];
    return va;
}

bool HasPower(const RtdataImage& r) {
    return r.ChannelPresent(0) && r.ChannelPresent(1) && r.kind[0] != r.kind[1];
}

QJsonObject ExtremeJson(const RtdataImage& r, const std::vector<float>& v) {
    const Extreme e = ExtremeOf(v);
    QJsonObject o;
    o[QStringLiteral("maximum")] = double(e.maximum);
    o[QStringLiteral("maximumSample")] = e.maxAt + 1;
    o[QStringLiteral("maximumTime")] = IsoLocalTime(r.times[size_t(e.maxAt)]);
    o[QStringLiteral("minimum")] = double(e.minimum);
    o[QStringLiteral("minimumSample")] = e.minAt + 1;
    o[QStringLiteral("minimumTime")] = IsoLocalTime(r.times[size_t(e.minAt)]);
    return o;
}

// The energy of a run with a voltage and current pair: apparent from the stored RMS
// values (S = Vrms x Irms, as the CSV's s_va), active from each kept waveform's P.
std::optional<RunEnergy> EnergyOf(const RtdataReader& reader) {
    const RtdataImage& r = reader.Image();
    if (!HasPower(r) || r.Count() == 0)
        return std::nullopt;
    RunEnergySum sum(r.interval);
    for (size_t i = 0; i < r.rms[0].size() && i < r.rms[1].size(); ++i)
        sum.AddApparent(r.rms[0][i], r.rms[1][i]);
    if (!reader.HasWaveforms())
        return sum.Result(false);
    const std::array<ChannelKind, 2> kinds = RunChannelKinds(r);
    for (int n = 0; n < r.Count(); ++n) {
        RtWaveform raw{};
        if (!reader.ReadWaveform(n, raw, nullptr))
            continue;
        const std::array<FloatPair, kRtWavePoints> wave = AnalysisWave(raw);
        const auto p = PowerAnalysis(wave, kinds).Power();
        sum.AddActive(p ? std::optional<double>(p->p) : std::nullopt);
    }
    return sum.Result();
}

QJsonObject EnergyJson(const RunEnergy& e) {
    QJsonObject o;
    o[QStringLiteral("apparentVAh")] = e.apparentVah;
    if (e.activeWh) {
        o[QStringLiteral("activeWh")] = *e.activeWh;
        o[QStringLiteral("samplesWithActivePower")] = e.samplesWithPower;
    }
    return o;
}

QJsonObject Json(const QString& path, const RtdataReader& reader) {
    const RtdataImage& r = reader.Image();
    QJsonObject o;
    o[QStringLiteral("file")] = path;
    o[QStringLiteral("tag")] = QString::fromLatin1(kTagRtdata);
    o[QStringLiteral("count")] = r.Count();
    o[QStringLiteral("intervalSeconds")] = r.interval;
    o[QStringLiteral("startTime")] = IsoLocalTime(r.startTime);
    o[QStringLiteral("startTimeText")] = FormatDateTime(r.startTime);
    if (r.Count() > 0) {
        o[QStringLiteral("endTime")] = IsoLocalTime(r.times.back());
        o[QStringLiteral("endTimeText")] = FormatDateTime(r.times.back());
    }
    QJsonArray channels;
    for (int ch = 0; ch < 2; ++ch) {
        QJsonObject c;
        c[QStringLiteral("name")] = ch == 0 ? QStringLiteral("CH1") : QStringLiteral("CH2");
        c[QStringLiteral("present")] = r.ChannelPresent(ch);
        if (r.ChannelPresent(ch)) {
            c[QStringLiteral("unit")] = r.ChannelUnit(ch);
            if (r.Count() > 0) {
                c[QStringLiteral("rms")] = ExtremeJson(r, r.rms[size_t(ch)]);
                c[QStringLiteral("frequency")] = ExtremeJson(r, r.freq[size_t(ch)]);
            }
        }
        channels.append(c);
    }
    o[QStringLiteral("channels")] = channels;
    if (HasPower(r) && r.Count() > 0)
        o[QStringLiteral("apparentPower")] = ExtremeJson(r, ApparentPower(r));
    if (const std::optional<RunEnergy> e = EnergyOf(reader))
        o[QStringLiteral("energy")] = EnergyJson(*e);
    o[QStringLiteral("waveforms")] = reader.HasWaveforms();
    return o;
}

void Line(const char* label, const QString& value) {
    std::printf("%-16s %s\n", label, value.toUtf8().constData());
}

void ExtremeLines(const RtdataImage& r, const std::vector<float>& v, const QString& unit) {
    const Extreme e = ExtremeOf(v);
    auto text = [&](float value, int at) {
        return QStringLiteral("%1 %2 @ %3 (sample %4)")
            .arg(Fixed1(double(value)), unit, FormatDateTime(r.times[size_t(at)]))
            .arg(at + 1);
    };
    Line("    maximum:", text(e.maximum, e.maxAt));
    Line("    minimum:", text(e.minimum, e.minAt));
}

void PrintText(const QString& path, const RtdataReader& reader) {
    const RtdataImage& r = reader.Image();
    Line("File:", path);
    Line("Tag:", QString::fromLatin1(kTagRtdata));
    Line("Samples:", QString::number(r.Count()));
    Line("Interval:", QStringLiteral("%1 s").arg(r.interval));
    Line("Start time:", FormatDateTime(r.startTime));
    if (r.Count() > 0)
        Line("End time:", FormatDateTime(r.times.back()));
    for (int ch = 0; ch < 2; ++ch) {
        const char* name = ch == 0 ? "CH1:" : "CH2:";
        if (!r.ChannelPresent(ch)) {
            Line(name, QStringLiteral("absent"));
            continue;
        }
        Line(name, QStringLiteral("unit %1").arg(r.ChannelUnit(ch)));
        if (r.Count() == 0)
            continue;
        Line("  RMS:", QString());
        ExtremeLines(r, r.rms[size_t(ch)], r.ChannelUnit(ch));
        Line("  frequency:", QString());
        ExtremeLines(r, r.freq[size_t(ch)], QStringLiteral("Hz"));
    }
    if (HasPower(r) && r.Count() > 0) {
        Line("S(VA):", QString());
        ExtremeLines(r, ApparentPower(r), QStringLiteral("VA"));
    }
    if (const std::optional<RunEnergy> e = EnergyOf(reader)) {
        Line("Energy:", QString());
        Line("    apparent:",
             QStringLiteral("%1 VAh").arg(QString::asprintf("%.3f", e->apparentVah)));
        Line("    active:", e->activeWh ? QStringLiteral("%1 Wh (from %2 of %3 samples)")
                                              .arg(QString::asprintf("%.3f", *e->activeWh))
                                              .arg(e->samplesWithPower)
                                              .arg(r.Count())
                                        : QStringLiteral("unknown (no waveforms kept)"));
    }
    Line("Waveforms:", reader.HasWaveforms() ? QStringLiteral("kept") : QStringLiteral("none"));
}

} // namespace

bool IsRealTimeFile(const QString& path) {
    QFile f(path);
    if (f.open(QIODevice::ReadOnly)) {
        const QByteArray head = f.read(7);
        if (head == QByteArray(1, char(6)) + kTagRtdata)
            return true;
    }
    return path.endsWith(QLatin1String(".rtdata"), Qt::CaseInsensitive);
}

int OpenRealTimeRun(const char* command, const QString& path, RtdataReader& reader) {
    const RtdataOutcome o = reader.Open(path);
    if (o.Ok())
        return CliExit::Ok;
    if (o.status == RtdataStatus::WrongTag)
        std::fprintf(stderr, "orvex-dl %s: %s: %s (not a real-time run: its tag is not \"%s\")\n",
                     command, qPrintable(path), qPrintable(o.message), kTagRtdata);
    else
        std::fprintf(stderr, "orvex-dl %s: %s\n", command, qPrintable(o.message));
    return CliExit::BadFile;
}

int PrintRealTimeInfo(const QString& path, bool json) {
    RtdataReader reader;
    if (const int r = OpenRealTimeRun("info", path, reader); r != CliExit::Ok)
        return r;
    if (json)
        std::printf("%s",
                    QJsonDocument(Json(path, reader)).toJson(QJsonDocument::Indented).constData());
    else
        PrintText(path, reader);
    return CliExit::Ok;
}

std::array<ChannelKind, 2> RunChannelKinds(const RtdataImage& run) {
    std::array<ChannelKind, 2> kinds{};
    for (size_t ch = 0; ch < 2; ++ch)
        kinds[ch] = run.kind[ch] == kChannelVolts  ? ChannelKind::Volts
                    : run.kind[ch] == kChannelAmps ? ChannelKind::Amps
                                                   : ChannelKind::Absent;
    return kinds;
}

std::array<FloatPair, kRtWavePoints> AnalysisWave(const RtWaveform& raw) {
    std::array<FloatPair, kRtWavePoints> wave{};
    for (size_t i = 0; i < wave.size(); ++i)
        wave[i] = {float(raw[i][0]), float(raw[i][1])};
    return wave;
}

RtPowerRow RunPowerRow(const RtdataReader& reader, int n) {
    RtWaveform raw{};
    if (!reader.HasWaveforms() || !reader.ReadWaveform(n, raw, nullptr))
        return {};
    const std::array<FloatPair, kRtWavePoints> wave = AnalysisWave(raw);
    return MakePowerRow(PowerAnalysis(wave, RunChannelKinds(reader.Image())));
}

int SampleWaveformArg(const char* command, const CliArgs& args, const QString& input,
                      const RtdataReader& reader, const char* usage, int& index, RtWaveform& wave) {
    if (!args.Has(QStringLiteral("--sample"))) {
        CliUsageError(command, QStringLiteral("--sample is required"), usage);
        return CliExit::Usage;
    }
    const int count = reader.Image().Count();
    bool ok = false;
    const int sample = args.Value(QStringLiteral("--sample")).toInt(&ok);
    if (!ok || sample < 1 || sample > count) {
        CliUsageError(command,
                      count > 0
                          ? QStringLiteral("--sample takes an integer between 1 and %1").arg(count)
                          : QStringLiteral("%1 holds no sample").arg(input),
                      usage);
        return CliExit::Usage;
    }
    if (!reader.HasWaveforms()) {
        std::fprintf(stderr, "orvex-dl %s: %s keeps no waveforms\n", command, qPrintable(input));
        return CliExit::BadFile;
    }
    QString error;
    if (!reader.ReadWaveform(sample - 1, wave, &error)) {
        std::fprintf(stderr, "orvex-dl %s: %s: %s\n", command, qPrintable(input),
                     qPrintable(error));
        return CliExit::Failure;
    }
    index = sample - 1;
    return CliExit::Ok;
}

int ExportRealTimeCsv(const QString& input, const QString& output) {
    RtdataReader reader;
    if (const int r = OpenRealTimeRun("export", input, reader); r != CliExit::Ok)
        return r;
    QByteArray text = RealTimeCsvHeader().toUtf8() + '\n';
    for (int i = 0; i < reader.Image().Count(); ++i)
        text += RealTimeCsvLine(reader.Image(), i, RunPowerRow(reader, i)).toUtf8() + '\n';
    QString error;
    if (!WriteFileAtomically(output, text, &error)) {
        std::fprintf(stderr, "orvex-dl export: cannot write %s: %s\n", qPrintable(output),
                     qPrintable(error));
        return CliExit::Failure;
    }
    return CliExit::Ok;
}
