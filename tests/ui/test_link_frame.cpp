// The frame the four logger dialogs share, on the link in virtual time: the title
// and the state line follow the link, the action button is enabled once
// connected, and however the dialog ends (rejected, or destroyed while open when
// its owner goes) the link's dialog is closed and its hook let go of.

#include "base/Clock.h"
#include "base/LocalTime.h"
#include "base/Prompts.h"
#include "base/Timers.h"
#include "shell/AppShell.h"
#include "shell/ConfigSession.h"
#include "shell/LinkSession.h"
#include "shell/RealTimeSession.h"
#include "sim/FakeSerialChannel.h"
#include "sim/LoggerModel.h"
#include "ui/CCorrectTimeDlg.h"
#include "ui/CDownloadDlg.h"
#include "ui/CRealTimeDlg.h"
#include "ui/CSetupDlg.h"
#include "ui/LinkTexts.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "test_link_frame";
    static char* argv[] = {name, nullptr};
    static auto* app = new QApplication(argc, argv);
    return *app;
}

struct LinkFrame : ::testing::Test {
    LinkFrame() {
        App();
        qputenv("DATALOGGER_DIR", dir.path().toLocal8Bit());
        channel.SetOpenable(1);
        channel.SetResponder([this](int, const QByteArray& w) { return logger.Feed(w); });
    }
    ~LinkFrame() override { qunsetenv("DATALOGGER_DIR"); }

    // Each dialog as its command opens it.
    std::unique_ptr<CLinkDlg> Open(LinkDialog which) {
        switch (which) {
        case LinkDialog::Download:
            EXPECT_TRUE(link.BeginDownloadCommand());
            return std::make_unique<CDownloadDlg>(link);
        case LinkDialog::RealTime:
            EXPECT_TRUE(realTime.BeginRunCommand());
            return std::make_unique<CRealTimeDlg>(realTime, prompts, 2, 10);
        case LinkDialog::Setup:
            EXPECT_TRUE(config.BeginSetupCommand());
            return std::make_unique<CSetupDlg>(config);
        case LinkDialog::CorrectTime:
            EXPECT_TRUE(config.BeginCorrectTimeCommand());
            return std::make_unique<CCorrectTimeDlg>(config);
        }
        return nullptr;
    }
    static QPushButton* Action(CLinkDlg& d, LinkDialog which) {
        switch (which) {
        case LinkDialog::Download:
            return static_cast<CDownloadDlg&>(d).DownloadButton();
        case LinkDialog::RealTime:
            return static_cast<CRealTimeDlg&>(d).RunButton();
        case LinkDialog::Setup:
            return static_cast<CSetupDlg&>(d).SetupButton();
        case LinkDialog::CorrectTime:
            return static_cast<CCorrectTimeDlg&>(d).OkButton();
        }
        return nullptr;
    }
    void ExpectLetGo(const char* how) {
        SCOPED_TRACE(how);
        EXPECT_FALSE(link.Link().IsAnyLinkDialogOpen());
        // A later change of the link reaches no dialog that has gone.
        for (LinkDialog d : {LinkDialog::Download, LinkDialog::RealTime, LinkDialog::Setup,
                             LinkDialog::CorrectTime})
            emit link.Link().Search().dialogChanged(d);
    }

    QTemporaryDir dir;
    ManualClock clock;
    ManualTimerTable timers{clock};
    FakePrompts prompts;
    FixedClock now{FromLocalFields({2026, 12, 8, 1, 2, 3})};
    AppShell shell{timers, prompts, now, dir.filePath("settings.ini")};
    FakeSerialChannel channel{&clock};
    LinkSession link{shell, channel};
    ConfigSession config{shell, link.Link()};
    RealTimeSession realTime{shell, link.Link()};
    LoggerModel logger;
};

const LinkDialog kAll[] = {LinkDialog::Download, LinkDialog::RealTime, LinkDialog::Setup,
                           LinkDialog::CorrectTime};

// --- the words of the link states and message lines ---

