// Header and recording decode: known answers, and the faults of the naive decoding
// that must not come back.

#include "link/LoggerProtocol.h"
#include "link/Recording.h"
#include "sim/LoggerImage.h"
#include "support/StoredSetBuilder.h"

#include "base/LocalTime.h"

#include <gtest/gtest.h>

namespace {

const uint8_t* U(const QByteArray& b) {
    return reinterpret_cast<const uint8_t*>(b.constData());
}

QByteArray Be16(int16_t v) {
    QByteArray b;
    b.append(char((uint16_t(v) >> 8) & 0xFF));
    b.append(char(uint16_t(v) & 0xFF));
    return b;
}

DownloadHeader TwoChannelHeader(uint32_t length) {
    DownloadHeader h;
    h.channelCount = 2;
    h.ch1Kind = kChannelVolts;
    h.ch2Kind = kChannelAmps;
    h.dataLength = length;
    h.intervalUnit = Logger::kUnitMinutes;
    h.intervalCount = 2;
    h.riseLevel = 500;
    h.dropLevel = -100;
    h.start = {2010, 2, 3, 14, 5, 0};
    return h;
}

TEST(Header, FieldsRoundTripAndKnownBytes) {
    DownloadHeader h = TwoChannelHeader(0x012345);
    h.startPos = 0x0ABCDE;
    h.countA = 0x000102;
    h.countC = 0xFFFFFF;
    const QByteArray b = EncodeHeader(h);
    ASSERT_EQ(b.size(), 28);
    EXPECT_EQ(b.toHex(), QByteArray("dd020100012345"
                                    "0abcde"
                                    "2002"
                                    "01f4ff9c"
                                    "100203140500"
                                    "000102ffffff"));
    EXPECT_EQ(ParseHeader(U(b)), h);
    EXPECT_EQ(HeaderIntervalSeconds(h, 7), 120.f);
    h.intervalUnit = 0x99;
    EXPECT_EQ(HeaderIntervalSeconds(h, 7), 7.f);
}

TEST(Header, Verdicts) {
    DownloadHeader h = TwoChannelHeader(300);
    EXPECT_EQ(CheckHeader(h), HeaderVerdict::Ok);
    h.dataLength = 0;
    EXPECT_EQ(CheckHeader(h), HeaderVerdict::NoData);
    h.channelCount = 0;
    EXPECT_EQ(CheckHeader(h), HeaderVerdict::NoChannels);
    h = TwoChannelHeader(300);
    h.channelCount = 3;
    EXPECT_EQ(CheckHeader(h), HeaderVerdict::Damaged);
    h = TwoChannelHeader(524288);
    EXPECT_EQ(CheckHeader(h), HeaderVerdict::Ok);
    h.dataLength = 524289;
    EXPECT_EQ(CheckHeader(h), HeaderVerdict::Damaged);
}

TEST(Decode, SyntheticRecordingWithTransientsSampleForSample) {
    SyntheticOptions o;
    o.samples = 1000;
    o.trEvery = 300;
    const LoggerRecording r = SyntheticRecording(o);
    const QByteArray data = EncodeRecordingData(r);
    ASSERT_EQ(data.size(), 1000 * 4 + 3 * 512);
    const StoredSet s = DecodeRecording(RecordingHeader(r, uint32_t(data.size())), U(data),
                                        size_t(data.size()), StoredSet{});
    ASSERT_TRUE(s.IsConsistent());
    ASSERT_EQ(s.RmsCount(), 1000);
    ASSERT_EQ(s.TrCount(), 3);
    EXPECT_EQ(s.TrWave().size(), 3u * 251);
    for (size_t i = 0; i < 1000; ++i) {
        ASSERT_EQ(s.ChannelRms(0)[i], ScaledRms(r.samples[i][0])) << i;
        ASSERT_EQ(s.ChannelRms(1)[i], ScaledRms(r.samples[i][1])) << i;
    }
    for (size_t k = 0; k < 3; ++k) {
        EXPECT_EQ(s.TrTimes()[k], FromLocalFields(r.tr[k].time));
        EXPECT_EQ(s.TrUnitCodes()[k], r.tr[k].quantity);
        EXPECT_EQ(s.TrChannelCodes()[k], r.tr[k].channel);
        for (size_t j = 0; j < 251; ++j)
            ASSERT_EQ(s.TrWave()[k * 251 + j], float(r.tr[k].wave[j]));
    }
    EXPECT_EQ(s.ChannelUnit(0), "V");
    EXPECT_EQ(s.ChannelUnit(1), "A");
    EXPECT_EQ(s.StartTime(), FromLocalFields(r.start));
    EXPECT_FALSE(s.ExtremeText(0, 0).isEmpty());
}

TEST(Decode, OneChannelRecordingGoesToThePresentChannel) {
    DownloadHeader h = TwoChannelHeader(6);
    h.channelCount = 1;
    h.ch1Kind = kChannelAbsent;
    h.ch2Kind = kChannelAmps;
    const QByteArray data = Be16(105) + Be16(-3) + Be16(0);
    const StoredSet s = DecodeRecording(h, U(data), 6, StoredSet{});
    EXPECT_EQ(s.RmsCount(), 3);
    EXPECT_TRUE(s.ChannelRms(0).empty());
    EXPECT_EQ(s.ChannelRms(1), (std::vector<float>{10.5f, float(-3 * 0.1), 0.f}));
    EXPECT_TRUE(s.IsConsistent());
}

TEST(Decode, TwoChannelHeaderWithOneChannelOffSkipsItsValues) {
    DownloadHeader h = TwoChannelHeader(8);
    h.ch2Kind = kChannelAbsent;
    const QByteArray data = Be16(2301) + Be16(77) + Be16(2302) + Be16(78);
    const StoredSet s = DecodeRecording(h, U(data), 8, StoredSet{});
    EXPECT_EQ(s.RmsCount(), 2);
    EXPECT_EQ(s.ChannelRms(0), (std::vector<float>{230.1f, 230.2f}));
    EXPECT_TRUE(s.ChannelRms(1).empty());
    EXPECT_EQ(s.ChannelPresent(1), 0);
    EXPECT_TRUE(s.IsConsistent());
}

TEST(Decode, TrailingPartialSampleIsDropped) {
    // L = 302 with two channels: 75 whole samples and 2 stray bytes.
    QByteArray data;
    for (int i = 0; i < 75; ++i)
        data += Be16(int16_t(2000 + i)) + Be16(int16_t(i));
    data += Be16(1234);
    ASSERT_EQ(data.size(), 302);
    const StoredSet s = DecodeRecording(TwoChannelHeader(302), U(data), 302, StoredSet{});
    EXPECT_EQ(s.RmsCount(), 75);
    EXPECT_EQ(s.ChannelRms(0).size(), 75u);
    EXPECT_EQ(s.ChannelRms(0).back(), float(double(2074) * 0.1));
    EXPECT_TRUE(s.IsConsistent());
}

TEST(Decode, MarkerTooCloseToTheEndIsNotATransientRecord) {
    // 0x7F 0xFF in the last sample: its 512-byte record would run past the end.
    QByteArray data;
    for (int i = 0; i < 10; ++i)
        data += Be16(2300) + Be16(100);
    data += QByteArray::fromHex("7fff0010");
    const StoredSet s = DecodeRecording(TwoChannelHeader(uint32_t(data.size())), U(data),
                                        size_t(data.size()), StoredSet{});
    EXPECT_EQ(s.TrCount(), 0);
    EXPECT_EQ(s.RmsCount(), 11);
    EXPECT_EQ(s.ChannelRms(0).back(), float(double(32767) * 0.1));

    // The marker in the very last two bytes of a one-channel recording, and alone.
    const QByteArray tail = Be16(100) + QByteArray::fromHex("7fff");
    DownloadHeader h1 = TwoChannelHeader(4);
    h1.channelCount = 1;
    h1.ch2Kind = kChannelAbsent;
    const StoredSet s1 = DecodeRecording(h1, U(tail), 4, StoredSet{});
    EXPECT_EQ(s1.TrCount(), 0);
    EXPECT_EQ(s1.RmsCount(), 2);
    const StoredSet s2 = DecodeRecording(h1, U(tail) + 3, 1, StoredSet{});
    EXPECT_EQ(s2.RmsCount(), 0);
    EXPECT_TRUE(s2.IsConsistent());
}

TEST(Decode, SampleThatLooksLikeAMarkerIsTakenAsATransientRecord) {
    // The logger's format cannot tell them apart when a whole record follows.
    QByteArray data = Be16(32767) + Be16(5);
    data += QByteArray(508, '\0');
    data += Be16(2300) + Be16(100);
    const StoredSet s = DecodeRecording(TwoChannelHeader(uint32_t(data.size())), U(data),
                                        size_t(data.size()), StoredSet{});
    EXPECT_EQ(s.TrCount(), 1);
    EXPECT_EQ(s.RmsCount(), 1);
}

TEST(Decode, UnknownKindAndUnitKeepThePreviousSettings) {
    StoredSet previous;
    previous.SetChannelPresent(0, true);
    previous.SetChannelUnit(0, "A");
    previous.SetRmsInterval(30);
    DownloadHeader h = TwoChannelHeader(4);
    h.ch1Kind = 0x42;
    h.intervalUnit = 0x00;
    const QByteArray data = Be16(10) + Be16(20);
    const StoredSet s = DecodeRecording(h, U(data), 4, previous);
    EXPECT_EQ(s.ChannelUnit(0), "A");
    EXPECT_EQ(s.RmsInterval(), 30.f);
    EXPECT_EQ(s.ChannelRms(0), std::vector<float>{1.0f});
}

TEST(Decode, WrappedStartShiftAndSampleTimesInDoublePrecision) {
    // 262,144 one-channel samples at one hour: the shift and the last sample's time
    // must be exact to the second.
    DownloadHeader h = TwoChannelHeader(524288);
    h.channelCount = 1;
    h.ch2Kind = kChannelAbsent;
    h.intervalUnit = Logger::kUnitHours;
    h.intervalCount = 1;
    h.startPos = 1000;
    h.countA = 262144 + 5; // five samples lost to the wrap
    const QByteArray data(524288, char(0x08));
    const StoredSet s = DecodeRecording(h, U(data), size_t(data.size()), StoredSet{});
    ASSERT_EQ(s.RmsCount(), 262144);
    const TimeValue t0 = FromLocalFields(h.start);
    EXPECT_EQ(s.StartTime(), t0 + 5 * 3600);
    EXPECT_EQ(s.RmsSampleTime(262143), t0 + 5 * 3600 + TimeValue(262143) * 3600);
}

TEST(Decode, ExtremeTextsOfTheDownload) {
    DownloadHeader h = TwoChannelHeader(12);
    h.channelCount = 1;
    h.ch2Kind = kChannelAbsent;
    h.intervalUnit = Logger::kUnitSeconds;
    h.intervalCount = 60;
    const QByteArray data = Be16(2314) + Be16(2280) + Be16(2314);
    const StoredSet s = DecodeRecording(h, U(data), 12 / 2, StoredSet{});
    EXPECT_EQ(s.ExtremeText(0, 0), "231.4 V @03/02/10 14:07:00");
    EXPECT_EQ(s.ExtremeText(1, 0), "228.0V @03/02/10 14:06:00");
}

} // namespace
