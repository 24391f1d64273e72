#pragma once
// Power figures of one captured sample (590 pairs at 54.71 us, values as the logger
// sends them): with a voltage on one channel and a current on the other, active power
// P, apparent power S, power factor, displacement angle and reactive power; per
// channel, the harmonic orders up to the 50th and the total harmonic distortion.
//
// Everything is taken over whole periods of the voltage. The crossings that bound
// them come from the RMS-and-frequency analysis and are then placed between the
// samples by a straight line fitted through each edge: an integer window would be up
// to a sample off a 365.5-sample period, which leaks the fundamental into the orders.
// P and the fundamentals are integrals over that fractional window (trapezoids, the
// end pieces interpolated); the spectrum resamples the window onto a power-of-two grid
// (four-point Lagrange) and takes its FFT, so that every order falls on a bin.
//
// P, S, PF, phi and Q cost little more than the RMS analysis itself; the spectrum is
// computed only when asked for.

#include "graph/WaveformAnalysis.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

enum class ChannelKind : uint8_t { Absent, Volts, Amps, Other };

// The kind of real-time channel `ch` from the set's presence flag and unit.
ChannelKind RtChannelKind(const MeasurementSet& set, int ch);

// Whole periods of the capture at fractional sample positions.
struct PeriodWindow {
    double start = 0; // first crossing, in samples from the capture's start
    double end = 0;   // last crossing
    int periods = 0;  // whole periods between them
    double Period() const { return periods > 0 ? (end - start) / periods : 0.0; }
};

struct PowerFigures {
    double p = 0;      // W: mean of v x i over the window
    double s = 0;      // VA: Vrms x Irms of the RMS analysis
    double pf = 0;     // P / S, within -1 .. 1
    double phiDeg = 0; // current's fundamental behind the voltage's; positive when it lags
    double q = 0;      // var: sign(phi) x sqrt(S^2 - P^2)
};

inline constexpr int kMaxHarmonicOrder = 50;

struct HarmonicOrder {
    double amplitude = 0; // peak, in the channel's raw units
    double percent = 0;   // of the fundamental's amplitude
    double phaseDeg = 0;  // sine phase against the reference fundamental, -180 .. 180
};

struct HarmonicSpectrum {
    int orders = 0; // order[0 .. orders - 1] hold orders 1 .. orders
    std::array<HarmonicOrder, kMaxHarmonicOrder> order{};
    double thdPercent = 0; // sqrt(sum of A_h^2, h >= 2) / A_1
};

class PowerAnalysis {
public:
    // Runs the RMS analysis of each channel that is not absent. `wave` must stay
    // alive and unchanged as long as this object is used.
    PowerAnalysis(std::span<const FloatPair> wave, std::array<ChannelKind, 2> kinds);
    // The same with the RMS analysis results the caller already has.
    PowerAnalysis(std::span<const FloatPair> wave, std::array<ChannelKind, 2> kinds,
                  const std::array<WaveformResult, 2>& known);

    const WaveformResult& Waveform(int ch) const { return m_result[Index(ch)]; }
    // The channel of the volts when one channel reads volts and the other amperes.
    std::optional<int> VoltsChannel() const;
    // The window a channel's spectrum is taken over: the voltage's whole periods for
    // both channels of a voltage and current pair, else the channel's own; none for a
    // channel without a usable signal.
    std::optional<PeriodWindow> Window(int ch) const;
    // P, S, PF, phi and Q; none without a pair whose both channels have a signal and
    // whose voltage has a whole period.
    std::optional<PowerFigures> Power() const;
    // Orders 1 .. min(50, below the capture's Nyquist order) of a channel, and its THD.
    std::optional<HarmonicSpectrum> Spectrum(int ch) const;
    // Both channels' orders at once (one FFT for the two when they share a window).
    std::array<std::optional<HarmonicSpectrum>, 2> Spectra() const;

private:
    static size_t Index(int ch) { return ch == 0 ? 0 : 1; }
    bool Usable(int ch) const;
    void Refine();

    std::span<const FloatPair> m_wave;
    std::array<ChannelKind, 2> m_kind;
    std::array<WaveformResult, 2> m_result{};
    std::array<std::optional<PeriodWindow>, 2> m_own; // each channel's own whole periods
};

// The figures stored with a real-time sample: power of the pair and THD per channel.
RtPowerRow MakePowerRow(const PowerAnalysis& a);

// P, Q, PF and phi of samples 0 .. count - 1 from their kept waveforms, the channels
// given by their kind bytes (a run read back from a file stores no power figures);
// every row is empty unless one channel reads volts and the other amperes, and a row
// stays empty where its waveform cannot be read or gives none. The spectra, and with
// them the THD, are left to whatever asks for them: no FFT per sample.
std::vector<RtPowerRow> RunPowerRows(const RtWaveformSource& waves, std::array<uint8_t, 2> kinds,
                                     int count);

// The power source of a run read back from its file: RunPowerRows, when first read.
class RunPowerFromWaveforms : public RtPowerSource {
public:
    std::vector<RtPowerRow> PowerOf(const RtWaveformSource& waves, std::array<uint8_t, 2> kinds,
                                    int count) const override {
        return RunPowerRows(waves, kinds, count);
    }
};

// Texts of the analysis panel's power rows. "--" where the figure does not apply (no
// voltage and current pair, an absent channel), "LO" where the sample gave no usable
// signal or period, "NONE" before the first sample of a run.
struct PowerTexts {
    QString p, q, pf, phi;
    std::array<QString, 2> thd;
    bool operator==(const PowerTexts&) const = default;
};
PowerTexts NonePowerTexts();
PowerTexts MakePowerTexts(const RtPowerRow& row, std::array<ChannelKind, 2> kinds);
