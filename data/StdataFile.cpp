#include "data/StdataFile.h"

#include "base/LocalTime.h"

#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr uint8_t kLongLength = 0xFF;         // a 16-bit length follows
constexpr uint16_t kWideMarker = 0xFFFE;      // UTF-16 text follows (read only)
constexpr uint16_t kVeryLongLength = 0xFFFF;  // a 32-bit length follows
constexpr uint32_t kLongestShortLength = 254; // longest text with a one-byte prefix
constexpr uint32_t kLongest16BitLength = 0xFFFD;

// Calendar fields outside these bounds cannot come from a clock; they are refused
// so that converting them never overflows.
constexpr int kMinYear = 1;
constexpr int kMaxYear = 9999;
constexpr int kFieldLimit = 1000000;
// Intervals beyond this (over 31 years between two samples) would let sample times
// overflow; no logger can record them.
constexpr double kMaxIntervalSeconds = 1e9;

constexpr bool kHostIsLittleEndian = QSysInfo::ByteOrder == QSysInfo::LittleEndian;

// ---------------------------------------------------------------- writing

class Writer {
public:
    explicit Writer(qsizetype expected) { m_out.reserve(expected); }

    void U8(uint8_t v) { m_out.append(char(v)); }
    void U16(uint16_t v) { Raw(qToLittleEndian(v)); }
    void U32(uint32_t v) { Raw(qToLittleEndian(v)); }
    void I32(int32_t v) { Raw(qToLittleEndian(v)); }
    void F32(float v) {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        U32(bits);
    }
    void Floats(const float* v, size_t n) {
        if (n == 0)
            return;
        if constexpr (kHostIsLittleEndian) {
            m_out.append(reinterpret_cast<const char*>(v), qsizetype(n) * 4);
        } else {
            for (size_t i = 0; i < n; ++i)
                F32(v[i]);
        }
    }
    void Text(const QString& s) {
        const QByteArray bytes = s.toLatin1();
        const uint32_t n = uint32_t(bytes.size());
        if (n <= kLongestShortLength) {
            U8(uint8_t(n));
        } else if (n <= kLongest16BitLength) {
            U8(kLongLength);
            U16(uint16_t(n));
        } else {
            U8(kLongLength);
            U16(kVeryLongLength);
            U32(n);
        }
        m_out.append(bytes);
    }
    void Time(TimeValue t) {
        const CalendarFields f = ToLocalFields(t);
        for (int v : {f.year, f.month, f.day, f.hour, f.minute, f.second})
            I32(v);
    }
    QByteArray Take() { return std::move(m_out); }

private:
    template <typename T> void Raw(T v) {
        m_out.append(reinterpret_cast<const char*>(&v), sizeof v);
    }
    QByteArray m_out;
};

// ---------------------------------------------------------------- reading

// Every read checks what is left first; the first failure sticks and later reads
// return zeros, so the parser can check once per block.
class Reader {
public:
    explicit Reader(const QByteArray& bytes)
        : m_p(reinterpret_cast<const uint8_t*>(bytes.constData())), m_left(size_t(bytes.size())) {}

    bool Ok() const { return m_ok; }
    size_t Left() const { return m_ok ? m_left : 0; }
    void Fail() { m_ok = false; }

    uint8_t U8() {
        uint8_t v = 0;
        Take(&v, 1);
        return v;
    }
    uint16_t U16() {
        uint16_t v = 0;
        Take(&v, 2);
        return qFromLittleEndian(v);
    }
    uint32_t U32() {
        uint32_t v = 0;
        Take(&v, 4);
        return qFromLittleEndian(v);
    }
    int32_t I32() { return int32_t(U32()); }
    float F32() {
        const uint32_t bits = U32();
        float v;
        std::memcpy(&v, &bits, 4);
        return v;
    }
    // Caller has checked that n floats fit in what is left.
    void Floats(float* dst, size_t n) {
        if (n == 0 || !Need(n * 4))
            return;
        if constexpr (kHostIsLittleEndian) {
            std::memcpy(dst, m_p, n * 4);
            Skip(n * 4);
        } else {
            for (size_t i = 0; i < n; ++i)
                dst[i] = F32();
        }
    }

