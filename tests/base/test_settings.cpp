#include "base/IniFile.h"
#include "base/Settings.h"
#include "support/RefusedFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

class SettingsFile : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path() const { return dir.filePath(QStringLiteral("LumoDATALOGGER.ini")); }
};

TEST_F(SettingsFile, MissingFileGivesDefaultsAndCloseWritesEveryKey) {
    const AppSettings s = LoadSettingsFile(path());
    EXPECT_EQ(s.m_showCh1, 1);
    EXPECT_EQ(s.m_showCh2, 1);
    EXPECT_EQ(s.m_showVerticalGrid, 1);
    EXPECT_EQ(s.m_showHorizontalGrid, 1);
    EXPECT_EQ(s.m_bgColor, 13);
    EXPECT_EQ(s.m_rtInterval, 2);
    EXPECT_EQ(s.m_rtPointsRequested, 3600);
    EXPECT_EQ(s.m_yAxisLow[0][0], -500);
    EXPECT_EQ(s.m_yAxisHigh[0][1], 500);
    EXPECT_EQ(s.m_yAxisLow[5][0], 0);
    EXPECT_EQ(s.m_yAxisHigh[5][0], 80);
    EXPECT_EQ(s.m_yAxisHigh[6][1], 162500);
    EXPECT_EQ(s.m_yAxisHigh[8][1], 162500);
    EXPECT_EQ(s.m_timeYear, QStringLiteral("2008"));

    ASSERT_TRUE(SaveSettingsFile(path(), s));
    const QString text = QString::fromLatin1(ReadAll(path()));
    int axisKeys = 0;
    for (const QString& line : text.split(QStringLiteral("\r\n")))
        if (line.startsWith(QStringLiteral("YAXISLOW")) ||
            line.startsWith(QStringLiteral("YAXISHI")))
            ++axisKeys;
    EXPECT_EQ(axisKeys, 44); // modes 1 to 9, P(W) 10 and PF 11
    // Sections appear in table order, with the spaces in their names kept.
    const QStringList order = {"[TIMEInfo]",       "[SAMPRATEINFO]",  "[LIMITUNITINFO]",
                               "[ALARMInfo]",      "[VIEWInfo]",      "[YAXISInfo]",
                               "[ColorInfo]",      "[AUTOOFF Info]",  "[RECMODE Info]",
                               "[RTSAMPRATEINFO]", "[RTSAMPDATAINFO]"};
    qsizetype last = -1;
    for (const QString& section : order) {
        const qsizetype at = text.indexOf(section);
        ASSERT_GT(at, last) << section.toStdString();
        last = at;
    }
    // Within the axis section: mode by mode, channel by channel, LOW before HI.
    EXPECT_LT(text.indexOf("YAXISLOW1CH1=-500"), text.indexOf("YAXISHI1CH1=500"));
    EXPECT_LT(text.indexOf("YAXISHI1CH1=500"), text.indexOf("YAXISLOW1CH2=-500"));
    EXPECT_LT(text.indexOf("YAXISHI1CH2"), text.indexOf("YAXISLOW2CH1"));
}

TEST_F(SettingsFile, ByteKeysKeepTheLowEightBits) {
    WriteAll(path(), "[VIEWInfo]\r\nVIEW1=257\r\nVIEW2=-1\r\n[ColorInfo]\r\nBGColor=270\r\n");
    AppSettings s = LoadSettingsFile(path());
    EXPECT_EQ(s.m_showCh1, 1);
    EXPECT_EQ(s.m_showCh2, 255);
    EXPECT_EQ(s.m_bgColor, 14);
    ASSERT_TRUE(SaveSettingsFile(path(), s));
    const QByteArray bytes = ReadAll(path());
    EXPECT_TRUE(bytes.contains("VIEW1=1\r\n"));
    EXPECT_TRUE(bytes.contains("VIEW2=255\r\n"));
    EXPECT_TRUE(bytes.contains("BGColor=14\r\n"));
}

