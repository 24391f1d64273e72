#pragma once
// The logger's side of the protocol, without any I/O: host bytes in, reply bytes
// out. The simulator runs it on a pseudo-terminal; tests run it behind the fake
// channel. It holds a recording in a 512 KiB ring, streams real-time frames of
// sine waves on request, and has switches for the faults a real logger shows.

#include "link/LoggerImage.h"

#include <QByteArray>

#include <cstdint>
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
    // The next 2365-byte real-time frame (the caller paces them).
    QByteArray NextFrame();

    int BlockRequests() const { return m_blockRequests; }
    const QByteArray& LastSetup() const { return m_lastSetup; }
    const QByteArray& LastClock() const { return m_lastClock; }

private:
    QByteArray Handle(const QByteArray& cmd);

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
};
