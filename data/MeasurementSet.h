#pragma once
// The one measurement set of the application: the stored set (downloaded from the
// logger or read from a .stdata file) and the real-time set (gathered live), with
// their counts, flags, units and extreme texts. The document, the graph view and
// the main window all work on the same instance.
//
// Invariants (every reader relies on them):
//  - m_ch1Rms / m_ch2Rms hold exactly m_rmsCount values while the channel is
//    present and are empty otherwise;
//  - m_trWave holds 251 * m_trCount values; m_trTime, m_trUnitCode and
//    m_trChannelCode hold m_trCount entries;
//  - m_rtRms / m_rtFreq have capacity m_rtPointsRequested, and readers index them
//    only below m_rtCount.

#include "base/Clock.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

inline constexpr int kTrPoints = 251;       // samples of one transient record
inline constexpr int kRtWavePoints = 590;   // samples per channel of a live capture
inline constexpr int kRtMaxPoints = 100000; // upper limit of a real-time run

// Channel type byte reported by the logger.
inline constexpr uint8_t kChannelAmps = 0;
inline constexpr uint8_t kChannelVolts = 1;
inline constexpr uint8_t kChannelAbsent = 0xFF;

// A channel's presence and unit from its type byte; an unknown byte keeps both.
inline void ApplyChannelKind(uint8_t kind, uint8_t& present, QString& unit) {
    if (kind == kChannelAmps) {
        present = 1;
        unit = QStringLiteral("A");
    } else if (kind == kChannelVolts) {
        present = 1;
        unit = QStringLiteral("V");
    } else if (kind == kChannelAbsent) {
        present = 0;
    }
}
// TR record codes.
inline constexpr uint8_t kTrUnitVolts = 0xFA;
inline constexpr uint8_t kTrUnitAmps = 0xFC;
inline constexpr uint8_t kTrChannel1 = 0xF1;
inline constexpr uint8_t kTrChannel2 = 0xF2;

inline const char* const kTagStored = "RMSTRDATA";
inline const char* const kTagRealTime = "EPADATA";

using FloatPair = std::array<float, 2>;

// Power figures of one real-time sample, derived from its captured waveform when it
// was taken (the capture itself is not kept). A figure is empty where the sample
// gave nothing to compute it from: no voltage and current pair, or no whole period.
struct RtPowerRow {
    std::optional<float> p;                  // active power, W
    std::optional<float> q;                  // reactive power, var
    std::optional<float> pf;                 // power factor
    std::optional<float> phiDeg;             // displacement angle, positive when the current lags
    std::array<std::optional<float>, 2> thd; // per channel, % of the fundamental
};

struct MeasurementSet {
    // --- stored set: bulk data ---
    std::vector<float> m_ch1Rms;
    std::vector<float> m_ch2Rms;
    std::vector<float> m_trWave; // 251 per record, records in time order
    std::vector<TimeValue> m_trTime;
    std::vector<uint8_t> m_trUnitCode;    // 0xFA V, 0xFC A
    std::vector<uint8_t> m_trChannelCode; // 0xF1 CH1, 0xF2 CH2

    // --- stored set: description ---
    TimeValue m_startTime = 0;
    float m_rmsInterval = 0; // seconds
    int m_rmsCount = 0;
    uint8_t m_channelCount = 0;
    uint8_t m_ch1Present = 0;
    uint8_t m_ch2Present = 0;
    QString m_ch1Unit;
    QString m_ch2Unit;
    int m_trCount = 0;
    float m_trLevelHigh = 0;
    float m_trLevelLow = 0;

    // --- real-time set ---
    std::array<FloatPair, kRtWavePoints> m_rtWave{}; // [i][0] CH1, [i][1] CH2
    std::vector<FloatPair> m_rtRms;
    std::vector<FloatPair> m_rtFreq;
    std::vector<RtPowerRow> m_rtPower; // filled per sample beside m_rtRms
    TimeValue m_rtStartTime = 0;
    int m_rtCount = 0;
    int m_rtWavePoints = 0;
    uint8_t m_rtCh1Present = 0;
    uint8_t m_rtCh2Present = 0;
    QString m_rtCh1Unit;
    QString m_rtCh2Unit;

