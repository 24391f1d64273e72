// The rows of the data list and the transient-record list as text, and their CSV.

#include "ListSamples.h"
#include "support/RunSamples.h"
#include "support/StoredSetBuilder.h"

#include <QFile>
#include <QLocale>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <clocale>
#include <ctime>

using namespace lists;

TEST(DataListRows, StoredRmsRowsCarryNumberTimeAndValuesWithTheLoRule) {
    MeasurementSet s = Stored(4);
    SetValues(s, 0, {230.44f, 0.04f, -0.049f, 0.06f});
    SetValues(s, 1, {5.0f, 0.0f, 12.25f, -3.0f});
    const DataListView v = ViewOf(s, GraphMode::StoreRms);
    ASSERT_EQ(DataListRowCount(v), 4);
    EXPECT_EQ(DataListCell(v, 0, 0), "1");
    EXPECT_EQ(DataListCell(v, 0, 1), "03/02/10 14:05:00");
    EXPECT_EQ(DataListCell(v, 3, 1), "03/02/10 14:08:00");
    EXPECT_EQ(DataListCell(v, 0, 2), "230.4 V");
    EXPECT_EQ(DataListCell(v, 0, 3), "5.0 A");
    // Below 0.05 in magnitude the one-decimal text is 0.0 (or -0.0): "LO".
    EXPECT_EQ(DataListCell(v, 1, 2), "LO");
    EXPECT_EQ(DataListCell(v, 1, 3), "LO");
    EXPECT_EQ(DataListCell(v, 2, 2), "LO");
    EXPECT_EQ(DataListCell(v, 3, 2), "0.1 V");
    EXPECT_EQ(DataListCell(v, 3, 3), "-3.0 A");
    // Beyond the rows and beyond the columns: nothing, no crash.
    EXPECT_EQ(DataListCell(v, 4, 0), "");
    EXPECT_EQ(DataListCell(v, -1, 2), "");
    EXPECT_EQ(DataListCell(v, 0, 4), "");
    EXPECT_EQ(DataListCaption(v.mode), "STORE RMS Data List");
}

TEST(DataListRows, AnAbsentChannelLeavesItsColumnEmpty) {
    const MeasurementSet s = Stored(3, /*ch1=*/false, /*ch2=*/true);
    const DataListView v = ViewOf(s, GraphMode::StoreRms);
    EXPECT_EQ(DataListCell(v, 0, 2), "");
    EXPECT_EQ(DataListCell(v, 0, 3), "5.0 A");
}

TEST(DataListRows, TransientRecordHas251RowsOfOneTimeAndKeepsZero) {
    const MeasurementSet s = Stored(10, true, true, 3);
    // The third record: points 503 to 753, as a pick in the record list shows it.
    DataListView v = ViewOf(s, GraphMode::StoreTransient, TrRecordFirstPoint(2));
    EXPECT_EQ(TrRecordFirstPoint(2), 503);
    EXPECT_EQ(TrRecordLastPoint(2), 753);
    ASSERT_EQ(DataListRowCount(v), 251);
    for (int r = 0; r < 251; ++r)
        ASSERT_EQ(DataListCell(v, r, 1), FormatDateTime(kStart + 3 * 3600)) << r;
    EXPECT_EQ(DataListCell(v, 0, 2), "1875.0 V"); // sample 0 of record 2: -125 + 2000
    // A sample of 0 is a real value in a waveform: no "LO".
    v = ViewOf(s, GraphMode::StoreTransient, 1);
    EXPECT_EQ(DataListCell(v, 125, 2), "0.0 V");
    EXPECT_EQ(DataListCell(v, 250, 0), "251");
    // No record at all: an empty list.
    const MeasurementSet none = Stored(10);
    EXPECT_EQ(DataListRowCount(ViewOf(none, GraphMode::StoreTransient)), 0);
}

TEST(DataListRows, ApparentPowerShowsTheProductInOneColumn) {
    MeasurementSet s;
    runs::BeginRun(s.Run(), 2, kStart, 1, "V", "A");
    runs::AddSample(s.Run(), {230.0f, 2.0f});
    runs::AddSample(s.Run(), {231.0f, 0.0001f});
    DataListView v = ViewOf(s, GraphMode::RealTimeApparentPower);
    v.ch1Unit = v.ch2Unit = "VA";
    const auto columns = DataListColumnsOf(v.mode);
    EXPECT_EQ(columns[2].heading, "S(VA)");
    EXPECT_EQ(columns[3].heading, "");
    EXPECT_EQ(columns[3].width, 0);
    EXPECT_EQ(DataListCell(v, 0, 2), "460.0 VA");
    EXPECT_EQ(DataListCell(v, 0, 3), "");
    EXPECT_EQ(DataListCell(v, 1, 2), "LO");
    EXPECT_EQ(DataListCell(v, 1, 1), FormatDateTime(kStart + 1));
    const auto normal = DataListColumnsOf(GraphMode::StoreRms);
    EXPECT_EQ(normal[0].width, 50);
    EXPECT_EQ(normal[1].width, 180);
    EXPECT_EQ(normal[3].heading, "CH2");
}

