// The Publish page of the Settings dialog, the status bar's publisher field, and the
// window's runs published to a real mosquitto that is not there at first.

#include "Broker.h"
#include "support/RunSamples.h"
#include "support/TabOrder.h"
#include "support/TestApp.h"

#include "base/Settings.h"
#include "data/MeasurementSet.h"
#include "shell/WorkNotices.h"
#include "ui/CPublishIndicator.h"
#include "ui/CSettingsDlg.h"
#include "ui/RunPublisher.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

PublishSettings Stored() {
    PublishSettings s;
    s.enabled = true;
    s.options.host = QStringLiteral("broker.lan");
    s.options.port = 1884;
    s.options.user = QStringLiteral("meter");
    s.options.password = QStringLiteral("secret");
    s.options.topicPrefix = QStringLiteral("site/hall");
    s.options.qos = 2;
    s.options.clientId = QStringLiteral("hall-client");
    s.options.haDiscovery = true;
    return s;
}

TEST(PublishPage, ShowsTheStoredSettingsAndGivesBackTheEditedOnes) {
    App();
    CSettingsDlg dlg(Stored());
    EXPECT_EQ(dlg.Settings(), Stored()); // nothing edited, nothing changed
    EXPECT_EQ(dlg.PasswordEdit()->echoMode(), QLineEdit::Password);
    EXPECT_FALSE(dlg.CaFileEdit()->isEnabled()); // without TLS

    dlg.TlsBox()->setChecked(true); // a port of one's own stays
    EXPECT_EQ(dlg.PortBox()->value(), 1884);
    dlg.PortBox()->setValue(1883);
    dlg.TlsBox()->setChecked(false);
    dlg.TlsBox()->setChecked(true); // the usual port follows the box
    EXPECT_EQ(dlg.PortBox()->value(), 8883);
    EXPECT_TRUE(dlg.CaFileEdit()->isEnabled());
    dlg.CaFileEdit()->setText(QStringLiteral("/etc/ssl/site.pem"));
    dlg.QosBox()->setCurrentIndex(0);
    dlg.DiscoveryBox()->setChecked(false);

    PublishSettings expected = Stored();
    expected.options.tls = true;
    expected.options.port = 8883;
    expected.options.caFile = QStringLiteral("/etc/ssl/site.pem");
    expected.options.qos = 0;
    expected.options.haDiscovery = false;
    EXPECT_EQ(dlg.Settings(), expected);
    dlg.OkButton()->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
}

TEST(PublishPage, OkIsRefusedWithTheReasonWhileThePublisherCouldNotStart) {
    App();
    struct Case {
        const char* host;
        const char* topic;
        const char* says;
    };
    for (const Case c : {Case{"", "", "no broker"}, Case{"broker.lan", "site/#", "+ or #"},
                         Case{"mqtt://broker.lan", "", "host name only"}}) {
        SCOPED_TRACE(c.host);
        CSettingsDlg dlg(Stored());
        dlg.HostEdit()->setText(QString::fromLatin1(c.host));
        dlg.TopicEdit()->setText(QString::fromLatin1(c.topic));
        dlg.OkButton()->click();
        EXPECT_NE(dlg.result(), QDialog::Accepted);
        EXPECT_TRUE(dlg.ProblemLabel()->text().contains(QLatin1String(c.says)))
            << dlg.ProblemLabel()->text().toStdString();
        // Publishing switched off, nothing needs a broker.
        dlg.EnabledBox()->setChecked(false);
        EXPECT_FALSE(dlg.HostEdit()->isEnabled());
        dlg.OkButton()->click();
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
    }
}

// With publishing off every row of the broker reads as greyed, User and Password
// with the rest: the field and its label. Switched on, they come back.
TEST(PublishPage, PublishingOffGreysEveryBrokerRowUserAndPasswordIncluded) {
    App();
    PublishSettings off = Stored();
    off.enabled = false;
    off.options.tls = true;
    CSettingsDlg dlg(off);
    auto* form = qobject_cast<QFormLayout*>(
        dlg.findChild<QWidget*>(QStringLiteral("publishPage"))->layout());
    ASSERT_NE(form, nullptr);
    const std::vector<QWidget*> fields{dlg.HostEdit(),   dlg.PortBox(),  dlg.TlsBox(),
                                       dlg.CaFileEdit(), dlg.UserEdit(), dlg.PasswordEdit(),
                                       dlg.TopicEdit(),  dlg.QosBox(),   dlg.DiscoveryBox()};
    // The label of a field's row (the CA file shares its row with Browse).
    const auto labelOf = [form](QWidget* field) -> QWidget* {
        for (int row = 0; row < form->rowCount(); ++row) {
            QLayoutItem* item = form->itemAt(row, QFormLayout::FieldRole);
            if (item && (item->widget() == field ||
                         (item->layout() && item->layout()->indexOf(field) >= 0))) {
                QLayoutItem* label = form->itemAt(row, QFormLayout::LabelRole);
                return label ? label->widget() : nullptr;
            }
        }
        return nullptr;
    };
    for (bool on : {false, true}) {
        dlg.EnabledBox()->setChecked(on);
        for (QWidget* field : fields) {
            SCOPED_TRACE(field->metaObject()->className());
            EXPECT_EQ(field->isEnabled(), on);
            if (QWidget* label = labelOf(field)) {
                EXPECT_EQ(label->isEnabled(), on)
                    << qobject_cast<QLabel*>(label)->text().toStdString();
            }
        }
    }
    EXPECT_NE(labelOf(dlg.UserEdit()), nullptr);
}

