// One sample as a JSON message and as a line of InfluxDB line protocol, read back
// by QJsonDocument and by a reader of the protocol's grammar.

#include "LineProtocolReader.h"
#include "SampleSets.h"

#include "data/LineFormats.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

using namespace samples;

namespace {

// 8 December 2026 14:05:02 in Berlin (winter time): 13:05:02 UTC.
constexpr TimeValue kWinter = 1796735102;

LineSample Full() {
    LineSample s;
    s.time = kWinter;
    s.intervalS = 2;
    s.ch[0] = {true, QStringLiteral("V"), 229.8, 50.0, 2.1};
    s.ch[1] = {true, QStringLiteral("A"), 10.0, 50.0, 8.4};
    s.sVa = 2298;
    s.pW = 1990;
    s.qVar = 1149;
    s.pf = 0.866;
    s.phiDeg = 30.0;
    return s;
}

QJsonObject Json(const LineSample& s) {
    QJsonParseError error{};
    const QJsonDocument d = QJsonDocument::fromJson(SampleJson(s), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << SampleJson(s).constData();
    return d.object();
}

lineprotocol::Line Influx(const LineSample& s, const LineTags& tags) {
    const QByteArray text = SampleLineProtocol(s, tags);
    lineprotocol::Reader reader(text);
    const auto line = reader.Parse();
    EXPECT_TRUE(line.has_value()) << reader.Error();
    return line.value_or(lineprotocol::Line{});
}

class LineFormats : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
    }
};

TEST_F(LineFormats, JsonMessageHoldsEveryValueAsANumber) {
    const QJsonObject o = Json(Full());
    EXPECT_EQ(o[QStringLiteral("time")].toString(), QStringLiteral("2026-12-08T14:05:02+01:00"));
    EXPECT_EQ(o[QStringLiteral("interval_s")].toDouble(), 2.0);
    const QJsonObject ch1 = o[QStringLiteral("ch1")].toObject();
    ASSERT_TRUE(ch1[QStringLiteral("rms")].isDouble());
    EXPECT_DOUBLE_EQ(ch1[QStringLiteral("rms")].toDouble(), 229.8);
    EXPECT_EQ(ch1[QStringLiteral("unit")].toString(), QStringLiteral("V"));
    EXPECT_DOUBLE_EQ(ch1[QStringLiteral("hz")].toDouble(), 50.0);
    EXPECT_DOUBLE_EQ(ch1[QStringLiteral("thd")].toDouble(), 2.1);
    EXPECT_DOUBLE_EQ(o[QStringLiteral("ch2")].toObject()[QStringLiteral("thd")].toDouble(), 8.4);
    EXPECT_DOUBLE_EQ(o[QStringLiteral("s_va")].toDouble(), 2298);
    EXPECT_DOUBLE_EQ(o[QStringLiteral("p_w")].toDouble(), 1990);
    EXPECT_DOUBLE_EQ(o[QStringLiteral("q_var")].toDouble(), 1149);
    EXPECT_DOUBLE_EQ(o[QStringLiteral("pf")].toDouble(), 0.866);
    EXPECT_DOUBLE_EQ(o[QStringLiteral("phi_deg")].toDouble(), 30.0);
    // One line: a JSON Lines file holds one message per line.
    EXPECT_FALSE(SampleJson(Full()).contains('\n'));
}

TEST_F(LineFormats, SummerTimeSampleCarriesItsOwnOffset) {
    LineSample s = Full();
    s.time = 1781431502; // 14 June 2026 12:05:02 in Berlin
    EXPECT_EQ(Json(s)[QStringLiteral("time")].toString(),
              QStringLiteral("2026-06-14T12:05:02+02:00"));
    EXPECT_EQ(Influx(s, {}).timestamp, int64_t(1781431502) * 1000000000);
}