TEST(LinkTexts, EachStateHasItsTitle) {
    EXPECT_EQ(LinkStateTitle(LinkState::Connecting), "Connecting...");
    EXPECT_EQ(LinkStateTitle(LinkState::Connected), "Connected");
    EXPECT_EQ(LinkStateTitle(LinkState::NotConnected), "Not Connected");
}

struct LineCase {
    LinkDialog dialog;
    LinkLine line;
    const char* text;
};

class LinkLineTexts : public ::testing::TestWithParam<LineCase> {};

TEST_P(LinkLineTexts, EachDialogSaysItsOwnWords) {
    LinkDialogState s;
    s.line = GetParam().line;
    EXPECT_EQ(LinkLineText(GetParam().dialog, s), QString::fromLatin1(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LinkLineTexts,
    ::testing::Values(
        LineCase{LinkDialog::Download, LinkLine::AtOpen, "Waiting for connecting..."},
        LineCase{LinkDialog::Download, LinkLine::ReadyAtOpen,
                 "Press \"Download\" to load store data from the logger,or \"Cancel\" to exit."},
        LineCase{LinkDialog::Download, LinkLine::AfterHandshake,
                 "Press \"Download\" to load store data from the logger, or \"Cancel\" to exit."},
        LineCase{LinkDialog::Download, LinkLine::ConnectFailed,
                 "Connecting failed. Ensure logger inserted and try again."},
        LineCase{LinkDialog::RealTime, LinkLine::AtOpen, ""},
        LineCase{LinkDialog::RealTime, LinkLine::ReadyAtOpen,
                 "Press \"RUN\" to read real-time data,or \"Cancel\" to exit."},
        LineCase{LinkDialog::RealTime, LinkLine::AfterHandshake,
                 "Press \"RUN\" to read real time data,"},
        LineCase{LinkDialog::Setup, LinkLine::AtOpen, ""},
        LineCase{LinkDialog::Setup, LinkLine::AfterHandshake, "  "},
        LineCase{LinkDialog::CorrectTime, LinkLine::ConnectFailed,
                 "Connecting failed. Ensure logger inserted and try again."}));

TEST(LinkTexts, NoPortLineShowsWhatTheSearchTried) {
    LinkDialogState s;
    s.line = LinkLine::NoPort;
    s.noPortText = QStringLiteral("/dev/ttyX is busy: another program holds it open.");
    EXPECT_EQ(LinkLineText(LinkDialog::Download, s), s.noPortText);
}

} // namespace

TEST_F(LinkFrame, TitleStateAndActionFollowTheLinkInEveryDialog) {
    for (LinkDialog which : kAll) {
        SCOPED_TRACE(int(which));
        auto dlg = Open(which);
        dlg->show();
        auto* state = dlg->findChild<QLabel*>("state");
        ASSERT_NE(state, nullptr);
        EXPECT_FALSE(dlg->windowTitle().isEmpty());
        EXPECT_EQ(state->text(), dlg->windowTitle());
        ASSERT_TRUE(clock.AdvanceUntil([&] { return dlg->windowTitle() == "Connected"; }, 5000));
        EXPECT_EQ(state->text(), "Connected");
        EXPECT_TRUE(Action(*dlg, which)->isEnabled());
        EXPECT_EQ(dlg->MessageLabel(), dlg->findChild<QLabel*>("message"));
        dlg->reject();
        ExpectLetGo("rejected");
        dlg.reset(); // a second goodbye changes nothing
        ExpectLetGo("destroyed after rejecting");
    }
}

TEST_F(LinkFrame, ADialogDestroyedWhileOpenLetsTheLinkGo) {
    for (LinkDialog which : kAll) {
        SCOPED_TRACE(int(which));
        auto dlg = Open(which);
        dlg->show();
        clock.Advance(150); // searching
        dlg.reset();
        ExpectLetGo("destroyed");
        // Nothing calls into the gone dialog; the port ends closed.
        clock.Advance(10000);
        EXPECT_FALSE(channel.IsOpen());
    }
}
