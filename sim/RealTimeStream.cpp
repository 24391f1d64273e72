#include "sim/RealTimeStream.h"

#include "data/MeasurementSet.h"
#include "link/LoggerProtocol.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// A small deterministic generator: the same frame always carries the same noise,
// so a test can rebuild what was served.
double Noise(int ch, int i, int frame) {
    uint32_t x = uint32_t(frame) * 2654435761u ^ uint32_t(i) * 40503u ^ uint32_t(ch + 1) * 97u;
    x ^= x >> 13;
    x *= 0x5bd1e995u;
    x ^= x >> 15;
    return double(x % 20001u) / 10000.0 - 1.0; // -1 .. 1
}

} // namespace

bool ParseWaveSpec(const QString& text, WaveSpec& out) {
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() < 2 || parts.size() > 5)
        return false;
    double v[5] = {0, 50, 0, 0, 0};
    for (qsizetype k = 0; k < parts.size(); ++k) {
        bool ok = false;
        v[k] = parts[k].trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(v[k]))
            return false;
    }
    if (v[0] < 0 || v[0] > 32767 || v[1] <= 0 || v[1] > 9000 || v[4] < 0 || v[4] > 32767 ||
        std::abs(v[3]) > 32767)
        return false;
    out = WaveSpec{v[0], v[1], v[2], v[3], v[4], out.harmonics};
    return true;
}

bool ParseWaveHarmonics(const QString& text, std::vector<WaveHarmonic>& out) {
    std::vector<WaveHarmonic> hs;
    for (const QString& item : text.split(QLatin1Char(','))) {
        const QStringList parts = item.split(QLatin1Char(':'));
        if (parts.size() < 2 || parts.size() > 3)
            return false;
        bool okOrder = false, okPercent = false, okPhase = true;
        WaveHarmonic h;
        h.order = parts[0].trimmed().toInt(&okOrder);
        h.percent = parts[1].trimmed().toDouble(&okPercent);
        if (parts.size() == 3)
            h.phaseDeg = parts[2].trimmed().toDouble(&okPhase);
        if (!okOrder || !okPercent || !okPhase || h.order < 2 || h.order > 50 ||
            !(h.percent >= 0 && h.percent <= 100) || !std::isfinite(h.phaseDeg))
            return false;
        hs.push_back(h);
    }
    out = std::move(hs);
    return true;
}

int16_t RealTimeStream::Sample(int ch, int i, int frame) const {
    const WaveSpec& w = waves[size_t(ch == 0 ? 0 : 1)];
    const double t = double(i) * kStreamSampleSeconds;
    const double x = 2 * std::numbers::pi * w.frequency * t + w.phaseDeg * std::numbers::pi / 180.0;
    double v = w.offset + w.amplitude * std::sin(x);
    for (const WaveHarmonic& h : w.harmonics)
        v += w.amplitude * h.percent / 100.0 *
             std::sin(h.order * x + h.phaseDeg * std::numbers::pi / 180.0);
    if (w.noise > 0)
        v += w.noise * Noise(ch, i, frame);
    return int16_t(std::clamp<long>(std::lround(v), -32768, 32767));
}

QByteArray RealTimeStream::Frame(int frame, uint8_t channels, uint8_t kind1, uint8_t kind2,
                                 bool ch2Off) const {
    if (silenceAfter > 0 && frame >= silenceAfter)
        return {};
    QByteArray f(Logger::kRealTimeFrameBytes, '\0');
    f[0] = char(Logger::kFrameMark);
    f[1] = char(Logger::kFrameMark);
    f[2] = char(ch2Off ? 1 : channels);
    f[3] = char(kind1);
    f[4] = char(ch2Off ? kChannelAbsent : kind2);
    for (int i = 0; i < kRtWavePoints; ++i) {
        const int at = Logger::kRealTimeFrameHeader + 4 * i;
        for (int ch = 0; ch < 2; ++ch) {
            const auto v = uint16_t(Sample(ch, i, frame));
            f[at + 2 * ch] = char((v >> 8) & 0xFF);
            f[at + 2 * ch + 1] = char(v & 0xFF);
        }
    }
    return f;
}

const char* const kRealTimeStreamUsage =
    "Real-time stream:\n"
    "  --ch1-wave A,F[,PH[,OFF[,NOISE]]]  CH1 waveform: peak, Hz, phase in degrees at\n"
    "                      each frame's start, offset, noise peak (default 325.27,50,90)\n"
    "  --ch2-wave A,F[,PH[,OFF[,NOISE]]]  CH2 waveform (default 14.142,50,90)\n"
    "  --ch1-harmonics H:PCT[:PH],...  harmonic orders (2 to 50) added to CH1: percent\n"
    "                      of its peak, phase in degrees against its fundamental\n"
    "  --ch2-harmonics H:PCT[:PH],...  the same for CH2\n"
    "  --silence-after N   stop sending frames after N frames (the logger goes quiet)\n";

StreamOption ParseStreamOption(const QStringList& args, int& i, RealTimeStream& stream,
                               QString& error) {
    const QString& a = args[i];
    const bool wave = a == QLatin1String("--ch1-wave") || a == QLatin1String("--ch2-wave");
    const bool harmonics =
        a == QLatin1String("--ch1-harmonics") || a == QLatin1String("--ch2-harmonics");
    if (!wave && !harmonics && a != QLatin1String("--silence-after"))
        return StreamOption::NotMine;
    if (i + 1 >= args.size()) {
        error = a + QStringLiteral(" takes a value");
        return StreamOption::Bad;
    }
    const QString& v = args[++i];
    if (harmonics) {
        auto& target = stream.waves[a == QLatin1String("--ch1-harmonics") ? 0 : 1].harmonics;
        if (!ParseWaveHarmonics(v, target)) {
            error = a + QStringLiteral(" takes ORDER:PERCENT[:PHASE],... with orders 2 to 50 "
                                       "and percentages 0 to 100");
            return StreamOption::Bad;
        }
        return StreamOption::Taken;
    }
    if (wave) {
        WaveSpec w;
        w.harmonics = stream.waves[a == QLatin1String("--ch1-wave") ? 0 : 1].harmonics;
        if (!ParseWaveSpec(v, w)) {
            error = a + QStringLiteral(" takes AMPLITUDE,FREQUENCY[,PHASE[,OFFSET[,NOISE]]] with "
                                       "an amplitude up to 32767 and a frequency above 0");
            return StreamOption::Bad;
        }
        stream.waves[a == QLatin1String("--ch1-wave") ? 0 : 1] = w;
        return StreamOption::Taken;
    }
    bool ok = false;
    const int n = v.toInt(&ok);
    if (!ok || n < 1) {
        error = QStringLiteral("--silence-after takes a frame count from 1");
        return StreamOption::Bad;
    }
    stream.silenceAfter = n;
    return StreamOption::Taken;
}
