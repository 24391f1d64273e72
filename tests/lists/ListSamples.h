#pragma once
// Data sets and helpers the list, print and export tests share.

#include "base/LocalTime.h"
#include "data/MeasurementSet.h"
#include "graph/DataList.h"
#include "support/RunSamples.h"
#include "support/StoredSetBuilder.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <cmath>

namespace lists {

inline TimeValue At(int y, int mo, int d, int h, int mi, int s) {
    return FromLocalFields({y, mo, d, h, mi, s});
}
inline const TimeValue kStart = At(2010, 2, 3, 14, 5, 0);

// `count` stored RMS points, 60 s apart, CH1 in volts and (when `ch2`) CH2 in
// amperes; `records` transient records of both codes, samples k - 125 + 1000 r.
inline MeasurementSet Stored(int count, bool ch1 = true, bool ch2 = true, int records = 0) {
    StoredSetBuilder b;
    b.Count(count).Interval(60).Start(kStart).ChannelCount(uint8_t(int(ch1) + int(ch2)));
    if (ch1) {
        std::vector<float> v;
        for (int i = 0; i < count; ++i)
            v.push_back(230.0f + float(i % 10) * 0.11f);
        b.Channel(0, v, "V");
    }
    if (ch2) {
        std::vector<float> v;
        for (int i = 0; i < count; ++i)
            v.push_back(5.0f + float(i % 3));
        b.Channel(1, v, "A");
    }
    for (int r = 0; r < records; ++r) {
        std::vector<float> wave;
        for (int k = 0; k < kTrPoints; ++k)
            wave.push_back(float(k - 125 + 1000 * r));
        b.TrWave(kStart + 3600 * (r + 1), r % 2 ? kTrChannel2 : kTrChannel1,
                 r % 2 ? kTrUnitAmps : kTrUnitVolts, wave);
    }
    return b.ComputedExtremes().Set();
}

inline DataListView ViewOf(const MeasurementSet& s, GraphMode mode, int first = 1) {
    DataListView v;
    v.set = &s;
    v.mode = mode;
    v.firstPoint = first;
    const bool stored = mode == GraphMode::StoreRms || mode == GraphMode::StoreTransient;
    v.ch1 = stored ? s.ChannelPresent(0) == 1 : s.RtChannelPresent(0);
    v.ch2 = stored ? s.ChannelPresent(1) == 1 : s.RtChannelPresent(1);
    v.ch1Unit = stored ? s.ChannelUnit(0) : s.RtChannelUnit(0);
    v.ch2Unit = stored ? s.ChannelUnit(1) : s.RtChannelUnit(1);
    return v;
}

// The text of every page of a PDF (pdftotext -layout), one entry per page.
inline QStringList PdfPages(const QString& path) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    QStringList pages = QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\f'));
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

// Lines of a page that begin with a row number (the data rows of a list report).
inline int RowLines(const QString& page) {
    int n = 0;
    for (const QString& line : page.split(QLatin1Char('\n'))) {
        const QString t = line.trimmed();
        const qsizetype blank = t.indexOf(QLatin1Char(' '));
        bool ok = false;
        if (blank > 0)
            t.left(blank).toInt(&ok);
        n += ok && t.contains(QLatin1Char('/'));
    }
    return n;
}

} // namespace lists
