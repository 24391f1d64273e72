// The setup and clock dialogs on the link in virtual time: the fake channel with the
// logger model behind it, the manual clock, scripted prompts, and key clicks.

#include "app/CMainFrame.h"
#include "base/Clock.h"
#include "base/IniFile.h"
#include "base/LocalTime.h"
#include "base/Prompts.h"
#include "base/Timers.h"
#include "link/LoggerProtocol.h"
#include "shell/AppShell.h"
#include "shell/ConfigSession.h"
#include "shell/LinkSession.h"
#include "sim/FakeSerialChannel.h"
#include "sim/LoggerModel.h"
#include "support/ShellFixture.h"
#include "support/TabOrder.h"
#include "ui/CCorrectTimeDlg.h"
#include "ui/CNumericEdit.h"
#include "ui/CSetupDlg.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest/QTest>

#include <gtest/gtest.h>

namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "test_config_dialogs";
    static char* argv[] = {name, nullptr};
    static auto* app = new QApplication(argc, argv);
    return *app;
}

QByteArray Bytes(std::initializer_list<int> b) {
    QByteArray out;
    for (int v : b)
        out.append(char(v));
    return out;
}

struct ConfigDialogs : ::testing::Test {
    ConfigDialogs() {
        App();
        channel.SetOpenable(1);
        channel.SetResponder([this](int, const QByteArray& w) { return logger.Feed(w); });
    }
    // The command up to its dialog, as the main window runs it.
    std::unique_ptr<CSetupDlg> OpenSetup() {
        EXPECT_TRUE(config.BeginSetupCommand());
        auto dlg = std::make_unique<CSetupDlg>(config);
        dlg->show();
        return dlg;
    }
    std::unique_ptr<CCorrectTimeDlg> OpenClock() {
        EXPECT_TRUE(config.BeginCorrectTimeCommand());
        auto dlg = std::make_unique<CCorrectTimeDlg>(config);
        dlg->show();
        return dlg;
    }
    bool ConnectedWithin(QDialog& dlg, int ms) {
        return clock.AdvanceUntil([&] { return dlg.windowTitle() == "Connected"; }, ms);
    }
    std::vector<QByteArray> Sent(uint8_t first) const { return channel.WritesStartingWith(first); }
    static void Retype(QLineEdit* e, const QString& text) {
        e->selectAll();
        QTest::keyClicks(e, text);
    }

    QTemporaryDir dir;
    ManualClock clock;
    ManualTimerTable timers{clock};
    FakePrompts prompts;
    FixedClock now{FromLocalFields({2026, 12, 8, 1, 2, 3})};
    AppShell shell{timers, prompts, now, dir.filePath("LumoDATALOGGER.ini")};
    FakeSerialChannel channel{&clock};
    LinkSession link{shell, channel};
    ConfigSession config{shell, link.Link()};
    LoggerModel logger;
};

TEST_F(ConfigDialogs, SetupOpensFromTheSettingsAndSendsWhatItShows) {
    shell.Settings().m_sampRate = "45";
    shell.Settings().m_sampUnit = 1;
    shell.Settings().m_autoOff = 2;
    shell.Settings().m_recMode = 0;
    auto dlg = OpenSetup();
    EXPECT_EQ(dlg->windowTitle(), "Connecting...");
    EXPECT_EQ(dlg->IntervalEdit()->text(), "45");
    EXPECT_EQ(dlg->UnitList()->currentText(), "Minute");
    EXPECT_TRUE(dlg->AutoOffOn()->isChecked());
    EXPECT_TRUE(dlg->CircularOff()->isChecked());
    EXPECT_FALSE(dlg->RiseEdit()->isVisible());
    EXPECT_FALSE(dlg->RiseEdit()->isEnabled());
    EXPECT_TRUE(dlg->MessageLabel()->text().isEmpty());

    ASSERT_TRUE(ConnectedWithin(*dlg, 2000));
    QTest::mouseClick(dlg->CircularOn(), Qt::LeftButton);
    QTest::mouseClick(dlg->SetupButton(), Qt::LeftButton);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    ASSERT_EQ(Sent(Logger::kSetup).size(), 1u);
    EXPECT_EQ(Sent(Logger::kSetup)[0], Bytes({0xAA, 0x1C, 0x20, 45, 0x01, 0xF4, 0x00, 0x64}));
    EXPECT_EQ(channel.Threshold(), 1);
    EXPECT_EQ(shell.Settings().m_recMode, 3);
    EXPECT_EQ(shell.PromptOnDownload(), 1);
    EXPECT_EQ(shell.PromptOnOpen(), 1);
    EXPECT_FALSE(config.Link().IsAnyLinkDialogOpen());
    for (int id : {FrameTimer::PortScan, FrameTimer::Probe, FrameTimer::Supervision})
        EXPECT_FALSE(timers.IsActive(id)) << id;
    // The acknowledgement closes the port; 0xEE says nothing.
    clock.Advance(20);
    EXPECT_FALSE(channel.IsOpen());
    EXPECT_TRUE(prompts.shown.empty());
}

