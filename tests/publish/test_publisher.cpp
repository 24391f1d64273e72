// The publisher against a real mosquitto broker on a free localhost port.

#include "Broker.h"

#include "publish/HaDiscovery.h"
#include "publish/MqttPublisher.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

constexpr int kWaitMs = 20000;           // bound of every wait; a passing test waits far less
constexpr TimeValue kFirst = 1796735102; // 8 December 2026 14:05:02 in Berlin

LineSample Sample(int n) {
    LineSample s;
    s.time = kFirst + 2 * n;
    s.intervalS = 2;
    s.ch[0] = {true, QStringLiteral("V"), 229.0 + 0.1 * n, 50.0, std::nullopt};
    s.ch[1] = {true, QStringLiteral("A"), 10.0, 49.9, std::nullopt};
    s.sVa = 2290.0 + n;
    return s;
}

// The sample numbers of the messages on the sample topic, in arrival order, read
// from their times.
std::vector<int> SampleNumbers(const std::vector<broker::Message>& messages) {
    std::vector<int> out;
    for (const broker::Message& m : messages) {
        const QJsonObject o = QJsonDocument::fromJson(m.payload).object();
        const QDateTime t =
            QDateTime::fromString(o[QStringLiteral("time")].toString(), Qt::ISODate);
        EXPECT_TRUE(t.isValid()) << m.payload.constData();
        out.push_back(int((t.toSecsSinceEpoch() - kFirst) / 2));
        // Every message is the full sample, values as numbers.
        EXPECT_TRUE(o[QStringLiteral("ch1")].toObject()[QStringLiteral("rms")].isDouble());
        EXPECT_EQ(o[QStringLiteral("ch2")].toObject()[QStringLiteral("unit")].toString(),
                  QStringLiteral("A"));
    }
    return out;
}

// At QoS 1 a message may come twice; none may be missing or come before an earlier
// one that had not yet come.
void ExpectCompleteAndInOrder(const std::vector<int>& numbers, int count) {
    std::set<int> seen;
    int expected = 0;
    for (const int n : numbers) {
        if (seen.count(n))
            continue; // a repeat
        EXPECT_EQ(n, expected) << "sample " << n << " came before sample " << expected;
        seen.insert(n);
        expected = n + 1;
    }
    EXPECT_EQ(int(seen.size()), count);
}

// Discovery: one configuration per value, valid JSON with its unit and class.
// Returns the value names found.
std::set<QString> DiscoveredSensors(const std::vector<broker::Message>& messages) {
    const std::map<QString, std::pair<QString, QString>> classes{
        {QStringLiteral("ch1_rms"), {QStringLiteral("V"), QStringLiteral("voltage")}},
        {QStringLiteral("ch2_rms"), {QStringLiteral("A"), QStringLiteral("current")}},
        {QStringLiteral("ch1_hz"), {QStringLiteral("Hz"), QStringLiteral("frequency")}},
        {QStringLiteral("s_va"), {QStringLiteral("VA"), QStringLiteral("apparent_power")}},
        {QStringLiteral("p_w"), {QStringLiteral("W"), QStringLiteral("power")}},
        {QStringLiteral("pf"), {QString(), QStringLiteral("power_factor")}},
    };
    std::set<QString> found;
    for (const broker::Message& m : messages) {
        if (!m.topic.startsWith("homeassistant/sensor/"))
            continue;
        QJsonParseError e{};
        const QJsonObject o = QJsonDocument::fromJson(m.payload, &e).object();
        EXPECT_EQ(e.error, QJsonParseError::NoError) << m.payload.constData();
        const QString key = QString::fromUtf8(m.topic).section(QLatin1Char('/'), 3, 3);
        found.insert(key);
        EXPECT_EQ(o[QStringLiteral("state_topic")].toString(),
                  QStringLiteral("orvex/ttyUSB0/sample"));
        const auto it = classes.find(key);
        if (it == classes.end())
            continue;
        EXPECT_EQ(o[QStringLiteral("unit_of_measurement")].toString(), it->second.first)
            << key.toStdString();
        EXPECT_EQ(o[QStringLiteral("device_class")].toString(), it->second.second)
            << key.toStdString();
    }
    for (const auto& [key, unused] : classes)
        EXPECT_TRUE(found.count(key)) << key.toStdString();
    return found;
}

