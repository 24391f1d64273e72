#include "data/StatisticsText.h"

#include "base/LocalTime.h"
#include "base/NumberText.h"

#include <algorithm>
#include <cmath>

namespace {

QString ValueText(double v, const QString& unit) {
    return Fixed1(v) + QLatin1Char(' ') + unit;
}

QString AtText(const ValueAt& v, const QString& unit) {
    return ValueText(v.value, unit) + QStringLiteral(" @") + FormatDateTime(v.time);
}

QString PercentText(double share) {
    return Fixed1(std::floor(share * 1000.0) / 10.0) + QStringLiteral(" %");
}

// Adds a row whose cell for channel column `col` comes from `cell`; columns of
// channels that have nothing to say stay empty.
template <typename Cell>
void AddRow(TextTable& t, const RecordingStatistics& s, const QString& label, Cell cell) {
    QStringList row{label};
    bool any = false;
    for (const ChannelStatistics& c : s.channels) {
        const QString text = cell(c);
        any = any || !text.isEmpty();
        row << text;
    }
    if (any)
        t.rows.push_back(row);
}

void AddChannelRows(TextTable& t, const RecordingStatistics& s) {
    AddRow(t, s, QStringLiteral("Samples"),
           [](const ChannelStatistics& c) { return QString::number(c.count); });
    AddRow(t, s, QStringLiteral("Time covered"),
           [](const ChannelStatistics& c) { return DurationText(c.coveredS); });
    AddRow(t, s, QStringLiteral("Samples lost"),
           [](const ChannelStatistics& c) { return QString::number(c.lost); });
    AddRow(t, s, QStringLiteral("Unusable samples"), [](const ChannelStatistics& c) {
        return c.unusable > 0 ? QString::number(c.unusable) : QString();
    });
    auto figure = [&](const char* label, auto get) {
        AddRow(t, s, QString::fromUtf8(label),
               [&](const ChannelStatistics& c) { return c.hasValues ? get(c) : QString(); });
    };
    figure("Minimum", [](const ChannelStatistics& c) { return AtText(c.min, c.unit); });
    figure("Maximum", [](const ChannelStatistics& c) { return AtText(c.max, c.unit); });
    figure("Mean", [](const ChannelStatistics& c) { return ValueText(c.mean, c.unit); });
    figure("RMS mean", [](const ChannelStatistics& c) { return ValueText(c.rmsMean, c.unit); });
    figure("Standard deviation",
           [](const ChannelStatistics& c) { return ValueText(c.std, c.unit); });
    for (size_t p = 0; p < kPercentileRanks.size(); ++p) {
        const QByteArray label = "P" + QByteArray::number(kPercentileRanks[p]);
        figure(label.constData(),
               [p](const ChannelStatistics& c) { return ValueText(c.percentiles[p], c.unit); });
    }
}

void AddVoltageRows(TextTable& t, const RecordingStatistics& s) {
    auto voltage = [&](const char* label, auto get) {
        AddRow(t, s, QString::fromUtf8(label), [&](const ChannelStatistics& c) {
            return c.voltage ? get(*c.voltage, c) : QString();
        });
    };
    voltage("Nominal voltage", [](const VoltageSummary& v, const ChannelStatistics&) {
        return Fixed0(v.nominal) + QStringLiteral(" V");
    });
    voltage("10-minute values", [&](const VoltageSummary& v, const ChannelStatistics&) {
        if (!v.tenMinute)
            return QStringLiteral("not given: ") + TenMinuteAbsenceText(v.absence, s.intervalS);
        return QStringLiteral("%1 complete, %2 incomplete")
            .arg(v.tenMinute->complete)
            .arg(v.tenMinute->incomplete);
    });
    auto ten = [&](const char* label, auto get) {
        voltage(label, [&](const VoltageSummary& v, const ChannelStatistics& c) {
            return v.tenMinute ? get(*v.tenMinute, c) : QString();
        });
    };
    ten("Within ±10 %", [](const TenMinuteSummary& m, const ChannelStatistics&) {
        return PercentText(m.withinShare);
    });
    ten("Verdict", [](const TenMinuteSummary& m, const ChannelStatistics&) {
        return TenMinuteVerdictText(m);
    });
    ten("Highest 10-minute value", [](const TenMinuteSummary& m, const ChannelStatistics& c) {
        return AtText(m.highest, c.unit);
    });
    ten("Lowest 10-minute value", [](const TenMinuteSummary& m, const ChannelStatistics& c) {
        return AtText(m.lowest, c.unit);
    });
    voltage("Dips", [](const VoltageSummary& v, const ChannelStatistics&) {
        return QString::number(v.dips);
    });
    voltage("Swells", [](const VoltageSummary& v, const ChannelStatistics&) {
        return QString::number(v.swells);
    });
    voltage("Interruptions", [](const VoltageSummary& v, const ChannelStatistics&) {
        return QString::number(v.interruptions);
    });
}

QString Padded(const QString& s, qsizetype width) {
    return s + QString(std::max<qsizetype>(0, width - s.size()), QLatin1Char(' '));
}

} // namespace

