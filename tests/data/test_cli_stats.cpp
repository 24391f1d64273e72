// orvex-dl stats, run as a script would run it, on files made for the purpose.

#include "CliRun.h"
#include "SampleSets.h"

#include "data/StdataFile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace samples;

namespace {

// orvex-dl stats with the given arguments.
CliRun Stats(const QStringList& args, const QString& locale = QStringLiteral("C.UTF-8")) {
    return Cli(QStringList{QStringLiteral("stats")} + args, locale);
}

// A day at 10 s from Monday 2 March 2026 00:00 (CET): CH1 230 V with a dip of 12
// samples at 195 V from sample 1000, a swell of 3 at 260 V from 3000 and an
// interruption of 2 at 5 V from 5000; CH2 10 A throughout.
MeasurementSet Planted() {
    MeasurementSet s = WorkedExample();
    std::vector<float> volts(8640, 230.0f);
    for (int i = 1000; i < 1012; ++i)
        volts[size_t(i)] = 195.0f;
    for (int i = 3000; i < 3003; ++i)
        volts[size_t(i)] = 260.0f;
    volts[5000] = volts[5001] = 5.0f;
    SetCh1(s, volts, "V");
    SetCh2(s, std::vector<float>(8640, 10.0f), "A");
    EditStored(s, [&](StoredSet& d) {
        d.SetRmsInterval(10.0f);
        d.SetStartTime(At(2026, 3, 2, 0, 0, 0));
    });
    EditStored(s, [](StoredSet& d) { ComputeStoredExtremes(d); });
    return s;
}

class CliStats : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
    }
    QString Write(const char* name, const MeasurementSet& s) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        EXPECT_TRUE(WriteAll(path, EncodeStdata(s)));
        return path;
    }
    QTemporaryDir dir;
};

TEST_F(CliStats, JsonOfAPlantedRecordingHoldsTheExpectedNumbersInAnyLocale) {
    const QString path = Write("planted.stdata", Planted());
    const CliRun r = Stats({path, QStringLiteral("--json")});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    const QJsonObject o = QJsonDocument::fromJson(r.out).object();
    EXPECT_EQ(o[QStringLiteral("interval_s")].toDouble(), 10.0);
    const QJsonArray channels = o[QStringLiteral("channels")].toArray();
    ASSERT_EQ(channels.size(), 2);
    const QJsonObject v = channels[0].toObject();
    EXPECT_EQ(v[QStringLiteral("channel")].toInt(), 1);
    EXPECT_EQ(v[QStringLiteral("unit")].toString(), QStringLiteral("V"));
    EXPECT_EQ(v[QStringLiteral("count")].toInt(), 8640);
    EXPECT_EQ(v[QStringLiteral("covered_s")].toDouble(), 86400.0);
    EXPECT_EQ(v[QStringLiteral("lost")].toInt(), 0);
    const QJsonObject min = v[QStringLiteral("min")].toObject();
    EXPECT_EQ(min[QStringLiteral("value")].toDouble(), 5.0);
    EXPECT_EQ(min[QStringLiteral("time")].toString(), QStringLiteral("2026-03-02T13:53:20+01:00"));
    EXPECT_EQ(v[QStringLiteral("percentiles")].toObject()[QStringLiteral("p50")].toDouble(), 230.0);

    const QJsonObject volt = v[QStringLiteral("voltage")].toObject();
    EXPECT_EQ(volt[QStringLiteral("nominal")].toDouble(), 230.0);
    const QJsonObject ten = volt[QStringLiteral("ten_minute")].toObject();
    EXPECT_EQ(ten[QStringLiteral("complete")].toInt(), 144);
    EXPECT_EQ(ten[QStringLiteral("within_share")].toDouble(), 1.0);
    EXPECT_TRUE(ten[QStringLiteral("within_limit")].toBool());
    const QJsonArray events = volt[QStringLiteral("events")].toArray();
    ASSERT_EQ(events.size(), 3);
    const char* kinds[] = {"dip", "swell", "interruption"};
    const char* starts[] = {"2026-03-02T02:46:40+01:00", "2026-03-02T08:20:00+01:00",
                            "2026-03-02T13:53:20+01:00"};
    const double durations[] = {120.0, 30.0, 20.0};
    const double extremes[] = {195.0, 260.0, 5.0};
    for (int k = 0; k < 3; ++k) {
        const QJsonObject e = events[k].toObject();
        EXPECT_EQ(e[QStringLiteral("kind")].toString(), QLatin1String(kinds[k]));
        EXPECT_EQ(e[QStringLiteral("start")].toString(), QLatin1String(starts[k]));
        EXPECT_EQ(e[QStringLiteral("duration_s")].toDouble(), durations[k]);
        EXPECT_EQ(e[QStringLiteral("extreme")].toDouble(), extremes[k]);
    }
    EXPECT_FALSE(channels[1].toObject().contains(QStringLiteral("voltage")));

    // Σ V·I over the day: 8623 x 2300 + 12 x 1950 + 3 x 2600 + 2 x 50 VA, 10 s each.
    const QJsonObject energy = o[QStringLiteral("energy")].toObject();
    EXPECT_NEAR(energy[QStringLiteral("apparent_vah")].toDouble(), 19864200.0 * 10.0 / 3600.0,
                1e-6);
    EXPECT_EQ(energy[QStringLiteral("peak_va")].toDouble(), 2600.0);

    const CliRun german = Stats({path, QStringLiteral("--json")}, QStringLiteral("de_DE.UTF-8"));
    ASSERT_EQ(german.exitCode, 0);
    EXPECT_EQ(german.out, r.out);
}

