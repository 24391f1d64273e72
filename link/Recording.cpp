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

// Transient record k from the record's bytes at `r`.
void ReadTrRecord(MeasurementSet& s, size_t k, const uint8_t* r) {
    s.m_trUnitCode[k] = r[2];
    s.m_trChannelCode[k] = r[3];
    s.m_trTime[k] = FromLocalFields(BcdTime(r + 4));
    float* wave = s.m_trWave.data() + k * size_t(kTrPoints);
    for (size_t j = 0; j < size_t(kTrPoints); ++j)
        wave[j] = float(Be16s(r + Logger::kTrHeaderBytes + 2 * j));
}

// RMS sample i of an n-channel recording from its bytes at `p`.
void ReadRmsSample(MeasurementSet& s, size_t i, const uint8_t* p, int n) {
    auto value = [](const uint8_t* at) { return float(double(Be16s(at)) * 0.1); };
    // A channel switched off in a two-channel recording: its half of the sample is
    // skipped. A one-channel sample is the present channel's, whichever that is.
    if (s.m_ch1Present)
        s.m_ch1Rms[i] = value(p);
    if (s.m_ch2Present)
        s.m_ch2Rms[i] = value(n == 2 ? p + 2 : p);
}

// The samples and records of the recording, in the order the logger stored them,
// into a set sized for them.
void ReadRecordingBody(MeasurementSet& s, const uint8_t* data, size_t length, int n) {
    const size_t step = 2 * size_t(n);
    size_t off = 0;
    size_t i = 0;
    size_t k = 0;
    while (off < length) {
        if (IsTrRecordAt(data, length, off)) {
            ReadTrRecord(s, k++, data + off);
            off += Logger::kTrRecordBytes;
        } else if (off + step <= length) {
            ReadRmsSample(s, i++, data + off, n);
            off += step;
        } else {
            break;
        }
    }
}

} // namespace

MeasurementSet DecodeRecording(const DownloadHeader& h, const uint8_t* data, size_t length,
                               const MeasurementSet& previous) {
    MeasurementSet s;
    const int n = h.channelCount == 1 ? 1 : 2;
    s.m_channelCount = h.channelCount;
    s.m_ch1Present = previous.m_ch1Present;
    s.m_ch1Unit = previous.m_ch1Unit;
    s.m_ch2Present = previous.m_ch2Present;
    s.m_ch2Unit = previous.m_ch2Unit;
    ApplyChannelKind(h.ch1Kind, s.m_ch1Present, s.m_ch1Unit);
    ApplyChannelKind(h.ch2Kind, s.m_ch2Present, s.m_ch2Unit);
    s.m_rmsInterval = HeaderIntervalSeconds(h, previous.m_rmsInterval);
    s.m_trLevelHigh = float(h.riseLevel);
    s.m_trLevelLow = float(h.dropLevel);
    s.m_startTime = FromLocalFields(h.start);

    const RecordingLayout layout = WalkRecording(data, length, n);
    const int64_t F = layout.rmsCount;
    s.m_trCount = int(layout.trCount);
    s.m_rmsCount = int(F);

    // A wrapped ring lost its oldest samples: the start moves forward by the number
    // of samples the logger counted but no longer holds.
    if (h.startPos != 0) {
        const int64_t counted = int64_t(h.countA / uint32_t(n)) + int64_t(h.countC / uint32_t(n)) +
                                int64_t((length % Logger::kBlockBytes) / 2 / size_t(n));
        s.m_startTime += TimeValue(std::trunc(double(counted - F) * double(s.m_rmsInterval)));
    }

    if (s.m_ch1Present)
        s.m_ch1Rms.resize(size_t(F));
    if (s.m_ch2Present)
        s.m_ch2Rms.resize(size_t(F));
    s.m_trWave.resize(size_t(layout.trCount) * kTrPoints);
    s.m_trTime.resize(size_t(layout.trCount));
    s.m_trUnitCode.resize(size_t(layout.trCount));
    s.m_trChannelCode.resize(size_t(layout.trCount));
    ReadRecordingBody(s, data, length, n);
    ComputeStoredExtremes(s);
    return s;
}
