#pragma once
// The one measurement set of the application: the stored set (downloaded from the
// logger or read from a .stdata file) and the real-time set (gathered live), with
// their counts, flags, units and extreme texts. The document, the graph view and
// the main window all work on the same instance.
// Each half keeps its own invariants (StoredSet, RealTimeRun); readers have const
// access only.

#include "base/Clock.h"

#include <QString>

#include <array>
#include <cstdint>
#include <memory>
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

class RtWaveformSource;

// Power figures of one real-time sample, derived from its captured waveform when it
// was taken. A figure is empty where the sample
// gave nothing to compute it from: no voltage and current pair, or no whole period.
struct RtPowerRow {
    std::optional<float> p;                  // active power, W
    std::optional<float> q;                  // reactive power, var
    std::optional<float> pf;                 // power factor
    std::optional<float> phiDeg;             // displacement angle, positive when the current lags
    std::array<std::optional<float>, 2> thd; // per channel, % of the fundamental
};

// Computes the power figures of a run whose samples came without them: a run read
// back from its file keeps only the waveforms, and working out P and PF of every
// sample costs about as much again as reading the file. The run asks once, when its
// figures are first read.
class RtPowerSource {
public:
    virtual ~RtPowerSource() = default;
    // The figures of samples 0 .. count - 1 from their kept waveforms, the channels
    // given by their kind bytes (0 A, 1 V, 0xFF absent); a row stays empty where a
    // waveform cannot be read or gives none.
    virtual std::vector<RtPowerRow> PowerOf(const RtWaveformSource& waves,
                                            std::array<uint8_t, 2> kinds, int count) const = 0;
};

// One sample of a real-time run: the RMS and frequency of each channel (400 where
// there was none), its power figures and the time it was taken.
struct RtSample {
    FloatPair rms{};
    FloatPair freq{};
    RtPowerRow power;
    TimeValue time = 0;
};

// A real-time run: the newest frame's capture, the sample being taken from it and the
// samples taken so far, with the run's start, interval and channels. The samples only
// grow, one at a time and never beyond the capacity the run began with; the graph,
// the lists and the files read them through the const accessors.
class RealTimeRun {
public:
    using Wave = std::array<FloatPair, kRtWavePoints>; // [i][0] CH1, [i][1] CH2

    // Starts a new run without samples or kept waveforms, with room for `capacity`
    // samples (at most kRtMaxPoints). Channels and capture stay: the first frame set
    // them already.
    void Begin(TimeValue start, int interval, int capacity);
    // No samples, no capture, no channels.
    void Clear();

    // A channel's presence and unit from the logger's kind byte (an unknown byte keeps
    // both), or given directly.
    void SetChannelKind(int ch, uint8_t kind);
    void SetChannel(int ch, bool present, const QString& unit);

    // The capture of the newest frame: the values of the present channels are taken,
    // an absent channel keeps what it had.
    void SetCapture(const std::array<std::array<int16_t, 2>, kRtWavePoints>& raw);
    // A whole capture as values (a kept waveform brought back, a computed one).
    void SetCapture(const Wave& wave);
    // No capture: nothing for the waveform graph to show.
    void ClearCapture();

    // The sample being taken (it will be number Count()): the analysis fills it before
    // it is appended.
    void SetPendingValues(int ch, float rms, float freq);
    void SetPendingPower(const RtPowerRow& row) { m_pending.power = row; }
    void SetPendingTime(TimeValue when) { m_pending.time = when; }
    const RtSample& Pending() const { return m_pending; }
    // Adds the pending sample; false (and nothing changes) when the run is full.
    bool Append();
    // Adds a whole sample (a run read back from a file); false when the run is full.
    bool Append(const RtSample& sample);

