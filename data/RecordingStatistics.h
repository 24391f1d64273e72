#pragma once
// Statistics of a stored RMS recording: per-channel figures, a supply-voltage
// summary against a nominal voltage (clock-aligned 10-minute values, dips, swells,
// interruptions) and the apparent energy of a voltage/current pair. Shared by the
// statistics window, its printed page and `orvex-dl stats`.
//
// The figures are computed from a small plain view of the recording, so that they
// depend on nothing but the values, their units and their time base.

#include "base/Clock.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

class MeasurementSet;

// Nominal voltage accepted for the summary, in volts.
inline constexpr double kNominalDefault = 230.0;
inline constexpr double kNominalLowest = 100.0;
inline constexpr double kNominalHighest = 1000.0;

// The longest recording interval for which 10-minute values are formed.
inline constexpr double kTenMinutes = 600.0;

struct StatisticsChannelView {
    std::span<const float> values; // at least `count` values when present
    bool present = false;
    QString unit;
};

struct StatisticsView {
    std::array<StatisticsChannelView, 2> channels;
    TimeValue start = 0;  // time of sample 0
    double intervalS = 0; // seconds between two samples
    int64_t count = 0;    // samples per channel
    int64_t lost = 0;     // samples the recording is known to have lost
    // Time of sample i: start + trunc(i * interval), as the stored set dates it.
    TimeValue SampleTime(int64_t i) const;
};

// The view of a measurement set's stored half.
StatisticsView StatisticsViewOf(const MeasurementSet& set);

struct ValueAt {
    double value = 0;
    TimeValue time = 0;
    int64_t index = 0;
};

enum class EventKind { Dip, Swell, Interruption };

struct VoltageEvent {
    EventKind kind = EventKind::Dip;
    TimeValue start = 0;
    int64_t firstIndex = 0;
    int64_t samples = 0;
    double durationS = 0;
    double extreme = 0; // lowest value of a dip or interruption, highest of a swell
};

enum class TenMinuteAbsence {
    None,
    IntervalTooLong,    // the recording interval exceeds 10 minutes
    NoInterval,         // the recording has no usable interval
    NoCompleteInterval, // no 10-minute interval holds half its expected samples
};

struct TenMinuteSummary {
    int64_t complete = 0;
    int64_t incomplete = 0;
    int64_t within = 0;       // complete values within [0.9 Un, 1.1 Un]
    double withinShare = 0;   // within / complete
    bool withinLimit = false; // at least 95 % within
    ValueAt highest;          // index: first sample of the interval
    ValueAt lowest;
};

struct VoltageSummary {
    double nominal = kNominalDefault;
    std::optional<TenMinuteSummary> tenMinute;
    TenMinuteAbsence absence = TenMinuteAbsence::None;
    std::vector<VoltageEvent> events; // in time order
    int64_t dips = 0;
    int64_t swells = 0;
    int64_t interruptions = 0;
};

struct ChannelStatistics {
    int channel = 1; // 1 or 2
    QString unit;
    int64_t count = 0;    // samples of the recording
    int64_t unusable = 0; // samples that are not a number, left out of every figure
    double coveredS = 0;
    int64_t lost = 0;
    bool hasValues = false; // false when no sample is usable: the figures below are 0
    ValueAt min;
    ValueAt max;
    double mean = 0;
    double rmsMean = 0;
    double std = 0;                        // population
    std::array<double, 5> percentiles{};   // P1, P5, P50, P95, P99, nearest rank
    std::optional<VoltageSummary> voltage; // for a channel in volts
};

inline constexpr std::array<int, 5> kPercentileRanks = {1, 5, 50, 95, 99};

struct EnergySummary {
    double apparentVah = 0;
    double meanVa = 0;
    ValueAt peak; // peak apparent power
};

struct RecordingStatistics {
    TimeValue start = 0;
    double intervalS = 0;
    int64_t count = 0;
    std::vector<ChannelStatistics> channels; // present channels, CH1 first
    std::optional<EnergySummary> energy;     // one channel in volts, the other in amperes
};

RecordingStatistics ComputeStatistics(const StatisticsView& view, double nominal);

// The nominal voltage kept in range; anything outside 100 to 1000 V (or not a
// number) gives the default.
double AcceptedNominal(double nominal);

// "within the ±10 % limit for 95 % of the 10-minute values" or "outside: N % within".
QString TenMinuteVerdictText(const TenMinuteSummary& s);
// Why a voltage channel has no 10-minute values.
QString TenMinuteAbsenceText(TenMinuteAbsence why, double intervalS);
// "dip", "swell", "interruption".
QString EventKindName(EventKind kind);
