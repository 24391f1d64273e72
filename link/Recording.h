#pragma once
// The logger's stored recording: the 28-byte header that answers the start
// command, and the decoding of the downloaded bytes into the stored half of a
// measurement set. Pure functions of their inputs, so that the download, the
// tests and the fuzzer all run the same code.

#include "base/LocalTime.h"
#include "data/MeasurementSet.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

struct DownloadHeader {
    uint8_t channelCount = 0; // n: 1 or 2; 0 = nothing recorded
    uint8_t ch1Kind = kChannelAbsent;
    uint8_t ch2Kind = kChannelAbsent;
    uint32_t dataLength = 0; // L, bytes of recorded data
    uint32_t startPos = 0;   // P, byte offset of the recording in the logger's ring
    uint8_t intervalUnit = 0;
    uint8_t intervalCount = 0;
    int16_t riseLevel = 0;
    int16_t dropLevel = 0;
    CalendarFields start; // recording start, local calendar fields
    uint32_t countA = 0;
    uint32_t countC = 0;
    bool operator==(const DownloadHeader&) const = default;
};

// Reads the fields of a header reply; `bytes` must hold at least 28 bytes.
DownloadHeader ParseHeader(const uint8_t* bytes);
// The 28 bytes the logger sends for `h` (byte 0 = 0xDD).
QByteArray EncodeHeader(const DownloadHeader& h);

enum class HeaderVerdict {
    Ok,
    NoChannels, // channel count 0: nothing recorded
    NoData,     // data length 0
    Damaged,    // more channels than the logger has, or more data than its memory
};
HeaderVerdict CheckHeader(const DownloadHeader& h);

// Interval in seconds of a header, or `fallback` when its unit byte is unknown.
float HeaderIntervalSeconds(const DownloadHeader& h, float fallback);

// True when a TR record (0x7F 0xFF and 512 bytes in all) starts at `offset`. A
// marker whose record would run past the end of the data is not a record.
inline bool IsTrRecordAt(const uint8_t* data, size_t length, size_t offset) {
    return offset + 512 <= length && data[offset] == 0x7F && data[offset + 1] == 0xFF;
}

struct RecordingLayout {
    int64_t trCount = 0;
    int64_t rmsCount = 0; // whole samples only; a trailing partial sample is dropped
};
// Walks the data as the decoder does: a TR record takes 512 bytes, an RMS sample
// 2n bytes. n must be 1 or 2.
RecordingLayout WalkRecording(const uint8_t* data, size_t length, int channelCount);

// The stored half of a measurement set decoded from `length` bytes of recorded
// data described by `h` (channel count 1 or 2). Settings that the header leaves
// open (an unknown channel kind or interval unit) are taken from `previous`.
// The extreme texts are filled.
StoredSet DecodeRecording(const DownloadHeader& h, const uint8_t* data, size_t length,
                          const StoredSet& previous);
