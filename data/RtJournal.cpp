#include "data/RtJournal.h"

#include "base/DataDir.h"
#include "base/LocalTime.h"
#include "data/RtdataCodec.h"

#include <QDir>
#include <QFileInfo>

#include <cmath>
#include <cstring>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

const char* const kJournalTag = "RTJOURNAL";
constexpr uint8_t kJournalVersion = 1;
// Records read per step while scanning (about 1 MB).
constexpr int64_t kScanRecords = 440;

QByteArray EncodeHeader(const RtRunHeader& h) {
    QByteArray b;
    b.append(char(std::strlen(kJournalTag)));
    b.append(kJournalTag);
    b.append(char(kJournalVersion));
    RtLe::Append(b, uint32_t(h.interval));
    RtLe::Append(b, uint64_t(h.startTime));
    RtLe::Append(b, uint32_t(h.utcOffset));
    b.append(char(h.kind[0]));
    b.append(char(h.kind[1]));
    RtLe::Append(b, RtCrc32(b));
    return b;
}

bool DecodeHeader(const QByteArray& b, RtRunHeader& h) {
    if (b.size() < kRtJournalHeaderBytes)
        return false;
    const char* p = b.constData();
    const QByteArray tag = QByteArray(1, char(std::strlen(kJournalTag))) + kJournalTag;
    if (std::memcmp(p, tag.constData(), size_t(tag.size())) != 0 ||
        uint8_t(p[tag.size()]) != kJournalVersion)
        return false;
    const qsizetype body = qsizetype(kRtJournalHeaderBytes - 4);
    if (RtLe::U32(p + body) != RtCrc32(b.left(body)))
        return false;
    p += tag.size() + 1;
    h.interval = int32_t(RtLe::U32(p));
    h.startTime = TimeValue(RtLe::U64(p + 4));
    h.utcOffset = int32_t(RtLe::U32(p + 12));
    h.kind = {uint8_t(p[16]), uint8_t(p[17])};
    return h.interval >= kRtdataIntervalMin && h.interval <= kRtdataIntervalMax &&
           h.startTime >= kRtEarliestTime && h.startTime <= kRtLatestTime;
}

QByteArray EncodeRecord(const RtJournalSample& s, const RtWaveform& w) {
    QByteArray b;
    b.reserve(qsizetype(kRtJournalRecordBytes));
    RtLe::Append(b, uint64_t(s.time));
    for (const float v : {s.rms[0], s.rms[1], s.freq[0], s.freq[1]}) {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        RtLe::Append(b, bits);
    }
    for (const auto& pair : w) {
        RtLe::Append(b, uint16_t(pair[0]));
        RtLe::Append(b, uint16_t(pair[1]));
    }
    RtLe::Append(b, RtCrc32(b));
    return b;
}

bool RecordIntact(const char* p) {
    constexpr int64_t body = kRtJournalRecordBytes - 4;
    RtCrc crc;
    crc.Add(p, body);
    return RtLe::U32(p + body) == crc.Value();
}

void DecodeRecord(const char* p, RtJournalSample& s, RtWaveform* w) {
    s.time = TimeValue(RtLe::U64(p));
    float v[4];
    for (int i = 0; i < 4; ++i) {
        const uint32_t bits = RtLe::U32(p + 8 + ptrdiff_t(4) * i);
        std::memcpy(&v[i], &bits, 4);
    }
    s.rms = {v[0], v[1]};
    s.freq = {v[2], v[3]};
    if (!w)
        return;
    const char* q = p + 24;
    for (auto& pair : *w) {
        pair[0] = int16_t(RtLe::U16(q));
        pair[1] = int16_t(RtLe::U16(q + 2));
        q += 4;
    }
}

bool SyncToDisk(QFile& f) {
    if (!f.flush())
        return false;
#ifndef _WIN32
    // On the disk, not only in the system's cache: a power cut keeps the sample.
    return ::fdatasync(f.handle()) == 0;
#else
    return true;
#endif
}

void SetError(QString* error, const QString& text) {
    if (error)
        *error = text;
}

