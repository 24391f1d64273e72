// What orvex-dl makes of a real-time run file for other tools and for the user:
// JSON Lines and line protocol, one sample's waveform as a COMTRADE pair (read back
// by the test's own reader), the harmonic orders of a sample and the run's energy.
// The run is synthetic: a distorted 50 Hz and 60 Hz supply with a lagging current,
// and a sample without any signal.

#include "CliRun.h"
#include "LineProtocolReader.h"
#include "SampleSets.h"
#include "support/ComtradeReader.h"

#include "data/RtdataFile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

using namespace samples;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kPeriodS = 54.71e-6;
constexpr TimeValue kStart = 1796735102; // 8 December 2026 14:05:02 in Berlin
constexpr double kV1 = 325, kV3 = 16.25, kI1 = 141, kLagDeg = 30;

RtWaveform Wave(double hz, bool signal) {
    RtWaveform w{};
    for (size_t i = 0; i < w.size(); ++i) {
        const double a = 2 * kPi * hz * double(i) * kPeriodS;
        if (!signal)
            continue;
        w[i][0] = int16_t(std::lround(kV1 * std::sin(a) + kV3 * std::sin(3 * a)));
        w[i][1] = int16_t(std::lround(kI1 * std::sin(a - kLagDeg * kPi / 180)));
    }
    return w;
}

// The exact figures of the continuous signals.
const double kVrms = std::sqrt((kV1 * kV1 + kV3 * kV3) / 2);
const double kIrms = kI1 / std::sqrt(2.0);
const double kP = 0.5 * kV1 * kI1 * std::cos(kLagDeg * kPi / 180);

RtdataImage SyntheticRun() {
    RtdataImage r;
    r.interval = 2;
    r.startTime = kStart;
    r.utcOffset = 3600;
    r.kind = {kChannelVolts, kChannelAmps};
    r.times = {kStart, kStart + 2, kStart + 4};
    const float v = float(kVrms), i = float(kIrms);
    r.rms[0] = {v, v, 0.0f};
    r.rms[1] = {i, i, 0.0f};
    r.freq[0] = {50.0f, 60.0f, 400.0f};
    r.freq[1] = {50.0f, 60.0f, 400.0f};
    r.waveforms = {Wave(50, true), Wave(60, true), Wave(50, false)};
    return r;
}

class CliRunOutputs : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
        input = Path("site run.rtdata");
        ASSERT_TRUE(WriteAll(input, EncodeRtdata(SyntheticRun())));
    }
    QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    QJsonObject JsonOut(const QStringList& args) const {
        const CliRun r = Cli(args);
        EXPECT_EQ(r.exitCode, 0) << r.err.constData();
        QJsonParseError e{};
        const QJsonObject o = QJsonDocument::fromJson(r.out, &e).object();
        EXPECT_EQ(e.error, QJsonParseError::NoError) << r.out.constData();
        return o;
    }
    QTemporaryDir dir;
    QString input;
};

TEST_F(CliRunOutputs, JsonAndLineProtocolCarryEachSampleWithItsPowerFigures) {
    const CliRun json = Cli({"export", input, "--format", "jsonl"});
    ASSERT_EQ(json.exitCode, 0) << json.err.constData();
    const QList<QByteArray> lines = json.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 3);
    const QJsonObject first = QJsonDocument::fromJson(lines[0]).object();
    EXPECT_EQ(first["time"].toString(), "2026-12-08T14:05:02+01:00");
    EXPECT_NEAR(first["ch1"]["rms"].toDouble(), kVrms, 0.051);
    EXPECT_EQ(first["ch2"]["unit"].toString(), "A");
    EXPECT_NEAR(first["p_w"].toDouble(), kP, 0.01 * kP);
    EXPECT_NEAR(first["phi_deg"].toDouble(), kLagDeg, 1.0);
    EXPECT_NEAR(first["ch1"]["thd"].toDouble(), 100 * kV3 / kV1, 0.3);
    // No signal: the channels are there with their units, no figure is made up.
    const QJsonObject none = QJsonDocument::fromJson(lines[2]).object();
    EXPECT_EQ(none["ch1"].toObject().keys(), QStringList{"unit"});
    for (const char* key : {"s_va", "p_w", "q_var", "pf", "phi_deg"})
        EXPECT_FALSE(none.contains(QLatin1String(key))) << key;

    const QString out = Path("run.influx");
    ASSERT_EQ(Cli({"export", input, "--format", "influx", "-o", out}).exitCode, 0);
    const QList<QByteArray> influx = ReadAll(out).trimmed().split('\n');
    ASSERT_EQ(influx.size(), 3);
    for (int n = 0; n < 3; ++n) {
        lineprotocol::Reader reader(influx[n]);
        const auto l = reader.Parse();
        ASSERT_TRUE(l) << reader.Error();
        EXPECT_EQ(l->tags.at("file"), "site run.rtdata");
        EXPECT_EQ(l->timestamp, (kStart + 2 * n) * 1000000000LL);
    }
    EXPECT_NEAR(lineprotocol::Reader(influx[1]).Parse()->numbers.at("p_w"), kP, 0.01 * kP);
}