    // A length prefix: 8-bit, or 0xFF + 16-bit, or 0xFF 0xFFFF + 32-bit. `wide`
    // reports the 0xFF 0xFFFE marker of a UTF-16 text, whose own prefix follows.
    uint32_t Length(bool* wide) {
        *wide = false;
        const uint8_t b = U8();
        if (b != kLongLength)
            return b;
        const uint16_t w = U16();
        if (w == kWideMarker) {
            *wide = true;
            return 0;
        }
        if (w != kVeryLongLength)
            return w;
        return U32();
    }

    QString Text() {
        bool wide = false;
        uint32_t n = Length(&wide);
        if (!m_ok)
            return {};
        if (!wide) {
            if (!Need(n))
                return {};
            QString s = QString::fromLatin1(reinterpret_cast<const char*>(m_p), qsizetype(n));
            Skip(n);
            return s;
        }
        bool wideAgain = false;
        n = Length(&wideAgain);
        if (wideAgain)
            Fail();
        if (!m_ok || !Need(uint64_t(n) * 2))
            return {};
        QString s(qsizetype(n), Qt::Uninitialized);
        for (uint32_t i = 0; i < n; ++i)
            s[i] = QChar(U16());
        // The 8-bit texts of the set hold what an 8-bit string could: characters
        // beyond Latin-1 become "?" as they would when converted to 8 bits.
        return QString::fromLatin1(s.toLatin1());
    }

    TimeValue Time() {
        int32_t f[6];
        for (int32_t& v : f)
            v = I32();
        if (!m_ok)
            return 0;
        if (f[0] < kMinYear || f[0] > kMaxYear) {
            Fail();
            return 0;
        }
        for (int i = 1; i < 6; ++i) {
            if (f[i] < -kFieldLimit || f[i] > kFieldLimit) {
                Fail();
                return 0;
            }
        }
        // Fields out of their usual range are normalised (month 13 is January of
        // the next year), but the result must still be a date a file can carry.
        const TimeValue t = FromLocalFields({f[0], f[1], f[2], f[3], f[4], f[5]});
        const int year = ToLocalFields(t).year;
        if (year < kMinYear || year > kMaxYear) {
            Fail();
            return 0;
        }
        return t;
    }

private:
    bool Need(uint64_t n) {
        if (!m_ok || n > m_left) {
            m_ok = false;
            return false;
        }
        return true;
    }
    void Skip(size_t n) {
        m_p += n;
        m_left -= n;
    }
    void Take(void* dst, size_t n) {
        if (!Need(n))
            return;
        std::memcpy(dst, m_p, n);
        Skip(n);
    }

    const uint8_t* m_p;
    size_t m_left;
    bool m_ok = true;
};

const QString& DamagedText() {
    static const QString text =
        QStringLiteral("The file is damaged or incomplete and cannot be read.");
    return text;
}

// What a file read keeps of the stored set it replaces: the channel count (not in
// the file), and the units and extreme texts of a channel the file may not carry.
StoredSet CarriedOver(const StoredSet& old) {
    StoredSet s;
    s.SetChannelCount(old.ChannelCount());
    for (int ch = 0; ch < 2; ++ch) {
        s.SetChannelUnit(ch, old.ChannelUnit(ch));
        s.SetExtremeText(0, ch, old.ExtremeText(0, ch));
        s.SetExtremeText(1, ch, old.ExtremeText(1, ch));
    }
    return s;
}

StdataStatus Damaged(QString* error, const QString& why) {
    if (error)
        *error = DamagedText() + QLatin1Char(' ') + why;
    return StdataStatus::Damaged;
}

} // namespace