TEST_F(SettingsFile, AColourIndexBeyondTheTableWasTakenForARed) {
    WriteAll(path(), "[ColorInfo]\r\nBGColor=15\r\nTColor=200\r\nT2Color=255\r\n"
                     "T3Color=-3\r\nGRIDColor=14\r\n");
    const AppSettings s = LoadSettingsFile(path());
    const AppSettings d;
    EXPECT_EQ(s.m_bgColor, d.m_bgColor);
    EXPECT_EQ(s.m_ch1Color, d.m_ch1Color);
    EXPECT_EQ(s.m_ch2Color, d.m_ch2Color);
    EXPECT_EQ(s.m_ch3Color, d.m_ch3Color);
    EXPECT_EQ(s.m_gridColor, 14); // the last colour of the table is kept
}

TEST_F(SettingsFile, StringKeysAreWrittenBackVerbatim) {
    WriteAll(path(),
             "[TIMEInfo]\r\nYEAR=2010\r\nMONTH=07\r\nDAY= 03\r\n[ALARMInfo]\r\nTEMPHI=0500\r\n");
    AppSettings s = LoadSettingsFile(path());
    EXPECT_EQ(s.m_timeMonth, QStringLiteral("07"));
    ASSERT_TRUE(SaveSettingsFile(path(), s));
    const QByteArray bytes = ReadAll(path());
    EXPECT_TRUE(bytes.contains("MONTH=07\r\n"));
    EXPECT_TRUE(bytes.contains("DAY=03\r\n"));
    EXPECT_TRUE(bytes.contains("TEMPHI=0500\r\n"));
}

TEST_F(SettingsFile, NegativeAndMalformedIntegers) {
    WriteAll(path(), "[YAXISInfo]\r\nYAXISLOW1CH1=-1234\r\nYAXISHI1CH1=12abc\r\n"
                     "YAXISLOW2CH1=abc\r\nYAXISHI2CH1=  +77\r\n");
    AppSettings s = LoadSettingsFile(path());
    EXPECT_EQ(s.m_yAxisLow[0][0], -1234);
    EXPECT_EQ(s.m_yAxisHigh[0][0], 12);
    EXPECT_EQ(s.m_yAxisLow[1][0], 0); // not a number reads as 0, not as the default
    EXPECT_EQ(s.m_yAxisHigh[1][0], 77);
    EXPECT_EQ(s.m_yAxisLow[0][1], -500); // missing key keeps its default
    ASSERT_TRUE(SaveSettingsFile(path(), s));
    EXPECT_TRUE(ReadAll(path()).contains("YAXISLOW1CH1=-1234\r\n"));
    EXPECT_EQ(LoadSettingsFile(path()).m_yAxisLow[0][0], -1234);
}

TEST_F(SettingsFile, WritingKeepsForeignLinesAndMatchesNamesWithoutCase) {
    WriteAll(path(), "; a user's comment\r\n[Mine]\r\nkeep=me\r\n\r\n"
                     "[viewinfo]\r\nview1=0\r\nCustom=42\r\n\r\n[colorinfo]\r\nbgcolor=5\r\n");
    AppSettings s = LoadSettingsFile(path());
    EXPECT_EQ(s.m_showCh1, 0);
    EXPECT_EQ(s.m_bgColor, 5);
    s.m_bgColor = 7;
    ASSERT_TRUE(SaveSettingsFile(path(), s));
    const QByteArray bytes = ReadAll(path());
    EXPECT_TRUE(bytes.startsWith("; a user's comment\r\n[Mine]\r\nkeep=me\r\n"));
    EXPECT_TRUE(bytes.contains("Custom=42\r\n"));
    EXPECT_TRUE(bytes.contains("bgcolor=7\r\n")); // updated where it stands
    EXPECT_FALSE(bytes.contains("[VIEWInfo]"));   // no second copy of the section
    EXPECT_EQ(bytes.count("view1="), 1);
    // New keys of an existing section go after its last entry, before the blank line.
    EXPECT_TRUE(bytes.contains("Custom=42\r\nVIEW2=1\r\n"));
}