// The records of a scanned journal, as a waveform source for the file written.
class ScannedWaveforms final : public RtWaveformSource {
public:
    ScannedWaveforms(QFile& f, const std::vector<int64_t>& at) : m_f(f), m_at(at) {}
    int WaveformCount() const override { return int(m_at.size()); }
    bool ReadWaveform(int index, RtWaveform& out, QString* error) const override {
        QByteArray b(qsizetype(kRtJournalRecordBytes), Qt::Uninitialized);
        if (index < 0 || size_t(index) >= m_at.size() || !m_f.seek(m_at[size_t(index)]) ||
            m_f.read(b.data(), b.size()) != b.size() || !RecordIntact(b.constData())) {
            SetError(error,
                     QStringLiteral("the journal cannot be read: %1").arg(m_f.errorString()));
            return false;
        }
        RtJournalSample s;
        DecodeRecord(b.constData(), s, &out);
        return true;
    }

private:
    QFile& m_f;
    const std::vector<int64_t>& m_at;
};

bool FitsTheRun(const RtRunHeader& h, const RtJournalSample& s) {
    if (s.time < kRtEarliestTime || s.time > kRtLatestTime)
        return false;
    for (size_t ch = 0; ch < 2; ++ch) {
        const bool present = h.kind[ch] == kChannelAmps || h.kind[ch] == kChannelVolts;
        if (present && (!std::isfinite(s.rms[ch]) || !std::isfinite(s.freq[ch])))
            return false;
    }
    return true;
}

void AddSample(RtdataImage& img, const RtJournalSample& s) {
    img.times.push_back(s.time);
    for (int ch = 0; ch < 2; ++ch) {
        if (!img.ChannelPresent(ch))
            continue;
        img.rms[size_t(ch)].push_back(s.rms[size_t(ch)]);
        img.freq[size_t(ch)].push_back(s.freq[size_t(ch)]);
    }
}

} // namespace

// ------------------------------------------------------------------ journal

QString RtJournal::DefaultPath() {
    // Data, not a preference: a long run's waveforms run to hundreds of megabytes,
    // which have no place in the settings folder (often synchronised or backed up).
    return MeasurementFilePath(QStringLiteral("realtime-journal.rtj"));
}

QString RtJournal::FormerPath() {
    return DataFilePath(QStringLiteral("realtime-journal.rtj"));
}

RtJournal::RtJournal(QString path) : m_path(std::move(path)) {}

RtJournal::~RtJournal() = default;

void RtJournal::SetPath(const QString& path) {
    if (!Writing())
        m_path = path;
}

bool RtJournal::Begin(const RtRunHeader& header, QString* error) {
    Close();
    auto writer = std::make_unique<QFile>(m_path);
    if (!writer->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        SetError(error, writer->errorString());
        return false;
    }
    const QByteArray h = EncodeHeader(header);
    if (writer->write(h) != h.size() || !SyncToDisk(*writer)) {
        SetError(error, writer->errorString());
        return false;
    }
    auto reader = std::make_unique<QFile>(m_path);
    if (!reader->open(QIODevice::ReadOnly)) {
        SetError(error, reader->errorString());
        return false;
    }
    m_header = header;
    m_writer = std::move(writer);
    m_reader = std::move(reader);
    m_count = 0;
    return true;
}

bool RtJournal::Append(const RtJournalSample& sample, const RtWaveform& wave, QString* error) {
    if (!Writing()) {
        SetError(error, QStringLiteral("no run is being written"));
        return false;
    }
    const QByteArray r = EncodeRecord(sample, wave);
    // The record goes to the end of what is known to be complete, so that a write
    // that failed half-way is overwritten by the next one instead of shifting it.
    const int64_t at = kRtJournalHeaderBytes + int64_t(m_count) * kRtJournalRecordBytes;
    if (!m_writer->seek(at) || m_writer->write(r) != r.size() || !SyncToDisk(*m_writer)) {
        SetError(error, m_writer->errorString());
        return false;
    }
    ++m_count;
    return true;
}

void RtJournal::DetachName() {
    if (m_reader)
        QFile::remove(m_path);
}

void RtJournal::Finish() {
    if (m_writer) {
        m_writer->close();
        m_writer.reset();
        QFile::remove(m_path);
    }
}

