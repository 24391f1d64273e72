// The real-time file and the journal of a running acquisition: the layout byte for
// byte, round trips across time zones, every kind of refusal (cut at each offset,
// each byte flipped), waveforms read one at a time from a large file, and a journal
// cut by a crash turned into a file that opens.

#include "data/RealTimeCsv.h"
#include "data/RtJournal.h"
#include "data/RtdataCodec.h"
#include "data/RtdataFile.h"
#include "data/StdataFile.h"
#include "support/RunSamples.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

constexpr TimeValue kStart = 1796832000; // 2026-12-09 16:00:00 UTC

// A waveform that differs per sample and uses the whole int16 range.
RtWaveform Wave(int seed) {
    RtWaveform w{};
    for (int i = 0; i < kRtWavePoints; ++i) {
        w[size_t(i)][0] = int16_t((i * 97 + seed * 31) % 65536 - 32768);
        w[size_t(i)][1] = int16_t(seed - i);
    }
    return w;
}

RtdataImage MakeRun(int n, bool waves,
                    std::array<uint8_t, 2> kind = {kChannelVolts, kChannelAmps}) {
    RtdataImage r;
    r.interval = 2;
    r.startTime = kStart;
    r.utcOffset = 3600;
    r.kind = kind;
    for (int i = 0; i < n; ++i) {
        r.times.push_back(kStart + 2 * i + (i > 2 ? 2 : 0)); // a skipped tick after 3
        for (int ch = 0; ch < 2; ++ch) {
            if (!r.ChannelPresent(ch))
                continue;
            r.rms[size_t(ch)].push_back(float(229.5 + i) / float(ch + 1));
            r.freq[size_t(ch)].push_back(i == 1 ? 400.0f : 49.9f + float(ch));
        }
        if (waves)
            r.waveforms.push_back(Wave(i));
    }
    return r;
}

void ExpectSameRun(const RtdataImage& a, const RtdataImage& b) {
    EXPECT_EQ(a.interval, b.interval);
    EXPECT_EQ(a.startTime, b.startTime);
    EXPECT_EQ(a.utcOffset, b.utcOffset);
    EXPECT_EQ(a.kind, b.kind);
    EXPECT_EQ(a.times, b.times);
    for (size_t ch = 0; ch < 2; ++ch) {
        EXPECT_EQ(a.rms[ch], b.rms[ch]) << ch;
        EXPECT_EQ(a.freq[ch], b.freq[ch]) << ch;
    }
    EXPECT_TRUE(a.waveforms == b.waveforms);
}