class Publisher : public ::testing::Test {
protected:
    void SetUp() override {
        CoreApp();
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
        ASSERT_FALSE(broker::Program().isEmpty()) << "mosquitto is not installed";
    }

    PublishOptions Options(int port) const {
        PublishOptions o;
        o.host = QStringLiteral("127.0.0.1");
        o.port = port;
        o.topicPrefix = QStringLiteral("orvex/ttyUSB0");
        o.clientId = QStringLiteral("orvex-test-publisher");
        o.queueFolder = queueDir.path();
        o.reconnectMinMs = 50;
        o.reconnectMaxMs = 400;
        return o;
    }

    // Records every status the publisher announces.
    void Watch(MqttPublisher& p) {
        QObject::connect(&p, &MqttPublisher::statusChanged,
                         [this](const PublishStatus& s) { statuses.push_back(s); });
    }
    bool WaitFor(MqttPublisher& p, PublishState state) {
        return PumpUntil([&] { return p.Status().state == state; }, kWaitMs);
    }

    QTemporaryDir brokerDir;
    QTemporaryDir queueDir;
    std::vector<PublishStatus> statuses;
};

TEST_F(Publisher, RunStateSamplesAndDiscoveryArriveInOrder) {
    broker::Broker b(brokerDir.path());
    ASSERT_TRUE(b.Start());
    broker::Subscriber sub(QStringLiteral("test-sub"),
                           {QStringLiteral("orvex/#"), QStringLiteral("homeassistant/#")});
    ASSERT_TRUE(sub.Connect(b.Port()));

    PublishOptions o = Options(b.Port());
    o.haDiscovery = true;
    MqttPublisher p(o);
    Watch(p);
    QString error;
    ASSERT_TRUE(p.Start(&error)) << error.toStdString();
    ASSERT_TRUE(WaitFor(p, PublishState::Connected));
    p.RunStarted({QStringLiteral("V"), QStringLiteral("A")});
    for (int n = 0; n < 5; ++n)
        p.PublishSample(Sample(n));
    p.RunEnded();
    ASSERT_TRUE(PumpUntil([&] { return sub.On("orvex/ttyUSB0/state").size() >= 2; }, kWaitMs));
    ASSERT_TRUE(PumpUntil([&] { return p.Status().waiting == 0; }, kWaitMs));

    // running, the five samples, stopped: in this order on the two topics.
    std::vector<QByteArray> order;
    for (const broker::Message& m : sub.Messages())
        if (m.topic.startsWith("orvex/"))
            order.push_back(m.topic == "orvex/ttyUSB0/state" ? m.payload : QByteArray("sample"));
    const std::vector<QByteArray> expected{"running", "sample", "sample", "sample",
                                           "sample",  "sample", "stopped"};
    EXPECT_EQ(order, expected);
    ExpectCompleteAndInOrder(SampleNumbers(sub.On("orvex/ttyUSB0/sample")), 5);

    const std::set<QString> found = DiscoveredSensors(sub.Messages());
    // Retained: a dashboard that subscribes later still finds the configurations and
    // the run's last state.
    broker::Subscriber late(QStringLiteral("test-late"), {QStringLiteral("orvex/ttyUSB0/state"),
                                                          QStringLiteral("homeassistant/#")});
    ASSERT_TRUE(late.Connect(b.Port()));
    ASSERT_TRUE(PumpUntil([&] { return late.Messages().size() >= found.size() + 1; }, kWaitMs));
    const auto state = late.On("orvex/ttyUSB0/state");
    ASSERT_EQ(state.size(), 1u);
    EXPECT_EQ(state[0].payload, QByteArray("stopped"));
    EXPECT_TRUE(state[0].retained);
    EXPECT_FALSE(statuses.empty());
}

