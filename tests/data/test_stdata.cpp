#include "SampleSets.h"

#include "data/StdataFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>
#include <ctime>

#include <gtest/gtest.h>

using namespace samples;

namespace {

QByteArray Hex(const char* text) {
    return QByteArray::fromHex(QByteArray(text));
}

template <typename T> bool SameBits(const std::vector<T>& a, const std::vector<T>& b) {
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

bool SameFloatBits(float a, float b) {
    return std::memcmp(&a, &b, 4) == 0;
}

void ExpectSameStored(const MeasurementSet& a, const MeasurementSet& b) {
    EXPECT_EQ(a.RmsCount(), b.RmsCount());
    EXPECT_EQ(a.ChannelPresent(0), b.ChannelPresent(0));
    EXPECT_EQ(a.ChannelPresent(1), b.ChannelPresent(1));
    EXPECT_TRUE(SameFloatBits(a.RmsInterval(), b.RmsInterval()));
    EXPECT_EQ(ToLocalFields(a.StartTime()), ToLocalFields(b.StartTime()));
    EXPECT_TRUE(SameBits(a.ChannelRms(0), b.ChannelRms(0)));
    EXPECT_TRUE(SameBits(a.ChannelRms(1), b.ChannelRms(1)));
    EXPECT_EQ(a.ChannelUnit(0), b.ChannelUnit(0));
    EXPECT_EQ(a.ChannelUnit(1), b.ChannelUnit(1));
    for (int row = 0; row < 2; ++row)
        for (int ch = 0; ch < 2; ++ch)
            EXPECT_EQ(a.ExtremeText(row, ch), b.ExtremeText(row, ch)) << row << ch;
    EXPECT_EQ(a.TrCount(), b.TrCount());
    EXPECT_TRUE(SameBits(a.TrWave(), b.TrWave()));
    // Times travel as local calendar fields: in the hour that repeats in autumn two
    // instants share them, so the fields are what must come back.
    ASSERT_EQ(a.TrTimes().size(), b.TrTimes().size());
    for (size_t k = 0; k < a.TrTimes().size(); ++k)
        EXPECT_EQ(ToLocalFields(a.TrTimes()[k]), ToLocalFields(b.TrTimes()[k])) << k;
    EXPECT_EQ(a.TrUnitCodes(), b.TrUnitCodes());
    EXPECT_EQ(a.TrChannelCodes(), b.TrChannelCodes());
    EXPECT_TRUE(SameFloatBits(a.TrLevelHigh(), b.TrLevelHigh()));
    EXPECT_TRUE(SameFloatBits(a.TrLevelLow(), b.TrLevelLow()));
}

// Something to be left alone by every refused file.
MeasurementSet Shown() {
    MeasurementSet s = WorkedExample();
    SetCh2(s, {1.0f}, "A");
    AddTr(s, s.StartTime() + 10);
    s.SetFileTag(QStringLiteral("RMSTRDATA"));
    return s;
}

class Stdata : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
    }
};

// ------------------------------------------------------------- exact layout

TEST_F(Stdata, WorkedExampleIs116BytesExactly) {
    const QByteArray expected = Hex("09") + "RMSTRDATA" +
                                Hex("01000000"
                                    "0100"
                                    "00007042"
                                    "DA070000"
                                    "02000000"
                                    "03000000"
                                    "0E000000"
                                    "05000000"
                                    "00000000"
                                    "00006643") +
                                Hex("1A") + "230.0 V @03/02/10 14:05:00" + Hex("19") +
                                "230.0V @03/02/10 14:05:00" +
                                Hex("0156"
                                    "00"
                                    "00000000"
                                    "0000FA43"
                                    "0000C842");
    ASSERT_EQ(expected.size(), 116);
    EXPECT_EQ(EncodeStdata(WorkedExample()).toHex(' '), expected.toHex(' '));

    MeasurementSet loaded;
    ASSERT_TRUE(DecodeStdata(expected, loaded, nullptr));
    ExpectSameStored(loaded, WorkedExample());
    EXPECT_EQ(loaded.FileTag(), QStringLiteral("RMSTRDATA"));
}