TEST(DataListRows, CountsPerModeAndTheLiveListFollowsOnlyARun) {
    MeasurementSet s;
    runs::BeginRun(s.Run(), 100, kStart, 1);
    runs::GrowTo(s.Run(), 7, {0, 0}, {0, 0});
    DataListView v = ViewOf(s, GraphMode::RealTimeEpa);
    EXPECT_EQ(DataListRowCount(v), 590);
    // One captured waveform: every row carries the capture's time.
    EXPECT_EQ(DataListCell(v, 0, 1), FormatDateTime(kStart + 6));
    EXPECT_EQ(DataListCell(v, 589, 1), FormatDateTime(kStart + 6));
    EXPECT_EQ(DataListCaption(v.mode), "REAL TIME EPA Data List");
    v = ViewOf(s, GraphMode::RealTimeRms);
    EXPECT_EQ(DataListRowCount(v), 7);
    EXPECT_FALSE(DataListFollowsNewest(v));
    v.realTimeRunning = true;
    EXPECT_TRUE(DataListFollowsNewest(v));
    v.mode = GraphMode::StoreRms;
    EXPECT_FALSE(DataListFollowsNewest(v));
}

TEST(TrFileListRows, NumberAndTimeOfEveryWholeRecord) {
    MeasurementSet s = Stored(1, true, true, 3);
    EXPECT_EQ(TrFileListRowCount(s), 3);
    EXPECT_EQ(TrFileListCell(s, 2, 0), "3");
    EXPECT_EQ(TrFileListCell(s, 2, 1), FormatDateTime(kStart + 3 * 3600));
    EXPECT_EQ(TrFileListCell(s, 2, 2), "");
    EXPECT_EQ(TrFileListCell(s, 3, 0), "");
    // A count larger than the samples held cannot be made: the set refuses it.
    EditStored(s, [](StoredSet& d) {
        EXPECT_FALSE(d.SetTrRecords({kTrChannel1, kTrChannel1}, {kTrUnitVolts}, {0, 0}, {}));
    });
    EXPECT_EQ(TrFileListRowCount(s), 3);
    const auto columns = TrFileListColumns();
    EXPECT_EQ(columns[0].heading, "File No.");
    EXPECT_EQ(columns[0].width, 62);
    EXPECT_EQ(columns[2].width, 160);
}

TEST(DataListCsv, ColumnsIsoTimesWithOffsetAndDecimalPointsUnderAGermanLocale) {
    // A zone with summer time, whatever the machine's.
    const QByteArray oldTz = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    tzset();
    const char* old = std::setlocale(LC_ALL, "de_DE.UTF-8");
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    MeasurementSet s = Stored(3, true, false);
    SetValues(s, 0, {230.44f, 0.01f, 1e-7f});
    EditStored(
        s, [&](StoredSet& d) { d.SetStartTime(At(2010, 7, 1, 12, 0, 0)); }); // summer time: +02:00
    QTemporaryDir dir;
    const QString path = dir.filePath("data.csv");
    QString error;
    ASSERT_TRUE(SaveDataListCsv(ViewOf(s, GraphMode::StoreRms), path, &error))
        << error.toStdString();
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("no,time,ch1,ch1_unit,ch2,ch2_unit\r\n"
                                      "1,2010-07-01T12:00:00+02:00,230.44,V,,\r\n"
                                      "2,2010-07-01T12:01:00+02:00,0.01,V,,\r\n"
                                      "3,2010-07-01T12:02:00+02:00,1e-07,V,,\r\n"));
    EXPECT_EQ(IsoLocalTime(At(2010, 2, 3, 14, 5, 0)), "2010-02-03T14:05:00+01:00");
    QLocale::setDefault(QLocale::c());
    std::setlocale(LC_ALL, old ? old : "C");
    if (oldTz.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", oldTz);
    tzset();
}

TEST(DataListCsv, AFailedWriteLeavesTheOldFileAndSaysWhy) {
    QTemporaryDir dir;
    const MeasurementSet s = Stored(2);
    QString error;
    EXPECT_FALSE(
        SaveDataListCsv(ViewOf(s, GraphMode::StoreRms), dir.filePath("no/such/x.csv"), &error));
    EXPECT_FALSE(error.isEmpty());
    // A list with nothing to read writes nothing over an existing file.
    const QString path = dir.filePath("keep.csv");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("old");
    f.close();
    EXPECT_FALSE(SaveDataListCsv(DataListView{}, path, &error));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "old");
}
