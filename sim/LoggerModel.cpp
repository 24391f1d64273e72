#include "sim/LoggerModel.h"

#include "link/LoggerProtocol.h"

#include <algorithm>
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
    case Logger::kSetClock:
        return TakeConfigCommand(cmd);
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
        if (m_faults.dropBlock > 0 && m_blockRequests >= m_faults.dropBlock &&
            m_blockRequests < m_faults.dropBlock + std::max(1, m_faults.dropCount))
            return {};
        if (m_faults.silentAfterHeader)
            return {};
        const uint32_t page = (uint32_t(uint8_t(cmd[1])) << 8) | uint8_t(cmd[2]);
        const size_t at = size_t(page % Logger::kPagesInMemory) * Logger::kPageBytes;
        const size_t len = uint8_t(cmd[3]) == Logger::kMarkerLastBlock
                               ? size_t(m_header.dataLength % Logger::kBlockBytes)
                               : size_t(Logger::kBlockBytes);
        QByteArray b(qsizetype(len), '\0');
        for (size_t i = 0; i < len; ++i)
            b[qsizetype(i)] = char(m_memory[(at + i) % m_memory.size()]);
        return WithLineFaults(b);
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
    const bool ch2Off = m_faults.channelChangeAfter > 0 && m_frames >= m_faults.channelChangeAfter;
    QByteArray f = m_stream.Frame(m_frames, m_rtChannels, m_rtKind1, m_rtKind2, ch2Off);
    ++m_frames;
    return f;
}

// The faults a bad line or a confused logger adds to a block reply.
QByteArray LoggerModel::WithLineFaults(QByteArray block) {
    const int n = m_blockRequests;
    if (m_faults.shortBlock > 0 && n == m_faults.shortBlock)
        block.truncate(block.size() / 2);
    if (m_faults.doubleBlock > 0 && n == m_faults.doubleBlock)
        block += block;
    bool garbage = m_faults.garbageBlock > 0 && n == m_faults.garbageBlock;
    if (m_faults.garbagePercent > 0 && int(NextRandom() % 100) < m_faults.garbagePercent)
        garbage = true;
    if (garbage) {
        QByteArray junk(qsizetype(1 + NextRandom() % 8), '\0');
        for (char& c : junk)
            c = char(NextRandom() & 0xFF);
        block.prepend(junk);
    }
    return block;
}

uint32_t LoggerModel::NextRandom() {
    if (!m_seeded) {
        m_random = m_faults.garbageSeed;
        m_seeded = true;
    }
    // A small linear congruential generator: repeatable for a given seed everywhere.
    m_random = m_random * 1664525u + 1013904223u;
    return m_random >> 8;
}