// Tab follows what the eye reads, top to bottom and left to right, with the
// action button and Cancel last; Enter presses the action button.
TEST_F(ConfigDialogs, TabWentThroughTheSetupFieldsOutOfReadingOrder) {
    auto dlg = OpenSetup();
    ASSERT_TRUE(ConnectedWithin(*dlg, 2000));
    EXPECT_EQ(Names(TabStops(dlg.get(), dlg->IntervalEdit())),
              (std::vector<std::string>{"interval", "unit", "autoOffOn", "autoOffOff", "circularOn",
                                        "circularOff", "default", "setup", "cancel"}));

    QTest::keyClick(dlg->IntervalEdit(), Qt::Key_Return);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(Sent(Logger::kSetup).size(), 1u);
}

TEST_F(ConfigDialogs, TabGoesThroughTheClockFieldsInReadingOrder) {
    auto dlg = OpenClock();
    EXPECT_EQ(Names(TabStops(dlg.get(), dlg->Edit(0))),
              (std::vector<std::string>{"year", "month", "day", "hour", "minute", "second", "ok",
                                        "cancel"}));
}

TEST_F(ConfigDialogs, IntervalIsClampedAsTypedAndOnAUnitChange) {
    auto dlg = OpenSetup();
    CNumericEdit* count = dlg->IntervalEdit();
    Retype(count, "75");
    EXPECT_EQ(count->text(), "60");
    Retype(count, "0");
    EXPECT_EQ(count->text(), "1");
    Retype(count, "45");
    EXPECT_EQ(count->text(), "45");
    dlg->UnitList()->setCurrentIndex(2); // Hour
    EXPECT_EQ(count->text(), "24");
    Retype(count, "30");
    EXPECT_EQ(count->text(), "24");
    dlg->UnitList()->setCurrentIndex(0);
    dlg->IntervalSpin()->Step(+1);
    EXPECT_EQ(count->text(), "25");
}

TEST_F(ConfigDialogs, LettersTypedIntoAnyEditHaveNoEffect) {
    auto setup = OpenSetup();
    for (CNumericEdit* e : {setup->IntervalEdit(), setup->RiseEdit(), setup->DropEdit()}) {
        const QString before = e->text();
        e->setEnabled(true); // the hidden levels take no keys at all; try them anyway
        QTest::keyClicks(e, "x/ ");
        EXPECT_EQ(e->text(), before) << e->objectName().toStdString();
    }
    setup->reject();
    auto clockDlg = OpenClock();
    for (int i = 0; i < 6; ++i) {
        const QString before = clockDlg->Edit(i)->text();
        QTest::keyClicks(clockDlg->Edit(i), "aZ:");
        EXPECT_EQ(clockDlg->Edit(i)->text(), before) << i;
    }
}

TEST_F(ConfigDialogs, DefaultRestoresTheDefaultsWithoutSending) {
    shell.Settings().m_sampRate = "5";
    shell.Settings().m_sampUnit = 2;
    shell.Settings().m_autoOff = 2;
    shell.Settings().m_recMode = 3;
    shell.Settings().m_tempHi = "800";
    shell.Settings().m_limit1Unit = 0;
    auto dlg = OpenSetup();
    QTest::mouseClick(dlg->DefaultButton(), Qt::LeftButton);
    EXPECT_EQ(dlg->Form(), ConfigSession::DefaultSetup());
    EXPECT_EQ(dlg->IntervalEdit()->text(), "10");
    EXPECT_EQ(dlg->UnitList()->currentText(), "Second");
    EXPECT_TRUE(dlg->AutoOffOff()->isChecked());
    EXPECT_TRUE(dlg->CircularOff()->isChecked());
    EXPECT_EQ(dlg->RiseEdit()->text(), "500");
    EXPECT_EQ(dlg->DropEdit()->text(), "100");
    EXPECT_EQ(dlg->Form().riseKind, 1);
    EXPECT_TRUE(Sent(Logger::kSetup).empty());
    EXPECT_EQ(shell.Settings().m_tempHi, "800"); // kept until "Setup"
}

