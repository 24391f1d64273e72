#pragma once
// A reader of COMTRADE (IEEE C37.111-1999) configuration and ASCII data files,
// written from the standard's field list to check our writer from outside:
//
//   station_name,rec_dev_id,rev_year
//   TT,##A,##D
//   An,ch_id,ph,ccbm,uu,a,b,skew,min,max,primary,secondary,PS   (##A lines)
//   Dn,ch_id,ph,ccbm,y                                         (##D lines)
//   lf
//   nrates
//   samp,endsamp                                               (nrates lines)
//   dd/mm/yyyy,hh:mm:ss.ssssss                                 (first data point)
//   dd/mm/yyyy,hh:mm:ss.ssssss                                 (trigger point)
//   ft                                                         (ASCII or BINARY)
//   timemult
//
// Data file: n,timestamp,A1,...,Ak,D1,...,Dm per line; an analog value is an
// integer x whose quantity is a * x + b, 99999 marking a missing one.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <optional>
#include <vector>

namespace comtrade {

struct Analog {
    int index = 0;
    QString id, phase, circuit, unit;
    double a = 0, b = 0, skew = 0;
    long min = 0, max = 0;
    double primary = 0, secondary = 0;
    QString ps;
    std::vector<std::optional<double>> values; // a * x + b per sample
    std::vector<long> raw;
};

struct Record {
    QString station, device;
    int revision = 0;
    int total = 0;
    std::vector<Analog> analog;
    int digitalCount = 0;
    double lineFrequency = 0;
    std::vector<std::pair<double, long>> rates; // samp, endsamp
    QString firstDate, firstTime, triggerDate, triggerTime;
    QString fileType;
    double timeMultiplier = 0;
    std::vector<long> sampleNumbers;
    std::vector<long> timestamps;
};

inline QStringList Lines(const QByteArray& text) {
    QStringList lines = QString::fromUtf8(text).split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// The record, or nothing with the reason in `error`.
inline std::optional<Record> Read(const QByteArray& cfg, const QByteArray& dat, QString& error) {
    const QStringList lines = Lines(cfg);
    int at = 0;
    const auto next = [&](int fields, const char* what) -> std::optional<QStringList> {
        if (at >= lines.size()) {
            error = QStringLiteral("missing line: %1").arg(QLatin1String(what));
            return std::nullopt;
        }
        const QStringList f = lines[at++].split(QLatin1Char(','));
        if (f.size() != fields) {
            error = QStringLiteral("%1: %2 fields, not %3")
                        .arg(QLatin1String(what))
                        .arg(f.size())
                        .arg(fields);
            return std::nullopt;
        }
        return f;
    };
    Record r;
    const auto head = next(3, "station line");
    if (!head)
        return std::nullopt;
    r.station = (*head)[0];
    r.device = (*head)[1];
    r.revision = (*head)[2].toInt();
    const auto counts = next(3, "channel counts");
    if (!counts)
        return std::nullopt;
    if (!(*counts)[1].endsWith(QLatin1Char('A')) || !(*counts)[2].endsWith(QLatin1Char('D'))) {
        error = QStringLiteral("channel counts without A and D");
        return std::nullopt;
    }
    r.total = (*counts)[0].toInt();
    const int analogCount = (*counts)[1].chopped(1).toInt();
    r.digitalCount = (*counts)[2].chopped(1).toInt();
    for (int i = 0; i < analogCount; ++i) {
        const auto f = next(13, "analog channel");
        if (!f)
            return std::nullopt;
        Analog a;
        a.index = (*f)[0].toInt();
        a.id = (*f)[1];
        a.phase = (*f)[2];
        a.circuit = (*f)[3];
        a.unit = (*f)[4];
        a.a = (*f)[5].toDouble();
        a.b = (*f)[6].toDouble();
        a.skew = (*f)[7].toDouble();
        a.min = (*f)[8].toLong();
        a.max = (*f)[9].toLong();
        a.primary = (*f)[10].toDouble();
        a.secondary = (*f)[11].toDouble();
        a.ps = (*f)[12];
        r.analog.push_back(a);
    }
    for (int i = 0; i < r.digitalCount; ++i)
        if (!next(5, "digital channel"))
            return std::nullopt;
    const auto lf = next(1, "line frequency");
    const auto nrates = lf ? next(1, "nrates") : std::nullopt;
    if (!nrates)
        return std::nullopt;
    r.lineFrequency = (*lf)[0].toDouble();
    for (int i = 0; i < std::max(1, (*nrates)[0].toInt()); ++i) {
        const auto f = next(2, "rate");
        if (!f)
            return std::nullopt;
        r.rates.emplace_back((*f)[0].toDouble(), (*f)[1].toLong());
    }
    const auto first = next(2, "first data point");
    const auto trigger = first ? next(2, "trigger point") : std::nullopt;
    const auto ft = trigger ? next(1, "file type") : std::nullopt;
    const auto mult = ft ? next(1, "timemult") : std::nullopt;
    if (!mult)
        return std::nullopt;
    r.firstDate = (*first)[0];
    r.firstTime = (*first)[1];
    r.triggerDate = (*trigger)[0];
    r.triggerTime = (*trigger)[1];
    r.fileType = (*ft)[0];
    r.timeMultiplier = (*mult)[0].toDouble();

    for (const QString& line : Lines(dat)) {
        const QStringList f = line.split(QLatin1Char(','));
        if (f.size() != 2 + analogCount + r.digitalCount) {
            error = QStringLiteral("data line with %1 fields: %2").arg(f.size()).arg(line);
            return std::nullopt;
        }
        r.sampleNumbers.push_back(f[0].toLong());
        r.timestamps.push_back(f[1].toLong());
        for (int i = 0; i < analogCount; ++i) {
            bool ok = false;
            const long x = f[2 + i].toLong(&ok);
            if (!ok) {
                error = QStringLiteral("not an integer: %1").arg(f[2 + i]);
                return std::nullopt;
            }
            Analog& a = r.analog[size_t(i)];
            a.raw.push_back(x);
            a.values.push_back(x == 99999 ? std::nullopt
                                          : std::optional<double>(a.a * double(x) + a.b));
        }
    }
    return r;
}

} // namespace comtrade