// The broker goes away in the middle of a run of 20 samples and comes back: every
// sample arrives, in order, with its own time; meanwhile the status says the broker
// is unreachable and how many wait.
TEST_F(Publisher, BrokerKilledAndRestartedLosesNoSampleAndKeepsTheOrder) {
    broker::Broker b(brokerDir.path());
    ASSERT_TRUE(b.Start());
    broker::Subscriber sub(QStringLiteral("test-sub"), {QStringLiteral("orvex/ttyUSB0/sample")});
    ASSERT_TRUE(sub.Connect(b.Port()));

    MqttPublisher p(Options(b.Port()));
    Watch(p);
    ASSERT_TRUE(p.Start());
    ASSERT_TRUE(WaitFor(p, PublishState::Connected));
    p.RunStarted({QStringLiteral("V"), QStringLiteral("A")});
    for (int n = 0; n < 6; ++n)
        p.PublishSample(Sample(n));
    ASSERT_TRUE(PumpUntil([&] { return sub.Messages().size() >= 6; }, kWaitMs));
    // Three on their way, unacknowledged, when the broker dies.
    b.Freeze();
    for (int n = 6; n < 9; ++n)
        p.PublishSample(Sample(n));
    ASSERT_TRUE(PumpUntil([&] { return broker::UnreadBytesAt(b.Port()) > 0; }, kWaitMs));
    b.Kill();
    for (int n = 9; n < 15; ++n)
        p.PublishSample(Sample(n));
    ASSERT_TRUE(WaitFor(p, PublishState::Unreachable));
    EXPECT_GE(p.Status().waiting, 6);
    EXPECT_FALSE(p.Status().error.isEmpty());

    ASSERT_TRUE(b.Start());
    for (int n = 15; n < 20; ++n)
        p.PublishSample(Sample(n));
    p.RunEnded();
    ASSERT_TRUE(PumpUntil([&] { return p.Status().waiting == 0; }, kWaitMs));
    ASSERT_TRUE(PumpUntil(
        [&] {
            const auto n = SampleNumbers(sub.Messages());
            return std::set<int>(n.begin(), n.end()).size() >= 20;
        },
        kWaitMs));
    ExpectCompleteAndInOrder(SampleNumbers(sub.Messages()), 20);

    bool toldWaiting = false;
    for (const PublishStatus& s : statuses)
        toldWaiting = toldWaiting || (s.state == PublishState::Unreachable && s.waiting > 0);
    EXPECT_TRUE(toldWaiting);
    EXPECT_EQ(p.Status().state, PublishState::Connected);
    EXPECT_EQ(p.Status().dropped, 0u);
}

// A broker that restarts without its retained messages (or that put the last will
// "offline" on the state topic when the connection broke) left the state topic empty
// or "offline" for the rest of the run, while samples kept coming.
TEST_F(Publisher, RunStateIsToldAgainAfterTheBrokerLostIt) {
    broker::Broker b(brokerDir.path());
    ASSERT_TRUE(b.Start());
    MqttPublisher p(Options(b.Port()));
    ASSERT_TRUE(p.Start());
    ASSERT_TRUE(WaitFor(p, PublishState::Connected));
    p.RunStarted({QStringLiteral("V"), QStringLiteral("A")});
    p.PublishSample(Sample(0));
    ASSERT_TRUE(PumpUntil([&] { return p.Status().waiting == 0; }, kWaitMs));

    b.Stop();
    QFile::remove(QDir(brokerDir.path()).filePath(QStringLiteral("mosquitto.db")));
    ASSERT_TRUE(WaitFor(p, PublishState::Unreachable));
    ASSERT_TRUE(b.Start());
    ASSERT_TRUE(WaitFor(p, PublishState::Connected));
    p.PublishSample(Sample(1));
    ASSERT_TRUE(PumpUntil([&] { return p.Status().waiting == 0; }, kWaitMs));

    broker::Subscriber late(QStringLiteral("test-late"), {QStringLiteral("orvex/ttyUSB0/state")});
    ASSERT_TRUE(late.Connect(b.Port()));
    ASSERT_TRUE(PumpUntil([&] { return !late.Messages().empty(); }, kWaitMs));
    const auto state = late.On("orvex/ttyUSB0/state");
    ASSERT_EQ(state.size(), 1u);
    EXPECT_EQ(state[0].payload, QByteArray("running"));

    // The run's end is still the last word after the repeat.
    p.RunEnded();
    ASSERT_TRUE(PumpUntil([&] { return late.On("orvex/ttyUSB0/state").size() >= 2; }, kWaitMs));
    EXPECT_EQ(late.On("orvex/ttyUSB0/state").back().payload, QByteArray("stopped"));
}

