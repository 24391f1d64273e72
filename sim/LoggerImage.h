#pragma once
// The logger's side of a stored recording: samples and transient records as the
// logger keeps them, encoded into the header and the data bytes it sends. The
// simulator serves these bytes; tests build a recording, download it and compare
// the decoded set with the values that went in, sample for sample.

#include "link/Recording.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

struct LoggerTrEvent {
    int64_t beforeSample = 0; // the record precedes this RMS sample in the data
    uint8_t quantity = kTrUnitVolts;
    uint8_t channel = kTrChannel1;
    CalendarFields time;
    std::array<int16_t, 251> wave{};
};

struct LoggerRecording {
    uint8_t channelCount = 2;
    uint8_t ch1Kind = kChannelVolts;
    uint8_t ch2Kind = kChannelAmps;
    uint8_t intervalUnit = 0x10;
    uint8_t intervalCount = 1;
    int16_t riseLevel = 500;
    int16_t dropLevel = 100;
    CalendarFields start{2010, 2, 3, 14, 5, 0};
    uint32_t startPos = 0;           // P; non-zero for a recording that wrapped in the ring
    uint32_t overwrittenSamples = 0; // samples lost to the wrap (sets counts A and C)
    // Raw values in tenths of the unit: [0] is the first recorded channel, [1] the
    // second (unused with one channel).
    std::vector<std::array<int16_t, 2>> samples;
    std::vector<LoggerTrEvent> tr; // ascending beforeSample
};

struct SyntheticOptions {
    uint8_t channelCount = 2;
    uint8_t ch1Kind = kChannelVolts;
    uint8_t ch2Kind = kChannelAmps;
    uint8_t intervalUnit = 0x10;
    uint8_t intervalCount = 1;
    int64_t samples = 1000;
    int64_t trEvery = 0; // a TR record after every N samples; 0 = none
    uint32_t startPos = 0;
    CalendarFields start{2010, 2, 3, 14, 5, 0};
};

// A recording of sine-shaped RMS values (around 230 V or 10 A) with optional TR records.
LoggerRecording SyntheticRecording(const SyntheticOptions& o);
// The recorded data bytes: samples and TR records in order.
QByteArray EncodeRecordingData(const LoggerRecording& r);
// The header for `r` with data length `dataLength`.
DownloadHeader RecordingHeader(const LoggerRecording& r, uint32_t dataLength);
// The stored set a whole download of `r` gives, tagged as a stored measurement.
MeasurementSet StoredSetOf(const LoggerRecording& r);

// Header and data as a file: the 28 header bytes followed by the data (the
// simulator's --file format).
QByteArray RecordingFileBytes(const LoggerRecording& r);
struct LoggerImage {
    DownloadHeader header;
    QByteArray data;
};
// Reads the file format above; nullopt with `error` set when it is not one.
std::optional<LoggerImage> ParseRecordingFile(const QByteArray& bytes, QString* error);

// Expected decoded value of a raw sample value, as the host scales it.
inline float ScaledRms(int16_t raw) {
    return float(double(raw) * 0.1);
}
