// The setup and set-clock commands as bytes, the clamps the dialogs and the command
// line share, and the logger model taking both commands.

#include "base/Prompts.h"
#include "base/Timers.h"
#include "link/ConfigCommands.h"
#include "link/ConfigJob.h"
#include "link/LoggerProtocol.h"
#include "sim/FakeSerialChannel.h"
#include "sim/LoggerModel.h"

#include <gtest/gtest.h>

namespace {
using namespace Config;

QByteArray Bytes(std::initializer_list<int> b) {
    QByteArray out;
    for (int v : b)
        out.append(char(v));
    return out;
}

TEST(SetupCommand, SwitchesUnitCountAndLevels) {
    SetupValues v;
    v.autoOff = kAutoOffOn;
    EXPECT_EQ(uint8_t(BuildSetupCommand(v)[1]), 0x14);
    v.recMode = kCircularOn;
    EXPECT_EQ(uint8_t(BuildSetupCommand(v)[1]), 0x1C);
    v.autoOff = 0;
    v.recMode = 0;
    EXPECT_EQ(uint8_t(BuildSetupCommand(v)[1]), 0x10);

    v.intervalCount = 45;
    v.unit = kMinute;
    v.riseLevel = 500;
    v.dropLevel = 100;
    EXPECT_EQ(BuildSetupCommand(v), Bytes({0xAA, 0x10, 0x20, 45, 0x01, 0xF4, 0x00, 0x64}));
    v.unit = kHour;
    v.intervalCount = ClampIntervalOnUnitChange(45, kHour);
    EXPECT_EQ(v.intervalCount, 24);
    EXPECT_EQ(BuildSetupCommand(v).mid(2, 2), Bytes({0x30, 24}));
    v.unit = kSecond;
    EXPECT_EQ(uint8_t(BuildSetupCommand(v)[2]), 0x10);
}

TEST(SetupCommand, LevelOutsideItsRangeIsSentAsTheNearestEnd) {
    // Only a hand-edited settings file holds such a level; its low bytes would be
    // an arbitrary level, a negative one 0xFF 0xFF.
    SetupValues v;
    v.riseLevel = -1;
    v.dropLevel = 70000;
    EXPECT_EQ(BuildSetupCommand(v).mid(4), Bytes({0x00, 0x00, 0x03, 0xE8}));
}

TEST(IntervalClamp, AsTypedAndOnAUnitChange) {
    EXPECT_EQ(ClampInterval(61, kSecond), 60);
    EXPECT_EQ(ClampInterval(60, kMinute), 60);
    EXPECT_EQ(ClampInterval(25, kHour), 24);
    EXPECT_EQ(ClampInterval(0, kSecond), 1);
    EXPECT_EQ(ClampInterval(-7, kHour), 1);
    EXPECT_EQ(ClampInterval(30, kMinute), 30);
    // A unit change cuts an hour count from above only.
    EXPECT_EQ(ClampIntervalOnUnitChange(0, kHour), 0);
    EXPECT_EQ(ClampIntervalOnUnitChange(59, kMinute), 59);
}

TEST(EditText, ReadAsTheLeadingInteger) {
    EXPECT_EQ(TextValue(""), 0);
    EXPECT_EQ(TextValue("-"), 0);
    EXPECT_EQ(TextValue("abc"), 0);
    EXPECT_EQ(TextValue("07"), 7);
    EXPECT_EQ(TextValue("12.5"), 12);
    EXPECT_EQ(TextValue("-3"), -3);
    EXPECT_EQ(TextValue("99999999999"), INT_MAX);
}

TEST(SetClockCommand, PackedBcdOfEveryField) {
    EXPECT_EQ(BuildSetClockCommand({2009, 12, 31, 23, 59, 58}),
              Bytes({0xAC, 0x09, 0x12, 0x31, 0x23, 0x59, 0x58, 0xFF}));
    EXPECT_EQ(BuildSetClockCommand({2026, 12, 8, 1, 2, 3}),
              Bytes({0xAC, 0x26, 0x12, 0x08, 0x01, 0x02, 0x03, 0xFF}));
    EXPECT_EQ(BuildSetClockCommand({2099, 1, 1, 0, 0, 0}).mid(1, 1), Bytes({0x99}));
    // Two digits carry nothing else: no byte beyond 0x99 or below 0x00 is made up.
    EXPECT_EQ(PackedBcd(-5), 0x00);
    EXPECT_EQ(PackedBcd(123), 0x99);
}

TEST(ClockClamp, FieldsFromAboveAndTheYearFromBothSides) {
    EXPECT_EQ(ClampClockField(ClockField::Month, 13), 12);
    EXPECT_EQ(ClampClockField(ClockField::Day, 32), 31);
    EXPECT_EQ(ClampClockField(ClockField::Hour, 24), 23);
    EXPECT_EQ(ClampClockField(ClockField::Minute, 60), 59);
    EXPECT_EQ(ClampClockField(ClockField::Second, 75), 59);
    EXPECT_EQ(ClampClockField(ClockField::Month, 0), 0); // no lower clamp, no calendar check
    // The present year must survive the clamp (it used to end in 2017).
    EXPECT_EQ(ClampClockField(ClockField::Year, 2026), 2026);
    EXPECT_EQ(ClampClockField(ClockField::Year, 2), 2000);
    EXPECT_EQ(ClampClockField(ClockField::Year, 2100), 2099);
}

TEST(ClockText, ParsedOrRefusedWithAReason) {
    QString error;
    const auto v = ParseClockText("2026-12-08 01:02:03", &error);
    ASSERT_TRUE(v);
    EXPECT_EQ(BuildSetClockCommand(*v), BuildSetClockCommand({2026, 12, 8, 1, 2, 3}));
    EXPECT_TRUE(ParseClockText("2028-02-29T23:59:59", &error));
    EXPECT_FALSE(ParseClockText("2026-02-29 00:00:00", &error));
    EXPECT_TRUE(error.contains("not a date")) << error.toStdString();
    EXPECT_FALSE(ParseClockText("2026-04-31 00:00:00", &error));
    EXPECT_FALSE(ParseClockText("2100-01-01 00:00:00", &error));
    EXPECT_TRUE(error.contains("2000 to 2099")) << error.toStdString();
    EXPECT_FALSE(ParseClockText("1999-12-31 23:59:59", &error));
    EXPECT_FALSE(ParseClockText("2026-12-08 24:00:00", &error));
    EXPECT_FALSE(ParseClockText("08/12/26 01:02:03", &error));
    EXPECT_FALSE(ParseClockText("", &error));
}

TEST(LoggerModelConfig, SetupAndClockChangeWhatIsServedNext) {
    LoggerModel m;
    SyntheticOptions o;
    o.samples = 10;
    m.SetRecording(SyntheticRecording(o));
    std::vector<QByteArray> seen;
    m.ObserveConfigCommands([&](const QByteArray& c) { seen.push_back(c); });

    const QByteArray setup = Bytes({0xAA, 0x14, 0x20, 45, 0x01, 0xF4, 0x00, 0x64});
    EXPECT_EQ(m.Feed(setup), Bytes({0xEE}));
    EXPECT_EQ(m.Feed(Bytes({0xAC, 0x26, 0x12, 0x08, 0x01, 0x02, 0x03, 0xFF})), Bytes({0xEE}));
    // A clock no logger could run keeps the one set before.
    EXPECT_EQ(m.Feed(Bytes({0xAC, 0x26, 0x13, 0x08, 0x01, 0x02, 0x03, 0xFF})), Bytes({0xEE}));
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], setup);

    const QByteArray header = m.Feed(QByteArray(8, char(Logger::kStartDownload)));
    ASSERT_EQ(header.size(), Logger::kHeaderBytes);
    const DownloadHeader h = ParseHeader(reinterpret_cast<const uint8_t*>(header.constData()));
    EXPECT_EQ(h.intervalUnit, Logger::kUnitMinutes);
    EXPECT_EQ(h.intervalCount, 45);
    EXPECT_EQ(h.riseLevel, 500);
    EXPECT_EQ(h.dropLevel, 100);
    EXPECT_EQ(h.start, (CalendarFields{2026, 12, 8, 1, 2, 3}));
}

