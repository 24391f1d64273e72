#include "data/RtdataFile.h"

#include "base/SafeFile.h"
#include "data/RtdataCodec.h"
#include "data/StdataFile.h"

#include <QDir>
#include <QSysInfo>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

namespace {

constexpr uint8_t kLongLength = 0xFF;
constexpr uint16_t kWideMarker = 0xFFFE;
constexpr uint16_t kVeryLongLength = 0xFFFF;
constexpr int64_t kTagBytes = 7; // length byte 6, then "RTDATA"
// Everything before the per-sample arrays: tag, version, count, interval, time
// field, UTC offset, two kinds.
constexpr int64_t kHeaderBytes = kTagBytes + 1 + 4 + 4 + 24 + 4 + 2;
// No place on earth is further than this from UTC.
constexpr int32_t kMaxUtcOffset = 18 * 3600;
constexpr int64_t kChunkBytes = 1 << 20;
constexpr bool kHostIsLittleEndian = QSysInfo::ByteOrder == QSysInfo::LittleEndian;

// --------------------------------------------------------------- writing

// Collects the bytes in chunks, hands each chunk on and keeps the CRC of all.
class Sink {
public:
    explicit Sink(std::function<bool(const QByteArray&)> put) : m_put(std::move(put)) {
        m_buf.reserve(qsizetype{kChunkBytes} + kRtWaveformBytes);
    }
    void U8(uint8_t v) { m_buf.append(char(v)); }
    void U16(uint16_t v) { RtLe::Append(m_buf, v); }
    void I32(int32_t v) { RtLe::Append(m_buf, uint32_t(v)); }
    void I64(int64_t v) { RtLe::Append(m_buf, uint64_t(v)); }
    void F32(float v) {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        RtLe::Append(m_buf, bits);
    }
    void Wave(const RtWaveform& w) {
        if constexpr (kHostIsLittleEndian) {
            // The pairs lie in memory as the file has them.
            static_assert(sizeof(RtWaveform) == kRtWaveformBytes);
            m_buf.append(reinterpret_cast<const char*>(w.data()), qsizetype(kRtWaveformBytes));
        } else {
            for (const auto& pair : w) {
                U16(uint16_t(pair[0]));
                U16(uint16_t(pair[1]));
            }
        }
    }
    bool Ok() const { return m_ok; }
    bool MaybeFlush() {
        if (m_buf.size() >= kChunkBytes)
            Flush();
        return m_ok;
    }
    // Writes what is left, then the CRC of everything before it.
    bool Finish() {
        Flush();
        if (!m_ok)
            return false;
        RtLe::Append(m_buf, m_crc.Value());
        m_ok = m_put(m_buf);
        m_buf.resize(0); // keeps the room reserved for the next chunk
        return m_ok;
    }

private:
    void Flush() {
        if (!m_ok || m_buf.isEmpty())
            return;
        m_crc.Add(m_buf.constData(), m_buf.size());
        m_ok = m_put(m_buf);
        m_buf.resize(0); // keeps the room reserved for the next chunk
    }
    std::function<bool(const QByteArray&)> m_put;
    QByteArray m_buf;
    RtCrc m_crc;
    bool m_ok = true;
};

bool WriteAll(Sink& out, const RtdataImage& image, const RtWaveformSource* waves, QString* error) {
    const int n = image.Count();
    out.U8(uint8_t(std::strlen(kTagRtdata)));
    for (const char* c = kTagRtdata; *c; ++c)
        out.U8(uint8_t(*c));
    out.U8(kRtdataVersion);
    out.I32(n);
    out.I32(image.interval);
    for (int32_t f : RtTimeField(image.startTime, image.utcOffset))
        out.I32(f);
    out.I32(image.utcOffset);
    out.U8(image.kind[0]);
    out.U8(image.kind[1]);
    for (TimeValue t : image.times)
        out.I64(t);
    for (int ch = 0; ch < 2; ++ch) {
        if (!image.ChannelPresent(ch))
            continue;
        for (const auto* values : {&image.rms[size_t(ch)], &image.freq[size_t(ch)]})
            for (int i = 0; i < n; ++i)
                out.F32(size_t(i) < values->size() ? (*values)[size_t(i)] : 0.0f);
        out.MaybeFlush();
    }
    const bool withWaves = waves && waves->WaveformCount() >= n && n > 0;
    out.U8(withWaves ? 1 : 0);
    RtWaveform w{};
    for (int i = 0; withWaves && i < n; ++i) {
        if (!waves->ReadWaveform(i, w, error))
            return false;
        out.Wave(w);
        if (!out.MaybeFlush())
            return false;
    }
    return out.Finish();
}

const RtWaveformSource* WaveformsOf(const RtdataImage& image, const RtWaveformSource* given,
                                    std::unique_ptr<RtMemoryWaveforms>& own) {
    if (given)
        return given;
    if (!image.waveforms.empty() && image.waveforms.size() == image.times.size()) {
        own = std::make_unique<RtMemoryWaveforms>(image.waveforms);
        return own.get();
    }
    return nullptr;
}

// --------------------------------------------------------------- reading

// Random access to the bytes of a file, in memory or on the disk.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual int64_t Size() const = 0;
    virtual bool Read(int64_t at, char* dst, int64_t n) const = 0;
};

