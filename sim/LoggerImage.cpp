#include "sim/LoggerImage.h"

#include "link/LoggerProtocol.h"

#include <cmath>
#include <numbers>

namespace {

void AppendBe16(QByteArray& b, int16_t v) {
    b.append(char((uint16_t(v) >> 8) & 0xFF));
    b.append(char(uint16_t(v) & 0xFF));
}

uint32_t IntervalSeconds(uint8_t unit, uint8_t count) {
    switch (unit) {
    case Logger::kUnitMinutes:
        return count * 60u;
    case Logger::kUnitHours:
        return count * 3600u;
    default:
        return count;
    }
}

// Tenths of a volt around 230 V, or of an ampere around 10 A.
int16_t SyntheticLevel(uint8_t kind, double phase) {
    return kind == kChannelAmps ? int16_t(std::lround(100 + 20 * std::sin(phase)))
                                : int16_t(std::lround(2300 + 60 * std::sin(phase)));
}

void FillSyntheticSamples(const SyntheticOptions& o, int n, LoggerRecording& r) {
    const uint8_t kinds[2] = {o.ch1Kind, o.ch2Kind};
    r.samples.resize(size_t(std::max<int64_t>(o.samples, 0)));
    for (size_t i = 0; i < r.samples.size(); ++i) {
        const double ph = double(i) / 37.0;
        if (n == 2) {
            r.samples[i] = {SyntheticLevel(kinds[0], ph), SyntheticLevel(kinds[1], ph + 1.0)};
        } else {
            const uint8_t kind = kinds[0] != kChannelAbsent ? kinds[0] : kinds[1];
            r.samples[i] = {SyntheticLevel(kind, ph), 0};
        }
    }
}

// Every `trEvery` samples a TR record, on the channels in turn: five mains cycles at
// the channel's usual peak (325 V, 14 A) with a sag in the middle third, offset a
// little per record so records differ.
void AddSyntheticTransients(const SyntheticOptions& o, int n, LoggerRecording& r) {
    const uint8_t kinds[2] = {o.ch1Kind, o.ch2Kind};
    const TimeValue t0 = FromLocalFields(o.start);
    const uint32_t step = IntervalSeconds(o.intervalUnit, o.intervalCount);
    int k = 0;
    for (int64_t at = o.trEvery; at <= o.samples; at += o.trEvery, ++k) {
        LoggerTrEvent e;
        e.beforeSample = at;
        const bool second = n == 2 && (k % 2 == 1);
        const uint8_t kind = second ? kinds[1] : kinds[0];
        e.channel = second ? kTrChannel2 : kTrChannel1;
        e.quantity = kind == kChannelAmps ? kTrUnitAmps : kTrUnitVolts;
        e.time = ToLocalFields(t0 + TimeValue(at - 1) * step + step / 2);
        const double peak = kind == kChannelAmps ? 14.0 : 325.0;
        for (int j = 0; j < kTrPoints; ++j) {
            const double depth = (j >= 84 && j < 168) ? 0.55 : 1.0;
            e.wave[size_t(j)] = int16_t(
                std::lround(peak * depth * std::sin(j * 2 * std::numbers::pi / 50.0) + (k % 5)));
        }
        r.tr.push_back(e);
    }
}

} // namespace

LoggerRecording SyntheticRecording(const SyntheticOptions& o) {
    LoggerRecording r;
    r.channelCount = o.channelCount;
    r.ch1Kind = o.ch1Kind;
    r.ch2Kind = o.ch2Kind;
    r.intervalUnit = o.intervalUnit;
    r.intervalCount = o.intervalCount;
    r.start = o.start;
    r.startPos = o.startPos;
    // A wrapped recording lost some samples: as many as the start position holds.
    const int n = o.channelCount == 1 ? 1 : 2;
    if (o.startPos != 0)
        r.overwrittenSamples = o.startPos / uint32_t(2 * n);
    FillSyntheticSamples(o, n, r);
    if (o.trEvery > 0)
        AddSyntheticTransients(o, n, r);
    return r;
}