    int Count() const { return int(m_rms.size()); }
    int Capacity() const { return m_capacity; }
    bool Full() const { return Count() >= m_capacity; }
    int Interval() const { return m_interval; }
    TimeValue StartTime() const { return m_startTime; }
    const std::vector<FloatPair>& Rms() const { return m_rms; }
    const std::vector<FloatPair>& Freq() const { return m_freq; }
    // The power figures of every sample. While they are pending (PowerPending), the
    // first read has the source work them out: every reader sees them, whichever
    // comes first.
    const std::vector<RtPowerRow>& Power() const {
        EnsurePower();
        return m_power;
    }
    // Active power (W) and power factor of every sample as the graphs draw them: NaN
    // where the sample has no such figure, so that a graph leaves a gap there.
    const std::vector<FloatPair>& PowerPairs() const {
        EnsurePower();
        return m_powerPairs;
    }
    // The samples' power figures are to come from `source` when first read (a run
    // read back from its file, with its waveforms kept); null: they are as they are.
    void SetPowerSource(std::shared_ptr<const RtPowerSource> source);
    // True until the figures of a run with a power source were first read.
    bool PowerPending() const { return m_powerSource != nullptr; }
    const std::vector<TimeValue>& Times() const { return m_times; }
    // Time of sample n: the time it was taken, or, past the last one, where the run's
    // interval would put it.
    TimeValue SampleTime(int64_t n) const;

    bool ChannelPresent(int ch) const { return m_present[ch == 0 ? 0 : 1]; }
    const QString& ChannelUnit(int ch) const { return m_unit[ch == 0 ? 0 : 1]; }
    // The kind byte of a channel as the logger reports it (0 A, 1 V, 0xFF absent).
    uint8_t ChannelKind(int ch) const;

    const Wave& Capture() const { return m_capture; }
    // Points of the capture: 0 before the first frame.
    int CapturePoints() const { return m_capturePoints; }
    // The sample whose kept waveform is the capture shown, or -1 for the newest frame.
    int CaptureSample() const { return m_captureSample; }
    // Time of the capture: that of its sample, or of the newest sample taken.
    TimeValue CaptureTime() const;

    // Where the waveform of every sample is kept (a journal or a file on the disk,
    // read back one at a time), or null.
    void SetWaveforms(std::shared_ptr<const RtWaveformSource> waves);
    const RtWaveformSource* Waveforms() const { return m_waves.get(); }
    // True when every sample's waveform can be brought back.
    bool KeepsWaveforms() const;
    // Makes the kept waveform of sample n the capture shown; false (and nothing
    // changes) when it cannot be read.
    bool ShowSample(int n);

private:
    void EnsurePower() const;

    Wave m_capture{};
    int m_capturePoints = 0;
    int m_captureSample = -1;
    std::shared_ptr<const RtWaveformSource> m_waves;
    RtSample m_pending;
    std::vector<FloatPair> m_rms;
    std::vector<FloatPair> m_freq;
    // Filled in place on the first read while a source is set (logically the
    // figures were always there: they follow from the kept waveforms).
    mutable std::vector<RtPowerRow> m_power;
    mutable std::vector<FloatPair> m_powerPairs;
    mutable std::shared_ptr<const RtPowerSource> m_powerSource;
    // Counts Begin and Clear: figures worked out for one run never land in the next.
    uint64_t m_generation = 0;
    std::vector<TimeValue> m_times;
    TimeValue m_startTime = 0;
    int m_interval = 0;
    int m_capacity = 0;
    std::array<bool, 2> m_present{};
    std::array<QString, 2> m_unit;
};

// The stored half of a measurement: what a download or a .stdata file holds. Every
// operation keeps the invariants below, refusing (false, nothing changed) what would
// break them, so a reader may index the arrays by the counts without checking:
//  - a present channel holds exactly RmsCount() values, an absent one none;
//  - TrWave() holds kTrPoints * TrCount() values; TrTimes(), TrUnitCodes() and
//    TrChannelCodes() hold TrCount() entries.
class StoredSet {
public:
    // The RMS sample count. A present channel follows it: values beyond the new count
    // are dropped, new ones are 0. A negative count is taken as 0.
    void SetRmsCount(int count);
    // A channel present with exactly RmsCount() values; false otherwise.
    bool SetChannelValues(int ch, std::vector<float> values);
    // Present: RmsCount() values, those it had kept and the rest 0. Absent: no values;
    // unit and extreme texts stay, as a file without the channel leaves them.
    void SetChannelPresent(int ch, bool present);
    void SetChannelUnit(int ch, const QString& unit) { m_unit[Index(ch)] = unit; }
    // The TR records, all at once: n codes and times and kTrPoints * n wave values;
    // false (and nothing changes) when the sizes disagree.
    bool SetTrRecords(std::vector<uint8_t> channelCodes, std::vector<uint8_t> unitCodes,
                      std::vector<TimeValue> times, std::vector<float> wave);
    void SetStartTime(TimeValue start) { m_startTime = start; }
    void SetRmsInterval(float seconds) { m_rmsInterval = seconds; }
    void SetChannelCount(uint8_t count) { m_channelCount = count; }
    void SetTrLevels(float high, float low);
    // Row 0 the maximum, row 1 the minimum of a channel's RMS values.
    void SetExtremeText(int row, int ch, const QString& text);

