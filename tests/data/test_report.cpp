#include "SampleSets.h"

#include "data/ReportWriter.h"

#include <QDir>
#include <QTemporaryDir>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>

#include <gtest/gtest.h>

using namespace samples;

namespace {

const QByteArray kTitle = "                         ELECTRIC POWER TEST REPORT(STORE RMS/TR)\r\n";
const QByteArray kHeader = "NO.\tRMS/TR\tCH1\tCH2\tTIME\t";

QList<QByteArray> Lines(const QByteArray& report) {
    QList<QByteArray> lines = report.split('\n');
    EXPECT_TRUE(lines.last().isEmpty()); // the last line ends with CRLF too
    lines.removeLast();
    for (QByteArray& l : lines) {
        EXPECT_TRUE(l.endsWith('\r'));
        l.chop(1);
    }
    return lines;
}

struct Entry {
    QByteArray no, kind, ch1, ch2, time;
};

// Entries of a one-entry-per-line report (lines 3 onwards).
std::vector<Entry> Entries(const QByteArray& report) {
    std::vector<Entry> out;
    const QList<QByteArray> lines = Lines(report);
    for (qsizetype i = 2; i < lines.size(); ++i) {
        const QList<QByteArray> f = lines[i].split('\t');
        EXPECT_EQ(f.size(), 6) << lines[i].constData();
        if (f.size() == 6)
            out.push_back({f[0], f[1], f[2], f[3], f[4]});
    }
    return out;
}

class Report : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
    }
    // 10 samples of CH1 at 60 s from 12:00:00 on 3 February 2010.
    static MeasurementSet TenMinutes() {
        MeasurementSet s;
        EditStored(s, [&](StoredSet& d) {
            d.SetStartTime(At(2010, 2, 3, 12, 0, 0));
            d.SetRmsInterval(60.0f);
        });
        std::vector<float> v;
        for (int i = 0; i < 10; ++i)
            v.push_back(230.0f + float(i) / 10.0f);
        SetCh1(s, v, "V");
        return s;
    }
};

TEST_F(Report, FiveCh1SamplesGiveTheHeaderAndFiveLines) {
    MeasurementSet s;
    EditStored(s, [&](StoredSet& d) {
        d.SetStartTime(At(2010, 2, 3, 14, 5, 0));
        d.SetRmsInterval(60.0f);
    });
    SetCh1(s, {230.0f, 231.44f, 0.05f, -1.25f, 1234.56f}, "V");
    const QByteArray expected = kTitle + kHeader + "\r\n" +
                                "1\tRMS\t230.0V\t----\t 03/02/10 14:05:00 \t\r\n"
                                "2\tRMS\t231.4V\t----\t 03/02/10 14:06:00 \t\r\n"
                                "3\tRMS\t0.1V\t----\t 03/02/10 14:07:00 \t\r\n"
                                "4\tRMS\t-1.2V\t----\t 03/02/10 14:08:00 \t\r\n"
                                "5\tRMS\t1234.6V\t----\t 03/02/10 14:09:00 \t\r\n";
    EXPECT_EQ(BuildReport(s), expected);
}

TEST_F(Report, EmptySetHasOnlyTheTwoHeaderLines) {
    MeasurementSet s;
    EXPECT_EQ(BuildReport(s), kTitle + kHeader + "\r\n");
}

TEST_F(Report, ATrRecordGoesBeforeTheRmsSampleWhoseIntervalHoldsIt) {
    MeasurementSet s = TenMinutes();
    SetCh2(s, std::vector<float>(10, 5.0f), "A");
    AddTr(s, At(2010, 2, 3, 12, 3, 30), kTrChannel2, kTrUnitAmps, -100.0f);
    const std::vector<Entry> e = Entries(BuildReport(s));
    ASSERT_EQ(e.size(), 261u);
    for (size_t i = 0; i < e.size(); ++i)
        EXPECT_EQ(e[i].no, QByteArray::number(qulonglong(i + 1)));
    EXPECT_EQ(e[2].kind, "RMS");
    EXPECT_EQ(e[2].time, " 03/02/10 12:02:00 ");
    EXPECT_EQ(e[3].kind, "TR"); // entry 4: the record's header row
    EXPECT_EQ(e[3].ch1, "----");
    EXPECT_EQ(e[3].ch2, "-100A");
    EXPECT_EQ(e[3].time, " 03/02/10 12:03:30 ");
    EXPECT_EQ(e[253].kind, "TR"); // entry 254: value 250
    EXPECT_EQ(e[253].ch2, "150A");
    EXPECT_EQ(e[253].time, " 03/02/10 12:03:30 ");
    EXPECT_EQ(e[254].kind, "RMS"); // entry 255
    EXPECT_EQ(e[254].ch1, "230.3V");
    EXPECT_EQ(e[254].ch2, "5.0A");
    EXPECT_EQ(e[254].time, " 03/02/10 12:03:00 ");
    EXPECT_EQ(e[260].time, " 03/02/10 12:09:00 ");
}

