#pragma once
// The logger's byte protocol: command bytes, reply codes, reply lengths and the
// layout of the download header. Multi-byte numbers on the wire are big-endian,
// dates packed BCD with a two-digit year 20yy.

#include <QByteArray>

#include <cstdint>

namespace Logger {

// --- commands (host -> logger) ---
inline constexpr uint8_t kProbe = 0x78;           // 1 byte
inline constexpr uint8_t kSetup = 0xAA;           // + 7 parameter bytes
inline constexpr uint8_t kSetClock = 0xAC;        // + 7 parameter bytes
inline constexpr uint8_t kStartDownload = 0x68;   // 8 times
inline constexpr uint8_t kBlockRequest = 0xD8;    // page high, page low, marker x5
inline constexpr uint8_t kStartRealTime = 0xC8;   // 8 times
inline constexpr uint8_t kStopRealTimeEnd = 0xC9; // 0xC8 x7 then this
inline constexpr int kCommandBytes = 8;

// Marker byte of a block request: a full 512-byte block, or the short last one.
inline constexpr uint8_t kMarkerFullBlock = 0xFF;
inline constexpr uint8_t kMarkerLastBlock = 0x01;

// --- replies (logger -> host), recognised by byte 0 ---
inline constexpr uint8_t kPresent = 0xAF;
inline constexpr uint8_t kAck = 0xEE;
inline constexpr uint8_t kAckNotLogging = 0x1E;
inline constexpr uint8_t kHeader = 0xDD;
inline constexpr uint8_t kLoggingNow = 0xEA;
inline constexpr uint8_t kFrameMark = 0x3F; // bytes 0 and 1 of a real-time frame

// --- sizes ---
inline constexpr int kHeaderBytes = 28;
inline constexpr int kBlockBytes = 512;
inline constexpr int kMemoryBlocks = 1024;                       // 512 KiB, used as a ring
inline constexpr int kMemoryBytes = kMemoryBlocks * kBlockBytes; // 524,288
inline constexpr int kPageBytes = 256;
inline constexpr int kPagesInMemory = kMemoryBytes / kPageBytes; // 2048: page 2048 is page 0
inline constexpr int kTrRecordBytes = 512;
inline constexpr int kTrHeaderBytes = 10;
inline constexpr uint8_t kTrMarker0 = 0x7F;
inline constexpr uint8_t kTrMarker1 = 0xFF;
inline constexpr int kRealTimeFrameBytes = 2365;
inline constexpr int kRealTimeFrameHeader = 5;
inline constexpr int kMaxChannels = 2;

// --- header field offsets ---
namespace Hdr {
inline constexpr int Code = 0;
inline constexpr int ChannelCount = 1;
inline constexpr int Ch1Kind = 2;
inline constexpr int Ch2Kind = 3;
inline constexpr int DataLength = 4; // 3 bytes
inline constexpr int StartPos = 7;   // 3 bytes
inline constexpr int IntervalUnit = 10;
inline constexpr int IntervalCount = 11;
inline constexpr int RiseLevel = 12; // signed 16
inline constexpr int DropLevel = 14; // signed 16
inline constexpr int StartTime = 16; // 6 BCD bytes
inline constexpr int CountA = 22;    // 3 bytes
inline constexpr int CountC = 25;    // 3 bytes
} // namespace Hdr

// Interval unit byte of the header and of the setup command.
inline constexpr uint8_t kUnitSeconds = 0x10;
inline constexpr uint8_t kUnitMinutes = 0x20;
inline constexpr uint8_t kUnitHours = 0x30;

// Link timing of the host: the search (port scan, probe, supervision), the download
// (watchdog, block repeat, start repeat) and the real-time stream (watchdog, sample
// tick, restart).
inline constexpr int kScanAfterCommandMs = 100;
inline constexpr int kScanAfterFailureMs = 1000;
inline constexpr int kProbePeriodMs = 500;
inline constexpr int kSupervisionMs = 3000;
inline constexpr int kBlockWatchdogMs = 5000;
inline constexpr int kBlockRepeatMs = 900;
inline constexpr int kStartRepeatMs = 500;
inline constexpr int kRealTimeWatchdogMs = 10000; // no frame for this long: the stream ended
// How often the real-time watchdog looks at the time of the last frame: a run ends at most this
// much later than kRealTimeWatchdogMs after its last frame (a look every 10 s let
// silence run on for up to 20 s).
inline constexpr int kRealTimeWatchdogCheckMs = 500;
inline constexpr int kRealTimeFirstTickMs = 10; // then the sampling interval
inline constexpr int kRealTimeRestartMs = 5000;

inline constexpr int kBaud = 115200;
inline constexpr int kBitsPerByte = 10; // start, 8 data, stop

// --- command builders ---
// A start command: its code eight times.
inline QByteArray StartCommand(uint8_t code) {
    return QByteArray(kCommandBytes, char(code));
}
// The first 256-byte page of a 512-byte block of the ring.
inline constexpr int PageOfBlock(int block) {
    return block * (kBlockBytes / kPageBytes);
}
// A block request: the page big-endian, then the marker five times.
inline QByteArray BlockRequest(int page, uint8_t marker) {
    QByteArray req(kCommandBytes, char(marker));
    req[0] = char(kBlockRequest);
    req[1] = char((page >> 8) & 0xFF);
    req[2] = char(page & 0xFF);
    return req;
}

inline constexpr uint8_t ToBcd(int v) {
    return uint8_t(v + (v / 10) * 6);
}
inline constexpr int FromBcd(uint8_t b) {
    return (b >> 4) * 10 + (b & 0x0F);
}

} // namespace Logger