class MemorySource final : public ByteSource {
public:
    explicit MemorySource(const QByteArray& b) : m_b(b) {}
    int64_t Size() const override { return m_b.size(); }
    bool Read(int64_t at, char* dst, int64_t n) const override {
        if (at < 0 || n < 0 || at + n > Size())
            return false;
        std::memcpy(dst, m_b.constData() + at, size_t(n));
        return true;
    }

private:
    const QByteArray& m_b;
};

class FileSource final : public ByteSource {
public:
    explicit FileSource(QFile& f) : m_f(f), m_size(f.size()) {}
    int64_t Size() const override { return m_size; }
    bool Read(int64_t at, char* dst, int64_t n) const override {
        return at >= 0 && n >= 0 && at + n <= m_size && m_f.seek(at) && m_f.read(dst, n) == n;
    }

private:
    QFile& m_f;
    int64_t m_size;
};

// Reads fields one after another; the first failure sticks.
class Cursor {
public:
    Cursor(const ByteSource& src, int64_t at) : m_src(src), m_at(at) {}
    bool Ok() const { return m_ok; }
    int64_t At() const { return m_at; }
    int64_t Left() const { return m_src.Size() - m_at; }
    uint8_t U8() { return uint8_t(Take<1>()[0]); }
    uint16_t U16() { return RtLe::U16(Take<2>().data()); }
    uint32_t U32() { return RtLe::U32(Take<4>().data()); }
    int32_t I32() { return int32_t(U32()); }
    bool Bytes(char* dst, int64_t n) {
        if (m_ok && !m_src.Read(m_at, dst, n))
            m_ok = false;
        m_at += n;
        return m_ok;
    }

private:
    template <size_t N> std::array<char, N> Take() {
        std::array<char, N> b{};
        if (!Bytes(b.data(), int64_t(N)))
            b.fill(0);
        return b;
    }
    const ByteSource& m_src;
    int64_t m_at;
    bool m_ok = true;
};

struct Parsed {
    RtdataImage image;
    int64_t waveOffset = -1;
};

RtdataOutcome Outcome(RtdataStatus status, QString message) {
    return RtdataOutcome{status, std::move(message)};
}

RtdataOutcome Damaged(const QString& name, const QString& why) {
    const QString text = DamagedFileText() + QLatin1Char(' ') + why;
    return Outcome(RtdataStatus::Damaged,
                   name.isEmpty() ? text : QStringLiteral("%1: %2").arg(name, text));
}

// The tag as a string field of a measurement file. Only the one-byte form of
// length 6 can be ours; any other readable tag is a wrong one.
RtdataOutcome ReadTag(Cursor& c, const QString& name) {
    const uint8_t b = c.U8();
    uint64_t length = b;
    if (c.Ok() && b == kLongLength) {
        const uint16_t w = c.U16();
        length = w == kVeryLongLength ? c.U32() : w;
        if (c.Ok() && w == kWideMarker)
            return Outcome(RtdataStatus::WrongTag, QString::fromLatin1(kInvalidFormatText));
    }
    if (!c.Ok() || length > uint64_t(std::max<int64_t>(c.Left(), 0)))
        return Damaged(name, QStringLiteral("It ends before its tag."));
    std::array<char, 6> tag{};
    if (length != tag.size() || !c.Bytes(tag.data(), int64_t(tag.size())) ||
        std::memcmp(tag.data(), kTagRtdata, tag.size()) != 0)
        return Outcome(RtdataStatus::WrongTag, QString::fromLatin1(kInvalidFormatText));
    return Outcome(RtdataStatus::Loaded, {});
}

