#include "link/Recording.h"

#include "link/LoggerProtocol.h"

#include <cmath>

namespace {

uint32_t Be24(const uint8_t* p) {
    return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
}
int16_t Be16s(const uint8_t* p) {
    return int16_t(uint16_t((uint16_t(p[0]) << 8) | p[1]));
}
void PutBe24(QByteArray& b, int at, uint32_t v) {
    b[at] = char((v >> 16) & 0xFF);
    b[at + 1] = char((v >> 8) & 0xFF);
    b[at + 2] = char(v & 0xFF);
}
void PutBe16(QByteArray& b, int at, int16_t v) {
    b[at] = char((uint16_t(v) >> 8) & 0xFF);
    b[at + 1] = char(uint16_t(v) & 0xFF);
}

CalendarFields BcdTime(const uint8_t* p) {
    CalendarFields f;
    f.year = 2000 + Logger::FromBcd(p[0]);
    f.month = Logger::FromBcd(p[1]);
    f.day = Logger::FromBcd(p[2]);
    f.hour = Logger::FromBcd(p[3]);
    f.minute = Logger::FromBcd(p[4]);
    f.second = Logger::FromBcd(p[5]);
    return f;
}

} // namespace

DownloadHeader ParseHeader(const uint8_t* b) {
    using namespace Logger::Hdr;
    DownloadHeader h;
    h.channelCount = b[ChannelCount];
    h.ch1Kind = b[Ch1Kind];
    h.ch2Kind = b[Ch2Kind];
    h.dataLength = Be24(b + DataLength);
    h.startPos = Be24(b + StartPos);
    h.intervalUnit = b[IntervalUnit];
    h.intervalCount = b[IntervalCount];
    h.riseLevel = Be16s(b + RiseLevel);
    h.dropLevel = Be16s(b + DropLevel);
    h.start = BcdTime(b + StartTime);
    h.countA = Be24(b + CountA);
    h.countC = Be24(b + CountC);
    return h;
}

QByteArray EncodeHeader(const DownloadHeader& h) {
    using namespace Logger::Hdr;
    QByteArray b(Logger::kHeaderBytes, '\0');
    b[Code] = char(Logger::kHeader);
    b[ChannelCount] = char(h.channelCount);
    b[Ch1Kind] = char(h.ch1Kind);
    b[Ch2Kind] = char(h.ch2Kind);
    PutBe24(b, DataLength, h.dataLength);
    PutBe24(b, StartPos, h.startPos);
    b[IntervalUnit] = char(h.intervalUnit);
    b[IntervalCount] = char(h.intervalCount);
    PutBe16(b, RiseLevel, h.riseLevel);
    PutBe16(b, DropLevel, h.dropLevel);
    const int fields[6] = {h.start.year - 2000, h.start.month,  h.start.day,
                           h.start.hour,        h.start.minute, h.start.second};
    for (int i = 0; i < 6; ++i)
        b[StartTime + i] = char(Logger::ToBcd(fields[i]));
    PutBe24(b, CountA, h.countA);
    PutBe24(b, CountC, h.countC);
    return b;
}

HeaderVerdict CheckHeader(const DownloadHeader& h) {
    if (h.channelCount == 0)
        return HeaderVerdict::NoChannels;
    if (h.channelCount > Logger::kMaxChannels || h.dataLength > uint32_t(Logger::kMemoryBytes))
        return HeaderVerdict::Damaged;
    if (h.dataLength == 0)
        return HeaderVerdict::NoData;
    return HeaderVerdict::Ok;
}

float HeaderIntervalSeconds(const DownloadHeader& h, float fallback) {
    switch (h.intervalUnit) {
    case Logger::kUnitSeconds:
        return float(h.intervalCount);
    case Logger::kUnitMinutes:
        return float(h.intervalCount) * 60.0f;
    case Logger::kUnitHours:
        return float(h.intervalCount) * 3600.0f;
    default:
        return fallback;
    }
}

RecordingLayout WalkRecording(const uint8_t* data, size_t length, int n) {
    RecordingLayout r;
    const size_t step = 2 * size_t(n);
    size_t off = 0;
    while (off < length) {
        if (IsTrRecordAt(data, length, off)) {
            ++r.trCount;
            off += Logger::kTrRecordBytes;
        } else if (off + step <= length) {
            ++r.rmsCount;
            off += step;
        } else {
            break; // partial sample at the end
        }
    }
    return r;
}