bool WriteAll(const QString& path, const QByteArray& b) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(b) == b.size();
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class ScopedTz {
public:
    explicit ScopedTz(const char* tz) {
        if (const char* old = std::getenv("TZ"))
            m_old = old;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ScopedTz() {
        if (m_old.empty())
            unsetenv("TZ");
        else
            setenv("TZ", m_old.c_str(), 1);
        tzset();
    }

private:
    std::string m_old;
};

// ------------------------------------------------------------------- layout

TEST(RtdataLayout, OneSampleOfOneChannelIsTheDocumentedBytes) {
    RtdataImage r;
    r.interval = 2;
    r.startTime = kStart;
    r.utcOffset = 3600;
    r.kind = {kChannelVolts, kChannelAbsent};
    r.times = {kStart};
    r.rms[0] = {230.0f};
    r.freq[0] = {50.0f};
    const QByteArray expected = QByteArray::fromHex("06525444415441"
                                                    "01"
                                                    "01000000"
                                                    "02000000"
                                                    "ea070000"
                                                    "0c000000"
                                                    "09000000"
                                                    "11000000"
                                                    "00000000"
                                                    "00000000" // 2026-12-09 17:00:00
                                                    "100e0000"
                                                    "01ff"
                                                    "007b196b00000000"
                                                    "00006643"
                                                    "00004842"
                                                    "00"
                                                    "3da774f6");
    EXPECT_EQ(EncodeRtdata(r).toHex(), expected.toHex());
    EXPECT_EQ(expected.size(), kRtdataFixedBytes + 8 + 8);
}

TEST(RtdataLayout, CrcIsTheIeeeOneZlibComputes) {
    EXPECT_EQ(RtCrc32(QByteArray("123456789")), 0xCBF43926u);
    EXPECT_EQ(RtCrc32(QByteArray()), 0u);
}

TEST(RtdataLayout, WaveformsFollowTheFlagLittleEndianCh1First) {
    RtdataImage r = MakeRun(2, true, {kChannelAbsent, kChannelVolts});
    r.waveforms[1][0] = {int16_t(0x1234), int16_t(-2)};
    const QByteArray b = EncodeRtdata(r);
    // Header 46, times 16, one channel's values 16, the flag.
    const qsizetype flag = 46 + 16 + 16;
    ASSERT_EQ(b.size(), flag + 1 + 2 * kRtWaveformBytes + 4);
    EXPECT_EQ(b[flag], char(1));
    EXPECT_EQ(b.mid(flag + 1 + kRtWaveformBytes, 4).toHex(), QByteArray("3412feff"));
}

// --------------------------------------------------------------- round trip

TEST(RtdataRoundTrip, ValuesTimesAndWaveformsComeBackBitForBitInAnyTimeZone) {
    for (const auto& kind : {std::array<uint8_t, 2>{kChannelVolts, kChannelAmps},
                             {kChannelAbsent, kChannelAmps},
                             {kChannelVolts, kChannelAbsent}}) {
        for (bool waves : {false, true}) {
            const RtdataImage r = MakeRun(6, waves, kind);
            const QByteArray b = EncodeRtdata(r);
            for (const char* tz : {"UTC", "America/New_York", "Asia/Kolkata"}) {
                ScopedTz zone(tz);
                RtdataImage back;
                const RtdataOutcome o = DecodeRtdata(b, back);
                ASSERT_TRUE(o.Ok()) << o.message.toStdString();
                ExpectSameRun(r, back);
                EXPECT_TRUE(back.IsConsistent());
            }
        }
    }
}

TEST(RtdataRoundTrip, StartFieldsAreTheLocalTimeAtTheStoredOffset) {
    // 23:30 UTC on 31 December at +01:00 is already next year locally, and the
    // offset west of UTC takes the date back.
    for (const auto& [offset, fields] :
         {std::pair{3600, std::array<int32_t, 6>{2027, 1, 1, 0, 30, 0}},
          std::pair{-5 * 3600, std::array<int32_t, 6>{2026, 12, 31, 18, 30, 0}}}) {
        const TimeValue t = 1798759800; // 2026-12-31 23:30:00 UTC
        EXPECT_EQ(RtTimeField(t, offset), fields);
        EXPECT_EQ(RtTimeFromField(fields, offset), t);
    }
    EXPECT_FALSE(RtTimeFromField({2026, 2, 29, 0, 0, 0}, 0)); // not a leap year
    EXPECT_TRUE(RtTimeFromField({2028, 2, 29, 0, 0, 0}, 0));
}

TEST(RtdataRoundTrip, SavedAtomicallyFromAWaveformSourceAndReadBackOnDemand) {
    QTemporaryDir dir;
    const QString path = dir.filePath("run.rtdata");
    const RtdataImage r = MakeRun(300, true);
    const RtMemoryWaveforms waves(r.waveforms);
    RtdataImage values = r;
    values.waveforms.clear();
    QString error;
    ASSERT_TRUE(SaveRtdataFile(path, values, &waves, &error)) << error.toStdString();
    EXPECT_EQ(ReadAll(path), EncodeRtdata(r));

    RtdataReader reader;
    const RtdataOutcome o = reader.Open(path);
    ASSERT_TRUE(o.Ok()) << o.message.toStdString();
    EXPECT_TRUE(reader.Image().waveforms.empty());
    ExpectSameRun(values, reader.Image());
    ASSERT_TRUE(reader.HasWaveforms());
    // The file replaced under the same name after the open: the reader keeps the one
    // it checked.
    ASSERT_TRUE(SaveRtdataFile(path, MakeRun(1, true), nullptr, &error));
    for (int i : {299, 0, 150}) {
        RtWaveform w{};
        ASSERT_TRUE(reader.ReadWaveform(i, w, &error)) << error.toStdString();
        EXPECT_TRUE(w == r.waveforms[size_t(i)]) << i;
    }
    RtWaveform w{};
    EXPECT_FALSE(reader.ReadWaveform(300, w, &error));
    EXPECT_FALSE(reader.ReadWaveform(-1, w, &error));
}

TEST(RtdataRoundTrip, AWaveformThatCannotBeReadAbandonsTheSaveAndKeepsTheOldFile) {
    class Failing final : public RtWaveformSource {
    public:
        int WaveformCount() const override { return 3; }
        bool ReadWaveform(int index, RtWaveform& out, QString* error) const override {
            out = Wave(index);
            if (index == 2 && error)
                *error = QStringLiteral("gone");
            return index != 2;
        }
    } failing;
    QTemporaryDir dir;
    const QString path = dir.filePath("run.rtdata");
    ASSERT_TRUE(WriteAll(path, "old"));
    QString error;
    EXPECT_FALSE(SaveRtdataFile(path, MakeRun(3, false), &failing, &error));
    EXPECT_EQ(error, "gone");
    EXPECT_EQ(ReadAll(path), "old");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1);
}