TEST_F(CliStats, HourlyRecordingSaysWhyThereAreNoTenMinuteValues) {
    MeasurementSet s = WorkedExample();
    SetCh1(s, std::vector<float>(48, 231.0f), "V");
    EditStored(s, [&](StoredSet& d) { d.SetRmsInterval(3600.0f); });
    const QString path = Write("hourly.stdata", s);
    const CliRun r =
        Stats({path, QStringLiteral("--json"), QStringLiteral("--nominal"), QStringLiteral("240")});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    const QJsonObject volt = QJsonDocument::fromJson(r.out)
                                 .object()[QStringLiteral("channels")]
                                 .toArray()[0]
                                 .toObject()[QStringLiteral("voltage")]
                                 .toObject();
    EXPECT_EQ(volt[QStringLiteral("nominal")].toDouble(), 240.0);
    EXPECT_TRUE(volt[QStringLiteral("ten_minute")].isNull());
    EXPECT_EQ(volt[QStringLiteral("ten_minute_reason")].toString(),
              QStringLiteral("the recording interval (3600 s) is longer than 10 minutes"));

    const CliRun text = Stats({path});
    ASSERT_EQ(text.exitCode, 0);
    EXPECT_TRUE(text.out.contains("not given: the recording interval (3600 s) is longer"))
        << text.out.constData();
    EXPECT_TRUE(text.out.contains("231.0 V @")) << text.out.constData();
}

TEST_F(CliStats, BadNominalAndBadFilesExitAsDocumented) {
    const QString good = Write("good.stdata", WorkedExample());
    struct Case {
        QStringList args;
        int exitCode;
        const char* message;
    } cases[] = {
        {{good, QStringLiteral("--nominal"), QStringLiteral("99")}, 2, "100 to 1000"},
        {{good, QStringLiteral("--nominal"), QStringLiteral("abc")}, 2, "100 to 1000"},
        {{dir.filePath(QStringLiteral("none.stdata"))}, 7, "cannot open"},
        {{}, 2, "Usage"},
        {{QStringLiteral("--json")}, 2, "Usage"},
    };
    for (const Case& c : cases) {
        const CliRun r = Stats(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(c.message)) << r.err.constData();
    }
}

TEST_F(CliStats, PrintAddsTheStatisticsPagesAfterTheGraphReport) {
    const QString path = Write("planted.stdata", Planted());
    const QString pdf = dir.filePath(QStringLiteral("s.pdf"));
    const CliRun r = [&] {
        QProcess q;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TZ"), QStringLiteral("Europe/Berlin"));
        q.setProcessEnvironment(env);
        q.start(QStringLiteral(ORVEX_DL), {QStringLiteral("print"), path, QStringLiteral("-o"), pdf,
                                           QStringLiteral("--statistics"),
                                           QStringLiteral("--nominal"), QStringLiteral("240")});
        q.waitForFinished(60000);
        return CliRun{q.exitCode(), q.readAllStandardOutput(), q.readAllStandardError()};
    }();
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    ASSERT_TRUE(text.waitForFinished(60000));
    const QStringList pages =
        QString::fromUtf8(text.readAllStandardOutput()).split(QLatin1Char('\f'));
    ASSERT_GE(pages.size(), 2);
    EXPECT_FALSE(pages[0].contains(QStringLiteral("Statistics")));
    EXPECT_TRUE(pages[1].contains(QStringLiteral("Statistics")));
    EXPECT_TRUE(pages[1].contains(QStringLiteral("240 V")));
    // Against 240 V, 260 V is inside the limits: the dip and the interruption.
    EXPECT_TRUE(pages[1].contains(QStringLiteral("Events (2)")));
    EXPECT_TRUE(pages[1].contains(QStringLiteral("02/03/26 13:53:20")));
}

} // namespace
