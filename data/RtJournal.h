#pragma once
// The journal of a running acquisition, and the place where its waveforms wait on
// the disk while the run is shown.
//
// A header first (the run's interval, start time, UTC offset and channel kinds),
// then one fixed-size record per sample: its time, RMS and frequency of both
// channels, the captured waveform and a CRC-32 of the record. Each record goes out
// in one write and is flushed to the disk before the next sample, so a crash or a
// power cut keeps every sample taken; a record cut in half fails its CRC and costs
// only that sample. Fixed-size records let a waveform be read back by its index
// without an index of its own.

#include "data/RtdataFile.h"

#include <QFile>
#include <QString>

#include <memory>

// What the header of a journal holds.
struct RtRunHeader {
    int32_t interval = kRtdataIntervalMin;
    TimeValue startTime = 0;
    int32_t utcOffset = 0;
    std::array<uint8_t, 2> kind{kChannelAbsent, kChannelAbsent};
};

// One sample as the journal keeps it (an absent channel's values as they are).
struct RtJournalSample {
    TimeValue time = 0;
    std::array<float, 2> rms{};
    std::array<float, 2> freq{};
};

inline constexpr int64_t kRtJournalHeaderBytes = 33;
inline constexpr int64_t kRtJournalRecordBytes = 8 + 16 + kRtWaveformBytes + 4;

class RtJournal final : public RtWaveformSource {
public:
    // "realtime-journal.rtj" in the data directory.
    static QString DefaultPath();
    // Where earlier versions kept it: beside the settings. A journal a crash left
    // there is still recovered at the next start.
    static QString FormerPath();
    explicit RtJournal(QString path = DefaultPath());
    // Leaves a journal that was not finished where it is, for the next start.
    ~RtJournal() override;
    RtJournal(const RtJournal&) = delete;
    RtJournal& operator=(const RtJournal&) = delete;

    const QString& Path() const { return m_path; }
    // Another place; only while no run is being written.
    void SetPath(const QString& path);

    // Starts a new journal in place of any file at Path() (recover that first).
    bool Begin(const RtRunHeader& header, QString* error = nullptr);
    // One record, written and flushed to the disk before returning.
    bool Append(const RtJournalSample& sample, const RtWaveform& wave, QString* error = nullptr);
    bool Writing() const { return m_writer && m_writer->isOpen(); }
    int Count() const { return m_count; }
    const RtRunHeader& Header() const { return m_header; }

    // Removes the file's name at once; appending and reading go on through the open
    // file, and nothing stays behind whatever happens to the process. For a journal
    // that is only a waveform store (the command-line tool's).
    void DetachName();
    // The run ended normally: no more records, the file's name is removed. The
    // waveforms written stay readable for as long as this object lives.
    void Finish();
    // Forgets the run and its waveforms.
    void Close();

    // --- waveform store ---
    int WaveformCount() const override { return m_count; }
    bool ReadWaveform(int index, RtWaveform& out, QString* error) const override;

private:
    QString m_path;
    RtRunHeader m_header;
    std::unique_ptr<QFile> m_writer;
    std::unique_ptr<QFile> m_reader;
    int m_count = 0;
};

// What a journal on the disk holds: every record whose CRC matches, in order.
struct RtJournalScan {
    bool headerOk = false;
    RtRunHeader header;
    RtdataImage values;             // no waveforms; kinds, times and values
    std::vector<int64_t> recordsAt; // file offset of each kept record
    int64_t fileBytes = 0;
};
RtJournalScan ScanRtJournal(const QString& path);

// At start-up: a journal left by a run that did not end becomes an .rtdata file
// beside it ("realtime-unfinished-<start>.rtdata"); the journal is removed once
// that file is on the disk. A journal without a complete sample is removed.
struct RtRecovered {
    QString path; // the file written, or empty
    int samples = 0;
    QString error; // why a journal with samples was not turned into a file
};
RtRecovered RecoverRtJournal(const QString& journalPath = RtJournal::DefaultPath());
// "The last real-time run did not end normally; its N samples were kept in FILE."
QString RtRecoveredMessage(const RtRecovered& r);