QByteArray EncodeStdata(const MeasurementSet& set) {
    const StoredSet& s = set.Stored();
    const size_t channels = size_t(s.ChannelFlag(0)) + size_t(s.ChannelFlag(1));
    const size_t expected = 64 + 4 * channels * size_t(s.RmsCount()) + s.TrWave().size() * 4 +
                            s.TrTimes().size() * kStdataTrHeaderBytes + 256;
    Writer w(static_cast<qsizetype>(expected));
    w.Text(set.DataTag());
    w.I32(s.RmsCount());
    w.U8(s.ChannelFlag(0));
    w.U8(s.ChannelFlag(1));
    w.F32(s.RmsInterval());
    w.Time(s.StartTime());
    // The stored set guarantees RmsCount() values for a present channel and
    // kTrPoints per TR record, so each block is written straight from its array.
    if (s.ChannelPresent(0)) {
        w.Floats(s.ChannelRms(0).data(), s.ChannelRms(0).size());
        w.Text(s.ExtremeText(0, 0));
        w.Text(s.ExtremeText(1, 0));
        w.Text(s.ChannelUnit(0));
        w.Text(s.ChannelUnit(1)); // the CH2 unit travels in the CH1 block
    }
    if (s.ChannelPresent(1)) {
        w.Floats(s.ChannelRms(1).data(), s.ChannelRms(1).size());
        w.Text(s.ExtremeText(0, 1));
        w.Text(s.ExtremeText(1, 1));
    }
    const size_t tr = size_t(s.TrCount());
    w.I32(int32_t(tr));
    for (size_t k = 0; k < tr; ++k) {
        w.U8(s.TrChannelCodes()[k]);
        w.U8(s.TrUnitCodes()[k]);
        w.Time(s.TrTimes()[k]);
    }
    w.Floats(s.TrWave().data(), s.TrWave().size());
    w.F32(s.TrLevelHigh());
    w.F32(s.TrLevelLow());
    return w.Take();
}

namespace {

// The parts of a stored measurement after its tag, in file order. Each reads into
// `s` and returns why the file is damaged, or an empty text.

using ChannelFlags = std::array<bool, 2>;

QString ReadRmsHeader(Reader& r, StoredSet& s, ChannelFlags& flags) {
    const int32_t rmsCount = r.I32();
    const uint8_t ch1Flag = r.U8();
    const uint8_t ch2Flag = r.U8();
    const float interval = r.F32();
    const TimeValue start = r.Time();
    if (!r.Ok())
        return QStringLiteral("Its header is cut short or holds an impossible date.");
    if (rmsCount < 0 || rmsCount > kStdataMaxRmsCount)
        return QStringLiteral("It announces %1 RMS samples.").arg(rmsCount);
    if (!std::isfinite(interval) || std::fabs(double(interval)) > kMaxIntervalSeconds)
        return QStringLiteral("Its recording interval is not a number of seconds.");
    // A flag counts only when it is exactly 1; anything else is an absent channel.
    const bool ch1 = ch1Flag == 1;
    const bool ch2 = ch2Flag == 1;
    // Without a channel the samples take no room in the file, so the count alone
    // would size the graph buffers (48 bytes a point: about 800 MB for 2^24); no
    // download yields more samples than the logger's memory holds.
    if (!ch1 && !ch2 && rmsCount > kStdataMaxSamplesWithoutChannel)
        return QStringLiteral("It announces %1 RMS samples of no channel.").arg(rmsCount);
    // The channels stay absent until their values have been read, so that nothing is
    // allocated before the file has shown it holds the samples.
    flags = {ch1, ch2};
    s.SetChannelPresent(0, false);
    s.SetChannelPresent(1, false);
    s.SetRmsCount(rmsCount);
    s.SetRmsInterval(interval);
    s.SetStartTime(start);
    return {};
}

// One channel's values and texts, or why they cannot be read; `unitTexts` for the
// CH1 block, which also carries the CH2 unit.
QString ReadChannel(Reader& r, StoredSet& s, int ch, bool unitTexts) {
    const QString name = ch == 0 ? QStringLiteral("CH1") : QStringLiteral("CH2");
    const int32_t rmsCount = s.RmsCount();
    // Refuse before allocating: the samples must be in the file.
    if (uint64_t(rmsCount) * 4 > r.Left())
        return QStringLiteral("The %1 values are missing.").arg(name);
    std::vector<float> v(static_cast<size_t>(rmsCount));
    r.Floats(v.data(), v.size());
    if (!r.Ok() || !s.SetChannelValues(ch, std::move(v)))
        return QStringLiteral("The %1 values are missing.").arg(name);
    s.SetExtremeText(0, ch, r.Text());
    s.SetExtremeText(1, ch, r.Text());
    if (unitTexts) {
        s.SetChannelUnit(0, r.Text());
        s.SetChannelUnit(1, r.Text());
    }
    if (!r.Ok())
        return QStringLiteral("The %1 texts are missing.").arg(name);
    return {};
}

QString ReadChannels(Reader& r, StoredSet& s, const ChannelFlags& flags) {
    for (int ch = 0; ch < 2; ++ch) {
        if (!flags[size_t(ch)])
            continue;
        if (QString why = ReadChannel(r, s, ch, ch == 0); !why.isEmpty())
            return why;
    }
    return {};
}

QString ReadTrRecords(Reader& r, StoredSet& s) {
    const int32_t trCount = r.I32();
    if (!r.Ok())
        return QStringLiteral("The TR record count is missing.");
    constexpr uint64_t kPerRecord = kStdataTrHeaderBytes + kStdataTrWaveBytes;
    if (trCount < 0 || uint64_t(trCount) * kPerRecord + 8 > r.Left())
        return QStringLiteral("It announces %1 TR records it does not hold.").arg(trCount);
    const size_t tr = size_t(trCount);
    std::vector<uint8_t> channels(tr);
    std::vector<uint8_t> units(tr);
    std::vector<TimeValue> times(tr);
    for (size_t k = 0; k < tr && r.Ok(); ++k) {
        channels[k] = r.U8();
        units[k] = r.U8();
        times[k] = r.Time();
    }
    if (!r.Ok())
        return QStringLiteral("A TR record holds an impossible date.");
    std::vector<float> wave(tr * kTrPoints);
    r.Floats(wave.data(), wave.size());
    const float high = r.F32();
    const float low = r.F32();
    if (!r.Ok())
        return QStringLiteral("It ends inside the TR records.");
    s.SetTrRecords(std::move(channels), std::move(units), std::move(times), std::move(wave));
    s.SetTrLevels(high, low);
    // Trailing bytes are ignored, as a reader that stops after the last field would.
    return {};
}

} // namespace

