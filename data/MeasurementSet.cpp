#include "data/MeasurementSet.h"

#include "base/LocalTime.h"
#include "base/NumberText.h"
#include "data/RtdataFile.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

FloatPair PowerPairOf(const RtPowerRow& row) {
    constexpr float kNone = std::numeric_limits<float>::quiet_NaN();
    return {row.p.value_or(kNone), row.pf.value_or(kNone)};
}

} // namespace

void RealTimeRun::Begin(TimeValue start, int interval, int capacity) {
    m_startTime = start;
    m_interval = interval;
    m_capacity = std::clamp(capacity, 0, kRtMaxPoints);
    m_pending = RtSample{};
    for (auto* v : {&m_rms, &m_freq}) {
        v->clear();
        v->reserve(size_t(m_capacity));
    }
    m_power.clear();
    m_power.reserve(size_t(m_capacity));
    m_powerPairs.clear();
    m_powerPairs.reserve(size_t(m_capacity));
    m_times.clear();
    m_times.reserve(size_t(m_capacity));
    m_waves.reset();
    m_powerSource.reset();
    ++m_generation;
    m_captureSample = -1;
}

void RealTimeRun::Clear() {
    const uint64_t generation = m_generation;
    *this = RealTimeRun{};
    m_generation = generation + 1;
}

void RealTimeRun::SetChannelKind(int ch, uint8_t kind) {
    const size_t c = ch == 0 ? 0 : 1;
    uint8_t present = m_present[c] ? 1 : 0;
    ApplyChannelKind(kind, present, m_unit[c]);
    m_present[c] = present == 1;
}

void RealTimeRun::SetChannel(int ch, bool present, const QString& unit) {
    const size_t c = ch == 0 ? 0 : 1;
    m_present[c] = present;
    m_unit[c] = unit;
}

uint8_t RealTimeRun::ChannelKind(int ch) const {
    if (!ChannelPresent(ch))
        return kChannelAbsent;
    const QString& unit = ChannelUnit(ch);
    if (unit == QLatin1String("A"))
        return kChannelAmps;
    if (unit == QLatin1String("V"))
        return kChannelVolts;
    return kChannelAbsent;
}

void RealTimeRun::SetCapture(const std::array<std::array<int16_t, 2>, kRtWavePoints>& raw) {
    for (size_t i = 0; i < raw.size(); ++i) {
        for (size_t c = 0; c < 2; ++c) {
            if (m_present[c])
                m_capture[i][c] = float(raw[i][c]);
        }
    }
    m_capturePoints = kRtWavePoints;
    m_captureSample = -1;
}

void RealTimeRun::SetCapture(const Wave& wave) {
    m_capture = wave;
    m_capturePoints = kRtWavePoints;
    m_captureSample = -1;
}

void RealTimeRun::ClearCapture() {
    m_capture = Wave{};
    m_capturePoints = 0;
    m_captureSample = -1;
}

TimeValue RealTimeRun::CaptureTime() const {
    return SampleTime(m_captureSample >= 0 ? m_captureSample : int64_t(Count()) - 1);
}

void RealTimeRun::SetWaveforms(std::shared_ptr<const RtWaveformSource> waves) {
    m_waves = std::move(waves);
}

bool RealTimeRun::KeepsWaveforms() const {
    return m_waves && Count() > 0 && m_waves->WaveformCount() >= Count();
}

bool RealTimeRun::ShowSample(int n) {
    if (!m_waves || n < 0 || n >= Count() || n >= m_waves->WaveformCount())
        return false;
    RtWaveform raw{};
    if (!m_waves->ReadWaveform(n, raw, nullptr))
        return false;
    SetCapture(raw);
    m_captureSample = n;
    return true;
}

void RealTimeRun::SetPendingValues(int ch, float rms, float freq) {
    const size_t c = ch == 0 ? 0 : 1;
    m_pending.rms[c] = rms;
    m_pending.freq[c] = freq;
}

bool RealTimeRun::Append() {
    return Append(m_pending);
}

bool RealTimeRun::Append(const RtSample& sample) {
    if (Full())
        return false;
    m_rms.push_back(sample.rms);
    m_freq.push_back(sample.freq);
    m_power.push_back(sample.power);
    m_powerPairs.push_back(PowerPairOf(sample.power));
    m_times.push_back(sample.time);
    return true;
}

void RealTimeRun::SetPowerSource(std::shared_ptr<const RtPowerSource> source) {
    m_powerSource = std::move(source);
}

void RealTimeRun::EnsurePower() const {
    if (!m_powerSource)
        return;
    // Taken off before the work: a source that reads the figures itself, or fails
    // part way, must not start it again on every read.
    const std::shared_ptr<const RtPowerSource> source = std::move(m_powerSource);
    m_powerSource.reset();
    const std::shared_ptr<const RtWaveformSource> waves = m_waves;
    if (!waves)
        return;
    const uint64_t generation = m_generation;
    const std::vector<RtPowerRow> rows =
        source->PowerOf(*waves, {ChannelKind(0), ChannelKind(1)}, Count());
    // A source that lets the user's events through may see this run replaced or
    // cleared meanwhile: its figures belong to the run it was asked for, not to
    // whatever holds the samples now.
    if (generation != m_generation)
        return;
    const size_t n = std::min(rows.size(), m_power.size());
    for (size_t i = 0; i < n; ++i) {
        m_power[i] = rows[i];
        m_powerPairs[i] = PowerPairOf(rows[i]);
    }
}

TimeValue RealTimeRun::SampleTime(int64_t n) const {
    if (n >= 0 && n < int64_t(m_times.size()))
        return m_times[size_t(n)];
    return m_startTime + n * m_interval;
}

