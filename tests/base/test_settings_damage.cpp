// A settings file cut at any byte or with random bytes changed: the keys whose lines
// are whole read as written, the keys after the cut read as their defaults, and what
// the program writes back reads back the same.

#include "base/IniFile.h"
#include "base/Settings.h"

#include <QFile>
#include <QTemporaryDir>

#include <random>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Every value differs from its default, and a user's own lines come first.
QByteArray FullFile() {
    AppSettings s;
    s.m_timeYear = QStringLiteral("2024");
    s.m_timeMonth = QStringLiteral("07");
    s.m_timeDay = QStringLiteral("31");
    s.m_timeHour = QStringLiteral("23");
    s.m_timeMinute = QStringLiteral("59");
    s.m_timeSecond = QStringLiteral("58");
    s.m_sampRate = QStringLiteral("3600");
    s.m_sampUnit = 2;
    s.m_limit1Unit = 0;
    s.m_limit2Unit = 0;
    s.m_tempHi = QStringLiteral("999");
    s.m_tempLow = QStringLiteral("11");
    s.m_showCh1 = s.m_showCh2 = s.m_viewOption3 = 0;
    s.m_viewOption4 = s.m_viewOption5 = s.m_viewOption6 = s.m_showMarkPoints = 1;
    s.m_showVerticalGrid = s.m_showHorizontalGrid = 0;
    for (int m = 0; m < kAxisModes; ++m)
        for (int c = 0; c < kAxisChannels; ++c) {
            s.m_yAxisLow[size_t(m)][size_t(c)] = -1000 * (m + 1) - c - 7;
            s.m_yAxisHigh[size_t(m)][size_t(c)] = 1000 * (m + 1) + c + 7;
        }
    s.m_bgColor = 4;
    s.m_ch1Color = 5;
    s.m_ch2Color = 6;
    s.m_ch3Color = 7;
    s.m_gridColor = 8;
    s.m_autoOff = 2;
    s.m_recMode = 3;
    s.m_rtInterval = 77;
    s.m_rtPointsRequested = 99999;
    IniFile ini;
    ini.LoadFromBytes("; mine\r\n[Mine]\r\nkeep=me\r\n");
    StoreAllSettings(ini, s);
    return ini.ToBytes();
}

struct KeyLine {
    QString section, key;
    qsizetype begin, end; // offsets of the line, `end` after its line end
};

// The section and key of every key line, with where the line lies.
std::vector<KeyLine> KeyLines(const QByteArray& bytes) {
    std::vector<KeyLine> out;
    QString section;
    qsizetype at = 0;
    while (at < bytes.size()) {
        qsizetype nl = bytes.indexOf('\n', at);
        const qsizetype end = nl < 0 ? bytes.size() : nl + 1;
        const QString line = QString::fromLatin1(bytes.mid(at, end - at)).trimmed();
        if (line.startsWith('['))
            section = line.mid(1, line.indexOf(']') - 1);
        else if (line.contains('='))
            out.push_back({section, line.left(line.indexOf('=')), at, end});
        at = end;
    }
    return out;
}

// Reading `bytes`, writing the settings back into them and reading that again.
IniFile RoundTrip(const QByteArray& bytes) {
    IniFile ini;
    ini.LoadFromBytes(bytes);
    AppSettings s;
    LoadFrameSettings(ini, s);
    LoadViewSettings(ini, s);
    StoreAllSettings(ini, s);
    IniFile back;
    back.LoadFromBytes(ini.ToBytes());
    return back;
}

// From the first write on, reading and writing change nothing.
void ExpectStable(const QByteArray& bytes) {
    const QByteArray once = RoundTrip(bytes).ToBytes();
    ASSERT_EQ(RoundTrip(once).ToBytes(), once);
}

