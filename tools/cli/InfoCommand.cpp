// orvex-dl info FILE.stdata [--json]: what a measurement file holds.

#include "base/LocalTime.h"
#include "base/NumberText.h"
#include "data/ReportWriter.h"
#include "data/StdataFile.h"
#include "tools/cli/CliCommand.h"
#include "tools/cli/CliSupport.h"
#include "tools/cli/RtdataCli.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace {

const char* const kUsage =
    "Usage: orvex-dl info FILE.stdata|FILE.rtdata [--json]\n\n"
    "Prints the counts, channels, units, interval, start time, extremes and TR\n"
    "levels of a measurement file; of a real-time run its sample count, interval,\n"
    "channels and units, start and end time, the extremes with their times and\n"
    "whether its waveforms are kept. --json prints one JSON object for scripts.\n"
    "Exit codes: 0 shown, 2 bad arguments, 7 the file is missing, unreadable,\n"
    "damaged or not a stored RMS/TR measurement.\n";

// ISO 8601 with the local offset, for scripts; the display text is beside it.
QString IsoTime(TimeValue t) {
    return QDateTime::fromSecsSinceEpoch(t)
        .toOffsetFromUtc(QDateTime::fromSecsSinceEpoch(t).offsetFromUtc())
        .toString(Qt::ISODate);
}

QJsonObject Json(const QString& path, const MeasurementSet& s) {
    QJsonObject o;
    o[QStringLiteral("file")] = path;
    o[QStringLiteral("tag")] = s.FileTag();
    o[QStringLiteral("rmsCount")] = s.RmsCount();
    o[QStringLiteral("intervalSeconds")] = double(s.RmsInterval());
    o[QStringLiteral("startTime")] = IsoTime(s.StartTime());
    o[QStringLiteral("startTimeText")] = FormatDateTime(s.StartTime());
    QJsonArray channels;
    for (int ch = 0; ch < 2; ++ch) {
        QJsonObject c;
        c[QStringLiteral("name")] = ch == 0 ? QStringLiteral("CH1") : QStringLiteral("CH2");
        c[QStringLiteral("present")] = s.ChannelPresent(ch);
        if (s.ChannelPresent(ch)) {
            c[QStringLiteral("unit")] = s.ChannelUnit(ch);
            c[QStringLiteral("maximum")] = s.ExtremeText(0, ch);
            c[QStringLiteral("minimum")] = s.ExtremeText(1, ch);
        }
        channels.append(c);
    }
    o[QStringLiteral("channels")] = channels;
    o[QStringLiteral("trCount")] = s.TrCount();
    if (s.TrCount() > 0) {
        o[QStringLiteral("firstTrTime")] = IsoTime(s.TrTimes().front());
        o[QStringLiteral("lastTrTime")] = IsoTime(s.TrTimes().back());
    }
    o[QStringLiteral("trLevelHigh")] = double(s.TrLevelHigh());
    o[QStringLiteral("trLevelLow")] = double(s.TrLevelLow());
    o[QStringLiteral("reportEntries")] = double(ReportEntryCount(s));
    return o;
}

void PrintText(const QString& path, const MeasurementSet& s) {
    auto line = [](const char* label, const QString& value) {
        std::printf("%-16s %s\n", label, value.toUtf8().constData());
    };
    line("File:", path);
    line("Tag:", s.FileTag());
    line("RMS samples:", QString::number(s.RmsCount()));
    line("Interval:", Fixed1(s.RmsInterval()) + QStringLiteral(" s"));
    line("Start time:", FormatDateTime(s.StartTime()));
    for (int ch = 0; ch < 2; ++ch) {
        const char* name = ch == 0 ? "CH1:" : "CH2:";
        if (!s.ChannelPresent(ch)) {
            line(name, QStringLiteral("absent"));
            continue;
        }
        line(name, QStringLiteral("unit %1").arg(s.ChannelUnit(ch)));
        line("  maximum:", s.ExtremeText(0, ch));
        line("  minimum:", s.ExtremeText(1, ch));
    }
    line("TR records:", QString::number(s.TrCount()));
    if (s.TrCount() > 0)
        line("  first, last:", FormatDateTime(s.TrTimes().front()) + QStringLiteral(", ") +
                                   FormatDateTime(s.TrTimes().back()));
    line("TR levels:",
         QStringLiteral("high %1, low %2").arg(Fixed0(s.TrLevelHigh()), Fixed0(s.TrLevelLow())));
    line("Report entries:", QString::number(ReportEntryCount(s)));
}

int Run(const QStringList& args) {
    int exitCode = CliExit::Ok;
    const auto parsed = ParseCliArgs("info", args, {{{"--json"}, false}}, 1, 1, kUsage, exitCode);
    if (!parsed)
        return exitCode;
    const QString input = parsed->files.first();
    const bool json = parsed->Has("--json");
    if (IsRealTimeFile(input))
        return PrintRealTimeInfo(input, json);
    MeasurementSet set;
    if (const int r = LoadStoredMeasurement("info", input, set); r != CliExit::Ok)
        return r;
    if (json)
        std::printf("%s",
                    QJsonDocument(Json(input, set)).toJson(QJsonDocument::Indented).constData());
    else
        PrintText(input, set);
    return CliExit::Ok;
}

const CliRegistration kRegistration{
    {"info", "summary of a .stdata or .rtdata file (info FILE [--json])", Run}};

} // namespace
