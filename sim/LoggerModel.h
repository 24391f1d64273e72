#pragma once
// The logger's side of the protocol, without any I/O: host bytes in, reply bytes
// out. The simulator runs it on a pseudo-terminal; tests run it behind the fake
// channel. It holds a recording in a 512 KiB ring, streams real-time frames of
// sine waves on request, and has switches for the faults a real logger shows.

#include "sim/LoggerImage.h"
#include "sim/RealTimeStream.h"

#include <QByteArray>

#include <cstdint>
#include <functional>
#include <vector>

struct LoggerFaults {
    bool silent = false;        // answers nothing at all
    bool silentStart = false;   // answers the probe but never the download command
    int dropBlock = 0;          // the N-th block request (1-based) of a download goes unanswered
    bool loggingNow = false;    // answers the start command with 0xEA
    bool noData = false;        // header with data length 0
    bool zeroChannels = false;  // header with channel count 0
    int channelChangeAfter = 0; // real time: CH2 switches off after N frames
    bool notLogging = false;    // acknowledges setup and clock with 0x1E instead of 0xEE
    // Faults of the line during a download (block requests counted from 1 per download).
    int dropCount = 1;              // with dropBlock: this many requests in a row go unanswered
    int garbagePercent = 0;         // this share of block replies comes after 1..8 stray bytes
    uint32_t garbageSeed = 1;       // of the stray bytes' choice, for repeatable runs
    int garbageBlock = 0;           // the N-th block reply comes after stray bytes
    int shortBlock = 0;             // the N-th block reply is cut to half its length
    int doubleBlock = 0;            // the N-th block is answered twice
    bool silentAfterHeader = false; // the header comes, no block ever does
    int lateStartMs = 0;            // the simulator answers the download command this late
    int lateBlock = 0;              // the simulator answers the N-th block request late
    int lateBlockMs = 1000;         // by this much
    bool noAck = false;             // takes setup and clock but acknowledges neither
};

class LoggerModel {
public:
    LoggerModel();
    void SetRecording(const DownloadHeader& header, const QByteArray& data);
    void SetRecording(const LoggerRecording& r);
    void SetFaults(const LoggerFaults& f) { m_faults = f; }
    // Kinds reported in real-time frames.
    void SetRealTimeKinds(uint8_t channels, uint8_t ch1, uint8_t ch2);

    // Feeds bytes written by the host; returns what the logger sends back at once.
    QByteArray Feed(const QByteArray& in);
    // True between a start and a stop of the real-time stream.
    bool Streaming() const { return m_streaming; }
    // The next 2365-byte real-time frame (the caller paces them); empty once the
    // stream has fallen silent.
    QByteArray NextFrame();
    // Waveforms and faults of the real-time stream.
    void SetRealTimeStream(const RealTimeStream& s) { m_stream = s; }
    const RealTimeStream& Stream() const { return m_stream; }
    int FramesSent() const { return m_frames; }

    int BlockRequests() const { return m_blockRequests; }
    const QByteArray& LastSetup() const { return m_lastSetup; }
    const QByteArray& LastClock() const { return m_lastClock; }
    // Calls `observer` with every setup and set-clock command taken, after it was
    // applied to what the logger serves next (LoggerModelConfig.cpp).
    void ObserveConfigCommands(std::function<void(const QByteArray& command)> observer) {
        m_configObserver = std::move(observer);
    }
    const DownloadHeader& Header() const { return m_header; }

private:
    QByteArray Handle(const QByteArray& cmd);
    QByteArray WithLineFaults(QByteArray block);
    uint32_t NextRandom();
    QByteArray TakeConfigCommand(const QByteArray& cmd);

    std::function<void(const QByteArray& command)> m_configObserver;
    DownloadHeader m_header;
    std::vector<uint8_t> m_memory; // the logger's ring
    LoggerFaults m_faults;
    QByteArray m_pending;
    bool m_streaming = false;
    int m_frames = 0;
    int m_blockRequests = 0;
    uint8_t m_rtChannels = 2;
    uint8_t m_rtKind1 = 1;
    uint8_t m_rtKind2 = 0;
    QByteArray m_lastSetup;
    QByteArray m_lastClock;
    uint32_t m_random = 0;
    bool m_seeded = false;
    RealTimeStream m_stream;
};
