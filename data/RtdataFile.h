#pragma once
// The .rtdata file: one real-time run as a flat little-endian sequence of fields
// (tag "RTDATA", version, count, interval, start time with its UTC offset, the two
// channel kinds, the time of every sample, RMS and frequency of each present
// channel, optionally every captured waveform) closed by a CRC-32 of all the bytes
// before it. A 100,000-sample run with waveforms is 236 MB, so the waveforms are
// written from and read back to a source one sample at a time, never all at once.
//
// Loading never touches the caller's data unless the whole file was checked.

#include "base/Clock.h"
#include "data/MeasurementSet.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

inline constexpr uint8_t kRtdataVersion = 1;
inline const char* const kTagRtdata = "RTDATA";
// Fixed part of the file: tag 7, version 1, count 4, interval 4, time field 24,
// UTC offset 4, kinds 2, waveform flag 1, CRC 4.
inline constexpr int64_t kRtdataFixedBytes = 51;
// One captured waveform: 590 pairs of int16, CH1 first in each pair.
inline constexpr int64_t kRtWaveformBytes = int64_t(kRtWavePoints) * 4;
// The range of sampling intervals a run can have, in seconds.
inline constexpr int kRtdataIntervalMin = 2;
inline constexpr int kRtdataIntervalMax = 3600;

// A captured waveform as the logger sent it: [i][0] CH1, [i][1] CH2.
using RtWaveform = std::array<std::array<int16_t, 2>, kRtWavePoints>;

// The values of a run. Waveforms live elsewhere (a source below) unless a caller
// puts them into `waveforms`, which then holds one per sample.
struct RtdataImage {
    int32_t interval = kRtdataIntervalMin; // seconds between samples
    TimeValue startTime = 0;               // first frame, seconds since 1970 UTC
    int32_t utcOffset = 0;                 // local time minus UTC at the start, seconds
    std::array<uint8_t, 2> kind{kChannelAbsent, kChannelAbsent}; // 0 A, 1 V, 0xFF absent
    std::vector<TimeValue> times;                                // one per sample
    // Per channel, one per sample while the channel is present, empty otherwise.
    std::array<std::vector<float>, 2> rms;
    std::array<std::vector<float>, 2> freq; // 400 where there was none
    std::vector<RtWaveform> waveforms;      // empty, or one per sample

    int Count() const { return int(times.size()); }
    bool ChannelPresent(int ch) const {
        return kind[size_t(ch)] == kChannelAmps || kind[size_t(ch)] == kChannelVolts;
    }
    // "V", "A", or empty for an absent channel.
    QString ChannelUnit(int ch) const;
    // Counts and array sizes agree as described above.
    bool IsConsistent() const;
};

// The kind byte of a real-time channel from its presence and unit.
uint8_t RtChannelKind(uint8_t present, const QString& unit);

// The values of a run as the file keeps them (no waveforms).
RtdataImage RunImage(const RealTimeRun& run);
// The values of a file as a run that holds exactly its samples; the run's capture,
// power figures and kept waveforms are left to the caller.
void PutRunImage(const RtdataImage& image, RealTimeRun& run);

// Something that hands out the waveform of sample `index` (0-based).
class RtWaveformSource {
public:
    virtual ~RtWaveformSource() = default;
    virtual int WaveformCount() const = 0;
    // False with `error` set when that waveform cannot be read.
    virtual bool ReadWaveform(int index, RtWaveform& out, QString* error) const = 0;
};

// Waveforms held in memory.
class RtMemoryWaveforms final : public RtWaveformSource {
public:
    explicit RtMemoryWaveforms(const std::vector<RtWaveform>& waves) : m_waves(waves) {}
    int WaveformCount() const override { return int(m_waves.size()); }
    bool ReadWaveform(int index, RtWaveform& out, QString* error) const override;

private:
    const std::vector<RtWaveform>& m_waves;
};

// The whole file in memory, waveforms from image.waveforms when it holds one per
// sample (small runs, tests, seeds).
QByteArray EncodeRtdata(const RtdataImage& image);

// Writes the file atomically: the target is replaced only when every byte is on
// the disk. Waveforms come from `waves` (one per sample) when given, else from
// image.waveforms when it holds one per sample, else none are written.
bool SaveRtdataFile(const QString& path, const RtdataImage& image, const RtWaveformSource* waves,
                    QString* error);

enum class RtdataStatus {
    Loaded,       // the whole file was checked and its values put in place
    NotOpened,    // missing or unreadable
    WrongTag,     // readable tag, but not "RTDATA": "Invalid Format!"
    NewerVersion, // written by a later version of the program
    Damaged,      // cut short, CRC mismatch or an impossible field
};

struct RtdataOutcome {
    RtdataStatus status = RtdataStatus::Damaged;
    // For the user: "Invalid Format!" for a wrong tag; otherwise a sentence that
    // names the file (a damaged one with the same words as a damaged .stdata file).
    QString message;
    bool Ok() const { return status == RtdataStatus::Loaded; }
};

// Parses a whole file held in memory, waveforms included. `out` is replaced only
// on Loaded. `name` is the file named in the messages.
RtdataOutcome DecodeRtdata(const QByteArray& bytes, RtdataImage& out, const QString& name = {});

// Reads a file from the disk: the values at once, each waveform when asked for. Open
// checks the whole file (its CRC included); the file stays open, so a later
// replacement of it under the same name changes nothing read here.
class RtdataReader final : public RtWaveformSource {
public:
    RtdataReader();
    ~RtdataReader() override;
    RtdataReader(const RtdataReader&) = delete;
    RtdataReader& operator=(const RtdataReader&) = delete;

    RtdataOutcome Open(const QString& path);
    // The values read by the last successful Open (no waveforms in it).
    const RtdataImage& Image() const { return m_image; }
    bool HasWaveforms() const { return m_waveOffset >= 0; }

    int WaveformCount() const override { return HasWaveforms() ? m_image.Count() : 0; }
    bool ReadWaveform(int index, RtWaveform& out, QString* error) const override;

private:
    RtdataImage m_image;
    std::unique_ptr<QFile> m_file;
    int64_t m_waveOffset = -1;
};

// The file read with its waveforms in memory (small files, tests).
RtdataOutcome LoadRtdataFile(const QString& path, RtdataImage& out);