bool ValidKind(uint8_t k) {
    return k == kChannelAmps || k == kChannelVolts || k == kChannelAbsent;
}

RtdataOutcome ReadHeader(Cursor& c, const QString& name, RtdataImage& img, int& count) {
    const uint8_t version = c.U8();
    if (!c.Ok())
        return Damaged(name, QStringLiteral("It ends before its version."));
    if (version > kRtdataVersion) {
        const QString who = name.isEmpty() ? QStringLiteral("The file") : name;
        return Outcome(RtdataStatus::NewerVersion,
                       QStringLiteral("%1 was written by a newer version of this program "
                                      "(real-time file version %2); this version reads "
                                      "version %3 only.")
                           .arg(who)
                           .arg(version)
                           .arg(kRtdataVersion));
    }
    if (version == 0)
        return Damaged(name, QStringLiteral("Its version number is 0."));
    count = c.I32();
    img.interval = c.I32();
    std::array<int32_t, 6> field{};
    for (int32_t& f : field)
        f = c.I32();
    img.utcOffset = c.I32();
    img.kind[0] = c.U8();
    img.kind[1] = c.U8();
    if (!c.Ok())
        return Damaged(name, QStringLiteral("Its header is cut short."));
    if (count < 0 || count > kRtMaxPoints)
        return Damaged(name, QStringLiteral("It announces %1 samples.").arg(count));
    if (img.interval < kRtdataIntervalMin || img.interval > kRtdataIntervalMax)
        return Damaged(
            name, QStringLiteral("Its sampling interval of %1 s is impossible.").arg(img.interval));
    if (std::abs(img.utcOffset) > kMaxUtcOffset || !ValidKind(img.kind[0]) ||
        !ValidKind(img.kind[1]))
        return Damaged(name, QStringLiteral("Its header holds an impossible field."));
    const auto start = RtTimeFromField(field, img.utcOffset);
    if (!start)
        return Damaged(name, QStringLiteral("Its start time is not a date."));
    img.startTime = *start;
    return Outcome(RtdataStatus::Loaded, {});
}

bool CrcMatches(const ByteSource& src) {
    const int64_t body = src.Size() - 4;
    RtCrc crc;
    QByteArray chunk(qsizetype(std::min<int64_t>(kChunkBytes, std::max<int64_t>(body, 0))),
                     Qt::Uninitialized);
    for (int64_t at = 0; at < body; at += kChunkBytes) {
        const int64_t n = std::min<int64_t>(kChunkBytes, body - at);
        if (!src.Read(at, chunk.data(), n))
            return false;
        crc.Add(chunk.constData(), n);
    }
    char stored[4];
    return src.Read(body, stored, 4) && RtLe::U32(stored) == crc.Value();
}

RtdataOutcome ReadArrays(const ByteSource& src, const QString& name, int n, RtdataImage& img) {
    const int channels = int(img.ChannelPresent(0)) + int(img.ChannelPresent(1));
    QByteArray b(qsizetype(8 * int64_t(n) * (1 + channels)), Qt::Uninitialized);
    if (!src.Read(kHeaderBytes, b.data(), b.size()))
        return Damaged(name, QStringLiteral("Its samples cannot be read."));
    const char* p = b.constData();
    img.times.resize(size_t(n));
    for (TimeValue& t : img.times) {
        t = TimeValue(RtLe::U64(p));
        p += 8;
        if (t < kRtEarliestTime || t > kRtLatestTime)
            return Damaged(name, QStringLiteral("A sample's time is not a date."));
    }
    for (int ch = 0; ch < 2; ++ch) {
        if (!img.ChannelPresent(ch))
            continue;
        for (auto* values : {&img.rms[size_t(ch)], &img.freq[size_t(ch)]}) {
            values->resize(size_t(n));
            for (float& v : *values) {
                const uint32_t bits = RtLe::U32(p);
                p += 4;
                std::memcpy(&v, &bits, 4);
                if (!std::isfinite(v))
                    return Damaged(name, QStringLiteral("A sample's value is not a number."));
            }
        }
    }
    return Outcome(RtdataStatus::Loaded, {});
}

