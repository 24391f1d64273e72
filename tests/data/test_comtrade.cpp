// COMTRADE pairs read back by a reader written from the standard's field list.

#include "SampleSets.h"
#include "support/ComtradeReader.h"

#include "data/Comtrade.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>

using namespace samples;

namespace {

class Comtrade : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
    }
    // Writes the record as <dir>/rec.cfg + .dat and reads it back.
    comtrade::Record WriteAndRead(const ComtradeRecord& r) {
        const QString base = dir.filePath(QStringLiteral("rec"));
        QString error;
        EXPECT_TRUE(WriteComtrade(base, r, &error)) << error.toStdString();
        QString why;
        const auto back = comtrade::Read(ReadAll(base + QStringLiteral(".cfg")),
                                         ReadAll(base + QStringLiteral(".dat")), why);
        EXPECT_TRUE(back.has_value()) << why.toStdString();
        return back.value_or(comtrade::Record{});
    }
    QTemporaryDir dir;
};

// One real-time capture: 590 points at 54.71 us of 230 V and 10 A at 50 Hz.
ComtradeRecord Capture() {
    ComtradeRecord r;
    r.stationName = QStringLiteral("Substation 7");
    r.deviceId = QStringLiteral("Orvex DATA LOGGER");
    r.start = At(2026, 12, 8, 14, 5, 2);
    r.samplePeriodUs = kCapturedSamplePeriodUs;
    ComtradeChannel v{QStringLiteral("CH1"), QStringLiteral("V"), QString(), {}};
    ComtradeChannel a{QStringLiteral("CH2"), QStringLiteral("A"), QString(), {}};
    for (int i = 0; i < 590; ++i) {
        const double t = i * 54.71e-6;
        v.values.push_back(325.27 * std::sin(2 * std::numbers::pi * 50 * t));
        a.values.push_back(14.14 * std::sin(2 * std::numbers::pi * 50 * t - std::numbers::pi / 6));
    }
    r.channels = {v, a};
    return r;
}

// One analog channel read back: its description, and values off by half a step at
// most (scaled to whole numbers, a step being a 32767th of the peak).
void ExpectChannel(const comtrade::Analog& a, int index, const char* id, const char* unit,
                   const std::vector<double>& written) {
    EXPECT_EQ(a.index, index);
    EXPECT_EQ(a.id, QLatin1String(id));
    EXPECT_EQ(a.unit, QLatin1String(unit));
    EXPECT_EQ(a.ps, QStringLiteral("P"));
    EXPECT_LT(a.a, 0.011); // 325 V over 16 bits, not a coarse step
    ASSERT_EQ(a.values.size(), written.size());
    long outside = 0;
    double worst = 0;
    for (size_t n = 0; n < written.size(); ++n) {
        worst = std::max(worst, std::fabs(a.values[n].value_or(1e9) - written[n]));
        outside += a.raw[n] < a.min || a.raw[n] > a.max || std::labs(a.raw[n]) > 99998;
    }
    EXPECT_LE(worst, a.a / 2 + 1e-9) << id;
    EXPECT_EQ(outside, 0) << id << ": values beyond the channel's min and max";
}

TEST_F(Comtrade, CapturedWaveformReadsBackWithCountsRateUnitsAndValues) {
    const ComtradeRecord written = Capture();
    const comtrade::Record r = WriteAndRead(written);
    EXPECT_EQ(r.station, QStringLiteral("Substation 7"));
    EXPECT_EQ(r.device, QStringLiteral("Orvex DATA LOGGER"));
    EXPECT_EQ(r.revision, 1999);
    EXPECT_EQ(r.total, 2);
    EXPECT_EQ(r.digitalCount, 0);
    EXPECT_DOUBLE_EQ(r.lineFrequency, 50.0);
    ASSERT_EQ(r.rates.size(), 1u);
    EXPECT_NEAR(r.rates[0].first, 18278.19, 0.01); // 1 / 54.71 us
    EXPECT_EQ(r.rates[0].second, 590);
    EXPECT_EQ(r.firstDate, QStringLiteral("08/12/2026"));
    EXPECT_EQ(r.firstTime, QStringLiteral("14:05:02.000000"));
    EXPECT_EQ(r.triggerDate, r.firstDate);
    EXPECT_EQ(r.fileType, QStringLiteral("ASCII"));
    EXPECT_DOUBLE_EQ(r.timeMultiplier, 1.0);

    ASSERT_EQ(r.analog.size(), 2u);
    ASSERT_EQ(r.sampleNumbers.size(), 590u);
    double worstTime = 0;
    long misnumbered = 0;
    for (size_t n = 0; n < 590; ++n) {
        misnumbered += r.sampleNumbers[n] != long(n + 1);
        worstTime = std::max(worstTime, std::fabs(double(r.timestamps[n]) - double(n) * 54.71));
    }
    EXPECT_EQ(misnumbered, 0);
    EXPECT_LE(worstTime, 0.5); // whole microseconds
    ExpectChannel(r.analog[0], 1, "CH1", "V", written.channels[0].values);
    ExpectChannel(r.analog[1], 2, "CH2", "A", written.channels[1].values);
}