// Samples taken while no broker was ever reachable wait on the disk; a later
// program (a restart of the app) sends them first, then its own.
TEST_F(Publisher, SamplesQueuedWithoutABrokerSurviveTheProgramAndGoOutFirst) {
    broker::Broker b(brokerDir.path());
    {
        MqttPublisher first(Options(b.Port())); // nobody listens there yet
        ASSERT_TRUE(first.Start());
        first.RunStarted({QStringLiteral("V"), QStringLiteral("A")});
        for (int n = 0; n < 4; ++n)
            first.PublishSample(Sample(n));
        ASSERT_TRUE(WaitFor(first, PublishState::Unreachable));
        EXPECT_EQ(first.Status().waiting, 5);
        first.Stop();
        EXPECT_EQ(first.Status().state, PublishState::Stopped);
        EXPECT_EQ(first.Status().waiting, 5);
    }
    ASSERT_TRUE(b.Start());
    broker::Subscriber sub(QStringLiteral("test-sub"), {QStringLiteral("orvex/ttyUSB0/sample")});
    ASSERT_TRUE(sub.Connect(b.Port()));

    MqttPublisher second(Options(b.Port()));
    ASSERT_TRUE(second.Start());
    EXPECT_EQ(second.Status().waiting, 5);
    for (int n = 4; n < 8; ++n)
        second.PublishSample(Sample(n));
    ASSERT_TRUE(PumpUntil([&] { return second.Status().waiting == 0; }, kWaitMs));
    ASSERT_TRUE(PumpUntil([&] { return sub.Messages().size() >= 8; }, kWaitMs));
    ExpectCompleteAndInOrder(SampleNumbers(sub.Messages()), 8);
}

TEST_F(Publisher, RefusedCredentialsAreReportedWithoutThePassword) {
    const QString passwords = brokerDir.filePath(QStringLiteral("passwords"));
    QProcess make;
    make.start(QStringLiteral("mosquitto_passwd"),
               {QStringLiteral("-b"), QStringLiteral("-c"), passwords, QStringLiteral("meter"),
                QStringLiteral("right-one")});
    ASSERT_TRUE(make.waitForFinished(10000) && make.exitCode() == 0);
    broker::Broker b(brokerDir.path(),
                     QStringLiteral("allow_anonymous false\npassword_file %1").arg(passwords));
    ASSERT_TRUE(b.Start());

    PublishOptions o = Options(b.Port());
    o.user = QStringLiteral("meter");
    o.password = QStringLiteral("Secret-Wrong-77");
    MqttPublisher wrong(o);
    Watch(wrong);
    ASSERT_TRUE(wrong.Start());
    wrong.PublishSample(Sample(0));
    ASSERT_TRUE(WaitFor(wrong, PublishState::Unreachable));
    EXPECT_TRUE(wrong.Status().error.contains(QStringLiteral("refused")))
        << wrong.Status().error.toStdString();
    for (const PublishStatus& s : statuses)
        EXPECT_FALSE(s.error.contains(QStringLiteral("Secret-Wrong-77")));
    EXPECT_EQ(wrong.Status().waiting, 1);
    wrong.Stop();

    o.password = QStringLiteral("right-one");
    MqttPublisher right(o);
    ASSERT_TRUE(right.Start());
    ASSERT_TRUE(PumpUntil(
        [&] {
            return right.Status().state == PublishState::Connected && right.Status().waiting == 0;
        },
        kWaitMs));
}

} // namespace

