#include "data/RunEnergy.h"

#include <algorithm>

namespace {

constexpr double kSecondsPerHour = 3600.0;

} // namespace

RunEnergySum::RunEnergySum(int intervalSeconds)
    : m_hours(double(intervalSeconds) / kSecondsPerHour) {}

void RunEnergySum::AddApparent(float rms1, float rms2) {
    m_vah += double(rms1) * double(rms2) * m_hours;
}

void RunEnergySum::AddActive(std::optional<double> watts) {
    if (!watts)
        return;
    m_wh += *watts * m_hours;
    ++m_withPower;
}

RunEnergy RunEnergySum::Result(bool activeKnown) const {
    RunEnergy e;
    e.apparentVah = m_vah;
    if (activeKnown) {
        e.activeWh = m_wh;
        e.samplesWithPower = m_withPower;
    }
    return e;
}

std::optional<RunEnergy> EnergyOfRun(const RealTimeRun& run) {
    const uint8_t k1 = run.ChannelKind(0);
    const uint8_t k2 = run.ChannelKind(1);
    if (k1 == kChannelAbsent || k2 == kChannelAbsent || k1 == k2)
        return std::nullopt;
    RunEnergySum sum(run.Interval());
    const size_t n = std::min(run.Rms().size(), run.Power().size());
    for (size_t i = 0; i < n; ++i) {
        sum.AddApparent(run.Rms()[i][0], run.Rms()[i][1]);
        const std::optional<float>& p = run.Power()[i].p;
        sum.AddActive(p ? std::optional<double>(double(*p)) : std::nullopt);
    }
    return sum.Result();
}

QString ActiveEnergyText(const RunEnergy& e) {
    return e.activeWh ? QString::asprintf("%.2f Wh", *e.activeWh) : QStringLiteral("-- Wh");
}

QString ApparentEnergyText(const RunEnergy& e) {
    return QString::asprintf("%.2f VAh", e.apparentVah);
}