// Everything but the waveforms, after the size and the CRC of the whole were checked.
RtdataOutcome Parse(const ByteSource& src, const QString& name, Parsed& out) {
    Cursor c(src, 0);
    if (RtdataOutcome r = ReadTag(c, name); !r.Ok())
        return r;
    Parsed p;
    int n = 0;
    if (RtdataOutcome r = ReadHeader(c, name, p.image, n); !r.Ok())
        return r;
    const int channels = int(p.image.ChannelPresent(0)) + int(p.image.ChannelPresent(1));
    const int64_t flagAt = kHeaderBytes + 8 * int64_t(n) * (1 + channels);
    Cursor flag(src, flagAt);
    const uint8_t withWaves = flag.U8();
    if (!flag.Ok())
        return Damaged(name, QStringLiteral("It ends inside its samples."));
    if (withWaves > 1)
        return Damaged(name, QStringLiteral("Its waveform flag is %1.").arg(withWaves));
    const int64_t expected = flagAt + 1 + withWaves * kRtWaveformBytes * n + 4;
    if (src.Size() < expected)
        return Damaged(name, withWaves ? QStringLiteral("It ends inside its waveforms.")
                                       : QStringLiteral("It ends before its check sum."));
    if (src.Size() > expected)
        return Damaged(name, QStringLiteral("It goes on for %1 bytes after its check sum.")
                                 .arg(src.Size() - expected));
    if (!CrcMatches(src))
        return Damaged(name, QStringLiteral("Its contents do not match its check sum."));
    if (RtdataOutcome r = ReadArrays(src, name, n, p.image); !r.Ok())
        return r;
    p.waveOffset = withWaves ? flagAt + 1 : -1;
    out = std::move(p);
    return Outcome(RtdataStatus::Loaded, {});
}

bool ReadWave(const ByteSource& src, int64_t at, RtWaveform& out) {
    if constexpr (kHostIsLittleEndian) {
        // The pairs lie in memory as the file has them; `out` changes only on success.
        RtWaveform w;
        if (!src.Read(at, reinterpret_cast<char*>(w.data()), kRtWaveformBytes))
            return false;
        out = w;
        return true;
    }
    std::array<char, kRtWaveformBytes> b{};
    if (!src.Read(at, b.data(), kRtWaveformBytes))
        return false;
    const char* p = b.data();
    for (auto& pair : out) {
        pair[0] = int16_t(RtLe::U16(p));
        pair[1] = int16_t(RtLe::U16(p + 2));
        p += 4;
    }
    return true;
}

QString Shown(const QString& path) {
    return QDir::toNativeSeparators(path);
}

} // namespace

// ------------------------------------------------------------------ image

QString RtdataImage::ChannelUnit(int ch) const {
    switch (kind[size_t(ch)]) {
    case kChannelAmps:
        return QStringLiteral("A");
    case kChannelVolts:
        return QStringLiteral("V");
    default:
        return {};
    }
}

bool RtdataImage::IsConsistent() const {
    const size_t n = times.size();
    for (int ch = 0; ch < 2; ++ch) {
        const size_t want = ChannelPresent(ch) ? n : 0;
        if (rms[size_t(ch)].size() != want || freq[size_t(ch)].size() != want)
            return false;
    }
    return waveforms.empty() || waveforms.size() == n;
}

uint8_t RtChannelKind(uint8_t present, const QString& unit) {
    if (present != 1)
        return kChannelAbsent;
    return unit == QLatin1String("A") ? kChannelAmps : kChannelVolts;
}

bool RtMemoryWaveforms::ReadWaveform(int index, RtWaveform& out, QString* error) const {
    if (index < 0 || size_t(index) >= m_waves.size()) {
        if (error)
            *error = QStringLiteral("There is no waveform %1.").arg(index + 1);
        return false;
    }
    out = m_waves[size_t(index)];
    return true;
}

// ---------------------------------------------------------------- writing

QByteArray EncodeRtdata(const RtdataImage& image) {
    QByteArray out;
    Sink sink([&out](const QByteArray& chunk) {
        out.append(chunk);
        return true;
    });
    std::unique_ptr<RtMemoryWaveforms> own;
    WriteAll(sink, image, WaveformsOf(image, nullptr, own), nullptr);
    return out;
}