QString DurationText(double seconds) {
    const int64_t total = std::isfinite(seconds) ? int64_t(std::llround(seconds)) : 0;
    const int64_t days = total / 86400;
    const int64_t rest = total % 86400;
    const QString clock =
        QString::asprintf("%02d:%02d:%02d", int(rest / 3600), int(rest / 60 % 60), int(rest % 60));
    return days > 0 ? QStringLiteral("%1 d %2").arg(days).arg(clock) : clock;
}

TextTable FiguresTable(const RecordingStatistics& s) {
    TextTable t;
    t.header << QStringLiteral("Figure");
    for (const ChannelStatistics& c : s.channels)
        t.header << QStringLiteral("CH%1 (%2)").arg(c.channel).arg(c.unit);
    AddChannelRows(t, s);
    AddVoltageRows(t, s);
    if (s.energy) {
        const EnergySummary& e = *s.energy;
        QStringList pad;
        for (size_t i = 1; i < s.channels.size(); ++i)
            pad << QString();
        t.rows.push_back(QStringList{QStringLiteral("Apparent energy"),
                                     Fixed1(e.apparentVah) + QStringLiteral(" VAh")} +
                         pad);
        t.rows.push_back(QStringList{QStringLiteral("Mean apparent power"),
                                     Fixed1(e.meanVa) + QStringLiteral(" VA")} +
                         pad);
        t.rows.push_back(QStringList{QStringLiteral("Peak apparent power"),
                                     AtText(e.peak, QStringLiteral("VA"))} +
                         pad);
    }
    return t;
}

std::vector<ListedEvent> ListedEvents(const RecordingStatistics& s) {
    std::vector<ListedEvent> out;
    for (const ChannelStatistics& c : s.channels)
        if (c.voltage)
            for (const VoltageEvent& e : c.voltage->events)
                out.push_back({c.channel, e});
    std::stable_sort(out.begin(), out.end(), [](const ListedEvent& a, const ListedEvent& b) {
        return a.event.firstIndex < b.event.firstIndex;
    });
    return out;
}

TextTable EventsTable(const std::vector<ListedEvent>& events) {
    TextTable t;
    t.header =
        QStringList{QStringLiteral("Channel"), QStringLiteral("Kind"), QStringLiteral("Start"),
                    QStringLiteral("Duration"), QStringLiteral("Extreme")};
    for (const ListedEvent& l : events)
        t.rows.push_back(QStringList{QStringLiteral("CH%1").arg(l.channel),
                                     EventKindName(l.event.kind), FormatDateTime(l.event.start),
                                     DurationText(l.event.durationS),
                                     ValueText(l.event.extreme, QStringLiteral("V"))});
    return t;
}

QString TextTable::ToTabSeparated() const {
    QString out = header.join(QLatin1Char('\t')) + QLatin1Char('\n');
    for (const QStringList& r : rows)
        out += r.join(QLatin1Char('\t')) + QLatin1Char('\n');
    return out;
}

QString TextTable::ToAligned() const {
    std::vector<qsizetype> width(size_t(header.size()), 0);
    auto measure = [&](const QStringList& r) {
        for (qsizetype i = 0; i < r.size() && size_t(i) < width.size(); ++i)
            width[size_t(i)] = std::max(width[size_t(i)], r[i].size());
    };
    measure(header);
    for (const QStringList& r : rows)
        measure(r);
    auto line = [&](const QStringList& r) {
        QString out;
        for (qsizetype i = 0; i < r.size(); ++i)
            out += i + 1 < r.size() ? Padded(r[i], width[size_t(i)] + 2) : r[i];
        // A row whose last cells are empty ends at its last text.
        while (out.endsWith(QLatin1Char(' ')))
            out.chop(1);
        return out + QLatin1Char('\n');
    };
    QString out = line(header);
    for (const QStringList& r : rows)
        out += line(r);
    return out;
}