TEST(RtdataRoundTrip, CsvLinesOfAFileEqualThoseOfTheLiveSet) {
    ScopedTz zone("Europe/Berlin");
    const RtdataImage r = MakeRun(3, false);
    MeasurementSet s;
    runs::BeginRun(s.Run(), 3, kStart, 2, "V", "A");
    for (size_t i = 0; i < 3; ++i)
        runs::AddSample(s.Run(), {r.rms[0][i], r.rms[1][i]}, {r.freq[0][i], r.freq[1][i]});
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(RealTimeCsvLine(r, i), RealTimeCsvLine(s, i)) << i;
    EXPECT_EQ(RealTimeCsvLine(r, 0).toStdString(),
              "2026-12-09T17:00:00+01:00,229.5,V,49.9,114.8,A,50.9,26335,,,,,,");
    EXPECT_EQ(RealTimeCsvLine(r, 1).toStdString(),
              "2026-12-09T17:00:02+01:00,230.5,V,,115.3,A,,26565,,,,,,");
}

// ----------------------------------------------------------------- refusals

TEST(RtdataRefusal, WrongTagNewerVersionAndDamageEachSayWhatTheyAre) {
    const QByteArray good = EncodeRtdata(MakeRun(2, true));
    MeasurementSet stored;
    stored.SetDataTag(QString::fromLatin1(kTagStored));
    QByteArray newer = good;
    newer[7] = char(2);
    QByteArray badCrc = good;
    badCrc[badCrc.size() - 1] = char(badCrc.back() ^ 1);
    struct Case {
        QByteArray bytes;
        RtdataStatus status;
        const char* text;
    };
    const Case cases[] = {
        {EncodeStdata(stored), RtdataStatus::WrongTag, "Invalid Format!"},
        {QByteArray("\x07RTDATA2"), RtdataStatus::WrongTag, "Invalid Format!"},
        {newer, RtdataStatus::NewerVersion, "run.rtdata was written by a newer version"},
        {badCrc, RtdataStatus::Damaged,
         "run.rtdata: The file is damaged or incomplete and cannot be read. Its contents do "
         "not match its check sum."},
        {good + "x", RtdataStatus::Damaged, "goes on for 1 bytes"},
        {QByteArray(), RtdataStatus::Damaged, "ends before its tag"},
    };
    for (const Case& c : cases) {
        RtdataImage out = MakeRun(1, false);
        const RtdataImage before = out;
        const RtdataOutcome o = DecodeRtdata(c.bytes, out, QStringLiteral("run.rtdata"));
        EXPECT_EQ(o.status, c.status) << c.text;
        EXPECT_TRUE(o.message.contains(QLatin1String(c.text))) << o.message.toStdString();
        ExpectSameRun(out, before);
    }
    EXPECT_TRUE(DecodeRtdata(good, *std::make_unique<RtdataImage>()).Ok());
}