namespace {

// The arrays a recording's data decode into, sized from its layout.
struct DecodedArrays {
    std::array<std::vector<float>, 2> rms;
    std::vector<float> trWave;
    std::vector<TimeValue> trTime;
    std::vector<uint8_t> trUnit;
    std::vector<uint8_t> trChannel;
};

void ReadTrRecord(const uint8_t* r, size_t k, DecodedArrays& d) {
    d.trUnit[k] = r[2];
    d.trChannel[k] = r[3];
    d.trTime[k] = FromLocalFields(BcdTime(r + 4));
    float* wave = d.trWave.data() + k * kTrPoints;
    for (size_t j = 0; j < size_t(kTrPoints); ++j)
        wave[j] = float(Be16s(r + Logger::kTrHeaderBytes + 2 * j));
}

// Walks the data as WalkRecording does and fills the arrays: the values of the
// present channels and the TR records.
void ReadRecordingData(const uint8_t* data, size_t length, int n,
                       const std::array<uint8_t, 2>& present, DecodedArrays& d) {
    const size_t step = 2 * size_t(n);
    size_t off = 0;
    size_t i = 0;
    size_t k = 0;
    auto value = [&](size_t at) { return float(double(Be16s(data + at)) * 0.1); };
    while (off < length) {
        if (IsTrRecordAt(data, length, off)) {
            ReadTrRecord(data + off, k++, d);
            off += Logger::kTrRecordBytes;
        } else if (off + step <= length) {
            // A channel switched off in a two-channel recording: its half of the
            // sample is skipped. In a one-channel recording both read the same value.
            for (size_t c = 0; c < 2; ++c) {
                if (present[c])
                    d.rms[c][i] = value(n == 2 ? off + 2 * c : off);
            }
            ++i;
            off += step;
        } else {
            break;
        }
    }
}

} // namespace

StoredSet DecodeRecording(const DownloadHeader& h, const uint8_t* data, size_t length,
                          const StoredSet& previous) {
    StoredSet s;
    const int n = h.channelCount == 1 ? 1 : 2;
    s.SetChannelCount(h.channelCount);
    std::array<uint8_t, 2> present{previous.ChannelFlag(0), previous.ChannelFlag(1)};
    std::array<QString, 2> unit{previous.ChannelUnit(0), previous.ChannelUnit(1)};
    ApplyChannelKind(h.ch1Kind, present[0], unit[0]);
    ApplyChannelKind(h.ch2Kind, present[1], unit[1]);
    s.SetRmsInterval(HeaderIntervalSeconds(h, previous.RmsInterval()));
    s.SetTrLevels(float(h.riseLevel), float(h.dropLevel));
    TimeValue start = FromLocalFields(h.start);

    const RecordingLayout layout = WalkRecording(data, length, n);
    const int64_t F = layout.rmsCount;

    // A wrapped ring lost its oldest samples: the start moves forward by the number
    // of samples the logger counted but no longer holds.
    if (h.startPos != 0) {
        const int64_t counted = int64_t(h.countA / uint32_t(n)) + int64_t(h.countC / uint32_t(n)) +
                                int64_t((length % Logger::kBlockBytes) / 2 / size_t(n));
        start += TimeValue(std::trunc(double(counted - F) * double(s.RmsInterval())));
    }
    s.SetStartTime(start);

    DecodedArrays d;
    for (size_t c = 0; c < 2; ++c) {
        if (present[c])
            d.rms[c].resize(size_t(F));
    }
    const size_t trCount = size_t(layout.trCount);
    d.trWave.resize(trCount * kTrPoints);
    d.trTime.resize(trCount);
    d.trUnit.resize(trCount);
    d.trChannel.resize(trCount);
    ReadRecordingData(data, length, n, present, d);

    s.SetRmsCount(int(F));
    for (int c = 0; c < 2; ++c) {
        s.SetChannelUnit(c, unit[size_t(c)]);
        if (present[size_t(c)])
            s.SetChannelValues(c, std::move(d.rms[size_t(c)]));
    }
    s.SetTrRecords(std::move(d.trChannel), std::move(d.trUnit), std::move(d.trTime),
                   std::move(d.trWave));
    ComputeStoredExtremes(s);
    return s;
}