namespace {

// A certificate authority and a broker certificate for 127.0.0.1, made by openssl.
bool MakeCertificates(const QString& folder, const QString& ca, const QString& server) {
    const auto run = [&](const QStringList& args) {
        QProcess p;
        p.setWorkingDirectory(folder);
        p.start(QStringLiteral("openssl"), args);
        return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit &&
               p.exitCode() == 0;
    };
    QFile ext(QDir(folder).filePath(QStringLiteral("san.ext")));
    if (!ext.open(QIODevice::WriteOnly))
        return false;
    ext.write("subjectAltName=IP:127.0.0.1,DNS:localhost\n");
    ext.close();
    const QStringList key{QStringLiteral("-newkey"), QStringLiteral("ec"),
                          QStringLiteral("-pkeyopt"),
                          QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};
    return run(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + key +
               QStringList{QStringLiteral("-keyout"), ca + QStringLiteral(".key"),
                           QStringLiteral("-out"), ca + QStringLiteral(".crt"),
                           QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                           QStringLiteral("/CN=") + ca}) &&
           (server.isEmpty() ||
            (run(QStringList{QStringLiteral("req")} + key +
                 QStringList{QStringLiteral("-keyout"), server + QStringLiteral(".key"),
                             QStringLiteral("-out"), server + QStringLiteral(".csr"),
                             QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1")}) &&
             run({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"),
                  server + QStringLiteral(".csr"), QStringLiteral("-CA"),
                  ca + QStringLiteral(".crt"), QStringLiteral("-CAkey"),
                  ca + QStringLiteral(".key"), QStringLiteral("-CAcreateserial"),
                  QStringLiteral("-out"), server + QStringLiteral(".crt"), QStringLiteral("-days"),
                  QStringLiteral("2"), QStringLiteral("-extfile"), QStringLiteral("san.ext")})));
}

// mqtts:// with the CA file that signed the broker's certificate: the samples go out
// encrypted; with another authority's file the broker is not trusted and nothing is
// sent to it.
TEST_F(Publisher, TlsWithTheBrokersAuthorityConnectsAndAStrangerIsNotTrusted) {
    const QString folder = brokerDir.path();
    ASSERT_TRUE(MakeCertificates(folder, QStringLiteral("ca"), QStringLiteral("server")));
    ASSERT_TRUE(MakeCertificates(folder, QStringLiteral("stranger"), QString()));
    const int tlsPort = broker::FreePort();
    broker::Broker b(folder, QStringLiteral("listener %1 127.0.0.1\ncafile %2/ca.crt\n"
                                            "certfile %2/server.crt\nkeyfile %2/server.key\n")
                                 .arg(tlsPort)
                                 .arg(folder));
    ASSERT_TRUE(b.Start());
    ASSERT_TRUE(PumpUntil([&] { return broker::Accepts(tlsPort); }, kWaitMs));
    broker::Subscriber sub(QStringLiteral("test-sub"), {QStringLiteral("orvex/ttyUSB0/sample")});
    ASSERT_TRUE(sub.Connect(b.Port()));

    PublishOptions o = Options(tlsPort);
    o.tls = true;
    o.caFile = QDir(folder).filePath(QStringLiteral("stranger.crt"));
    {
        MqttPublisher untrusting(o);
        ASSERT_TRUE(untrusting.Start());
        untrusting.PublishSample(Sample(0));
        ASSERT_TRUE(WaitFor(untrusting, PublishState::Unreachable));
        EXPECT_EQ(untrusting.Status().waiting, 1);
    }
    EXPECT_TRUE(sub.Messages().empty());

    o.caFile = QDir(folder).filePath(QStringLiteral("ca.crt"));
    MqttPublisher p(o);
    ASSERT_TRUE(p.Start());
    // The sample the untrusting publisher left in the queue goes first.
    for (int n = 1; n < 4; ++n)
        p.PublishSample(Sample(n));
    ASSERT_TRUE(PumpUntil([&] { return sub.Messages().size() >= 4; }, kWaitMs));
    ExpectCompleteAndInOrder(SampleNumbers(sub.Messages()), 4);
    EXPECT_EQ(p.Status().state, PublishState::Connected);
    // The subscriber can hold a message before its sender has the broker's
    // acknowledgement: wait for those too, so that the count below is exact.
    ASSERT_TRUE(PumpUntil([&] { return p.Status().waiting == 0; }, kWaitMs));

    // The broker dies under an encrypted connection: writing to it must not end the
    // program (a broken pipe), only make the broker unreachable.
    b.Kill();
    for (int n = 4; n < 8; ++n)
        p.PublishSample(Sample(n));
    ASSERT_TRUE(WaitFor(p, PublishState::Unreachable));
    EXPECT_EQ(p.Status().waiting, 4);
}

} // namespace
