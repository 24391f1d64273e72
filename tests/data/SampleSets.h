#pragma once
// Measurement sets the file and report tests share.

#include "base/LocalTime.h"
#include "data/MeasurementSet.h"

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
    MeasurementSet s;
    s.m_dataTag = QString::fromLatin1(kTagStored);
    s.m_rmsCount = 1;
    s.m_ch1Present = 1;
    s.m_rmsInterval = 60.0f;
    s.m_startTime = At(2010, 2, 3, 14, 5, 0);
    s.m_ch1Rms = {230.0f};
    s.m_ch1Unit = QStringLiteral("V");
    s.m_extremeText[0][0] = QStringLiteral("230.0 V @03/02/10 14:05:00");
    s.m_extremeText[1][0] = QStringLiteral("230.0V @03/02/10 14:05:00");
    s.m_trLevelHigh = 500.0f;
    s.m_trLevelLow = 100.0f;
    return s;
}

inline void AddTr(MeasurementSet& s, TimeValue t, uint8_t channel = kTrChannel1,
                  uint8_t unit = kTrUnitVolts, float first = 0.0f) {
    s.m_trTime.push_back(t);
    s.m_trChannelCode.push_back(channel);
    s.m_trUnitCode.push_back(unit);
    for (int i = 0; i < kTrPoints; ++i)
        s.m_trWave.push_back(first + float(i));
    ++s.m_trCount;
}

inline void SetCh1(MeasurementSet& s, std::vector<float> v, const char* unit = "V") {
    s.m_ch1Present = 1;
    s.m_ch1Unit = QString::fromLatin1(unit);
    s.m_rmsCount = int(v.size());
    s.m_ch1Rms = std::move(v);
}

inline void SetCh2(MeasurementSet& s, std::vector<float> v, const char* unit = "A") {
    s.m_ch2Present = 1;
    s.m_ch2Unit = QString::fromLatin1(unit);
    s.m_rmsCount = int(v.size());
    s.m_ch2Rms = std::move(v);
}

// Both channels, awkward float bit patterns, long and 8-bit texts, TR records with
// every kind of code: what a save and reload must reproduce exactly.
inline MeasurementSet Rich() {
    MeasurementSet s;
    s.m_dataTag = QString::fromLatin1(kTagStored);
    s.m_startTime = At(2010, 10, 31, 1, 30, 0); // across the end of summer time
    s.m_rmsInterval = 1.5f;
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
    SetCh1(s, a, "V");
    SetCh2(s, b, "A");
    s.m_extremeText[0][0] = QString(300, QLatin1Char('x')); // 16-bit length prefix
    s.m_extremeText[1][0] = QString::fromLatin1("230,0\xB0V @\xE9t\xE9");
    s.m_extremeText[0][1] = QStringLiteral("");
    s.m_extremeText[1][1] = QString(70000, QLatin1Char('m')); // 32-bit length prefix
    AddTr(s, At(2010, 10, 31, 2, 30, 0), kTrChannel1, kTrUnitVolts, -125.0f);
    AddTr(s, At(2010, 10, 31, 2, 30, 0) + 3600, kTrChannel2, kTrUnitAmps, 3.0f);
    AddTr(s, At(2010, 10, 31, 4, 0, 0), 0x00, 0x17, 7.0f);
    std::memcpy(&s.m_trWave[5], &patterns[0], 4); // a NaN with a payload
    s.m_trLevelHigh = 32767.0f;
    s.m_trLevelLow = -32768.0f;
    return s;
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
