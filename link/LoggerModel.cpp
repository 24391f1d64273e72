#include "link/LoggerModel.h"

#include "link/LoggerProtocol.h"

#include <cmath>
#include <numbers>

LoggerModel::LoggerModel() : m_memory(size_t(Logger::kMemoryBytes), 0) {}

void LoggerModel::SetRecording(const LoggerRecording& r) {
    const QByteArray data = EncodeRecordingData(r);
    SetRecording(RecordingHeader(r, uint32_t(data.size())), data);
}

void LoggerModel::SetRecording(const DownloadHeader& header, const QByteArray& data) {
    m_header = header;
    // The host reads from the block that holds the start position on, so the
    // recording begins at that block's first byte and wraps at the ring's end.
    const size_t base = size_t(header.startPos / Logger::kBlockBytes) * Logger::kBlockBytes;
    const size_t n = std::min<size_t>(size_t(data.size()), m_memory.size());
    for (size_t i = 0; i < n; ++i)
        m_memory[(base + i) % m_memory.size()] = uint8_t(data[qsizetype(i)]);
}

void LoggerModel::SetRealTimeKinds(uint8_t channels, uint8_t ch1, uint8_t ch2) {
    m_rtChannels = channels;
    m_rtKind1 = ch1;
    m_rtKind2 = ch2;
}

QByteArray LoggerModel::Feed(const QByteArray& in) {
    m_pending.append(in);
    QByteArray out;
    while (!m_pending.isEmpty()) {
        const uint8_t first = uint8_t(m_pending[0]);
        if (first == Logger::kProbe) {
            m_pending.remove(0, 1);
            out += Handle(QByteArray(1, char(first)));
            continue;
        }
        const bool eightByte = first == Logger::kSetup || first == Logger::kSetClock ||
                               first == Logger::kStartDownload || first == Logger::kBlockRequest ||
                               first == Logger::kStartRealTime;
        if (!eightByte) {
            m_pending.remove(0, 1); // noise
            continue;
        }
        if (m_pending.size() < Logger::kCommandBytes)
            break;
        const QByteArray cmd = m_pending.left(Logger::kCommandBytes);
        m_pending.remove(0, Logger::kCommandBytes);
        out += Handle(cmd);
    }
    return m_faults.silent ? QByteArray() : out;
}

QByteArray LoggerModel::Handle(const QByteArray& cmd) {
    const uint8_t c = uint8_t(cmd[0]);
    switch (c) {
    case Logger::kProbe:
        return QByteArray(1, char(Logger::kPresent));
    case Logger::kSetup:
        m_lastSetup = cmd;
        return QByteArray(1, char(m_faults.notLogging ? Logger::kAckNotLogging : Logger::kAck));
    case Logger::kSetClock:
        m_lastClock = cmd;
        return QByteArray(1, char(m_faults.notLogging ? Logger::kAckNotLogging : Logger::kAck));
    case Logger::kStartDownload: {
        m_blockRequests = 0;
        if (m_faults.silentStart)
            return {};
        if (m_faults.loggingNow) {
            // Replies have the length the host expects; only byte 0 counts.
            QByteArray busy(Logger::kHeaderBytes, '\0');
            busy[0] = char(Logger::kLoggingNow);
            return busy;
        }
        DownloadHeader h = m_header;
        if (m_faults.zeroChannels)
            h.channelCount = 0;
        if (m_faults.noData)
            h.dataLength = 0;
        return EncodeHeader(h);
    }
    case Logger::kBlockRequest: {
        ++m_blockRequests;
        if (m_faults.dropBlock > 0 && m_blockRequests == m_faults.dropBlock)
            return {};
        const uint32_t page = (uint32_t(uint8_t(cmd[1])) << 8) | uint8_t(cmd[2]);
        const size_t at = size_t(page % Logger::kPagesInMemory) * Logger::kPageBytes;
        const size_t len = uint8_t(cmd[3]) == Logger::kMarkerLastBlock
                               ? size_t(m_header.dataLength % Logger::kBlockBytes)
                               : size_t(Logger::kBlockBytes);
        QByteArray b(qsizetype(len), '\0');
        for (size_t i = 0; i < len; ++i)
            b[qsizetype(i)] = char(m_memory[(at + i) % m_memory.size()]);
        return b;
    }
    case Logger::kStartRealTime:
        if (uint8_t(cmd[7]) == Logger::kStopRealTimeEnd) {
            m_streaming = false;
        } else if (!m_streaming) {
            m_streaming = true;
            m_frames = 0;
        }
        return {};
    default:
        return {};
    }
}

QByteArray LoggerModel::NextFrame() {
    QByteArray f(Logger::kRealTimeFrameBytes, '\0');
    f[0] = char(Logger::kFrameMark);
    f[1] = char(Logger::kFrameMark);
    uint8_t kind2 = m_rtKind2;
    uint8_t channels = m_rtChannels;
    if (m_faults.channelChangeAfter > 0 && m_frames >= m_faults.channelChangeAfter) {
        kind2 = kChannelAbsent;
        channels = 1;
    }
    f[2] = char(channels);
    f[3] = char(m_rtKind1);
    f[4] = char(kind2);
    // 50 Hz sampled at 590 points over a bit under 12 periods; a slow drift in
    // amplitude makes successive samples differ.
    const double amp1 = 3250 * (1.0 + 0.01 * std::sin(m_frames / 7.0));
    const double amp2 = 1400 * (1.0 + 0.02 * std::sin(m_frames / 5.0));
    for (int i = 0; i < kRtWavePoints; ++i) {
        const double ph = 2 * std::numbers::pi * i / 50.0;
        const auto v1 = int16_t(std::lround(amp1 * std::sin(ph)));
        const auto v2 = int16_t(std::lround(amp2 * std::sin(ph - 0.5)));
        const int at = Logger::kRealTimeFrameHeader + 4 * i;
        f[at] = char((uint16_t(v1) >> 8) & 0xFF);
        f[at + 1] = char(uint16_t(v1) & 0xFF);
        f[at + 2] = char((uint16_t(v2) >> 8) & 0xFF);
        f[at + 3] = char(uint16_t(v2) & 0xFF);
    }
    ++m_frames;
    return f;
}