StdataStatus ParseStdata(const QByteArray& bytes, MeasurementSet& out, QString* tag,
                         QString* error) {
    Reader r(bytes);
    const QString fileTag = r.Text();
    if (!r.Ok())
        return Damaged(error, QStringLiteral("It ends before its tag."));
    if (tag)
        *tag = fileTag;
    if (fileTag != QLatin1String(kTagStored)) {
        if (error)
            *error = QStringLiteral("Invalid Format!");
        return StdataStatus::WrongTag;
    }

    // Everything goes into a new stored set; `out` changes only once the file has been
    // read to its end. The channel count, and the texts and units of a channel the
    // file does not carry, keep their current values.
    StoredSet s = CarriedOver(out.Stored());
    ChannelFlags flags{};
    QString why = ReadRmsHeader(r, s, flags);
    if (why.isEmpty())
        why = ReadChannels(r, s, flags);
    if (why.isEmpty())
        why = ReadTrRecords(r, s);
    if (!why.isEmpty())
        return Damaged(error, why);

    out.ReplaceStored(std::move(s));
    out.SetFileTag(fileTag);
    if (error)
        error->clear();
    return StdataStatus::Loaded;
}

QString DamagedFileText() {
    return DamagedText();
}

bool DecodeStdata(const QByteArray& bytes, MeasurementSet& out, QString* error) {
    return ParseStdata(bytes, out, nullptr, error) == StdataStatus::Loaded;
}

bool SaveStdataFile(const QString& path, const MeasurementSet& set, QString* error) {
    return WriteFileAtomically(path, EncodeStdata(set), error);
}

StdataStatus LoadStdataFileDetailed(const QString& path, MeasurementSet& out, QString* tag,
                                    QString* error, bool* opened) {
    if (opened)
        *opened = false;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = f.errorString();
        return StdataStatus::Damaged;
    }
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        if (error)
            *error = f.errorString();
        return StdataStatus::Damaged;
    }
    if (opened)
        *opened = true;
    return ParseStdata(bytes, out, tag, error);
}

bool LoadStdataFile(const QString& path, MeasurementSet& out, QString* error) {
    return LoadStdataFileDetailed(path, out, nullptr, error) == StdataStatus::Loaded;
}