TEST_F(Stdata, MinimalFileIs56BytesAndLoadsAnEmptySetWithItsStartTime) {
    MeasurementSet empty;
    empty.SetDataTag(QString::fromLatin1(kTagStored));
    EditStored(empty, [&](StoredSet& d) { d.SetStartTime(At(2012, 7, 1, 8, 0, 0)); });
    const QByteArray bytes = EncodeStdata(empty);
    EXPECT_EQ(bytes.toHex(' '), (Hex("09") + "RMSTRDATA" +
                                 Hex("00000000"
                                     "0000"
                                     "00000000"
                                     "DC070000"
                                     "07000000"
                                     "01000000"
                                     "08000000"
                                     "00000000"
                                     "00000000"
                                     "00000000"
                                     "00000000"
                                     "00000000"))
                                    .toHex(' '));
    ASSERT_EQ(bytes.size(), 56);

    MeasurementSet loaded = Shown();
    ASSERT_TRUE(DecodeStdata(bytes, loaded, nullptr));
    EXPECT_EQ(loaded.RmsCount(), 0);
    EXPECT_EQ(loaded.TrCount(), 0);
    EXPECT_TRUE(loaded.ChannelRms(0).empty());
    EXPECT_TRUE(loaded.TrWave().empty());
    EXPECT_EQ(loaded.StartTime(), At(2012, 7, 1, 8, 0, 0));
    EXPECT_TRUE(loaded.StoredIsConsistent());
}

TEST_F(Stdata, TextPrefixesSwitchAt255And65534) {
    auto prefixOf = [](int length) {
        MeasurementSet s;
        s.SetDataTag(QString(length, QLatin1Char('t')));
        const QByteArray b = EncodeStdata(s);
        return b.left(b.size() - 46 - length).toHex(' ');
    };
    EXPECT_EQ(prefixOf(0), QByteArray("00"));
    EXPECT_EQ(prefixOf(254), QByteArray("fe"));
    EXPECT_EQ(prefixOf(255), QByteArray("ff ff 00"));
    EXPECT_EQ(prefixOf(65533), QByteArray("ff fd ff"));
    EXPECT_EQ(prefixOf(65534), QByteArray("ff ff ff fe ff 00 00"));
    EXPECT_EQ(prefixOf(70000), QByteArray("ff ff ff 70 11 01 00"));
}

TEST_F(Stdata, SixteenBitTextsAreReadAs8BitTexts) {
    // Tag in the UTF-16 form: 0xFF, 0xFFFE, then an ordinary length prefix of
    // code units.
    QByteArray bytes = Hex("FFFEFF09");
    for (char c : QByteArray("RMSTRDATA"))
        bytes += QByteArray(1, c) + Hex("00");
    bytes += EncodeStdata(WorkedExample()).mid(10);
    MeasurementSet loaded;
    ASSERT_TRUE(DecodeStdata(bytes, loaded, nullptr));
    EXPECT_EQ(loaded.ChannelRms(0), std::vector<float>{230.0f});

    // A second wide marker in a row is not a length.
    MeasurementSet untouched = Shown();
    QString error;
    EXPECT_FALSE(DecodeStdata(Hex("FFFEFFFFFEFF") + bytes.mid(4), untouched, &error));
    EXPECT_FALSE(error.isEmpty());
}

// ------------------------------------------------------------- round trip

TEST_F(Stdata, SaveAndReloadIsBitExactForFloatsTextsAndTimes) {
    const MeasurementSet rich = Rich();
    QTemporaryDir dir;
    const QString path = dir.filePath("rich.stdata");
    QString error;
    ASSERT_TRUE(SaveStdataFile(path, rich, &error)) << error.toStdString();
    MeasurementSet loaded;
    ASSERT_TRUE(LoadStdataFile(path, loaded, &error)) << error.toStdString();
    ExpectSameStored(loaded, rich);
    loaded.SetDataTag(loaded.FileTag()); // the tag read goes to FileTag()
    EXPECT_EQ(EncodeStdata(loaded), EncodeStdata(rich));
}

TEST_F(Stdata, FlagsOtherThanOneMeanAbsent) {
    MeasurementSet s = WorkedExample();
    EditStored(s, [&](StoredSet& d) { d.SetChannelPresent(0, false); });
    QByteArray bytes = EncodeStdata(s);
    EXPECT_EQ(bytes.size(), 56); // no CH1 block
    EXPECT_EQ(uint8_t(bytes[14]), 0);
    bytes[14] = char(2); // a flag another writer may have left

    MeasurementSet loaded;
    ASSERT_TRUE(DecodeStdata(bytes, loaded, nullptr));
    EXPECT_EQ(loaded.ChannelPresent(0), 0);
    EXPECT_TRUE(loaded.ChannelRms(0).empty());
    EXPECT_EQ(loaded.RmsCount(), 1);
    EXPECT_TRUE(loaded.StoredIsConsistent());
}

