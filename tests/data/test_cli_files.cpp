// orvex-dl export and info, run as a script would run them.

#include "CliRun.h"
#include "SampleSets.h"

#include "data/ReportWriter.h"
#include "data/RtdataFile.h"
#include "data/StdataFile.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace samples;

namespace {

class CliFiles : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
    }
    QString Write(const char* name, const QByteArray& bytes) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        EXPECT_TRUE(WriteAll(path, bytes));
        return path;
    }
    QTemporaryDir dir;
};

TEST_F(CliFiles, InfoSummarisesAFileInTextAndJson) {
    const QString path = Write("w.stdata", EncodeStdata(WorkedExample()));
    const CliRun text = Cli({QStringLiteral("info"), path});
    ASSERT_EQ(text.exitCode, 0) << text.err.constData();
    EXPECT_TRUE(text.out.contains("RMS samples:     1\n"));
    EXPECT_TRUE(text.out.contains("Interval:        60.0 s\n"));
    EXPECT_TRUE(text.out.contains("Start time:      03/02/10 14:05:00\n"));
    EXPECT_TRUE(text.out.contains("  maximum:       230.0 V @03/02/10 14:05:00\n"));
    EXPECT_TRUE(text.out.contains("CH2:             absent\n"));
    EXPECT_TRUE(text.out.contains("TR levels:       high 500, low 100\n"));

    const CliRun json = Cli({QStringLiteral("info"), path, QStringLiteral("--json")});
    ASSERT_EQ(json.exitCode, 0);
    const QJsonObject o = QJsonDocument::fromJson(json.out).object();
    EXPECT_EQ(o[QStringLiteral("rmsCount")].toInt(), 1);
    EXPECT_EQ(o[QStringLiteral("intervalSeconds")].toDouble(), 60.0);
    EXPECT_EQ(o[QStringLiteral("startTime")].toString(),
              QStringLiteral("2010-02-03T14:05:00+01:00"));
    const QJsonArray ch = o[QStringLiteral("channels")].toArray();
    ASSERT_EQ(ch.size(), 2);
    EXPECT_EQ(ch[0].toObject()[QStringLiteral("unit")].toString(), QStringLiteral("V"));
    EXPECT_FALSE(ch[1].toObject()[QStringLiteral("present")].toBool());
    EXPECT_EQ(o[QStringLiteral("trLevelHigh")].toDouble(), 500.0);
}

TEST_F(CliFiles, ExportWritesTheSameReportAsSaveUnderAGermanLocale) {
    const MeasurementSet rich = Rich();
    const QString in = Write("rich.stdata", EncodeStdata(rich));
    MeasurementSet loaded;
    ASSERT_TRUE(DecodeStdata(EncodeStdata(rich), loaded, nullptr));
    const QByteArray expected = BuildReport(loaded);
    ASSERT_FALSE(expected.isEmpty());

    const QString out = dir.filePath("rich.xls");
    const CliRun c = Cli({QStringLiteral("export"), in, QStringLiteral("-o"), out});
    ASSERT_EQ(c.exitCode, 0) << c.err.constData();
    EXPECT_EQ(ReadAll(out), expected);

    // The application object adopts the environment's locale for the C library;
    // the report must not notice.
    const QString german = dir.filePath("german.xls");
    const CliRun g = Cli({QStringLiteral("export"), in, QStringLiteral("-o"), german},
                         QStringLiteral("de_DE.UTF-8"));
    ASSERT_EQ(g.exitCode, 0) << g.err.constData();
    EXPECT_EQ(ReadAll(german), expected);

    // Without -o the report goes beside the input.
    ASSERT_EQ(Cli({QStringLiteral("export"), in}).exitCode, 0);
    EXPECT_EQ(ReadAll(dir.filePath("rich.xls")), expected);
}