// What is not known is left out of both lines; a value that is no finite number (a
// damaged file holds such) is not known either, and never turns into "nan".
TEST_F(LineFormats, UnknownAbsentAndNonFiniteValuesAreLeftOut) {
    LineSample s = Full();
    s.ch[1] = LineChannel{};
    s.ch[0].thd.reset();
    s.ch[0].hz = std::numeric_limits<double>::quiet_NaN();
    s.sVa = std::numeric_limits<double>::infinity();
    s.pW.reset();
    s.qVar.reset();
    s.pf.reset();
    s.phiDeg.reset();

    const QJsonObject o = Json(s);
    EXPECT_FALSE(o.contains(QStringLiteral("ch2")));
    EXPECT_FALSE(o[QStringLiteral("ch1")].toObject().contains(QStringLiteral("thd")));
    EXPECT_FALSE(o[QStringLiteral("ch1")].toObject().contains(QStringLiteral("hz")));
    for (const char* key : {"s_va", "p_w", "q_var", "pf", "phi_deg"})
        EXPECT_FALSE(o.contains(QLatin1String(key))) << key;

    const lineprotocol::Line l = Influx(s, {{QStringLiteral("port"), QStringLiteral("ttyUSB0")}});
    EXPECT_EQ(l.numbers.count("ch1_rms"), 1u);
    EXPECT_EQ(l.numbers.count("ch1_hz"), 0u);
    EXPECT_EQ(l.numbers.count("s_va"), 0u);
    EXPECT_EQ(l.tags.count("ch2_unit"), 0u);
    EXPECT_FALSE(SampleLineProtocol(s, {}).toLower().contains("nan"));
    EXPECT_FALSE(SampleLineProtocol(s, {}).toLower().contains("inf"));

    // A sample without a single value would be a line without fields, which the
    // protocol does not allow: none is written.
    LineSample empty;
    empty.time = kWinter;
    EXPECT_TRUE(SampleLineProtocol(empty, {}).isEmpty());
    EXPECT_EQ(Json(empty).size(), 1); // the time alone
}

TEST_F(LineFormats, LineProtocolCarriesValuesUnitsAndNanoseconds) {
    const lineprotocol::Line l =
        Influx(Full(), {{QStringLiteral("port"), QStringLiteral("/dev/ttyUSB0")}});
    EXPECT_EQ(l.measurement, "orvex");
    EXPECT_EQ(l.tags.at("port"), "/dev/ttyUSB0");
    EXPECT_EQ(l.tags.at("ch1_unit"), "V");
    EXPECT_EQ(l.tags.at("ch2_unit"), "A");
    EXPECT_DOUBLE_EQ(l.numbers.at("ch1_rms"), 229.8);
    EXPECT_DOUBLE_EQ(l.numbers.at("ch2_hz"), 50.0);
    EXPECT_DOUBLE_EQ(l.numbers.at("ch2_thd"), 8.4);
    EXPECT_DOUBLE_EQ(l.numbers.at("pf"), 0.866);
    EXPECT_DOUBLE_EQ(l.numbers.at("interval_s"), 2.0);
    EXPECT_EQ(l.timestamp, int64_t(kWinter) * 1000000000);
    // Tags sorted by key, as InfluxDB prefers them.
    const QByteArray text =
        SampleLineProtocol(Full(), {{QStringLiteral("port"), QStringLiteral("x")}});
    EXPECT_TRUE(text.startsWith("orvex,ch1_unit=V,ch2_unit=A,port=x ")) << text.constData();
}

// Port names and file names come from outside: every character that ends an element
// of a line must be escaped, a line end cannot stand in a line at all.
TEST_F(LineFormats, AwkwardTagValuesAreEscapedAndReadBackUnchanged) {
    const struct {
        const char* given;
        const char* readBack;
    } cases[] = {
        {"COM3", "COM3"},
        {"my port, left", "my port, left"},
        {"a=b", "a=b"},
        {"C:\\ports\\one", "C:\\ports\\one"},
        {"trailing\\", "trailing\\"},
        {"line\nend", "line end"},
        {"M\xc3\xbchle", "M\xc3\xbchle"},
    };
    for (const auto& c : cases) {
        const QString value = QString::fromUtf8(c.given);
        lineprotocol::Line l =
            Influx(Full(), {{QStringLiteral("file"), value}, {QStringLiteral("odd key,="), value}});
        EXPECT_EQ(l.tags["file"], c.readBack) << c.given;
        EXPECT_EQ(l.tags["odd key,="], c.readBack) << c.given;
        EXPECT_EQ(l.numbers.size(), 12u) << c.given;
    }
    // An empty tag value cannot be written: the tag is left out.
    EXPECT_EQ(Influx(Full(), {{QStringLiteral("port"), QString()}}).tags.count("port"), 0u);
}