TEST_F(Stdata, FileWithoutCh1KeepsTheUnitsAndTextsShownBefore) {
    MeasurementSet s;
    s.SetDataTag(QString::fromLatin1(kTagStored));
    SetCh2(s, {5.0f, 6.0f}, "A");
    EditStored(s, [&](StoredSet& d) {
        d.SetChannelUnit(1, QStringLiteral("unit not written"));
        d.SetExtremeText(0, 1, QStringLiteral("6.0 A @x"));
    });
    const QByteArray bytes = EncodeStdata(s);

    MeasurementSet shown = Shown(); // CH1 "V", CH2 "A"
    EditStored(shown, [&](StoredSet& d) {
        d.SetChannelUnit(1, QStringLiteral("V"));
        d.SetExtremeText(0, 0, QStringLiteral("kept"));
    });
    ASSERT_TRUE(DecodeStdata(bytes, shown, nullptr));
    EXPECT_EQ(shown.ChannelUnit(1), QStringLiteral("V"));
    EXPECT_EQ(shown.ChannelUnit(0), QStringLiteral("V"));
    EXPECT_EQ(shown.ExtremeText(0, 0), QStringLiteral("kept"));
    EXPECT_EQ(shown.ExtremeText(0, 1), QStringLiteral("6.0 A @x"));
    EXPECT_EQ(shown.ChannelPresent(0), 0);
    EXPECT_TRUE(shown.ChannelRms(0).empty());
    EXPECT_EQ(shown.ChannelRms(1), (std::vector<float>{5.0f, 6.0f}));
}

// ------------------------------------------------------------- refused files

TEST_F(Stdata, WrongTagIsRefusedAndReported) {
    MeasurementSet epa = Rich();
    epa.SetDataTag(QString::fromLatin1(kTagRealTime));
    for (const QByteArray& bytes :
         {EncodeStdata(epa), Hex("09") + "rmstrdata" + EncodeStdata(WorkedExample()).mid(10)}) {
        MeasurementSet shown = Shown();
        QString tag, error;
        EXPECT_EQ(ParseStdata(bytes, shown, &tag, &error), StdataStatus::WrongTag);
        EXPECT_EQ(error, QStringLiteral("Invalid Format!"));
        ExpectSameStored(shown, Shown());
        EXPECT_EQ(shown.FileTag(), QStringLiteral("RMSTRDATA"));
        EXPECT_EQ(tag, QString::fromLatin1(bytes.mid(1, uint8_t(bytes[0]))));
    }
}

TEST_F(Stdata, TruncationAtEveryOffsetLoadsNothingAndKeepsTheSetShown) {
    MeasurementSet rich = Rich();
    EditStored(rich, [&](StoredSet& d) {
        d.SetExtremeText(1, 1, QString(400, QLatin1Char('m')));
    }); // keeps the loop quick
    const QByteArray full = EncodeStdata(rich);
    const MeasurementSet reference = Shown();
    int refused = 0;
    for (qsizetype cut = 0; cut < full.size(); ++cut) {
        MeasurementSet shown = Shown();
        QString error;
        const StdataStatus st = ParseStdata(full.left(cut), shown, nullptr, &error);
        ASSERT_EQ(st, StdataStatus::Damaged) << "cut at " << cut;
        ASSERT_FALSE(error.isEmpty());
        if (cut % 997 == 0 || cut == full.size() - 1)
            ExpectSameStored(shown, reference);
        else
            ASSERT_TRUE(SameBits(shown.ChannelRms(0), reference.ChannelRms(0)) &&
                        shown.TrCount() == reference.TrCount() &&
                        shown.ChannelUnit(1) == reference.ChannelUnit(1));
        ++refused;
    }
    EXPECT_EQ(refused, full.size());
}

