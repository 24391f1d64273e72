// Writes the fuzz seeds from the program's own encoders: measurement files of
// downloaded and hand-made sets, settings files as the program writes them, and
// download reply streams of the simulator's recordings in the input format of
// fuzz_link_replies (the 28-byte header, then a length byte in units of 8 and that
// many reply bytes, repeated).
//
//   build-fuzz/fuzz/fuzz_make_seeds fuzz/seeds

#include "base/IniFile.h"
#include "base/Settings.h"
#include "data/RtdataCodec.h"
#include "data/RtdataFile.h"
#include "data/StdataFile.h"
#include "link/LoggerProtocol.h"
#include "sim/LoggerImage.h"
#include "sim/RealTimeStream.h"

#include <QDir>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

bool Write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

QByteArray ReplyStream(const LoggerRecording& r) {
    const QByteArray data = EncodeRecordingData(r);
    QByteArray out = EncodeHeader(RecordingHeader(r, uint32_t(data.size())));
    for (qsizetype at = 0; at < data.size(); at += Logger::kBlockBytes) {
        const qsizetype n = std::min<qsizetype>(Logger::kBlockBytes, data.size() - at);
        out += char((n + 7) / 8);
        out += data.mid(at, n);
    }
    return out;
}

// A run of n samples with the simulator's waveforms, as orvex-dl realtime -o keeps it.
RtdataImage SimulatedRun(int n, std::array<uint8_t, 2> kind, bool waves) {
    const RealTimeStream stream;
    RtdataImage r;
    r.interval = 2;
    r.startTime = 1796832000;
    r.utcOffset = RtLocalUtcOffset(r.startTime);
    r.kind = kind;
    for (int k = 0; k < n; ++k) {
        r.times.push_back(r.startTime + 2 * k);
        RtWaveform w{};
        for (int i = 0; i < kRtWavePoints; ++i)
            w[size_t(i)] = {stream.Sample(0, i, k), stream.Sample(1, i, k)};
        for (int ch = 0; ch < 2; ++ch) {
            if (!r.ChannelPresent(ch))
                continue;
            r.rms[size_t(ch)].push_back(ch == 0 ? 229.6f : 10.0f);
            r.freq[size_t(ch)].push_back(k == 1 ? 400.0f : 49.9f);
        }
        if (waves)
            r.waveforms.push_back(w);
    }
    return r;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_make_seeds SEED-FOLDER\n");
        return 2;
    }
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    const QDir root(QString::fromLocal8Bit(argv[1]));
    for (const char* sub : {"stdata", "settings", "link_replies", "rtdata"})
        root.mkpath(QString::fromLatin1(sub));
    bool ok = true;

    // Download reply streams: two channels with transients, one channel, a
    // recording that wrapped in the ring, and a single short block.
    SyntheticOptions two;
    two.samples = 300;
    two.trEvery = 120;
    SyntheticOptions one;
    one.channelCount = 1;
    one.samples = 200;
    one.intervalUnit = Logger::kUnitMinutes;
    SyntheticOptions wrapped;
    wrapped.samples = 150;
    wrapped.trEvery = 100;
    wrapped.startPos = 3 * Logger::kBlockBytes + 40;
    SyntheticOptions tiny;
    tiny.samples = 5;
    tiny.intervalUnit = Logger::kUnitHours;
    const std::pair<const char*, SyntheticOptions> streams[] = {
        {"two-channels-tr", two}, {"one-channel", one}, {"wrapped", wrapped}, {"tiny", tiny}};
    for (const auto& [name, o] : streams) {
        const LoggerRecording r = SyntheticRecording(o);
        ok &= Write(root.filePath(QStringLiteral("link_replies/%1.bin").arg(name)), ReplyStream(r));
        // The same recording as the program saves it after the download.
        ok &= Write(root.filePath(QStringLiteral("stdata/downloaded-%1.stdata").arg(name)),
                    EncodeStdata(StoredSetOf(r)));
    }

    // Settings: the first file the program writes, one with every value changed and
    // a user's own lines, and one with LF line ends and odd spellings.
    IniFile ini;
    StoreAllSettings(ini, AppSettings());
    ok &= Write(root.filePath(QStringLiteral("settings/defaults.ini")), ini.ToBytes());

    AppSettings changed;
    changed.m_timeMonth = QStringLiteral("07");
    changed.m_sampRate = QStringLiteral("3600");
    changed.m_sampUnit = 2;
    changed.m_showCh2 = 0;
    changed.m_bgColor = 14;
    changed.m_autoOff = 2;
    changed.m_recMode = 3;
    changed.m_rtInterval = 3600;
    changed.m_rtPointsRequested = 100000;
    changed.m_yAxisLow[6][1] = -162500;
    IniFile mine;
    mine.LoadFromBytes("; my notes\r\n[Mine]\r\nkeep=me\r\n\r\n");
    StoreAllSettings(mine, changed);
    ok &= Write(root.filePath(QStringLiteral("settings/changed.ini")), mine.ToBytes());

    ok &= Write(root.filePath(QStringLiteral("settings/odd.ini")),
                "[viewinfo]\nview1 = 257\nVIEW2=-1\n[YAXISInfo]\nYAXISLOW1CH1=  -2147483649\n"
                "YAXISHI1CH1=\"500\"\n[TIMEInfo]\nYEAR='2024'\nMONTH\n[ColorInfo\nBGColor=x\n");
    // Real-time runs: both channels with waveforms, CH1 only without, CH2 only.
    ok &= Write(root.filePath(QStringLiteral("rtdata/two-channels.rtdata")),
                EncodeRtdata(SimulatedRun(3, {kChannelVolts, kChannelAmps}, true)));
    ok &= Write(root.filePath(QStringLiteral("rtdata/ch1-values.rtdata")),
                EncodeRtdata(SimulatedRun(20, {kChannelVolts, kChannelAbsent}, false)));
    ok &= Write(root.filePath(QStringLiteral("rtdata/ch2-one.rtdata")),
                EncodeRtdata(SimulatedRun(1, {kChannelAbsent, kChannelAmps}, true)));
    return ok ? 0 : 1;
}