    int RmsCount() const { return m_rmsCount; }
    float RmsInterval() const { return m_rmsInterval; }
    TimeValue StartTime() const { return m_startTime; }
    uint8_t ChannelCount() const { return m_channelCount; }
    bool ChannelPresent(int ch) const { return m_present[Index(ch)]; }
    // The presence as the file's flag byte: 1 present, 0 absent.
    uint8_t ChannelFlag(int ch) const { return ChannelPresent(ch) ? 1 : 0; }
    const QString& ChannelUnit(int ch) const { return m_unit[Index(ch)]; }
    const std::vector<float>& ChannelRms(int ch) const { return m_rms[Index(ch)]; }
    const QString& ExtremeText(int row, int ch) const;
    int TrCount() const { return int(m_trTime.size()); }
    const std::vector<float>& TrWave() const { return m_trWave; }
    const std::vector<TimeValue>& TrTimes() const { return m_trTime; }
    const std::vector<uint8_t>& TrUnitCodes() const { return m_trUnitCode; }       // 0xFA V, 0xFC A
    const std::vector<uint8_t>& TrChannelCodes() const { return m_trChannelCode; } // 0xF1, 0xF2
    float TrLevelHigh() const { return m_trLevelHigh; }
    float TrLevelLow() const { return m_trLevelLow; }
    // Time of RMS sample i: start + trunc(i * interval), computed in double precision
    // (single precision is up to 32 s off at 262,144 samples of 3600 s).
    TimeValue RmsSampleTime(int64_t i) const;
    // True when counts and array sizes agree as the invariants demand (a check for
    // fuzzers and tests: the operations never leave it false).
    bool IsConsistent() const;

private:
    static size_t Index(int ch) { return ch == 0 ? 0 : 1; }

    std::array<std::vector<float>, 2> m_rms;
    std::array<bool, 2> m_present{};
    std::array<QString, 2> m_unit;
    std::array<std::array<QString, 2>, 2> m_extremeText; // [row][channel]
    std::vector<float> m_trWave; // kTrPoints per record, records in time order
    std::vector<TimeValue> m_trTime;
    std::vector<uint8_t> m_trUnitCode;
    std::vector<uint8_t> m_trChannelCode;
    TimeValue m_startTime = 0;
    float m_rmsInterval = 0; // seconds
    int m_rmsCount = 0;
    uint8_t m_channelCount = 0;
    float m_trLevelHigh = 0;
    float m_trLevelLow = 0;
};

// The one measurement set of the application: the stored half, the real-time run and
// the texts and tags around them. The stored half changes only as a whole (a download
// or a file read hands over a complete one), which counts its generation.
class MeasurementSet {
public:
    const StoredSet& Stored() const { return m_stored; }
    // Replaces the stored half and counts a new generation; the run stays.
    void ReplaceStored(StoredSet stored);
    // Empties the stored half (a new generation), keeping the real-time half.
    void ClearStored() { ReplaceStored(StoredSet{}); }
    // Counts every replacement of the stored half, so that a file name, a list or a
    // drawing can be tied to the data it was made from.
    uint64_t StoredGeneration() const { return m_storedGeneration; }
    bool StoredIsConsistent() const { return m_stored.IsConsistent(); }

