// The logger's side of the protocol as the simulator speaks it.

#include "link/LoggerProtocol.h"
#include "sim/LoggerModel.h"

#include <gtest/gtest.h>

namespace {

QByteArray Cmd8(uint8_t first, uint8_t fill) {
    QByteArray b(8, char(fill));
    b[0] = char(first);
    return b;
}

TEST(LoggerModel, AnswersProbeSetupAndClockAndSplitsCommandsAcrossReads) {
    LoggerModel m;
    EXPECT_EQ(m.Feed(QByteArray(1, char(0x78))), QByteArray(1, char(0xAF)));
    const QByteArray setup = QByteArray::fromHex("aa14202d01f40064");
    EXPECT_EQ(m.Feed(setup.left(3)), QByteArray());
    EXPECT_EQ(m.Feed(setup.mid(3)), QByteArray(1, char(0xEE)));
    EXPECT_EQ(m.LastSetup(), setup);
    const QByteArray clock = QByteArray::fromHex("ac091231235958ff");
    EXPECT_EQ(m.Feed(QByteArray(1, char(0x55)) + clock), QByteArray(1, char(0xEE)));
    EXPECT_EQ(m.LastClock(), clock);
    m.SetFaults(LoggerFaults{.notLogging = true});
    EXPECT_EQ(m.Feed(setup), QByteArray(1, char(0x1E)));
}

TEST(LoggerModel, RealTimeFramesStartStopAndChannelChange) {
    LoggerModel m;
    m.SetRealTimeKinds(2, kChannelVolts, kChannelAmps);
    m.SetFaults(LoggerFaults{.channelChangeAfter = 2});
    EXPECT_TRUE(m.Feed(QByteArray(8, char(0xC8))).isEmpty());
    ASSERT_TRUE(m.Streaming());
    const QByteArray f = m.NextFrame();
    ASSERT_EQ(f.size(), 2365);
    EXPECT_EQ(uint8_t(f[0]), 0x3F);
    EXPECT_EQ(uint8_t(f[1]), 0x3F);
    EXPECT_EQ(uint8_t(f[2]), 2);
    EXPECT_EQ(uint8_t(f[3]), kChannelVolts);
    EXPECT_EQ(uint8_t(f[4]), kChannelAmps);
    // A sine wave: the CH1 values change sign within the frame.
    int positive = 0;
    for (int i = 0; i < 590; ++i)
        positive += int16_t((uint8_t(f[5 + 4 * i]) << 8) | uint8_t(f[6 + 4 * i])) > 0;
    EXPECT_GT(positive, 250);
    EXPECT_LT(positive, 340);
    m.NextFrame();
    EXPECT_EQ(uint8_t(m.NextFrame()[4]), kChannelAbsent);
    m.Feed(Cmd8(0xC8, 0xC8).left(7) + QByteArray(1, char(0xC9)));
    EXPECT_FALSE(m.Streaming());
}

TEST(LoggerModel, BlocksComeFromTheRingAndTheLastOneIsShort) {
    LoggerModel m;
    SyntheticOptions o;
    o.samples = 300; // 1200 bytes
    o.startPos = 523776;
    const LoggerRecording r = SyntheticRecording(o);
    m.SetRecording(r);
    const QByteArray data = EncodeRecordingData(r);
    const QByteArray header = m.Feed(QByteArray(8, char(0x68)));
    ASSERT_EQ(header.size(), 28);
    EXPECT_EQ(m.Feed(QByteArray::fromHex("d807feffffffffff")), data.left(512));
    EXPECT_EQ(m.Feed(QByteArray::fromHex("d80000ffffffffff")), data.mid(512, 512));
    EXPECT_EQ(m.Feed(QByteArray::fromHex("d800020101010101")), data.mid(1024));
    m.SetFaults(LoggerFaults{.dropBlock = 1});
    m.Feed(QByteArray(8, char(0x68)));
    EXPECT_TRUE(m.Feed(QByteArray::fromHex("d807feffffffffff")).isEmpty());
    EXPECT_EQ(m.Feed(QByteArray::fromHex("d80000ffffffffff")).size(), 512);
}

TEST(LoggerModel, LineFaultsShapeTheNthBlockReply) {
    LoggerModel m;
    SyntheticOptions o;
    o.samples = 1000;
    const LoggerRecording r = SyntheticRecording(o);
    m.SetRecording(r);
    const QByteArray data = EncodeRecordingData(r);
    const QByteArray req1 = QByteArray::fromHex("d80000ffffffffff");
    const QByteArray req2 = QByteArray::fromHex("d80002ffffffffff");
    m.SetFaults(LoggerFaults{.shortBlock = 1, .doubleBlock = 2});
    m.Feed(QByteArray(8, char(0x68)));
    EXPECT_EQ(m.Feed(req1), data.left(256));
    EXPECT_EQ(m.Feed(req2), data.mid(512, 512) + data.mid(512, 512));
    m.SetFaults(LoggerFaults{.garbageBlock = 2});
    m.Feed(QByteArray(8, char(0x68)));
    EXPECT_EQ(m.Feed(req1), data.left(512));
    const QByteArray noisy = m.Feed(req2);
    EXPECT_GT(noisy.size(), 512);
    EXPECT_LE(noisy.size(), 520);
    EXPECT_TRUE(noisy.endsWith(data.mid(512, 512)));
    m.SetFaults(LoggerFaults{.dropBlock = 1, .dropCount = 2});
    m.Feed(QByteArray(8, char(0x68)));
    EXPECT_TRUE(m.Feed(req1).isEmpty());
    EXPECT_TRUE(m.Feed(req1).isEmpty());
    EXPECT_EQ(m.Feed(req1).size(), 512);
    m.SetFaults(LoggerFaults{.silentAfterHeader = true});
    EXPECT_EQ(m.Feed(QByteArray(8, char(0x68))).size(), 28);
    EXPECT_TRUE(m.Feed(req1).isEmpty());
}

} // namespace