TEST(SettingsDamage, CutAtEveryByteKeepsWholeLinesAndDefaultsTheRest) {
    const QByteArray full = FullFile();
    const std::vector<KeyLine> keys = KeyLines(full);
    ASSERT_EQ(keys.size(), 76u); // 75 of ours and the user's own
    IniFile original, defaults;
    original.LoadFromBytes(full);
    StoreAllSettings(defaults, AppSettings());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("LumoDATALOGGER.ini"));
    for (qsizetype n = 0; n <= full.size(); ++n) {
        SCOPED_TRACE(n);
        const QByteArray cut = full.left(n);
        IniFile written;
        if (n % 10 == 0) {
            // The file as the program reads it at start-up, written back as at close
            // (each save goes to the disk, so only for some of the cuts).
            {
                QFile f(path);
                ASSERT_TRUE(f.open(QIODevice::WriteOnly));
                f.write(cut);
            }
            ASSERT_TRUE(SaveSettingsFile(path, LoadSettingsFile(path)));
            ASSERT_TRUE(written.Load(path));
        } else {
            written = RoundTrip(cut);
        }
        for (const KeyLine& k : keys) {
            const QString got = written.ReadString(k.section, k.key, QStringLiteral("?"));
            if (k.end <= n) {
                ASSERT_EQ(got, original.ReadString(k.section, k.key, QString()))
                    << k.section.toStdString() << "/" << k.key.toStdString();
            } else if (k.begin >= n && k.section != QLatin1String("Mine")) {
                ASSERT_EQ(got, defaults.ReadString(k.section, k.key, QString()))
                    << k.section.toStdString() << "/" << k.key.toStdString();
            }
        }
        ExpectStable(cut);
    }
}

TEST(SettingsDamage, RandomByteChangesReadAsUsableValuesAndWriteBackStably) {
    const QByteArray full = FullFile();
    std::mt19937 rng(20240613);
    std::uniform_int_distribution<qsizetype> pos(0, full.size() - 1);
    std::uniform_int_distribution<int> byte(0, 255), count(1, 6);
    for (int i = 0; i < 1500; ++i) {
        SCOPED_TRACE(i);
        QByteArray bad = full;
        for (int k = count(rng); k > 0; --k)
            bad[pos(rng)] = char(byte(rng));
        IniFile ini;
        ini.LoadFromBytes(bad);
        AppSettings s;
        LoadFrameSettings(ini, s);
        LoadViewSettings(ini, s);
        ASSERT_LE(s.m_sampRate.size(), 259);
        ASSERT_LE(s.m_tempHi.size(), 259);
        ExpectStable(bad);
    }
}

} // namespace

namespace {

// Reading strips one pair of enclosing quotes; before, writing put the stripped value
// back bare, so every save of a file holding HOUR='''...''' lost another pair.
TEST(SettingsDamage, QuotedValueLosesNoQuotesOnEverySave) {
    const QByteArray found = "[TIMEInfo]\r\nYEAR=2008\r\nHOUR=" + QByteArray(34, '\'') +
                             "\r\n[YAXISInfo]\r\nYAXAISHI2CH2=500\r\n";
    ExpectStable(found);
    const QByteArray once = RoundTrip(found).ToBytes();
    IniFile ini;
    ini.LoadFromBytes(once);
    EXPECT_EQ(ini.ReadString("TIMEInfo", "HOUR", {}), QString(32, '\''));

    for (const QString& value :
         {QStringLiteral("'a'"), QStringLiteral("\"b\""), QStringLiteral(" c"),
          QStringLiteral("d "), QStringLiteral("'"), QStringLiteral("\"'")}) {
        SCOPED_TRACE(value.toStdString());
        IniFile w;
        w.WriteString("S", "K", value);
        IniFile r;
        r.LoadFromBytes(w.ToBytes());
        EXPECT_EQ(r.ReadString("S", "K", {}), value);
    }
}

// A line break in a value would start a new line of the file, a key of its own.
TEST(SettingsDamage, LineBreakInValueCannotAddALine) {
    IniFile w;
    w.WriteString("S", "K", QStringLiteral("1\r\n[Other]\nX=2"));
    EXPECT_EQ(w.ToBytes().count('\n'), 2);
    IniFile r;
    r.LoadFromBytes(w.ToBytes());
    EXPECT_EQ(r.ReadString("S", "K", {}), QStringLiteral("1[Other]X=2"));
    EXPECT_EQ(r.ReadString("Other", "X", QStringLiteral("none")), QStringLiteral("none"));
}

} // namespace
