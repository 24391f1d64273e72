// orvex-dl stats FILE.stdata [--nominal 230] [--json]: statistics of a recording and
// the supply-voltage summary of its voltage channels.

#include "base/LocalTime.h"
#include "base/NumberText.h"
#include "data/MeasurementSet.h"
#include "data/RecordingStatistics.h"
#include "data/StatisticsText.h"
#include "tools/cli/CliCommand.h"
#include "tools/cli/CliSupport.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

const char* const kUsage =
    "Usage: orvex-dl stats FILE.stdata [--nominal VOLTS] [--json]\n\n"
    "Prints the statistics of each channel of a measurement file (count, extremes,\n"
    "mean, RMS mean, standard deviation, percentiles) and, for a voltage channel, the\n"
    "supply-voltage summary against the nominal voltage: 10-minute values, the share\n"
    "within +-10 %, dips, swells and interruptions; with a voltage and a current\n"
    "channel also the apparent energy. --json prints one JSON object for scripts.\n\n"
    "  --nominal VOLTS   nominal voltage, 100 to 1000 (default 230)\n"
    "  --json            one JSON object instead of the text\n\n"
    "Exit codes: 0 shown, 2 bad arguments, 7 the file is missing, unreadable,\n"
    "damaged or not a stored RMS/TR measurement.\n";

QString IsoTime(TimeValue t) {
    const QDateTime local = QDateTime::fromSecsSinceEpoch(t);
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate);
}

// A recorded value as the number it was stored as: 0.2f is written 0.2, not
// 0.20000000298023224.
double Stored(double v) {
    if (!std::isfinite(v))
        return v;
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, float(v));
    double d = v;
    std::from_chars(buf, r.ptr, d);
    return d;
}

QJsonObject At(const ValueAt& v, bool stored = true) {
    return QJsonObject{{QStringLiteral("value"), stored ? Stored(v.value) : v.value},
                       {QStringLiteral("time"), IsoTime(v.time)}};
}

QJsonValue Figure(const ChannelStatistics& c, double v) {
    return c.hasValues ? QJsonValue(v) : QJsonValue(QJsonValue::Null);
}

QJsonObject VoltageJson(const VoltageSummary& v, double intervalS) {
    QJsonObject o;
    o[QStringLiteral("nominal")] = v.nominal;
    if (v.tenMinute) {
        const TenMinuteSummary& t = *v.tenMinute;
        o[QStringLiteral("ten_minute")] =
            QJsonObject{{QStringLiteral("complete"), double(t.complete)},
                        {QStringLiteral("incomplete"), double(t.incomplete)},
                        {QStringLiteral("within_share"), t.withinShare},
                        {QStringLiteral("within_limit"), t.withinLimit},
                        {QStringLiteral("verdict"), TenMinuteVerdictText(t)},
                        {QStringLiteral("highest"), At(t.highest, false)},
                        {QStringLiteral("lowest"), At(t.lowest, false)}};
    } else {
        o[QStringLiteral("ten_minute")] = QJsonValue(QJsonValue::Null);
        o[QStringLiteral("ten_minute_reason")] = TenMinuteAbsenceText(v.absence, intervalS);
    }
    QJsonArray events;
    for (const VoltageEvent& e : v.events)
        events.append(QJsonObject{{QStringLiteral("kind"), EventKindName(e.kind)},
                                  {QStringLiteral("start"), IsoTime(e.start)},
                                  {QStringLiteral("duration_s"), e.durationS},
                                  {QStringLiteral("samples"), double(e.samples)},
                                  {QStringLiteral("extreme"), Stored(e.extreme)}});
    o[QStringLiteral("events")] = events;
    o[QStringLiteral("dips")] = double(v.dips);
    o[QStringLiteral("swells")] = double(v.swells);
    o[QStringLiteral("interruptions")] = double(v.interruptions);
    return o;
}