// The dialog keeps the size its contents need: a window manager draws no resize
// handle (a thin bar under the bottom edge) for it, as for the other setup dialogs.
TEST(PublishPage, TheDialogCannotBeResized) {
    App();
    CSettingsDlg dlg(Stored());
    dlg.show();
    EXPECT_EQ(dlg.minimumSize(), dlg.maximumSize());
    // A problem shown later still fits: the dialog grows with it.
    dlg.HostEdit()->clear();
    dlg.OkButton()->click();
    ASSERT_FALSE(dlg.ProblemLabel()->text().isEmpty());
    QApplication::processEvents();
    EXPECT_GE(dlg.height(), dlg.sizeHint().height());
    EXPECT_EQ(dlg.minimumSize(), dlg.maximumSize());
}

TEST(PublishPage, TabGoesDownTheFormThenToOkAndEnterTakesIt) {
    App();
    PublishSettings tls = Stored();
    tls.options.tls = true;
    CSettingsDlg dlg(tls);
    QPushButton* browse = dlg.findChild<QPushButton*>(QStringLiteral("browse"));
    QPushButton* cancel = dlg.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel);
    ASSERT_NE(browse, nullptr);
    // The page's tab first, as it sits above the form.
    QWidget* page = dlg.findChild<QTabBar*>();
    const std::vector<QWidget*> form{page,
                                     dlg.EnabledBox(),
                                     dlg.HostEdit(),
                                     dlg.PortBox(),
                                     dlg.TlsBox(),
                                     dlg.CaFileEdit(),
                                     browse,
                                     dlg.UserEdit(),
                                     dlg.PasswordEdit(),
                                     dlg.TopicEdit(),
                                     dlg.QosBox(),
                                     dlg.DiscoveryBox(),
                                     dlg.OkButton(),
                                     cancel};
    const std::vector<QWidget*> stops = TabStops(&dlg, page);
    EXPECT_EQ(stops, form) << ::testing::PrintToString(Names(stops));

    QTest::keyClick(dlg.TopicEdit(), Qt::Key_Return);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
}

TEST(PublishPage, APasswordFromTheEnvironmentIsNotShownAndTheStoredOneStays) {
    App();
    CSettingsDlg dlg(Stored(), true);
    EXPECT_FALSE(dlg.PasswordEdit()->isEnabled());
    EXPECT_TRUE(dlg.PasswordEdit()->text().isEmpty());
    EXPECT_TRUE(dlg.PasswordEdit()->placeholderText().contains("DATALOGGER_MQTT_PASSWORD"));
    EXPECT_EQ(dlg.Settings().options.password, QStringLiteral("secret"));
}

TEST(PublishIndicator, SaysWhetherTheBrokerTakesTheSamplesAndHowManyWait) {
    App();
    CPublishIndicator field;
    struct Case {
        PublishStatus status;
        const char* text;
    };
    const Case cases[] = {
        {{PublishState::Stopped, 0, 0, {}, 0}, ""},
        {{PublishState::Connecting, 0, 0, {}, 0}, "MQTT: connecting..."},
        {{PublishState::Connected, 0, 0, {}, 0}, "MQTT: connected"},
        {{PublishState::Connected, 6, 0, {}, 4}, "MQTT: connected, 4 samples waiting"},
        // Only the run's state waits: no sample does.
        {{PublishState::Connected, 1, 0, {}, 0}, "MQTT: connected"},
        {{PublishState::Unreachable, 2, 0, "Connection refused", 1},
         "MQTT: broker unreachable, 1 sample waiting"},
        {{PublishState::Unreachable, 39, 0, "Connection refused", 37},
         "MQTT: broker unreachable, 37 samples waiting"},
    };
    for (const Case& c : cases) {
        field.ShowStatus(c.status);
        EXPECT_EQ(field.text(), QString::fromLatin1(c.text));
        EXPECT_EQ(field.isVisibleTo(nullptr), !QString::fromLatin1(c.text).isEmpty()) << c.text;
        EXPECT_EQ(field.toolTip(), c.status.error);
    }
}

