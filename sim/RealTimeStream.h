#pragma once
// The logger's real-time stream as the simulator and the tests serve it: one
// waveform per channel (amplitude, frequency, phase, offset, noise) sampled at
// 54.71 us into the 590 pairs of a 2365-byte frame, and the faults of a stream
// (a channel switched off after some frames, silence after some frames).

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <vector>

inline constexpr double kStreamSampleSeconds = 0.00005471;

// One harmonic order of a waveform: percent of the fundamental's peak, and its phase
// against the fundamental (sin(order x + phase) where the fundamental is sin x).
struct WaveHarmonic {
    int order = 2;
    double percent = 0;
    double phaseDeg = 0;
};

struct WaveSpec {
    double amplitude = 0;  // peak, in the channel's raw units
    double frequency = 50; // Hz
    double phaseDeg = 0;   // at the first sample of every frame
    double offset = 0;     // added to every sample
    double noise = 0;      // peak of uniform noise added to every sample
    std::vector<WaveHarmonic> harmonics;
};

// "AMP,FREQ[,PHASE[,OFFSET[,NOISE]]]", e.g. "325,50" or "14.1,50,-30,0,0.5". Keeps
// the harmonics of `out`.
bool ParseWaveSpec(const QString& text, WaveSpec& out);
// "ORDER:PERCENT[:PHASE],...", e.g. "3:5,5:3" or "3:20:-90"; orders 2 to 50.
bool ParseWaveHarmonics(const QString& text, std::vector<WaveHarmonic>& out);

struct RealTimeStream {
    // 230 V and 10 A RMS at 50 Hz, in phase, without noise; each frame starts at the
    // crest, so that its 590 samples (1.6 periods) hold two falling crossings.
    std::array<WaveSpec, 2> waves{WaveSpec{325.27, 50, 90, 0, 0, {}},
                                  WaveSpec{14.142, 50, 90, 0, 0, {}}};
    int silenceAfter = 0; // frames sent before the stream falls silent; 0 = never

    // Sample i (0..589) of channel ch in frame `frame`, as the logger sends it.
    int16_t Sample(int ch, int i, int frame) const;
    // Frame number `frame` (0-based since the start command); empty once silent.
    // With `ch2Off`, CH2 reports off and the channel count 1.
    QByteArray Frame(int frame, uint8_t channels, uint8_t kind1, uint8_t kind2, bool ch2Off) const;
};

// Options of the simulator for the stream; the text lists them for its --help.
extern const char* const kRealTimeStreamUsage;
enum class StreamOption { NotMine, Taken, Bad };
// Takes args[i] (and its value, advancing i) when it is a stream option.
StreamOption ParseStreamOption(const QStringList& args, int& i, RealTimeStream& stream,
                               QString& error);