void RtJournal::Close() {
    m_writer.reset();
    m_reader.reset();
    m_count = 0;
}

bool RtJournal::ReadWaveform(int index, RtWaveform& out, QString* error) const {
    if (!m_reader || index < 0 || index >= m_count) {
        SetError(error, QStringLiteral("There is no waveform %1.").arg(index + 1));
        return false;
    }
    const std::vector<int64_t> at{kRtJournalHeaderBytes + int64_t(index) * kRtJournalRecordBytes};
    return ScannedWaveforms(*m_reader, at).ReadWaveform(0, out, error);
}

// ----------------------------------------------------------------- recovery

RtJournalScan ScanRtJournal(const QString& path) {
    RtJournalScan scan;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return scan;
    scan.fileBytes = f.size();
    if (!DecodeHeader(f.read(kRtJournalHeaderBytes), scan.header))
        return scan;
    scan.headerOk = true;
    RtdataImage& img = scan.values;
    img.interval = scan.header.interval;
    img.startTime = scan.header.startTime;
    img.utcOffset = scan.header.utcOffset;
    img.kind = scan.header.kind;
    for (auto& v : img.kind)
        if (v != kChannelAmps && v != kChannelVolts)
            v = kChannelAbsent;
    int64_t at = kRtJournalHeaderBytes;
    for (;;) {
        const QByteArray chunk = f.read(kScanRecords * kRtJournalRecordBytes);
        const int64_t whole = chunk.size() / kRtJournalRecordBytes;
        for (int64_t i = 0; i < whole && img.Count() < kRtMaxPoints; ++i) {
            const char* p = chunk.constData() + i * kRtJournalRecordBytes;
            RtJournalSample s;
            // A record that fails its CRC (cut by a crash) is left out; the ones
            // after it are whole records at their own places.
            if (RecordIntact(p)) {
                DecodeRecord(p, s, nullptr);
                if (FitsTheRun(scan.header, s)) {
                    AddSample(img, s);
                    scan.recordsAt.push_back(at + i * kRtJournalRecordBytes);
                }
            }
        }
        at += whole * kRtJournalRecordBytes;
        if (chunk.size() < kScanRecords * kRtJournalRecordBytes)
            break;
    }
    return scan;
}

RtRecovered RecoverRtJournal(const QString& journalPath) {
    RtRecovered r;
    if (!QFile::exists(journalPath))
        return r;
    const RtJournalScan scan = ScanRtJournal(journalPath);
    if (scan.recordsAt.empty()) {
        // Without a whole sample there is nothing to keep. A damaged header in front
        // of records is kept aside rather than removed.
        if (!scan.headerOk && scan.fileBytes > kRtJournalHeaderBytes) {
            QFile::rename(journalPath, journalPath + QStringLiteral(".damaged"));
            r.error = QStringLiteral("the journal %1 is damaged")
                          .arg(QDir::toNativeSeparators(journalPath));
        } else {
            QFile::remove(journalPath);
        }
        return r;
    }
    const QFileInfo fi(journalPath);
    const QString stamp = FormatLocal(scan.header.startTime, "%Y%m%d-%H%M%S");
    QString target = fi.dir().filePath(QStringLiteral("realtime-unfinished-%1.rtdata").arg(stamp));
    for (int k = 2; QFile::exists(target); ++k)
        target =
            fi.dir().filePath(QStringLiteral("realtime-unfinished-%1-%2.rtdata").arg(stamp).arg(k));
    QFile f(journalPath);
    if (!f.open(QIODevice::ReadOnly)) {
        r.error = f.errorString();
        return r;
    }
    const ScannedWaveforms waves(f, scan.recordsAt);
    QString error;
    if (!SaveRtdataFile(target, scan.values, &waves, &error)) {
        // The journal stays for the next start.
        r.error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(target), error);
        return r;
    }
    f.close();
    QFile::remove(journalPath);
    r.path = target;
    r.samples = scan.values.Count();
    return r;
}

QString RtRecoveredMessage(const RtRecovered& r) {
    return QStringLiteral("The last real-time run did not end normally; its %1 samples were kept "
                          "in %2.")
        .arg(r.samples)
        .arg(QDir::toNativeSeparators(r.path));
}