void StoredSet::SetRmsCount(int count) {
    m_rmsCount = std::max(count, 0);
    for (size_t c = 0; c < 2; ++c) {
        if (m_present[c])
            m_rms[c].resize(size_t(m_rmsCount));
    }
}

bool StoredSet::SetChannelValues(int ch, std::vector<float> values) {
    if (values.size() != size_t(m_rmsCount))
        return false;
    m_present[Index(ch)] = true;
    m_rms[Index(ch)] = std::move(values);
    return true;
}

void StoredSet::SetChannelPresent(int ch, bool present) {
    const size_t c = Index(ch);
    m_present[c] = present;
    if (present)
        m_rms[c].resize(size_t(m_rmsCount));
    else
        m_rms[c] = {};
}

bool StoredSet::SetTrRecords(std::vector<uint8_t> channelCodes, std::vector<uint8_t> unitCodes,
                             std::vector<TimeValue> times, std::vector<float> wave) {
    const size_t n = times.size();
    if (channelCodes.size() != n || unitCodes.size() != n || wave.size() != n * kTrPoints ||
        n > size_t(std::numeric_limits<int>::max()))
        return false;
    m_trChannelCode = std::move(channelCodes);
    m_trUnitCode = std::move(unitCodes);
    m_trTime = std::move(times);
    m_trWave = std::move(wave);
    return true;
}

void StoredSet::SetTrLevels(float high, float low) {
    m_trLevelHigh = high;
    m_trLevelLow = low;
}

void StoredSet::SetExtremeText(int row, int ch, const QString& text) {
    m_extremeText[row == 0 ? 0 : 1][Index(ch)] = text;
}

const QString& StoredSet::ExtremeText(int row, int ch) const {
    return m_extremeText[row == 0 ? 0 : 1][Index(ch)];
}

TimeValue StoredSet::RmsSampleTime(int64_t i) const {
    return m_startTime + static_cast<TimeValue>(std::trunc(double(i) * double(m_rmsInterval)));
}

bool StoredSet::IsConsistent() const {
    if (m_rmsCount < 0)
        return false;
    for (size_t c = 0; c < 2; ++c) {
        if (m_rms[c].size() != (m_present[c] ? size_t(m_rmsCount) : 0))
            return false;
    }
    const size_t tr = m_trTime.size();
    return m_trWave.size() == tr * kTrPoints && m_trUnitCode.size() == tr &&
           m_trChannelCode.size() == tr;
}

void MeasurementSet::ReplaceStored(StoredSet stored) {
    ++m_storedGeneration;
    m_stored = std::move(stored);
}

const QString& MeasurementSet::ExtremeText(int row, int ch) const {
    if (row <= 1)
        return m_stored.ExtremeText(row, ch);
    return m_extremeText[size_t(std::min(row, 9))][ch == 0 ? 0 : 1];
}

void MeasurementSet::SetExtremeText(int row, int ch, const QString& text) {
    if (row <= 1 || row > 9)
        return;
    m_extremeText[size_t(row)][ch == 0 ? 0 : 1] = text;
}

QString StoredMaximumText(float value, const QString& unit, bool found, TimeValue when) {
    QString t = Fixed1(value) + QLatin1Char(' ') + unit + QStringLiteral(" @");
    if (found)
        t += FormatDateTime(when);
    return t;
}

QString StoredMinimumText(float value, const QString& unit, bool found, TimeValue when) {
    QString t = Fixed1(value) + unit + QStringLiteral(" @");
    if (found)
        t += FormatDateTime(when);
    return t;
}

void ComputeStoredExtremes(StoredSet& set) {
    for (int ch = 0; ch < 2; ++ch) {
        if (!set.ChannelPresent(ch))
            continue;
        const std::vector<float>& v = set.ChannelRms(ch);
        float maximum = -1000.0f;
        float minimum = 1000.0f;
        int64_t maxIndex = -1;
        int64_t minIndex = -1;
        const int64_t n = int64_t(v.size());
        for (int64_t i = 0; i < n; ++i) {
            if (maximum <= v[size_t(i)]) {
                maximum = v[size_t(i)];
                maxIndex = i;
            }
            if (minimum >= v[size_t(i)]) {
                minimum = v[size_t(i)];
                minIndex = i;
            }
        }
        const QString& unit = set.ChannelUnit(ch);
        set.SetExtremeText(0, ch,
                           StoredMaximumText(maximum, unit, maxIndex >= 0,
                                             set.RmsSampleTime(std::max<int64_t>(maxIndex, 0))));
        set.SetExtremeText(1, ch,
                           StoredMinimumText(minimum, unit, minIndex >= 0,
                                             set.RmsSampleTime(std::max<int64_t>(minIndex, 0))));
    }
}

int64_t WorkBufferPoints(const MeasurementSet& set, WorkBufferOccasion occasion,
                         int rtPointsRequested) {
    const int64_t rms = set.RmsCount();
    const int64_t tr = int64_t(kTrPoints) * set.TrCount();
    switch (occasion) {
    case WorkBufferOccasion::AfterDownload:
        return std::max({rms, tr, int64_t(kRtMaxPoints), int64_t(set.RtCount())});
    case WorkBufferOccasion::AfterFileRead:
        return std::max({rms, tr, int64_t(kRtWavePoints), int64_t(set.RtCount())});
    case WorkBufferOccasion::AtRealTimeStart:
        return std::max({int64_t(rtPointsRequested), int64_t(kRtWavePoints), rms});
    }
    return 0;
}
