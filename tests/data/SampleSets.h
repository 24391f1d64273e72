#pragma once
// Measurement sets the file and report tests share.

#include "base/LocalTime.h"
#include "data/MeasurementSet.h"
#include "support/StoredSetBuilder.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdint>
#include <cstring>
#include <vector>

namespace samples {

inline TimeValue At(int y, int mo, int d, int h, int mi, int s) {
    return FromLocalFields({y, mo, d, h, mi, s});
}

// One CH1 sample of 230.0 V every 60 s from 3 February 2010 14:05:00, CH2 absent
// with an empty unit, no TR record, TR levels 500 and 100.
inline MeasurementSet WorkedExample() {
    return StoredSetBuilder()
        .Start(At(2010, 2, 3, 14, 5, 0))
        .Interval(60.0f)
        .Channel(0, {230.0f}, QStringLiteral("V"))
        .Extremes(0, QStringLiteral("230.0 V @03/02/10 14:05:00"),
                  QStringLiteral("230.0V @03/02/10 14:05:00"))
        .Levels(500.0f, 100.0f)
        .Set();
}

inline std::vector<float> TrRamp(float first) {
    std::vector<float> wave(kTrPoints);
    for (int i = 0; i < kTrPoints; ++i)
        wave[size_t(i)] = first + float(i);
    return wave;
}

inline void AddTr(MeasurementSet& s, TimeValue t, uint8_t channel = kTrChannel1,
                  uint8_t unit = kTrUnitVolts, float first = 0.0f) {
    EditStored(s, [&](StoredSet& d) { AppendTr(d, t, channel, unit, TrRamp(first)); });
}

// Channel ch present with these values; the sample count follows them (the other
// channel, if present, must hold as many).
inline void SetChannel(MeasurementSet& s, int ch, std::vector<float> v, const char* unit) {
    EditStored(s, [&](StoredSet& d) {
        d.SetChannelUnit(ch, QString::fromLatin1(unit));
        d.SetRmsCount(int(v.size()));
        EXPECT_TRUE(d.SetChannelValues(ch, std::move(v)));
    });
}

inline void SetCh1(MeasurementSet& s, std::vector<float> v, const char* unit = "V") {
    SetChannel(s, 0, std::move(v), unit);
}

inline void SetCh2(MeasurementSet& s, std::vector<float> v, const char* unit = "A") {
    SetChannel(s, 1, std::move(v), unit);
}

// Both channels, awkward float bit patterns, long and 8-bit texts, TR records with
// every kind of code: what a save and reload must reproduce exactly.
inline MeasurementSet Rich() {
    std::vector<float> a, b;
    const uint32_t patterns[] = {0x7FC00001u, 0xFFC12345u, 0x80000000u, 0x00000001u,
                                 0x7F800000u, 0xFF800000u, 0x3DCCCCCDu, 0x437A0000u};
    for (uint32_t p : patterns) {
        float f;
        std::memcpy(&f, &p, 4);
        a.push_back(f);
        b.push_back(-f);
    }
    for (int i = 0; i < 100; ++i) {
        a.push_back(229.95f + float(i) * 0.01f);
        b.push_back(float(i) * 0.37f);
    }
    std::vector<float> first = TrRamp(-125.0f);
    std::memcpy(&first[5], &patterns[0], 4); // a NaN with a payload
    return StoredSetBuilder()
        .Start(At(2010, 10, 31, 1, 30, 0)) // across the end of summer time
        .Interval(1.5f)
        .Channel(0, a, QStringLiteral("V"))
        .Channel(1, b, QStringLiteral("A"))
        .Extremes(0, QString(300, QLatin1Char('x')), // 16-bit length prefix
                  QString::fromLatin1("230,0\xB0V @\xE9t\xE9"))
        .Extremes(1, QStringLiteral(""), QString(70000, QLatin1Char('m'))) // 32-bit prefix
        .TrWave(At(2010, 10, 31, 2, 30, 0), kTrChannel1, kTrUnitVolts, first)
        .Tr(At(2010, 10, 31, 2, 30, 0) + 3600, kTrChannel2, kTrUnitAmps, 3.0f)
        .Tr(At(2010, 10, 31, 4, 0, 0), 0x00, 0x17, 7.0f)
        .Levels(32767.0f, -32768.0f)
        .Set();
}

inline QByteArray ReadAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

inline bool WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace samples