TEST_F(CliRunOutputs, ComtradePairOfASampleReadsBackWithBothChannelsRateAndFrequency) {
    struct Case {
        const char* sample;
        double lineHz;
        const char* time;
    };
    for (const Case c : {Case{"1", 50.0, "14:05:02.000000"}, Case{"2", 60.0, "14:05:04.000000"},
                         Case{"3", 50.0, "14:05:06.000000"}}) {
        SCOPED_TRACE(c.sample);
        const QString base = Path("wave");
        const CliRun run = Cli({"export", input, "--comtrade", base, "--sample", c.sample});
        ASSERT_EQ(run.exitCode, 0) << run.err.constData();
        QString why;
        const auto r = comtrade::Read(ReadAll(base + ".cfg"), ReadAll(base + ".dat"), why);
        ASSERT_TRUE(r) << why.toStdString();
        EXPECT_EQ(r->station, "site run");
        EXPECT_DOUBLE_EQ(r->lineFrequency, c.lineHz);
        ASSERT_EQ(r->rates.size(), 1u);
        EXPECT_NEAR(r->rates[0].first, 18278.0, 0.5);
        EXPECT_EQ(r->rates[0].second, 590);
        EXPECT_EQ(r->firstDate, "08/12/2026");
        EXPECT_EQ(r->firstTime, c.time);
        ASSERT_EQ(r->analog.size(), 2u);
        EXPECT_EQ(r->analog[0].unit, "V");
        EXPECT_EQ(r->analog[1].unit, "A");
        const RtWaveform w = SyntheticRun().waveforms[size_t(QByteArray(c.sample).toInt() - 1)];
        for (size_t ch = 0; ch < 2; ++ch) {
            ASSERT_EQ(r->analog[ch].values.size(), 590u);
            for (size_t i = 0; i < 590; i += 59)
                EXPECT_NEAR(r->analog[ch].values[i].value_or(1e9), w[i][ch], 1e-6)
                    << ch << " " << i;
        }
    }
    const CliRun forced =
        Cli({"export", input, "--comtrade", Path("f"), "--sample", "2", "--frequency", "50"});
    ASSERT_EQ(forced.exitCode, 0);
    QString why;
    EXPECT_DOUBLE_EQ(
        comtrade::Read(ReadAll(Path("f.cfg")), ReadAll(Path("f.dat")), why)->lineFrequency, 50.0);
}