// Two samples of a run in the set, as the real-time session leaves them.
void TwoSamples(MeasurementSet& set, TimeValue start = 1796735102) {
    RealTimeRun& run = set.Run();
    runs::BeginRun(run, 2, start, 2, QStringLiteral("V"), QStringLiteral("A"));
    runs::AddSample(run, {230.1f, 10.0f}, {50.0f, 50.0f});
    runs::AddSample(run, {230.2f, 10.5f}, {49.9f, 49.9f});
}

TEST(RunPublisher, SamplesTakenWhileTheBrokerIsAwayWaitAreShownAndGoOutInOrder) {
    App();
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    ASSERT_FALSE(broker::Program().isEmpty()) << "mosquitto is not installed";
    QTemporaryDir brokerDir, queueDir;
    broker::Broker b(brokerDir.path()); // its port chosen, not yet listening
    MeasurementSet set;
    TwoSamples(set);
    RunPublisher publisher(set);
    CPublishIndicator field;
    QObject::connect(&publisher, &RunPublisher::statusChanged, &field,
                     &CPublishIndicator::ShowStatus);
    PublishSettings s;
    s.enabled = true;
    s.options.host = QStringLiteral("127.0.0.1");
    s.options.port = b.Port();
    s.options.topicPrefix = QStringLiteral("orvex/window");
    s.options.reconnectMinMs = 50;
    s.options.reconnectMaxMs = 400;
    ASSERT_FALSE(publisher.Apply(s, queueDir.path()).has_value());

    publisher.OnRunProgress(1, 2);
    publisher.OnRunProgress(2, 2);
    publisher.OnWorkDone(WorkReport{WorkDone::RunEnded, 2, 2, {}, {}});
    // "running", two samples and "stopped" wait; the field counts the samples.
    ASSERT_TRUE(
        PumpUntil([&] { return field.text().contains("unreachable, 2 samples waiting"); }, 20000))
        << field.text().toStdString();
    EXPECT_EQ(publisher.Status().waiting, 4);

    ASSERT_TRUE(b.Start());
    broker::Subscriber sub(QStringLiteral("test-window-sub"), {QStringLiteral("orvex/window/#")});
    ASSERT_TRUE(PumpUntil([&] { return field.text() == "MQTT: connected"; }, 20000))
        << field.text().toStdString();
    // The retained state is there for a subscriber that comes afterwards; the samples
    // were delivered before it subscribed, so they are read back from a second run.
    ASSERT_TRUE(sub.Connect(b.Port()));
    ASSERT_TRUE(PumpUntil([&] { return !sub.On("orvex/window/state").empty(); }, 20000));
    EXPECT_EQ(sub.On("orvex/window/state").back().payload, "stopped");

    TwoSamples(set, 1796735112);
    publisher.OnRunProgress(1, 2);
    publisher.OnRunProgress(2, 2);
    ASSERT_TRUE(PumpUntil([&] { return sub.On("orvex/window/sample").size() >= 2; }, 20000));
    const std::vector<broker::Message> samples = sub.On("orvex/window/sample");
    const QJsonObject first = QJsonDocument::fromJson(samples[0].payload).object();
    const QJsonObject second = QJsonDocument::fromJson(samples[1].payload).object();
    EXPECT_EQ(first["time"].toString(), "2026-12-08T14:05:12+01:00");
    EXPECT_EQ(second["time"].toString(), "2026-12-08T14:05:14+01:00");
    EXPECT_DOUBLE_EQ(second["ch2"]["rms"].toDouble(), 10.5);
    EXPECT_EQ(second["s_va"].toInt(), 2417); // 230.2 x 10.5
}

TEST(RunPublisher, NothingIsPublishedWhilePublishingIsOff) {
    App();
    MeasurementSet set;
    TwoSamples(set);
    RunPublisher publisher(set);
    QTemporaryDir queueDir;
    PublishSettings s = Stored();
    s.enabled = false;
    EXPECT_FALSE(publisher.Apply(s, queueDir.path()).has_value());
    EXPECT_FALSE(publisher.Publishing());
    publisher.OnRunProgress(1, 2); // nowhere to go, and no queue written
    EXPECT_EQ(publisher.Status().state, PublishState::Stopped);
    EXPECT_TRUE(QDir(queueDir.path()).isEmpty());
}

} // namespace
