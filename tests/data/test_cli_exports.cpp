// orvex-dl export --format jsonl|influx and --comtrade, run as a script would run them.

#include "CliRun.h"
#include "LineProtocolReader.h"
#include "SampleSets.h"
#include "support/ComtradeReader.h"

#include "data/StdataFile.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace samples;

namespace {

QList<QByteArray> Lines(const QByteArray& text) {
    QList<QByteArray> lines = text.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

class CliExports : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
        // Both channels, NaN and infinite values among ordinary ones, three TR records.
        input = dir.filePath(QStringLiteral("rich run.stdata"));
        ASSERT_TRUE(WriteAll(input, EncodeStdata(Rich())));
    }
    QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    QTemporaryDir dir;
    QString input;
};

TEST_F(CliExports, InfluxLinesParseAsLineProtocolWhateverTheLocale) {
    const CliRun run = Cli(
        {QStringLiteral("export"), input, QStringLiteral("--format"), QStringLiteral("influx")});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    const QList<QByteArray> lines = Lines(run.out);
    EXPECT_EQ(lines.size(), Rich().RmsCount());
    int64_t previous = 0;
    for (const QByteArray& text : lines) {
        lineprotocol::Reader reader(text);
        const auto l = reader.Parse();
        ASSERT_TRUE(l.has_value()) << reader.Error();
        EXPECT_EQ(l->measurement, "orvex");
        EXPECT_EQ(l->tags.at("file"), "rich run.stdata");
        EXPECT_EQ(l->tags.at("ch1_unit"), "V");
        ASSERT_TRUE(l->timestamp.has_value());
        EXPECT_GE(*l->timestamp, previous);
        previous = *l->timestamp;
    }
    const lineprotocol::Line last = *lineprotocol::Reader(lines.last()).Parse();
    EXPECT_DOUBLE_EQ(last.numbers.at("ch1_rms"), 230.9); // 229.95 + 99 * 0.01, one decimal
    EXPECT_DOUBLE_EQ(last.numbers.at("ch2_rms"), 36.6);  // 99 * 0.37

    const CliRun german =
        Cli({QStringLiteral("export"), input, QStringLiteral("--format"), QStringLiteral("influx")},
            QStringLiteral("de_DE.UTF-8"));
    EXPECT_EQ(german.out, run.out);
}

TEST_F(CliExports, JsonLinesParseAsJsonOneObjectPerSample) {
    const QString out = Path("run.jsonl");
    const CliRun run = Cli({QStringLiteral("export"), input, QStringLiteral("--format"),
                            QStringLiteral("jsonl"), QStringLiteral("-o"), out});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_TRUE(run.out.isEmpty());
    const QList<QByteArray> lines = Lines(ReadAll(out));
    ASSERT_EQ(lines.size(), Rich().RmsCount());
    for (const QByteArray& line : lines) {
        QJsonParseError error{};
        const QJsonObject o = QJsonDocument::fromJson(line, &error).object();
        ASSERT_EQ(error.error, QJsonParseError::NoError) << line.constData();
        EXPECT_TRUE(o[QStringLiteral("time")].toString().endsWith(QStringLiteral(":00")));
        EXPECT_EQ(o[QStringLiteral("interval_s")].toDouble(), 1.5);
    }
    EXPECT_EQ(QJsonDocument::fromJson(lines.first()).object()[QStringLiteral("time")].toString(),
              QStringLiteral("2010-10-31T01:30:00+02:00"));
}

TEST_F(CliExports, ComtradePairOfATransientRecord) {
    const QString base = Path("tr2");
    const CliRun run = Cli({QStringLiteral("export"), input, QStringLiteral("--comtrade"), base,
                            QStringLiteral("--tr"), QStringLiteral("2"),
                            QStringLiteral("--station"), QStringLiteral("Bay 4")});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    QString why;
    const auto r = comtrade::Read(ReadAll(base + QStringLiteral(".cfg")),
                                  ReadAll(base + QStringLiteral(".dat")), why);
    ASSERT_TRUE(r.has_value()) << why.toStdString();
    EXPECT_EQ(r->station, QStringLiteral("Bay 4"));
    EXPECT_DOUBLE_EQ(r->lineFrequency, 50.0);
    ASSERT_EQ(r->analog.size(), 1u);
    EXPECT_EQ(r->analog[0].id, QStringLiteral("CH2"));
    EXPECT_EQ(r->analog[0].unit, QStringLiteral("A"));
    ASSERT_EQ(r->analog[0].values.size(), 251u);
    EXPECT_DOUBLE_EQ(r->analog[0].values[250].value_or(0), 253.0); // 3 + 250
}

TEST_F(CliExports, BadChoicesAreRefusedAndTheInputIsNeverOverwritten) {
    const QByteArray before = ReadAll(input);
    const struct {
        QStringList args;
        int exitCode;
    } cases[] = {
        {{QStringLiteral("--format"), QStringLiteral("xml")}, 2},
        {{QStringLiteral("--format"), QStringLiteral("jsonl"), QStringLiteral("--csv")}, 2},
        {{QStringLiteral("--format"), QStringLiteral("influx"), QStringLiteral("-o"), input}, 2},
        {{QStringLiteral("--comtrade"), Path("x")}, 2},
        {{QStringLiteral("--comtrade"), Path("x"), QStringLiteral("--tr"), QStringLiteral("0")}, 2},
        {{QStringLiteral("--comtrade"), Path("x"), QStringLiteral("--tr"), QStringLiteral("4")}, 7},
        {{QStringLiteral("--comtrade"), Path("x"), QStringLiteral("--tr"), QStringLiteral("1"),
          QStringLiteral("--frequency"), QStringLiteral("-50")},
         2},
        {{QStringLiteral("--comtrade"), Path("rich run.stdata.cfg").chopped(4),
          QStringLiteral("--tr"), QStringLiteral("1")},
         0},
    };
    for (const auto& c : cases) {
        const CliRun run = Cli(QStringList{QStringLiteral("export"), input} + c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.args.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(ReadAll(input), before) << c.args.join(QLatin1Char(' ')).toStdString();
    }
    EXPECT_FALSE(QFile::exists(Path("x.cfg")));
}

} // namespace