TEST_F(ConfigDialogs, SetupActsOnlyWhenConnected) {
    channel.SetResponder([](int, const QByteArray&) { return QByteArray(); }); // no logger
    auto dlg = OpenSetup();
    QTest::mouseClick(dlg->SetupButton(), Qt::LeftButton);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(dlg->MessageLabel()->text(),
              "Waiting for the logger: no reply on the serial ports yet.");

    ASSERT_TRUE(clock.AdvanceUntil([&] { return dlg->windowTitle() == "Not Connected"; }, 3000));
    QTest::mouseClick(dlg->SetupButton(), Qt::LeftButton);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(dlg->MessageLabel()->text(),
              "Connecting failed. Ensure logger inserted and try again.");
    EXPECT_TRUE(Sent(Logger::kSetup).empty());
    EXPECT_EQ(shell.PromptOnDownload(), 0);
}

TEST_F(ConfigDialogs, FailedPortCheckAtOpeningKeepsSetupDisabled) {
    {
        auto first = OpenSetup(); // finds the logger
        ASSERT_TRUE(ConnectedWithin(*first, 2000));
        first->reject();
    }
    channel.SetOpenable(1, false);
    auto dlg = OpenSetup();
    EXPECT_EQ(dlg->windowTitle(), "Not Connected");
    EXPECT_FALSE(dlg->SetupButton()->isEnabled());
    channel.SetOpenable(1, true);
    clock.Advance(3100); // supervision sees the port again
    EXPECT_EQ(dlg->windowTitle(), "Connected");
    EXPECT_FALSE(dlg->SetupButton()->isEnabled());
    EXPECT_FALSE(config.PressSetup(dlg->Form()));
    EXPECT_TRUE(Sent(Logger::kSetup).empty());
}

TEST_F(ConfigDialogs, SettingsReachTheFileAtCloseEvenWhenTheWriteFails) {
    auto dlg = OpenSetup();
    ASSERT_TRUE(ConnectedWithin(*dlg, 2000));
    channel.SetOpenable(1, false); // pulled out after the last check
    Retype(dlg->IntervalEdit(), "33");
    dlg->UnitList()->setCurrentIndex(1);
    QTest::mouseClick(dlg->AutoOffOn(), Qt::LeftButton);
    QTest::mouseClick(dlg->SetupButton(), Qt::LeftButton);
    EXPECT_FALSE(dlg->isVisible()); // no reply is awaited or checked
    EXPECT_TRUE(Sent(Logger::kSetup).empty());
    ASSERT_TRUE(shell.SaveSettings());
    IniFile ini;
    ASSERT_TRUE(ini.Load(shell.SettingsPath()));
    AppSettings read;
    LoadFrameSettings(ini, read);
    EXPECT_EQ(read.m_sampRate, "33");
    EXPECT_EQ(read.m_sampUnit, 1);
    EXPECT_EQ(read.m_autoOff, 2);
    EXPECT_EQ(read.m_recMode, 0);
    EXPECT_EQ(read.m_tempHi, "500");
}

TEST_F(ConfigDialogs, CancelSendsNothingAndStopsTheSearch) {
    {
        auto dlg = OpenSetup();
        clock.Advance(150);
        QTest::mouseClick(dlg->CancelButton(), Qt::LeftButton);
        EXPECT_FALSE(dlg->isVisible());
    }
    {
        auto dlg = OpenClock();
        dlg->close(); // the close box
    }
    EXPECT_FALSE(config.Link().IsAnyLinkDialogOpen());
    EXPECT_FALSE(timers.IsActive(FrameTimer::Supervision));
    EXPECT_FALSE(channel.IsOpen());
    clock.Advance(5000);
    EXPECT_TRUE(Sent(Logger::kSetup).empty());
    EXPECT_TRUE(Sent(Logger::kSetClock).empty());
    EXPECT_EQ(shell.Settings().m_timeYear, "2008");
}