TEST(RtdataRefusal, AFileCutAtAnyOffsetOrWithAnyByteFlippedIsRefusedWithAMessage) {
    QTemporaryDir dir;
    const QString path = dir.filePath("cut.rtdata");
    ASSERT_TRUE(SaveRtdataFile(path, MakeRun(3, true), nullptr, nullptr));
    const QByteArray real = ReadAll(path);
    const QByteArray small = EncodeRtdata(MakeRun(1, true, {kChannelVolts, kChannelAbsent}));
    auto refused = [](const QByteArray& b, const char* what, qsizetype at) {
        RtdataImage out;
        const RtdataOutcome o = DecodeRtdata(b, out, QStringLiteral("x.rtdata"));
        EXPECT_FALSE(o.Ok()) << what << " at " << at;
        EXPECT_FALSE(o.message.isEmpty()) << what << " at " << at;
        EXPECT_EQ(out.Count(), 0) << what << " at " << at;
    };
    for (qsizetype n = 0; n < real.size(); ++n)
        refused(real.left(n), "cut", n);
    for (qsizetype i = 0; i < small.size(); ++i) {
        QByteArray b = small;
        b[i] = char(b[i] ^ 0xFF);
        refused(b, "flipped", i);
    }
    // On the disk too, where the reader checks the file in chunks.
    ASSERT_TRUE(WriteAll(path, real.left(real.size() - 5)));
    RtdataReader reader;
    EXPECT_EQ(reader.Open(path).status, RtdataStatus::Damaged);
    EXPECT_FALSE(reader.HasWaveforms());
    EXPECT_EQ(reader.Open(dir.filePath("missing.rtdata")).status, RtdataStatus::NotOpened);
}

TEST(RtdataRefusal, FieldsNoRunCanHaveAreRefusedEvenUnderAGoodCrc) {
    // Rewrites one header field and seals the file with a matching CRC, as a file
    // made by other software could be.
    auto resealed = [](qsizetype at, const QByteArray& field) {
        QByteArray b = EncodeRtdata(MakeRun(2, false));
        b.replace(at, field.size(), field);
        b.chop(4);
        RtLe::Append(b, RtCrc32(b));
        return b;
    };
    const QByteArray cases[] = {
        resealed(8, QByteArray::fromHex("a1860100")),       // 100001 samples
        resealed(12, QByteArray::fromHex("01000000")),      // interval 1 s
        resealed(20, QByteArray::fromHex("0d000000")),      // month 13
        resealed(44, QByteArray::fromHex("02")),            // channel kind 2
        resealed(7, QByteArray::fromHex("00")),             // version 0
        resealed(46 + 16, QByteArray::fromHex("0000c07f")), // a value that is not a number
    };
    for (const QByteArray& b : cases) {
        RtdataImage out;
        const RtdataOutcome o = DecodeRtdata(b, out);
        EXPECT_EQ(o.status, RtdataStatus::Damaged) << o.message.toStdString();
        EXPECT_TRUE(o.message.startsWith(DamagedFileText())) << o.message.toStdString();
    }
}

// ------------------------------------------------------------------ journal

class JournalTest : public ::testing::Test {
protected:
    RtRunHeader Header() const {
        RtRunHeader h;
        h.interval = 2;
        h.startTime = kStart;
        h.utcOffset = 3600;
        h.kind = {kChannelVolts, kChannelAmps};
        return h;
    }
    static RtJournalSample Sample(int i) {
        return RtJournalSample{kStart + 2 * i, {230.0f + float(i), 10.0f}, {50.0f, 49.9f}};
    }
    QString Path() const { return m_dir.filePath("realtime-journal.rtj"); }
    // A journal of n samples left as a crash leaves it.
    void Crashed(int n) {
        RtJournal j(Path());
        ASSERT_TRUE(j.Begin(Header()));
        for (int i = 0; i < n; ++i)
            ASSERT_TRUE(j.Append(Sample(i), Wave(i)));
    }
    QTemporaryDir m_dir;
};

