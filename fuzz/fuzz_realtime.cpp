// Feeds arbitrary bytes to the real-time frame handling and the waveform analysis:
// the input is cut into pieces that arrive on the line with a few virtual
// milliseconds between them, so that sample ticks, the watchdog and the start
// repeat interleave with whole, split, shifted and damaged frames. Nothing may
// crash, read past a frame or store a sample past the requested count.

#include "base/Prompts.h"
#include "base/Timers.h"
#include "graph/RealTimeSampler.h"
#include "link/LinkController.h"
#include "sim/FakeSerialChannel.h"

#include <QByteArray>

#include <cstdlib>
#include <ctime>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const int requested = 1 + data[0] % 8;

    // The analysis alone on a waveform of the bytes (two per sample, as a frame).
    {
        std::array<FloatPair, kRtWavePoints> wave{};
        for (size_t i = 0; i + 3 < size && i / 4 < size_t(kRtWavePoints); i += 4) {
            wave[i / 4][0] = float(int16_t(uint16_t(data[i] << 8 | data[i + 1])));
            wave[i / 4][1] = float(int16_t(uint16_t(data[i + 2] << 8 | data[i + 3])));
        }
        EpaTexts texts;
        for (int ch = 0; ch < 2; ++ch) {
            const WaveformResult r = AnalyseWaveform(wave, 0, kRtWavePoints, ch, &texts);
            if (r.valid && (r.first < 0 || r.last >= kRtWavePoints))
                std::abort();
        }
    }

    ManualClock clock;
    ManualTimerTable timers(clock);
    FakeSerialChannel channel(&clock);
    FakePrompts prompts;
    FixedClock now(1765199100);
    MeasurementSet set;
    channel.SetOpenable(1);
    LinkController link(channel, timers, prompts, set);
    RealTimeTransfer& transfer = link.RealTime();
    transfer.SetClock(&now);
    RealTimeSampler sampler;
    QObject::connect(&transfer, &RealTimeTransfer::sampleDue, [&] { sampler.Sample(set); });
    timers.SetHandler([&](int id) { link.OnTimer(id); });
    transfer.Configure(requested, 2);
    link.StartTransfer(TransferKind::RealTime);

    // Pieces: a length byte pair, then that many bytes; the byte after each piece
    // is the pause in units of 50 ms.
    size_t at = 1;
    while (at + 3 <= size) {
        const size_t len = size_t(data[at] << 8 | data[at + 1]) % 5000;
        const int pause = data[at + 2];
        at += 3;
        const size_t n = std::min(len, size - at);
        // The frame mark in front makes whole frames likely.
        QByteArray piece(reinterpret_cast<const char*>(data + at), qsizetype(n));
        if (n > 2 && (pause & 1))
            piece[0] = piece[1] = char(0x3F);
        at += n;
        if (!channel.IsOpen())
            channel.Open();
        channel.Inject(piece);
        clock.Advance(int64_t(pause) * 50);
        if (set.RtCount() > requested || set.Run().Freq().size() != set.Run().Rms().size() ||
            set.Run().Times().size() != set.Run().Rms().size())
            std::abort();
        if (set.Run().CapturePoints() != 0 && set.Run().CapturePoints() != kRtWavePoints)
            std::abort();
    }
    clock.Advance(25000);
    if (set.RtCount() > requested || transfer.Running())
        std::abort();
    return 0;
}