TEST_F(Report, RecordsAtAnIntervalStartOrBeforeTheFirstSample) {
    {
        MeasurementSet s = TenMinutes();
        AddTr(s, At(2010, 2, 3, 12, 3, 0));
        const std::vector<Entry> e = Entries(BuildReport(s));
        EXPECT_EQ(e[2].time, " 03/02/10 12:02:00 ");
        EXPECT_EQ(e[3].kind, "TR");
        EXPECT_EQ(e[3].ch1, "0V");
        EXPECT_EQ(e[254].kind, "RMS");
        EXPECT_EQ(e[254].time, " 03/02/10 12:03:00 ");
    }
    {
        MeasurementSet s = TenMinutes();
        AddTr(s, At(2010, 2, 3, 11, 59, 59));
        const std::vector<Entry> e = Entries(BuildReport(s));
        ASSERT_EQ(e.size(), 261u);
        EXPECT_EQ(e[9].kind, "RMS");
        EXPECT_EQ(e[9].time, " 03/02/10 12:09:00 ");
        EXPECT_EQ(e[10].kind, "TR");
        EXPECT_EQ(e[10].time, " 03/02/10 11:59:59 ");
    }
}

TEST_F(Report, InTheRepeatedAutumnHourRecordsFollowAbsoluteTime) {
    // 31 October 2010: 02:00-03:00 happens twice in Berlin. Samples every 10 min
    // from 01:30 summer time; sample 9 is 02:00 winter time, sample 10 02:10.
    MeasurementSet s;
    EditStored(s, [&](StoredSet& d) {
        d.SetStartTime(At(2010, 10, 31, 1, 30, 0));
        d.SetRmsInterval(600.0f);
    });
    SetCh1(s, std::vector<float>(20, 1.0f), "V");
    const TimeValue winter0215 = s.StartTime() + 6300;
    ASSERT_EQ(ToLocalFields(winter0215), (CalendarFields{2010, 10, 31, 2, 15, 0}));
    AddTr(s, winter0215);
    const std::vector<Entry> e = Entries(BuildReport(s));
    // Compared by calendar fields the record would land after the first 02:10
    // (summer time), an hour early.
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(e[size_t(i)].kind, "RMS") << i;
    EXPECT_EQ(e[4].time, " 31/10/10 02:10:00 ");
    EXPECT_EQ(e[9].time, " 31/10/10 02:00:00 ");
    EXPECT_EQ(e[10].kind, "TR");
    EXPECT_EQ(e[10].time, " 31/10/10 02:15:00 ");
    EXPECT_EQ(e[10 + 251].kind, "RMS");
    EXPECT_EQ(e[10 + 251].time, " 31/10/10 02:10:00 ");
}

TEST_F(Report, SeventyThousandEntriesSitTwoToALine) {
    MeasurementSet s;
    EditStored(s, [&](StoredSet& d) {
        d.SetStartTime(At(2010, 2, 3, 0, 0, 0));
        d.SetRmsInterval(1.0f);
    });
    SetCh1(s, std::vector<float>(69749, 2.0f), "V");
    AddTr(s, At(2010, 2, 3, 0, 0, 0)); // 69749 + 251 = 70000 entries
    EXPECT_EQ(ReportEntriesPerLine(s), 2);
    const QList<QByteArray> lines = Lines(BuildReport(s));
    ASSERT_EQ(lines.size(), 2 + 35000);
    EXPECT_EQ(lines[1], kHeader + kHeader);
    EXPECT_EQ(lines[2],
              "1\tTR\t0V\t----\t 03/02/10 00:00:00 \t2\tTR\t1V\t----\t 03/02/10 00:00:00 \t");
    EXPECT_TRUE(lines.last().startsWith("69999\tRMS\t2.0V\t----\t"));
    EXPECT_TRUE(lines.last().contains("\t70000\tRMS\t2.0V\t----\t"));

    // An odd total leaves one entry on the last line.
    SetCh1(s, std::vector<float>(69750, 2.0f), "V");
    const QList<QByteArray> odd = Lines(BuildReport(s));
    ASSERT_EQ(odd.size(), 2 + 35001);
    EXPECT_EQ(odd.last(), "70001\tRMS\t2.0V\t----\t 03/02/10 19:22:29 \t");
}