TEST_F(Comtrade, TransientRecordKeepsItsRawSamplesChannelAndUnit) {
    MeasurementSet set;
    AddTr(set, At(2010, 2, 3, 14, 7, 30), kTrChannel1, kTrUnitVolts, -125.0f);
    AddTr(set, At(2010, 2, 3, 14, 9, 45), kTrChannel2, kTrUnitAmps, 3.0f);
    AddTr(set, At(2010, 2, 3, 14, 11, 0), 0x00, 0x17, 7.0f); // unknown codes

    ComtradeRecord second = TransientComtrade(set, 1);
    second.lineFrequencyHz = 60;
    const comtrade::Record r = WriteAndRead(second);
    EXPECT_DOUBLE_EQ(r.lineFrequency, 60.0);
    ASSERT_EQ(r.rates.size(), 1u);
    EXPECT_NEAR(r.rates[0].first, 11441.65, 0.01); // 1 / 0.0874 ms
    EXPECT_EQ(r.rates[0].second, 251);
    EXPECT_EQ(r.firstTime, QStringLiteral("14:09:45.000000"));
    ASSERT_EQ(r.analog.size(), 1u);
    EXPECT_EQ(r.analog[0].id, QStringLiteral("CH2"));
    EXPECT_EQ(r.analog[0].unit, QStringLiteral("A"));
    EXPECT_DOUBLE_EQ(r.analog[0].a, 1.0);
    ASSERT_EQ(r.analog[0].values.size(), 251u);
    for (size_t i = 0; i < 251; ++i)
        EXPECT_DOUBLE_EQ(r.analog[0].values[i].value_or(-1e9), 3.0 + double(i));
    EXPECT_NEAR(double(r.timestamps[250]), 250 * 87.4, 0.5);

    // A record with an unknown unit code has the unit of the one before it.
    EXPECT_EQ(TransientComtrade(set, 2).channels.at(0).unit, QStringLiteral("A"));
    EXPECT_TRUE(TransientComtrade(set, 3).channels.empty());
    EXPECT_TRUE(TransientComtrade(set, -1).channels.empty());
}

// Names come from the user: a comma or a line end in them must not shift the
// fields; a value that is no number is written as missing, not as garbage.
TEST_F(Comtrade, CommasInNamesAndMissingValuesKeepTheFilesReadable) {
    ComtradeRecord w = Capture();
    w.stationName = QStringLiteral("North, feeder 2\r\nbay");
    w.channels[0].values[10] = std::numeric_limits<double>::quiet_NaN();
    w.channels[1].values[11] = std::numeric_limits<double>::infinity();
    const comtrade::Record r = WriteAndRead(w);
    EXPECT_EQ(r.device, QStringLiteral("Orvex DATA LOGGER"));
    ASSERT_EQ(r.analog.size(), 2u);
    EXPECT_FALSE(r.analog[0].values[10].has_value());
    EXPECT_FALSE(r.analog[1].values[11].has_value());
    EXPECT_TRUE(r.analog[0].values[11].has_value());
    EXPECT_LT(r.analog[0].max, 99999);
}

TEST_F(Comtrade, ARecordThatCannotBeWrittenLeavesNoFiles) {
    ComtradeRecord uneven = Capture();
    uneven.channels[1].values.pop_back();
    ComtradeRecord none = Capture();
    none.channels.clear();
    ComtradeRecord noPeriod = Capture();
    noPeriod.samplePeriodUs = 0;
    for (const ComtradeRecord* r : {&uneven, &none, &noPeriod}) {
        QString error;
        EXPECT_FALSE(WriteComtrade(dir.filePath(QStringLiteral("bad")), *r, &error));
        EXPECT_FALSE(error.isEmpty());
    }
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());

    QString error;
    EXPECT_FALSE(WriteComtrade(dir.filePath(QStringLiteral("missing/rec")), Capture(), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("rec.dat"))) << error.toStdString();
}

// The line frequency of a captured waveform's record: the voltage channel's as its
// analysis found it, else the other present channel's, else 50 Hz; the channels are
// the present ones with the units of their kinds.
TEST(CaptureComtrade, LineFrequencyIsTheVoltagesElseTheOtherChannelsElseFifty) {
    struct Case {
        std::array<uint8_t, 2> kind;
        FloatPair frequency;
        double expected;
        const char* units; // of the channels written, in order
    };
    const Case cases[] = {
        {{kChannelAmps, kChannelVolts}, {60.0f, 50.0f}, 50.0, "AV"},
        {{kChannelVolts, kChannelAmps}, {400.0f, 49.8f}, 49.8, "VA"},
        {{kChannelAmps, kChannelAbsent}, {59.9f, 50.0f}, 59.9, "A"},
        {{kChannelVolts, kChannelVolts}, {400.0f, 0.0f}, 50.0, "VV"},
        {{kChannelAbsent, kChannelAmps}, {50.0f, -1.0f}, 50.0, "A"},
    };
    std::array<FloatPair, 590> wave{};
    for (size_t i = 0; i < wave.size(); ++i)
        wave[i] = {float(i), -float(i)};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.units);
        CaptureFacts facts;
        facts.kind = c.kind;
        facts.frequency = c.frequency;
        facts.time = 1234;
        const ComtradeRecord r = CaptureComtrade(wave, facts);
        EXPECT_NEAR(r.lineFrequencyHz, c.expected, 1e-5);
        EXPECT_EQ(r.start, 1234);
        EXPECT_EQ(r.samplePeriodUs, 54.71);
        QString units;
        for (const ComtradeChannel& ch : r.channels) {
            units += ch.unit;
            ASSERT_EQ(ch.values.size(), 590u);
            EXPECT_EQ(ch.values[3], ch.id == QLatin1String("CH1") ? 3.0 : -3.0)
                << ch.id.toStdString();
        }
        EXPECT_EQ(units, QLatin1String(c.units));
    }
}

} // namespace