TEST_F(ConfigDialogs, ClockOpensWithTodayAndOkSetsTheLoggerClock) {
    auto dlg = OpenClock();
    EXPECT_EQ(dlg->Form(), (ClockForm{"2026", "12", "8", "1", "2", "3"}));
    EXPECT_EQ(dlg->Spin(0)->Minimum(), 2000);
    EXPECT_EQ(dlg->Spin(0)->Maximum(), 2099);
    QTest::mouseClick(dlg->OkButton(), Qt::LeftButton); // "Connecting...": nothing
    EXPECT_TRUE(dlg->isVisible());
    ASSERT_TRUE(ConnectedWithin(*dlg, 2000));
    QTest::mouseClick(dlg->OkButton(), Qt::LeftButton);
    EXPECT_FALSE(dlg->isVisible());
    ASSERT_EQ(Sent(Logger::kSetClock).size(), 1u);
    EXPECT_EQ(Sent(Logger::kSetClock)[0], Bytes({0xAC, 0x26, 0x12, 0x08, 0x01, 0x02, 0x03, 0xFF}));
    EXPECT_EQ(logger.Header().start, (CalendarFields{2026, 12, 8, 1, 2, 3}));
    EXPECT_EQ(shell.Settings().m_timeYear, "2026");
    EXPECT_EQ(shell.Settings().m_timeDay, "8");
    EXPECT_EQ(shell.Settings().m_timeSecond, "3");
    EXPECT_EQ(shell.PromptOnDownload(), 0); // only the setup re-arms the prompts
}

TEST_F(ConfigDialogs, CorrectTimeSentAStaleTimeWhenOkCameSecondsAfterOpening) {
    std::vector<WorkReport> done;
    QObject::connect(&shell.Notices(), &WorkNotices::workDone,
                     [&](const WorkReport& r) { done.push_back(r); });
    auto dlg = OpenClock();
    ASSERT_TRUE(ConnectedWithin(*dlg, 2000));
    // The user reads the dialog for a while: the fields keep up with the clock.
    now.Set(FromLocalFields({2026, 12, 8, 1, 2, 15}));
    clock.Advance(1000);
    EXPECT_EQ(dlg->Form(), (ClockForm{"2026", "12", "8", "1", "2", "15"}));
    // OK half a second into the next second sends that moment, as shown.
    now.Set(FromLocalFields({2026, 12, 8, 1, 2, 16}));
    QTest::mouseClick(dlg->OkButton(), Qt::LeftButton);
    EXPECT_EQ(dlg->Form(), (ClockForm{"2026", "12", "8", "1", "2", "16"}));
    ASSERT_EQ(Sent(Logger::kSetClock).size(), 1u);
    EXPECT_EQ(Sent(Logger::kSetClock)[0], Bytes({0xAC, 0x26, 0x12, 0x08, 0x01, 0x02, 0x16, 0xFF}));
    EXPECT_FALSE(timers.IsActive(FrameTimer::ClockFollow));
    // The acknowledgement is reported with the time the logger now keeps.
    EXPECT_TRUE(done.empty());
    clock.Advance(20);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].what, WorkDone::LoggerClockSet);
    EXPECT_EQ(done[0].clock, (CalendarFields{2026, 12, 8, 1, 2, 16}));
}

TEST_F(ConfigDialogs, AnEditedClockFieldStaysAsTypedAndOkSendsTheFieldsShown) {
    auto dlg = OpenClock();
    ASSERT_TRUE(ConnectedWithin(*dlg, 2000));
    Retype(dlg->Edit(3), "7");
    dlg->Spin(4)->Step(+1); // a spin step is an edit too
    now.Set(FromLocalFields({2026, 12, 8, 1, 9, 30}));
    clock.Advance(3000);
    EXPECT_EQ(dlg->Form(), (ClockForm{"2026", "12", "8", "7", "3", "3"}));
    QTest::mouseClick(dlg->OkButton(), Qt::LeftButton);
    ASSERT_EQ(Sent(Logger::kSetClock).size(), 1u);
    EXPECT_EQ(Sent(Logger::kSetClock)[0].mid(4, 3), Bytes({0x07, 0x03, 0x03}));
}

TEST_F(ConfigDialogs, OkBeforeTheLoggerAnsweredDidNothingWithoutAWord) {
    channel.SetResponder([](int, const QByteArray&) { return QByteArray(); }); // silent
    auto dlg = OpenClock();
    clock.Advance(150); // scanned: port 1 opens and is asked
    ASSERT_EQ(dlg->windowTitle(), "Connecting...");
    QTest::mouseClick(dlg->OkButton(), Qt::LeftButton);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_TRUE(Sent(Logger::kSetClock).empty());
    EXPECT_EQ(dlg->MessageLabel()->text(),
              "Waiting for the logger: no reply on /dev/ttyFAKE1 yet.");
}