QJsonObject ChannelJson(const ChannelStatistics& c, double intervalS) {
    QJsonObject o;
    o[QStringLiteral("channel")] = c.channel;
    o[QStringLiteral("unit")] = c.unit;
    o[QStringLiteral("count")] = double(c.count);
    o[QStringLiteral("covered_s")] = c.coveredS;
    o[QStringLiteral("lost")] = double(c.lost);
    o[QStringLiteral("unusable")] = double(c.unusable);
    o[QStringLiteral("min")] = c.hasValues ? QJsonValue(At(c.min)) : QJsonValue();
    o[QStringLiteral("max")] = c.hasValues ? QJsonValue(At(c.max)) : QJsonValue();
    o[QStringLiteral("mean")] = Figure(c, c.mean);
    o[QStringLiteral("rms_mean")] = Figure(c, c.rmsMean);
    o[QStringLiteral("std")] = Figure(c, c.std);
    QJsonObject p;
    for (size_t i = 0; i < kPercentileRanks.size(); ++i)
        p[QStringLiteral("p%1").arg(kPercentileRanks[i])] = Figure(c, Stored(c.percentiles[i]));
    o[QStringLiteral("percentiles")] = c.hasValues ? QJsonValue(p) : QJsonValue();
    if (c.voltage)
        o[QStringLiteral("voltage")] = VoltageJson(*c.voltage, intervalS);
    return o;
}

QJsonObject Json(const QString& path, const RecordingStatistics& s) {
    QJsonObject o;
    o[QStringLiteral("file")] = path;
    o[QStringLiteral("start")] = IsoTime(s.start);
    o[QStringLiteral("interval_s")] = s.intervalS;
    o[QStringLiteral("count")] = double(s.count);
    QJsonArray channels;
    for (const ChannelStatistics& c : s.channels)
        channels.append(ChannelJson(c, s.intervalS));
    o[QStringLiteral("channels")] = channels;
    if (s.energy)
        o[QStringLiteral("energy")] =
            QJsonObject{{QStringLiteral("apparent_vah"), s.energy->apparentVah},
                        {QStringLiteral("mean_va"), s.energy->meanVa},
                        {QStringLiteral("peak_va"), s.energy->peak.value},
                        {QStringLiteral("peak_time"), IsoTime(s.energy->peak.time)}};
    return o;
}

void PrintText(const QString& path, const RecordingStatistics& s) {
    std::printf("File:       %s\n", path.toUtf8().constData());
    std::printf("Start time: %s\n", FormatDateTime(s.start).toUtf8().constData());
    std::printf("Interval:   %s s\n", Fixed1(s.intervalS).toUtf8().constData());
    std::printf("Samples:    %lld\n\n", static_cast<long long>(s.count));
    if (s.channels.empty()) {
        std::printf("No channel recorded.\n");
        return;
    }
    std::printf("%s", FiguresTable(s).ToAligned().toUtf8().constData());
    const std::vector<ListedEvent> events = ListedEvents(s);
    if (!events.empty())
        std::printf("\nEvents:\n%s", EventsTable(events).ToAligned().toUtf8().constData());
}

int Run(const QStringList& args) {
    int exitCode = CliExit::Ok;
    const auto parsed = ParseCliArgs("stats", args, {{{"--nominal"}, true}, {{"--json"}, false}}, 1,
                                     1, kUsage, exitCode);
    if (!parsed)
        return exitCode;
    double nominal = kNominalDefault;
    if (parsed->Has("--nominal")) {
        bool ok = false;
        nominal = parsed->Value("--nominal").toDouble(&ok);
        if (!ok || !(nominal >= kNominalLowest && nominal <= kNominalHighest)) {
            CliUsageError("stats", QStringLiteral("--nominal must be 100 to 1000 (volts)"), kUsage);
            return CliExit::Usage;
        }
    }
    const QString input = parsed->files.first();
    MeasurementSet set;
    if (const int r = LoadStoredMeasurement("stats", input, set); r != CliExit::Ok)
        return r;
    const RecordingStatistics s = ComputeStatistics(StatisticsViewOf(set), nominal);
    if (parsed->Has("--json"))
        std::printf("%s",
                    QJsonDocument(Json(input, s)).toJson(QJsonDocument::Indented).constData());
    else
        PrintText(input, s);
    return CliExit::Ok;
}

const CliRegistration kRegistration{
    {"stats", "statistics and voltage summary (stats FILE.stdata [--nominal V] [--json])", Run}};

} // namespace