QByteArray EncodeRecordingData(const LoggerRecording& r) {
    const int n = r.channelCount == 1 ? 1 : 2;
    QByteArray b;
    b.reserve(qsizetype(r.samples.size()) * 2 * n + qsizetype(r.tr.size()) * 512);
    size_t t = 0;
    auto emitTr = [&](const LoggerTrEvent& e) {
        b.append(char(Logger::kTrMarker0));
        b.append(char(Logger::kTrMarker1));
        b.append(char(e.quantity));
        b.append(char(e.channel));
        const int f[6] = {e.time.year - 2000, e.time.month,  e.time.day,
                          e.time.hour,        e.time.minute, e.time.second};
        for (int v : f)
            b.append(char(Logger::ToBcd(v)));
        for (int16_t v : e.wave)
            AppendBe16(b, v);
    };
    for (size_t i = 0; i < r.samples.size(); ++i) {
        while (t < r.tr.size() && r.tr[t].beforeSample <= int64_t(i))
            emitTr(r.tr[t++]);
        AppendBe16(b, r.samples[i][0]);
        if (n == 2)
            AppendBe16(b, r.samples[i][1]);
    }
    while (t < r.tr.size())
        emitTr(r.tr[t++]);
    return b;
}

DownloadHeader RecordingHeader(const LoggerRecording& r, uint32_t dataLength) {
    DownloadHeader h;
    h.channelCount = r.channelCount;
    h.ch1Kind = r.ch1Kind;
    h.ch2Kind = r.ch2Kind;
    h.dataLength = dataLength;
    h.startPos = r.startPos;
    h.intervalUnit = r.intervalUnit;
    h.intervalCount = r.intervalCount;
    h.riseLevel = r.riseLevel;
    h.dropLevel = r.dropLevel;
    h.start = r.start;
    // The host moves the start of a wrapped recording forward by
    // A/n + C/n + ((L mod 512)/2)/n - F samples; A is chosen so that this is the
    // number of samples lost.
    if (r.startPos != 0 && r.channelCount != 0) {
        const uint32_t n = r.channelCount;
        const uint32_t tail = (dataLength % 512) / 2 / n;
        const int64_t a = int64_t(r.samples.size()) + r.overwrittenSamples - tail;
        h.countA = uint32_t(std::max<int64_t>(a, 0)) * n;
        h.countC = 0;
    }
    return h;
}

QByteArray RecordingFileBytes(const LoggerRecording& r) {
    const QByteArray data = EncodeRecordingData(r);
    return EncodeHeader(RecordingHeader(r, uint32_t(data.size()))) + data;
}

std::optional<LoggerImage> ParseRecordingFile(const QByteArray& bytes, QString* error) {
    if (bytes.size() < Logger::kHeaderBytes || uint8_t(bytes[0]) != Logger::kHeader) {
        if (error)
            *error = QStringLiteral("not a recording: it must start with a 28-byte header (0xDD)");
        return std::nullopt;
    }
    LoggerImage img;
    img.header = ParseHeader(reinterpret_cast<const uint8_t*>(bytes.constData()));
    img.data = bytes.mid(Logger::kHeaderBytes);
    if (img.data.size() > Logger::kMemoryBytes) {
        if (error)
            *error = QStringLiteral("the data is larger than the logger's 512 KiB memory");
        return std::nullopt;
    }
    // The header's length is what the logger announces; a file may deliberately
    // disagree with its data (a damaged header), so it is kept as written.
    return img;
}

MeasurementSet StoredSetOf(const LoggerRecording& r) {
    const QByteArray data = EncodeRecordingData(r);
    MeasurementSet s;
    s.ReplaceStored(DecodeRecording(RecordingHeader(r, uint32_t(data.size())),
                                    reinterpret_cast<const uint8_t*>(data.constData()),
                                    size_t(data.size()), StoredSet{}));
    s.SetDataTag(QString::fromLatin1(kTagStored));
    return s;
}