TEST_F(SettingsFile, UnwritableTargetKeepsOldContent) {
    const QByteArray old = "[VIEWInfo]\r\nVIEW1=0\r\n";
    WriteAll(path(), old);
    // Refused where a read-only folder or a full disk refuses: creating the
    // temporary file, or putting it in the target's place.
    for (FileSeam::Step step : {FileSeam::Step::OpenForWrite, FileSeam::Step::Commit}) {
        RefusedFile refused(path(), {step});
        AppSettings s = LoadSettingsFile(path());
        s.m_showCh1 = 1;
        const bool saved = SaveSettingsFile(path(), s);
        ASSERT_FALSE(saved) << int(step);
        EXPECT_EQ(ReadAll(path()), old);
        // No temporary file is left beside it.
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files),
                  QStringList{QStringLiteral("LumoDATALOGGER.ini")});
    }
}
// A target in a read-only folder, which stops root too, is in test_save_faults.

TEST_F(SettingsFile, TargetThatCannotBeReplacedFailsWithoutHarm) {
    // Even root cannot replace a non-empty folder with a file.
    ASSERT_TRUE(QDir().mkpath(path() + QStringLiteral("/inside")));
    EXPECT_FALSE(SaveSettingsFile(path(), AppSettings()));
    EXPECT_TRUE(QFileInfo(path() + QStringLiteral("/inside")).isDir());
    // And reading it gives the defaults.
    EXPECT_EQ(LoadSettingsFile(path()).m_bgColor, 13);
}

TEST_F(SettingsFile, UnreadableExistingFileIsNotReplaced) {
    const QByteArray old = "[Mine]\r\nkeep=me\r\n";
    WriteAll(path(), old);
    {
        RefusedFile unreadable(path(), {FileSeam::Step::Read});
        EXPECT_FALSE(SaveSettingsFile(path(), AppSettings()));
    }
    EXPECT_EQ(ReadAll(path()), old);
}

TEST(IniFile, LongValuesAreCutToTheProfileBuffer) {
    IniFile ini;
    ini.LoadFromBytes("[S]\nK=" + QByteArray(300, 'x') + "\n");
    EXPECT_EQ(ini.ReadString("S", "K", "").size(), 259);
    EXPECT_EQ(ini.ReadString("S", "missing", "def"), QStringLiteral("def"));
    EXPECT_EQ(ini.ReadInt("nosection", "K", -5), -5);
}

TEST(IniFile, KeepsLineEndingStyleAndEightBitText) {
    IniFile ini;
    ini.LoadFromBytes("[S]\nK=caf\xe9\n");
    ini.WriteString("S", "L", "1");
    EXPECT_EQ(ini.ToBytes(), QByteArray("[S]\nK=caf\xe9\nL=1\n"));
}

TEST_F(SettingsFile, StandardIniReaderSeesTheSameSectionsKeysAndValues) {
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty())
        GTEST_SKIP() << "python3 not installed";
    AppSettings s;
    s.m_timeMonth = QStringLiteral("07");
    s.m_yAxisLow[2][1] = -42;
    ASSERT_TRUE(SaveSettingsFile(path(), s));
    QProcess p;
    p.start(python, {QStringLiteral("-c"),
                     QStringLiteral("import configparser,sys\n"
                                    "c=configparser.ConfigParser(interpolation=None)\n"
                                    "c.optionxform=str\n"
                                    "c.read(sys.argv[1])\n"
                                    "print(len(c.sections()), sum(len(c[s]) for s in c.sections()),"
                                    " c['TIMEInfo']['MONTH'], c['YAXISInfo']['YAXISLOW3CH2'],"
                                    " c['AUTOOFF Info']['AUTOOFF'], c['RECMODE Info']['RECMODE'])"),
                     path()});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    // 12 sections; 6+2+2+2+9+44+5+1+1+1+1+1 = 75 keys.
    EXPECT_EQ(p.readAllStandardOutput().trimmed(), QByteArray("12 75 07 -42 0 0"));
}

} // namespace