    // --- texts and tags ---
    // Rows: 0/1 stored RMS max/min, 4/5 real-time frequency max/min,
    // 8/9 real-time RMS max/min; columns: channel.
    std::array<std::array<QString, 2>, 10> m_extremeText;
    std::array<QString, 2> m_powerExtremeText; // [0] max, [1] min of S = CH1 x CH2
    QString m_dataTag;                         // written at the head of a saved file
    QString m_fileTag;                         // read from the head of the last file loaded
    uint8_t m_modeFromFile = 0;
    uint8_t m_loadedFromFile = 0;

    // Time of stored RMS sample i: start + trunc(i * interval), computed in double
    // precision (single precision is up to 32 s off at 262,144 samples of 3600 s).
    TimeValue RmsSampleTime(int64_t i) const;
    // Time of real-time sample n.
    TimeValue RtSampleTime(int64_t n, int rtInterval) const {
        return m_rtStartTime + n * rtInterval;
    }
    const std::vector<float>& ChannelRms(int ch) const { return ch == 0 ? m_ch1Rms : m_ch2Rms; }
    bool ChannelPresent(int ch) const { return (ch == 0 ? m_ch1Present : m_ch2Present) == 1; }
    const QString& ChannelUnit(int ch) const { return ch == 0 ? m_ch1Unit : m_ch2Unit; }
    // Plain reads of the stored half's description.
    int RmsCount() const { return m_rmsCount; }
    float RmsInterval() const { return m_rmsInterval; }
    TimeValue StartTime() const { return m_startTime; }
    uint8_t ChannelCount() const { return m_channelCount; }
    int TrCount() const { return m_trCount; }
    const std::vector<float>& TrWave() const { return m_trWave; }
    const std::vector<TimeValue>& TrTimes() const { return m_trTime; }
    const std::vector<uint8_t>& TrUnitCodes() const { return m_trUnitCode; }
    const std::vector<uint8_t>& TrChannelCodes() const { return m_trChannelCode; }
    float TrLevelHigh() const { return m_trLevelHigh; }
    float TrLevelLow() const { return m_trLevelLow; }
    // Plain reads of the real-time half.
    int RtCount() const { return m_rtCount; }
    TimeValue RtStartTime() const { return m_rtStartTime; }
    bool RtChannelPresent(int ch) const { return (ch == 0 ? m_rtCh1Present : m_rtCh2Present) == 1; }
    const QString& RtChannelUnit(int ch) const { return ch == 0 ? m_rtCh1Unit : m_rtCh2Unit; }

    // Counts every replacement of the stored half (download, file read, clearing), so
    // that a file name can be tied to the data it holds.
    uint64_t m_storedGeneration = 0;

    // Empties the stored half (counts 0, arrays released), keeping the real-time half.
    void ClearStored();
    // Replaces the stored half with that of `other`, leaving the real-time half.
    void TakeStored(MeasurementSet&& other);
    // True when counts and array sizes agree as the invariants above demand.
    bool StoredIsConsistent() const;
};

// Rows 0 and 1 of m_extremeText for every present channel. Ties move to the later
// sample; the maximum text has a blank before the unit, the minimum none; the texts
// are written even when no sample changed the starting values (-1000 / +1000).
void ComputeStoredExtremes(MeasurementSet& set);
QString StoredMaximumText(float value, const QString& unit, bool found, TimeValue when);
QString StoredMinimumText(float value, const QString& unit, bool found, TimeValue when);

// Entry count of the graph work buffers after each kind of data replacement.
enum class WorkBufferOccasion { AfterDownload, AfterFileRead, AtRealTimeStart };
int64_t WorkBufferPoints(const MeasurementSet& set, WorkBufferOccasion occasion,
                         int rtPointsRequested);