TEST_F(Stdata, CountsTheFileCannotHoldAreRefusedBeforeAllocating) {
    QByteArray base = EncodeStdata(WorkedExample());
    auto patched = [&](int offset, const char* hex) {
        QByteArray b = base;
        const QByteArray v = Hex(hex);
        b.replace(offset, v.size(), v);
        return b;
    };
    struct Case {
        const char* what;
        QByteArray bytes;
    } cases[] = {
        {"RMS count 2^31-1 with CH1", patched(10, "FFFFFF7F")},
        {"negative RMS count", patched(10, "FFFFFFFF")},
        {"RMS count beyond any recording", patched(10, "01000001") + QByteArray(1 << 9, 0)},
        {"TR count 2^31-1", patched(104, "FFFFFF7F")},
        {"negative TR count", patched(104, "00000080")},
        {"text of 4 GB", patched(48, "FFFFFFFFFFFFFF")},
        {"NaN interval", patched(16, "0000C07F")},
        {"year 0", patched(20, "00000000")},
        {"month -2^31", patched(24, "00000080")},
        {"month that pushes the year past 9999", patched(24, "FF000800")},
    };
    for (const Case& c : cases) {
        MeasurementSet shown = Shown();
        QString error;
        EXPECT_EQ(ParseStdata(c.bytes, shown, nullptr, &error), StdataStatus::Damaged) << c.what;
        ExpectSameStored(shown, Shown());
    }
}

TEST_F(Stdata, SampleCountWithoutAChannelIsBoundByTheLoggersMemory) {
    // Such a count takes no room in the file, and a 56-byte file could make the
    // graph allocate about 800 MB of work buffers.
    MeasurementSet s = WorkedExample();
    EditStored(s, [&](StoredSet& d) {
        d.SetChannelPresent(0, 0);
        d.SetRmsCount(kStdataMaxSamplesWithoutChannel + 1);
    });
    MeasurementSet shown = Shown();
    QString error;
    EXPECT_EQ(ParseStdata(EncodeStdata(s), shown, nullptr, &error), StdataStatus::Damaged);
    ExpectSameStored(shown, Shown());
    EditStored(s, [&](StoredSet& d) { d.SetRmsCount(kStdataMaxSamplesWithoutChannel); });
    MeasurementSet loaded;
    ASSERT_TRUE(DecodeStdata(EncodeStdata(s), loaded, nullptr));
    EXPECT_EQ(loaded.RmsCount(), kStdataMaxSamplesWithoutChannel);
}

TEST_F(Stdata, PresentChannelWithoutSamplesLoads) {
    MeasurementSet s = WorkedExample();
    EditStored(s, [&](StoredSet& d) { d.SetRmsCount(0); });
    MeasurementSet loaded;
    ASSERT_TRUE(DecodeStdata(EncodeStdata(s), loaded, nullptr));
    EXPECT_EQ(loaded.ChannelPresent(0), 1);
    EXPECT_TRUE(loaded.ChannelRms(0).empty());
    EXPECT_EQ(loaded.ChannelUnit(0), QStringLiteral("V"));
}

TEST_F(Stdata, TrailingBytesAreIgnored) {
    MeasurementSet loaded;
    EXPECT_TRUE(DecodeStdata(EncodeStdata(WorkedExample()) + "junk", loaded, nullptr));
}

// ------------------------------------------------------------- files on disk

TEST_F(Stdata, ReadOnlyFilesOpen) {
    QTemporaryDir dir;
    const QString path = dir.filePath("ro.stdata");
    ASSERT_TRUE(WriteAll(path, EncodeStdata(WorkedExample())));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    MeasurementSet loaded;
    QString error;
    EXPECT_TRUE(LoadStdataFile(path, loaded, &error)) << error.toStdString();
    bool opened = true;
    EXPECT_EQ(
        LoadStdataFileDetailed(dir.filePath("missing.stdata"), loaded, nullptr, &error, &opened),
        StdataStatus::Damaged);
    EXPECT_FALSE(opened);
}

TEST_F(Stdata, AFailedSaveLeavesTheOldFileAsItWas) {
    QTemporaryDir dir;
    // Targets that cannot be replaced even with every permission: a path below a
    // regular file, and a directory standing where the file should go.
    ASSERT_TRUE(WriteAll(dir.filePath("plain"), "old contents"));
    ASSERT_TRUE(QDir(dir.path()).mkdir("taken.stdata"));
    for (const QString& path : {dir.filePath("plain/x.stdata"), dir.filePath("taken.stdata")}) {
        QString error;
        EXPECT_FALSE(SaveStdataFile(path, WorkedExample(), &error)) << path.toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
    EXPECT_EQ(ReadAll(dir.filePath("plain")), QByteArray("old contents"));
    EXPECT_TRUE(QFileInfo(dir.filePath("taken.stdata")).isDir());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size(), 2);
}

} // namespace