TEST(LoggerModelConfig, AcknowledgementFaults) {
    LoggerModel m;
    m.SetFaults(LoggerFaults{.notLogging = true});
    EXPECT_EQ(m.Feed(BuildSetClockCommand({2026, 1, 1, 0, 0, 0})), Bytes({0x1E}));
    m.SetFaults(LoggerFaults{.noAck = true});
    EXPECT_TRUE(m.Feed(BuildSetupCommand({})).isEmpty());
    EXPECT_EQ(m.LastSetup(), BuildSetupCommand({}));
}

// The windowless exchange of orvex-dl setup and set-clock, in virtual time.
struct ConfigJobRun : ::testing::Test {
    ConfigJobRun() {
        timers.SetHandler([this](int id) { link.OnTimer(id); });
        fake.SetOpenable(1);
        fake.SetResponder([this](int, const QByteArray& w) {
            return clock.NowMs() >= answerFromMs ? logger.Feed(w) : QByteArray();
        });
    }
    ConfigResult Run(const QByteArray& command, int searchMs = 10000) {
        ConfigJob job(
            link, tap, [this] { clock.Advance(10); }, [this] { return clock.NowMs(); });
        return job.Run(LinkDialog::Setup, command, searchMs, 2000);
    }
    ManualClock clock;
    ManualTimerTable timers{clock};
    FakeSerialChannel fake{&clock};
    ReplyTapChannel tap{fake};
    FakePrompts prompts;
    MeasurementSet set;
    LinkController link{tap, timers, prompts, set};
    LoggerModel logger;
    int64_t answerFromMs = 0; // the logger is switched on then
};