TEST_F(CliFiles, BadFilesAndArgumentsGiveMessagesAndExitCodes) {
    MeasurementSet epa = WorkedExample();
    epa.SetDataTag(QString::fromLatin1(kTagRealTime));
    const QString epaPath = Write("epa.stdata", EncodeStdata(epa));
    const QString cut = Write("cut.stdata", EncodeStdata(WorkedExample()).left(60));
    const QString good = Write("good.stdata", EncodeStdata(WorkedExample()));
    ASSERT_TRUE(QDir(dir.path()).mkdir("taken.xls"));

    struct Case {
        QStringList args;
        int exitCode;
        const char* message;
    } cases[] = {
        {{QStringLiteral("info"), epaPath}, 7, "Invalid Format!"},
        {{QStringLiteral("export"), epaPath, QStringLiteral("-o"), dir.filePath("e.xls")},
         7,
         "Invalid Format!"},
        {{QStringLiteral("info"), cut}, 7, "damaged"},
        {{QStringLiteral("export"), cut}, 7, "damaged"},
        {{QStringLiteral("info"), dir.filePath("none.stdata")}, 7, "cannot open"},
        {{QStringLiteral("export"), good, QStringLiteral("-o"), dir.filePath("taken.xls")},
         1,
         "cannot write"},
        {{QStringLiteral("info")}, 2, "Usage"},
        {{QStringLiteral("export"), good, QStringLiteral("--frobnicate")}, 2, "unknown option"},
        {{QStringLiteral("export"), good, QStringLiteral("-o")}, 2, "needs a value"},
    };
    for (const Case& c : cases) {
        const CliRun r = Cli(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(c.message)) << r.err.constData();
    }
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("e.xls")));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("cut.xls")));
}

// A file that was not ours had its "tag" printed as it stood: a terminal escape
// sequence in it cleared or recoloured the user's terminal, line breaks split the
// message, and a long one filled the screen.
TEST_F(CliFiles, AForeignTagIsShownWithoutControlCharactersAndCutShort) {
    QByteArray foreign(1, char(60));
    foreign += "\x1b[2J\x1b]0;owned\x07line one\nline two\r\x9b" + QByteArray(40, 'z');
    foreign += QByteArray(200, '\0');
    const QString path = Write("foreign.stdata", foreign);
    for (const char* command : {"info", "stats", "export"}) {
        const CliRun r = Cli({QString::fromLatin1(command), path});
        EXPECT_EQ(r.exitCode, 7) << command;
        EXPECT_TRUE(r.err.contains("Invalid Format!")) << r.err.constData();
        EXPECT_TRUE(
            r.err.contains("(tag \"\\x1b[2J\\x1b]0;owned\\x07line one\\x0aline two\\x0d...\""))
            << r.err.constData();
        EXPECT_EQ(r.err.count('\n'), 1) << r.err.constData();
        for (const char c : {'\x1b', '\x07', '\r'})
            EXPECT_FALSE(r.err.contains(c)) << command << " " << int(c);
    }
}

TEST_F(CliFiles, RunFilesThatCannotBeUsedAreRefusedWithTheirReason) {
    RtdataImage run;
    run.kind = {kChannelVolts, kChannelAbsent};
    run.times = {1796832000, 1796832002};
    run.rms[0] = {230.0f, 231.0f};
    run.freq[0] = {50.0f, 50.0f};
    const QByteArray bytes = EncodeRtdata(run);
    QByteArray newer = bytes;
    newer[7] = char(9);
    const QString cut = Write("cut.rtdata", bytes.left(bytes.size() - 1));
    const QString stored = Write("stored.rtdata", EncodeStdata(WorkedExample()));
    const QString later = Write("later.rtdata", newer);
    const QString plain = Write("plain.rtdata", bytes);
    struct Case {
        QStringList args;
        int exitCode;
        QString message;
    } cases[] = {
        {{"info", cut}, 7, cut + ": The file is damaged or incomplete and cannot be read."},
        {{"export", cut, "--csv"}, 7, "damaged"},
        {{"info", stored}, 7, "Invalid Format!"},
        {{"waveform", later, "--sample", "1"}, 7, "newer version"},
        {{"waveform", plain, "--sample", "1"}, 7, "keeps no waveforms"},
        {{"export", plain}, 2, "with --csv"},
        {{"waveform", plain}, 2, "--sample is required"},
    };
    for (const Case& c : cases) {
        const CliRun r = Cli(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args.join(' ').toStdString();
        EXPECT_TRUE(QString::fromUtf8(r.err).contains(c.message)) << r.err.constData();
    }
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("cut.csv")));
    // The same file without the damage exports one line per sample.
    const CliRun ok = Cli({"export", plain, "--csv", "-o", dir.filePath("plain.csv")});
    ASSERT_EQ(ok.exitCode, 0) << ok.err.constData();
    EXPECT_EQ(ReadAll(dir.filePath("plain.csv")).count('\n'), 3);
}

} // namespace