TEST_F(LineFormats, AGermanLocaleChangesNeitherLine) {
    const QByteArray json = SampleJson(Full());
    const QByteArray influx =
        SampleLineProtocol(Full(), {{QStringLiteral("port"), QStringLiteral("p")}});
    const char* old = std::setlocale(LC_ALL, nullptr);
    const std::string saved = old ? old : "C";
    const bool german = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QByteArray json2 = SampleJson(Full());
    const QByteArray influx2 =
        SampleLineProtocol(Full(), {{QStringLiteral("port"), QStringLiteral("p")}});
    QLocale::setDefault(QLocale::c());
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_TRUE(german) << "de_DE.UTF-8 is not installed (scripts/setup.sh makes it)";
    EXPECT_EQ(json2, json);
    EXPECT_EQ(influx2, influx);
    EXPECT_TRUE(influx.contains("ch1_rms=229.8,"));
}

// The stored set's adapter: times from the start and the interval, the RMS of each
// present channel, S(VA) only for a volts-and-amperes pair.
TEST_F(LineFormats, StoredSamplesTakeTheirTimeUnitsAndApparentPower) {
    MeasurementSet set;
    EditStored(set, [&](StoredSet& d) {
        d.SetStartTime(At(2010, 2, 3, 14, 5, 0));
        d.SetRmsInterval(1.5f);
    });
    SetCh1(set, {230.0f, 231.5f, 229.9f}, "V");
    SetCh2(set, {10.0f, 0.0f, std::numeric_limits<float>::quiet_NaN()}, "A");

    const QJsonObject o1 = Json(StoredRmsSample(set, 1));
    EXPECT_EQ(o1[QStringLiteral("time")].toString(), QStringLiteral("2010-02-03T14:05:01+01:00"));
    EXPECT_EQ(o1[QStringLiteral("interval_s")].toDouble(), 1.5);
    EXPECT_DOUBLE_EQ(o1[QStringLiteral("ch1")].toObject()[QStringLiteral("rms")].toDouble(), 231.5);
    EXPECT_EQ(o1[QStringLiteral("ch2")].toObject()[QStringLiteral("unit")].toString(),
              QStringLiteral("A"));
    EXPECT_DOUBLE_EQ(o1[QStringLiteral("s_va")].toDouble(), 0.0);
    EXPECT_FALSE(o1[QStringLiteral("ch1")].toObject().contains(QStringLiteral("hz")));

    EXPECT_DOUBLE_EQ(Json(StoredRmsSample(set, 0))[QStringLiteral("s_va")].toDouble(), 2300);
    EXPECT_EQ(Json(StoredRmsSample(set, 2))[QStringLiteral("time")].toString(),
              QStringLiteral("2010-02-03T14:05:03+01:00"));
    // A NaN read from the file: that channel's RMS and the power are left out.
    const QJsonObject o2 = Json(StoredRmsSample(set, 2));
    EXPECT_FALSE(o2[QStringLiteral("ch2")].toObject().contains(QStringLiteral("rms")));
    EXPECT_FALSE(o2.contains(QStringLiteral("s_va")));

    EditStored(set, [&](StoredSet& d) {
        d.SetChannelUnit(1, QStringLiteral("V"));
    }); // two voltages: no apparent power
    EXPECT_FALSE(Json(StoredRmsSample(set, 0)).contains(QStringLiteral("s_va")));
    EditStored(set, [&](StoredSet& d) { d.SetChannelPresent(1, 0); });
    EXPECT_FALSE(Json(StoredRmsSample(set, 0)).contains(QStringLiteral("ch2")));
}

} // namespace