TEST_F(Report, UnknownCodesFollowTheRecordsBefore) {
    MeasurementSet s = TenMinutes();
    EditStored(s, [&](StoredSet& d) { d.SetRmsCount(0); });
    const TimeValue t = At(2010, 2, 3, 12, 0, 0);
    AddTr(s, t, 0x00, 0x00, 10.0f); // nothing known yet
    AddTr(s, t + 1, kTrChannel1, kTrUnitAmps, 20.0f);
    AddTr(s, t + 2, 0x33, 0x44, 30.0f); // after a CH1 record in amperes
    const std::vector<Entry> e = Entries(BuildReport(s));
    ASSERT_EQ(e.size(), 753u);
    // First record: its header row shows no value, its other rows go to CH2 with
    // no unit yet.
    EXPECT_EQ(e[0].ch1, "----");
    EXPECT_EQ(e[0].ch2, "----");
    EXPECT_EQ(e[1].ch1, "----");
    EXPECT_EQ(e[1].ch2, "11");
    EXPECT_EQ(e[251].ch1, "20A");
    EXPECT_EQ(e[502].ch1, "----"); // header of the unknown record
    EXPECT_EQ(e[502].ch2, "----");
    EXPECT_EQ(e[503].ch1, "31A"); // column and unit of the CH1 record before
    EXPECT_EQ(e[503].ch2, "----");
}

TEST_F(Report, NumbersMatchPrintfAndIgnoreTheLocale) {
    std::mt19937 rng(42);
    std::uniform_real_distribution<float> d(-2000.0f, 2000.0f);
    std::vector<float> v = {0.05f, 0.15f, 0.25f, -0.05f, -0.0f, 2.5f, 3.5f, 1e30f};
    for (int i = 0; i < 2000; ++i)
        v.push_back(d(rng));
    std::vector<float> wave(kTrPoints);
    for (float& w : wave)
        w = d(rng);
    const TimeValue start = At(2010, 2, 3, 0, 0, 0);
    const MeasurementSet s = StoredSetBuilder()
                                 .Start(start)
                                 .Interval(1.0f)
                                 .Channel(0, v, "V")
                                 .TrWave(start + 5, kTrChannel1, kTrUnitVolts, wave)
                                 .Set();
    const QByteArray report = BuildReport(s);

    // Every value as the C library's printf writes it in the "C" locale.
    const std::vector<Entry> e = Entries(report);
    size_t x = 0;
    for (const Entry& en : e) {
        char buf[80];
        if (en.kind == "RMS") {
            std::snprintf(buf, sizeof buf, "%.1fV", double(v[x++]));
            ASSERT_EQ(en.ch1, QByteArray(buf)) << x;
        } else {
            const size_t z = size_t(en.no.toLongLong()) - 1 - x;
            std::snprintf(buf, sizeof buf, "%.0fV", double(s.TrWave()[z]));
            ASSERT_EQ(en.ch1, QByteArray(buf)) << z;
        }
    }

    // The same bytes under a German locale, whose printf would write 230,4.
    const char* previous = std::setlocale(LC_ALL, nullptr);
    const std::string saved = previous ? previous : "C";
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8"))
        GTEST_SKIP() << "de_DE.UTF-8 is not installed";
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 2.5);
    const QByteArray german = BuildReport(s);
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_STREQ(probe, "2,5"); // the locale is really in effect
    EXPECT_EQ(german, report);
}

TEST_F(Report, ACountTheValuesDoNotHoldNeverReachesTheReport) {
    MeasurementSet s = TenMinutes();
    // One more value than the count: refused, so the report sees a consistent set.
    EditStored(s,
               [](StoredSet& d) { EXPECT_FALSE(d.SetChannelValues(0, std::vector<float>(11))); });
    ASSERT_TRUE(s.StoredIsConsistent());
    QString error;
    EXPECT_FALSE(BuildReport(s, &error).isEmpty());
    EXPECT_TRUE(error.isEmpty());
}

TEST_F(Report, AFailedWriteLeavesTheOldReport) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("run.xls"));
    QString error;
    EXPECT_FALSE(WriteReportFile(dir.filePath("run.xls"), TenMinutes(), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(QFileInfo(dir.filePath("run.xls")).isDir());
    ASSERT_TRUE(WriteReportFile(dir.filePath("ok.xls"), TenMinutes(), &error));
    EXPECT_EQ(ReadAll(dir.filePath("ok.xls")), BuildReport(TenMinutes()));
}

} // namespace