TEST_F(ConfigJobRun, AcknowledgementsAndTheirAbsence) {
    const QByteArray setup = BuildSetupCommand({});
    EXPECT_EQ(Run(setup), ConfigResult::Acknowledged);
    EXPECT_EQ(logger.LastSetup(), setup);
    EXPECT_FALSE(fake.IsOpen());
    EXPECT_TRUE(prompts.shown.empty());

    logger.SetFaults(LoggerFaults{.notLogging = true});
    EXPECT_EQ(Run(setup), ConfigResult::NotLogging);
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].icon, PromptIcon::Information);

    logger.SetFaults(LoggerFaults{.noAck = true});
    const int64_t before = clock.NowMs();
    EXPECT_EQ(Run(setup), ConfigResult::NoAck);
    EXPECT_LT(clock.NowMs() - before, 2000 + 3100); // the port check, then 2 s
    EXPECT_FALSE(fake.IsOpen());                    // not left locked
    EXPECT_EQ(fake.WritesStartingWith(Logger::kSetup).size(), 3u);
}

TEST_F(ConfigJobRun, SearchGoesOnAfterAFailedProbeCycle) {
    answerFromMs = 2500; // after the first cycle has failed ("Not Connected")
    EXPECT_EQ(Run(BuildSetClockCommand({2026, 12, 8, 1, 2, 3})), ConfigResult::Acknowledged);
    EXPECT_GE(fake.WritesStartingWith(Logger::kProbe).size(), 4u);
    EXPECT_EQ(logger.LastClock(), BuildSetClockCommand({2026, 12, 8, 1, 2, 3}));
}

TEST_F(ConfigJobRun, NoLoggerWithinTheSearchLimit) {
    answerFromMs = 1'000'000;
    EXPECT_EQ(Run(BuildSetupCommand({}), 4000), ConfigResult::NoLogger);
    EXPECT_GE(clock.NowMs(), 4000);
    EXPECT_LT(clock.NowMs(), 4100);
    EXPECT_TRUE(fake.WritesStartingWith(Logger::kSetup).empty());
    EXPECT_FALSE(link.IsAnyLinkDialogOpen());
    EXPECT_FALSE(fake.IsOpen());
}

} // namespace