bool SaveRtdataFile(const QString& path, const RtdataImage& image, const RtWaveformSource* waves,
                    QString* error) {
    AtomicFile file(path);
    if (!file.Open()) {
        if (error)
            *error = file.Error();
        return false;
    }
    Sink sink([&file](const QByteArray& chunk) { return file.Write(chunk); });
    std::unique_ptr<RtMemoryWaveforms> own;
    QString sourceError;
    if (!WriteAll(sink, image, WaveformsOf(image, waves, own), &sourceError)) {
        if (error)
            *error = sourceError.isEmpty() ? file.Error() : sourceError;
        file.Cancel();
        return false;
    }
    if (!file.Commit()) {
        if (error)
            *error = file.Error();
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- reading

RtdataOutcome DecodeRtdata(const QByteArray& bytes, RtdataImage& out, const QString& name) {
    const MemorySource src(bytes);
    Parsed p;
    RtdataOutcome r = Parse(src, name, p);
    if (!r.Ok())
        return r;
    if (p.waveOffset >= 0) {
        p.image.waveforms.resize(size_t(p.image.Count()));
        for (size_t i = 0; i < p.image.waveforms.size(); ++i)
            ReadWave(src, p.waveOffset + int64_t(i) * kRtWaveformBytes, p.image.waveforms[i]);
    }
    out = std::move(p.image);
    return r;
}

RtdataReader::RtdataReader() = default;
RtdataReader::~RtdataReader() = default;

RtdataOutcome RtdataReader::Open(const QString& path) {
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly))
        return Outcome(
            RtdataStatus::NotOpened,
            QStringLiteral("%1 cannot be opened: %2").arg(Shown(path), file->errorString()));
    const FileSource src(*file);
    Parsed p;
    RtdataOutcome r = Parse(src, Shown(path), p);
    if (!r.Ok())
        return r;
    m_image = std::move(p.image);
    m_waveOffset = p.waveOffset;
    m_file = std::move(file);
    return r;
}

bool RtdataReader::ReadWaveform(int index, RtWaveform& out, QString* error) const {
    if (!m_file || index < 0 || index >= WaveformCount()) {
        if (error)
            *error = QStringLiteral("There is no waveform %1.").arg(index + 1);
        return false;
    }
    const FileSource src(*m_file);
    if (!ReadWave(src, m_waveOffset + int64_t(index) * kRtWaveformBytes, out)) {
        if (error)
            *error = m_file->errorString();
        return false;
    }
    return true;
}

RtdataOutcome LoadRtdataFile(const QString& path, RtdataImage& out) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return Outcome(RtdataStatus::NotOpened,
                       QStringLiteral("%1 cannot be opened: %2").arg(Shown(path), f.errorString()));
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        return Outcome(RtdataStatus::NotOpened,
                       QStringLiteral("%1 cannot be read: %2").arg(Shown(path), f.errorString()));
    return DecodeRtdata(bytes, out, Shown(path));
}

RtdataImage RunImage(const RealTimeRun& run) {
    RtdataImage image;
    image.interval = std::clamp(run.Interval(), kRtdataIntervalMin, kRtdataIntervalMax);
    image.startTime = run.StartTime();
    image.utcOffset = RtLocalUtcOffset(run.StartTime());
    image.kind = {run.ChannelKind(0), run.ChannelKind(1)};
    image.times = run.Times();
    for (size_t ch = 0; ch < 2; ++ch) {
        if (!image.ChannelPresent(int(ch)))
            continue;
        image.rms[ch].reserve(run.Rms().size());
        image.freq[ch].reserve(run.Freq().size());
        for (size_t i = 0; i < run.Rms().size(); ++i) {
            image.rms[ch].push_back(run.Rms()[i][ch]);
            image.freq[ch].push_back(run.Freq()[i][ch]);
        }
    }
    return image;
}

void PutRunImage(const RtdataImage& image, RealTimeRun& run) {
    for (int ch = 0; ch < 2; ++ch)
        run.SetChannel(ch, image.ChannelPresent(ch), image.ChannelUnit(ch));
    run.Begin(image.startTime, image.interval, image.Count());
    for (size_t i = 0; i < size_t(image.Count()); ++i) {
        RtSample sample;
        sample.time = image.times[i];
        for (size_t ch = 0; ch < 2; ++ch) {
            const bool present = image.ChannelPresent(int(ch)) && i < image.rms[ch].size() &&
                                 i < image.freq[ch].size();
            sample.rms[ch] = present ? image.rms[ch][i] : 0.0f;
            sample.freq[ch] = present ? image.freq[ch][i] : 400.0f;
        }
        run.Append(sample);
    }
}
