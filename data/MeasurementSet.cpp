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
    m_captureSample = -1;
}

void RealTimeRun::Clear() {
    *this = RealTimeRun{};
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

bool RealTimeRun::SetPower(int n, const RtPowerRow& row) {
    if (n < 0 || size_t(n) >= m_power.size())
        return false;
    m_power[size_t(n)] = row;
    m_powerPairs[size_t(n)] = PowerPairOf(row);
    return true;
}

TimeValue RealTimeRun::SampleTime(int64_t n) const {
    if (n >= 0 && n < int64_t(m_times.size()))
        return m_times[size_t(n)];
    return m_startTime + n * m_interval;
}

TimeValue MeasurementSet::RmsSampleTime(int64_t i) const {
    return m_startTime + static_cast<TimeValue>(std::trunc(double(i) * double(m_rmsInterval)));
}

void MeasurementSet::ClearStored() {
    MeasurementSet empty;
    TakeStored(std::move(empty));
}

void MeasurementSet::TakeStored(MeasurementSet&& o) {
    ++m_storedGeneration;
    m_ch1Rms = std::move(o.m_ch1Rms);
    m_ch2Rms = std::move(o.m_ch2Rms);
    m_trWave = std::move(o.m_trWave);
    m_trTime = std::move(o.m_trTime);
    m_trUnitCode = std::move(o.m_trUnitCode);
    m_trChannelCode = std::move(o.m_trChannelCode);
    m_startTime = o.m_startTime;
    m_rmsInterval = o.m_rmsInterval;
    m_rmsCount = o.m_rmsCount;
    m_channelCount = o.m_channelCount;
    m_ch1Present = o.m_ch1Present;
    m_ch2Present = o.m_ch2Present;
    m_ch1Unit = o.m_ch1Unit;
    m_ch2Unit = o.m_ch2Unit;
    m_trCount = o.m_trCount;
    m_trLevelHigh = o.m_trLevelHigh;
    m_trLevelLow = o.m_trLevelLow;
    m_extremeText[0] = o.m_extremeText[0];
    m_extremeText[1] = o.m_extremeText[1];
}

bool MeasurementSet::StoredIsConsistent() const {
    if (m_rmsCount < 0 || m_trCount < 0)
        return false;
    auto channelOk = [&](uint8_t present, const std::vector<float>& v) {
        return present ? v.size() == size_t(m_rmsCount) : v.empty();
    };
    const size_t tr = size_t(m_trCount);
    return channelOk(m_ch1Present, m_ch1Rms) && channelOk(m_ch2Present, m_ch2Rms) &&
           m_trWave.size() == tr * kTrPoints && m_trTime.size() == tr &&
           m_trUnitCode.size() == tr && m_trChannelCode.size() == tr;
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

void ComputeStoredExtremes(MeasurementSet& set) {
    for (int ch = 0; ch < 2; ++ch) {
        if (!set.ChannelPresent(ch))
            continue;
        const std::vector<float>& v = set.ChannelRms(ch);
        float maximum = -1000.0f;
        float minimum = 1000.0f;
        int64_t maxIndex = -1;
        int64_t minIndex = -1;
        const int64_t n = std::min<int64_t>(set.m_rmsCount, int64_t(v.size()));
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
        set.m_extremeText[0][ch] = StoredMaximumText(
            maximum, unit, maxIndex >= 0, set.RmsSampleTime(std::max<int64_t>(maxIndex, 0)));
        set.m_extremeText[1][ch] = StoredMinimumText(
            minimum, unit, minIndex >= 0, set.RmsSampleTime(std::max<int64_t>(minIndex, 0)));
    }
}

int64_t WorkBufferPoints(const MeasurementSet& set, WorkBufferOccasion occasion,
                         int rtPointsRequested) {
    const int64_t rms = set.m_rmsCount;
    const int64_t tr = int64_t(kTrPoints) * set.m_trCount;
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
