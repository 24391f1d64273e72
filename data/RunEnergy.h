#pragma once
// The energy of a real-time run so far: apparent (VAh, the sum of each sample's
// S = CH1 RMS x CH2 RMS times the run's interval) and active (Wh, the sum of each
// sample's P times the interval). A sample without a power figure adds nothing to
// the active energy; how many did is counted beside it. The window, the files and
// the command line all take the run's energy from here.

#include "data/MeasurementSet.h"

#include <QString>

#include <optional>

struct RunEnergy {
    double apparentVah = 0;
    std::optional<double> activeWh; // none where no P could be known (no waveforms kept)
    int samplesWithPower = 0;
};

// Adds the samples of a run one at a time.
class RunEnergySum {
public:
    explicit RunEnergySum(int intervalSeconds);
    void AddApparent(float rms1, float rms2);
    // P of one sample (W); none adds nothing.
    void AddActive(std::optional<double> watts);
    // The sum so far; `activeKnown` false leaves the active energy unknown.
    RunEnergy Result(bool activeKnown = true) const;

private:
    double m_hours;
    double m_vah = 0;
    double m_wh = 0;
    int m_withPower = 0;
};

// The energy of a run with a voltage and a current channel (none otherwise), from its
// RMS values and its samples' power figures.
std::optional<RunEnergy> EnergyOfRun(const RealTimeRun& run);

// "1234.57 Wh" and "1300.00 VAh"; the active energy "-- Wh" when unknown.
QString ActiveEnergyText(const RunEnergy& e);
QString ApparentEnergyText(const RunEnergy& e);