    // Reads of the stored half.
    TimeValue RmsSampleTime(int64_t i) const { return m_stored.RmsSampleTime(i); }
    const std::vector<float>& ChannelRms(int ch) const { return m_stored.ChannelRms(ch); }
    bool ChannelPresent(int ch) const { return m_stored.ChannelPresent(ch); }
    const QString& ChannelUnit(int ch) const { return m_stored.ChannelUnit(ch); }
    int RmsCount() const { return m_stored.RmsCount(); }
    float RmsInterval() const { return m_stored.RmsInterval(); }
    TimeValue StartTime() const { return m_stored.StartTime(); }
    uint8_t ChannelCount() const { return m_stored.ChannelCount(); }
    int TrCount() const { return m_stored.TrCount(); }
    const std::vector<float>& TrWave() const { return m_stored.TrWave(); }
    const std::vector<TimeValue>& TrTimes() const { return m_stored.TrTimes(); }
    const std::vector<uint8_t>& TrUnitCodes() const { return m_stored.TrUnitCodes(); }
    const std::vector<uint8_t>& TrChannelCodes() const { return m_stored.TrChannelCodes(); }
    float TrLevelHigh() const { return m_stored.TrLevelHigh(); }
    float TrLevelLow() const { return m_stored.TrLevelLow(); }

    // The real-time half, and plain reads of it.
    RealTimeRun& Run() { return m_run; }
    const RealTimeRun& Run() const { return m_run; }
    int RtCount() const { return m_run.Count(); }
    TimeValue RtStartTime() const { return m_run.StartTime(); }
    bool RtChannelPresent(int ch) const { return m_run.ChannelPresent(ch); }
    const QString& RtChannelUnit(int ch) const { return m_run.ChannelUnit(ch); }

    // Extreme texts. Rows: 0/1 stored RMS max/min (held by the stored half),
    // 4/5 real-time frequency max/min, 8/9 real-time RMS max/min; columns: channel.
    const QString& ExtremeText(int row, int ch) const;
    // Rows 2 to 9; the stored rows change with the stored half only.
    void SetExtremeText(int row, int ch, const QString& text);
    // [0] maximum, [1] minimum of S = CH1 x CH2 during a run.
    const QString& PowerExtremeText(int i) const { return m_powerExtremeText[i == 0 ? 0 : 1]; }
    void SetPowerExtremeText(int i, const QString& text) {
        m_powerExtremeText[i == 0 ? 0 : 1] = text;
    }

    // The tag written at the head of a saved file.
    const QString& DataTag() const { return m_dataTag; }
    void SetDataTag(const QString& tag) { m_dataTag = tag; }
    // The tag read from the head of the last file loaded.
    const QString& FileTag() const { return m_fileTag; }
    void SetFileTag(const QString& tag) { m_fileTag = tag; }
    // The graph mode follows the file just loaded (until the view has applied it).
    bool ModeFromFile() const { return m_modeFromFile; }
    void SetModeFromFile(bool fromFile) { m_modeFromFile = fromFile; }
    // The data shown came from a file rather than from the logger.
    bool LoadedFromFile() const { return m_loadedFromFile; }
    void SetLoadedFromFile(bool fromFile) { m_loadedFromFile = fromFile; }

private:
    StoredSet m_stored;
    uint64_t m_storedGeneration = 0;
    RealTimeRun m_run;
    std::array<std::array<QString, 2>, 10> m_extremeText; // rows 0 and 1 unused here
    std::array<QString, 2> m_powerExtremeText;
    QString m_dataTag;
    QString m_fileTag;
    bool m_modeFromFile = false;
    bool m_loadedFromFile = false;
};

// The stored extreme texts (rows 0 and 1) of every present channel. Ties move to the later
// sample; the maximum text has a blank before the unit, the minimum none; the texts
// are written even when no sample changed the starting values (-1000 / +1000).
void ComputeStoredExtremes(StoredSet& set);
QString StoredMaximumText(float value, const QString& unit, bool found, TimeValue when);
QString StoredMinimumText(float value, const QString& unit, bool found, TimeValue when);

// Entry count of the graph work buffers after each kind of data replacement.
enum class WorkBufferOccasion { AfterDownload, AfterFileRead, AtRealTimeStart };
int64_t WorkBufferPoints(const MeasurementSet& set, WorkBufferOccasion occasion,
                         int rtPointsRequested);