TEST_F(JournalTest, EachSampleIsOnTheDiskAsItIsTakenAndItsWaveformReadsBackByIndex) {
    RtJournal j(Path());
    ASSERT_TRUE(j.Begin(Header()));
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(j.Append(Sample(i), Wave(i)));
        EXPECT_EQ(QFileInfo(Path()).size(),
                  kRtJournalHeaderBytes + (i + 1) * kRtJournalRecordBytes);
    }
    RtWaveform w{};
    QString error;
    ASSERT_TRUE(j.ReadWaveform(3, w, &error)) << error.toStdString();
    EXPECT_TRUE(w == Wave(3));
    EXPECT_FALSE(j.ReadWaveform(5, w, &error));
    // A normal end removes the file, while the waveforms stay readable.
    j.Finish();
    EXPECT_FALSE(QFile::exists(Path()));
    ASSERT_TRUE(j.ReadWaveform(4, w, &error)) << error.toStdString();
    EXPECT_TRUE(w == Wave(4));
    EXPECT_EQ(RecoverRtJournal(Path()).path, QString());
}

TEST_F(JournalTest, ACrashedRunBecomesAFileThatOpensWithEveryWholeSample) {
    Crashed(4);
    // The last record cut in half by the crash.
    QFile f(Path());
    ASSERT_TRUE(f.resize(f.size() - kRtJournalRecordBytes / 2));
    const RtRecovered r = RecoverRtJournal(Path());
    ASSERT_EQ(r.samples, 3) << r.error.toStdString();
    EXPECT_TRUE(r.path.endsWith(".rtdata"));
    EXPECT_FALSE(QFile::exists(Path()));
    EXPECT_EQ(RtRecoveredMessage(r),
              QStringLiteral("The last real-time run did not end normally; its 3 samples were "
                             "kept in %1.")
                  .arg(QDir::toNativeSeparators(r.path)));
    RtdataImage back;
    const RtdataOutcome o = LoadRtdataFile(r.path, back);
    ASSERT_TRUE(o.Ok()) << o.message.toStdString();
    EXPECT_EQ(back.Count(), 3);
    EXPECT_EQ(back.startTime, kStart);
    EXPECT_EQ(back.utcOffset, 3600);
    ASSERT_EQ(back.waveforms.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(back.times[size_t(i)], Sample(i).time);
        EXPECT_EQ(back.rms[0][size_t(i)], Sample(i).rms[0]);
        EXPECT_EQ(back.freq[1][size_t(i)], Sample(i).freq[1]);
        EXPECT_TRUE(back.waveforms[size_t(i)] == Wave(i)) << i;
    }
}

TEST_F(JournalTest, ADamagedRecordInTheMiddleCostsOnlyThatSample) {
    Crashed(3);
    QFile f(Path());
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.seek(kRtJournalHeaderBytes + kRtJournalRecordBytes + 100));
    f.write("\x55");
    f.close();
    const RtRecovered r = RecoverRtJournal(Path());
    ASSERT_EQ(r.samples, 2) << r.error.toStdString();
    RtdataImage back;
    ASSERT_TRUE(LoadRtdataFile(r.path, back).Ok());
    EXPECT_EQ(back.times, (std::vector<TimeValue>{kStart, kStart + 4}));
    EXPECT_TRUE(back.waveforms[1] == Wave(2));
}

TEST_F(JournalTest, AJournalWithoutAWholeSampleLeavesNothingAndNoMessage) {
    Crashed(0);
    EXPECT_EQ(RecoverRtJournal(Path()).path, QString());
    EXPECT_FALSE(QFile::exists(Path()));
    // A header cut short: the run never took a sample.
    ASSERT_TRUE(WriteAll(Path(), "\x09RTJOURN"));
    const RtRecovered r = RecoverRtJournal(Path());
    EXPECT_TRUE(r.path.isEmpty());
    EXPECT_EQ(r.samples, 0);
    EXPECT_FALSE(QFile::exists(Path()));
}

TEST_F(JournalTest, ARecoveredRunNeverReplacesAFileOfTheSameName) {
    ScopedTz zone("Europe/Berlin");
    Crashed(2);
    const QString stamp = QStringLiteral("realtime-unfinished-20261209-170000");
    ASSERT_TRUE(WriteAll(m_dir.filePath(stamp + ".rtdata"), "earlier"));
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(stamp + "-2.rtdata"));
    const RtRecovered r = RecoverRtJournal(Path());
    EXPECT_EQ(r.samples, 2);
    EXPECT_EQ(r.path, m_dir.filePath(stamp + "-3.rtdata"));
    EXPECT_EQ(ReadAll(m_dir.filePath(stamp + ".rtdata")), "earlier");
}

} // namespace