TEST_F(CliRunOutputs, HarmonicsOfASampleAndOfOneWithoutSignal) {
    const QJsonObject o = JsonOut({"harmonics", input, "--sample", "1", "--json"});
    EXPECT_EQ(o["sample"].toInt(), 1);
    const QJsonArray channels = o["channels"].toArray();
    ASSERT_EQ(channels.size(), 2);
    const QJsonObject v = channels[0].toObject(), i = channels[1].toObject();
    EXPECT_EQ(v["unit"].toString(), "V");
    EXPECT_NEAR(v["thdPercent"].toDouble(), 100 * kV3 / kV1, 0.3);
    EXPECT_LT(i["thdPercent"].toDouble(), 0.5);
    const QJsonArray vo = v["orders"].toArray(), io = i["orders"].toArray();
    ASSERT_EQ(vo.size(), 50);
    ASSERT_EQ(io.size(), 50);
    EXPECT_EQ(vo[49]["order"].toInt(), 50);
    EXPECT_NEAR(vo[0]["amplitude"].toDouble(), kV1, 0.01 * kV1);
    EXPECT_NEAR(vo[0]["percent"].toDouble(), 100.0, 1e-9);
    EXPECT_NEAR(vo[2]["percent"].toDouble(), 100 * kV3 / kV1, 0.3);
    EXPECT_NEAR(io[0]["amplitude"].toDouble(), kI1, 0.01 * kI1);
    EXPECT_NEAR(io[0]["phaseDeg"].toDouble(), -kLagDeg, 1.0); // behind the voltage

    const QJsonObject none = JsonOut({"harmonics", input, "--sample", "3", "--json"});
    for (const QJsonValue c : none["channels"].toArray()) {
        EXPECT_FALSE(c["usable"].toBool());
        EXPECT_FALSE(c.toObject().contains("orders"));
    }
    const CliRun text = Cli({"harmonics", input, "--sample", "2"});
    ASSERT_EQ(text.exitCode, 0) << text.err.constData();
    const QRegularExpressionMatch thd =
        QRegularExpression("CH1 \\(V\\): THD (\\d+\\.\\d\\d) %").match(QString::fromUtf8(text.out));
    ASSERT_TRUE(thd.hasMatch()) << text.out.constData();
    EXPECT_NEAR(thd.captured(1).toDouble(), 100 * kV3 / kV1, 0.3);
    EXPECT_EQ(text.out.count('\n'), 1 + 2 * (2 + 50));
}

TEST_F(CliRunOutputs, InfoGivesTheEnergyOfTheRun) {
    const QJsonObject o = JsonOut({"info", input, "--json"});
    const QJsonObject e = o["energy"].toObject();
    // Two samples of 2 s with power, the third without a signal.
    EXPECT_NEAR(e["apparentVAh"].toDouble(), 2 * kVrms * kIrms * 2 / 3600, 0.001);
    EXPECT_NEAR(e["activeWh"].toDouble(), 2 * kP * 2 / 3600, 0.01 * 2 * kP * 2 / 3600);
    EXPECT_EQ(e["samplesWithActivePower"].toInt(), 2);
    const CliRun text = Cli({"info", input});
    EXPECT_TRUE(text.out.contains("Wh (from 2 of 3 samples)")) << text.out.constData();
}

TEST_F(CliRunOutputs, WrongSamplesAndOptionsAreRefused) {
    RtdataImage valuesOnly = SyntheticRun();
    valuesOnly.waveforms.clear();
    const QString plain = Path("plain.rtdata");
    ASSERT_TRUE(WriteAll(plain, EncodeRtdata(valuesOnly)));
    struct Case {
        QStringList args;
        int exitCode;
        const char* says;
    } cases[] = {
        {{"harmonics", input}, 2, "--sample is required"},
        {{"harmonics", input, "--sample", "4"}, 2, "between 1 and 3"},
        {{"harmonics", input, "--sample", "0"}, 2, "between 1 and 3"},
        {{"harmonics", plain, "--sample", "1"}, 7, "keeps no waveforms"},
        {{"export", input, "--comtrade", Path("x")}, 2, "--sample is required"},
        {{"export", input, "--comtrade", Path("x"), "--tr", "1"}, 2, "use --sample"},
        {{"export", plain, "--comtrade", Path("x"), "--sample", "1"}, 7, "keeps no waveforms"},
        {{"export", input, "--format", "jsonl", "-o", input}, 2, "replace the run file"},
    };
    const QByteArray before = ReadAll(input);
    for (const Case& c : cases) {
        const CliRun r = Cli(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(c.says)) << r.err.constData();
    }
    EXPECT_EQ(ReadAll(input), before);
    EXPECT_FALSE(QFileInfo::exists(Path("x.cfg")));
    // Without waveforms the energy is the apparent one only.
    const QJsonObject e = JsonOut({"info", plain, "--json"})["energy"].toObject();
    EXPECT_TRUE(e.contains("apparentVAh"));
    EXPECT_FALSE(e.contains("activeWh"));
}

} // namespace