TEST_F(ConfigDialogs, ClockEditsAreClampedAsTypedButNotCheckedAsADate) {
    auto dlg = OpenClock();
    Retype(dlg->Edit(1), "13");
    EXPECT_EQ(dlg->Edit(1)->text(), "12");
    dlg->Edit(3)->setText("24");
    EXPECT_EQ(dlg->Edit(3)->text(), "23");
    dlg->Edit(0)->setText("2017");
    dlg->Spin(0)->Step(+1);
    EXPECT_EQ(dlg->Edit(0)->text(), "2018"); // past the old limit of 2017
    dlg->Edit(0)->setText("1999");
    EXPECT_EQ(dlg->Edit(0)->text(), "2000");
    // The 31st of a 30-day month goes out as it is.
    dlg->Edit(0)->setText("2026");
    dlg->Edit(1)->setText("4");
    dlg->Edit(2)->setText("31");
    ASSERT_TRUE(ConnectedWithin(*dlg, 2000));
    QTest::mouseClick(dlg->OkButton(), Qt::LeftButton);
    ASSERT_EQ(Sent(Logger::kSetClock).size(), 1u);
    EXPECT_EQ(Sent(Logger::kSetClock)[0].mid(1, 3), Bytes({0x26, 0x04, 0x31}));
}

TEST_F(ConfigDialogs, NotLoggingAcknowledgementAsksForTheStartButton) {
    logger.SetFaults(LoggerFaults{.notLogging = true});
    auto dlg = OpenSetup();
    ASSERT_TRUE(ConnectedWithin(*dlg, 2000));
    QTest::mouseClick(dlg->SetupButton(), Qt::LeftButton);
    clock.Advance(20);
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text,
              "To start logging, press the START button on the DATA LOGGER for three seconds");
    EXPECT_EQ(prompts.shown[0].icon, PromptIcon::Information);
    EXPECT_FALSE(channel.IsOpen());
}

TEST_F(ConfigDialogs, NothingOpensWhileADownloadLoads) {
    logger.SetRecording(SyntheticRecording({}));
    ASSERT_TRUE(link.BeginDownloadCommand());
    link.Link().OpenDialog(LinkDialog::Download);
    ASSERT_TRUE(clock.AdvanceUntil(
        [&] { return link.Link().Dialog(LinkDialog::Download).state == LinkState::Connected; },
        2000));
    ASSERT_TRUE(link.PressDownload());
    clock.Advance(5);
    ASSERT_TRUE(link.Link().LoadingShown());
    EXPECT_FALSE(config.BeginSetupCommand());
    EXPECT_FALSE(config.BeginCorrectTimeCommand());
    EXPECT_TRUE(link.Link().TransferMode());
}

TEST(ConfigCommands, MenuToolBarAndButtonBarReachBothDialogs) {
    App();
    QTemporaryDir dir;
    qputenv("DATALOGGER_DIR", dir.path().toLocal8Bit());
    ManualClock clock;
    ManualTimerTable timers{clock};
    FakePrompts prompts;
    FixedClock now{0};
    AppShell shell{timers, prompts, now, dir.filePath("LumoDATALOGGER.ini")};
    CMainFrame frame(shell);
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    for (int command : {Cmd::Setup, Cmd::CorrectTime}) {
        ASSERT_NE(frame.Action(command), nullptr);
        EXPECT_TRUE(shell.HasHandler(command));
        EXPECT_TRUE(frame.Action(command)->isEnabled()) << command;
    }
    // The welcome screen's buttons call the handlers directly.
    for (const char* button : {"button1045", "button1047"}) {
        auto* b = frame.findChild<QPushButton*>(button);
        ASSERT_NE(b, nullptr) << button;
        EXPECT_TRUE(b->isEnabled()) << button;
    }
    FakeRealTimeRun run(shell); // a real-time acquisition runs
    frame.UpdateCommandUI();
    EXPECT_FALSE(frame.Action(Cmd::Setup)->isEnabled());
    EXPECT_FALSE(frame.Action(Cmd::CorrectTime)->isEnabled());
    EXPECT_FALSE(shell.Execute(Cmd::Setup));
}

} // namespace
