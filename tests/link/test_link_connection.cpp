// Port search, probe cycle, handshake and supervision in virtual time.

#include "LinkTestSupport.h"

namespace {

std::vector<int> ProbedPorts(const FakeSerialChannel& ch) {
    std::vector<int> ports;
    for (const auto& w : ch.Writes())
        if (w.bytes == QByteArray(1, char(Logger::kProbe)))
            ports.push_back(w.port);
    return ports;
}

TEST(LinkSearch, WithNoOpenablePortTheScanRepeatsAndTheTitleStaysConnecting) {
    VirtualLink v;
    v.OpenDownloadDialog();
    EXPECT_EQ(v.Title(), LinkState::Connecting);
    EXPECT_EQ(v.Dlg().line, LinkLine::AtOpen);
    v.clock.Advance(1000);
    EXPECT_EQ(v.timers.PeriodOf(4), 100);
    EXPECT_TRUE(v.timers.IsActive(4));
    EXPECT_FALSE(v.timers.IsActive(5));
    EXPECT_EQ(v.Title(), LinkState::Connecting);
    EXPECT_TRUE(v.channel.Writes().empty());
}

TEST(LinkSearch, TwoPortsWithoutLoggerProbeLastFirstThenFailAndRescan) {
    VirtualLink v;
    v.channel.SetOpenable(1);
    v.channel.SetOpenable(3);
    v.OpenDownloadDialog();
    v.clock.Advance(100); // the scan
    EXPECT_EQ(v.link.Search().OpenablePorts(), (std::vector<int>{1, 3}));
    v.clock.Advance(1499);
    EXPECT_EQ(ProbedPorts(v.channel), (std::vector<int>{3, 3, 1}));
    EXPECT_EQ(v.Title(), LinkState::Connecting);
    v.clock.Advance(1); // 1500 ms after the scan
    EXPECT_EQ(v.Title(), LinkState::NotConnected);
    EXPECT_EQ(v.Dlg().line, LinkLine::ConnectFailed);
    EXPECT_FALSE(v.timers.IsActive(5));
    EXPECT_EQ(v.timers.PeriodOf(4), 1000);
    v.clock.Advance(1000); // the new scan probes port 3 again
    EXPECT_EQ(ProbedPorts(v.channel), (std::vector<int>{3, 3, 1, 3}));
    // "Download" under "Not Connected" only explains why not.
    EXPECT_FALSE(v.link.ActionAllowed(LinkDialog::Download));
}

TEST(LinkSearch, LoggerAnsweringTheSecondProbeConnectsAndStopsProbing) {
    VirtualLink v;
    v.channel.SetOpenable(1);
    v.channel.SetOpenable(3);
    v.loggerPort = 1;
    v.OpenDownloadDialog();
    v.clock.Advance(1100 + 10); // probes 3, 3, 1 and the answer of port 1
    EXPECT_EQ(v.Title(), LinkState::Connected);
    EXPECT_EQ(v.Dlg().line, LinkLine::AfterHandshake);
    EXPECT_TRUE(v.link.Search().LoggerFound());
    EXPECT_EQ(v.link.Search().CurrentPort(), 1);
    EXPECT_FALSE(v.channel.IsOpen());
    v.clock.Advance(5000);
    EXPECT_EQ(ProbedPorts(v.channel), (std::vector<int>{3, 3, 1}));
    EXPECT_EQ(v.timers.PeriodOf(6), 3000);
    EXPECT_EQ(v.Title(), LinkState::Connected);
}

TEST(LinkSupervision, UnpluggingShowsNotConnectedWithin3sAndReplugReconnects) {
    VirtualLink v;
    v.ConnectOnPort1();
    v.channel.SetOpenable(1, false);
    v.clock.Advance(3000);
    EXPECT_EQ(v.Title(), LinkState::NotConnected);
    v.channel.SetOpenable(1, true);
    v.clock.Advance(3000);
    EXPECT_EQ(v.Title(), LinkState::Connected);
    // Supervision only opens the port; it writes nothing and leaves it closed.
    EXPECT_EQ(v.channel.Writes().size(), 1u);
    EXPECT_FALSE(v.channel.IsOpen());
}

TEST(LinkSupervision, LaterDialogIsCheckedAtOnceWithoutProbe) {
    VirtualLink v;
    v.ConnectOnPort1();
    v.link.CloseDialog(LinkDialog::Download);
    v.link.KillLinkTimers();
    const size_t writes = v.channel.Writes().size();

    v.OpenDownloadDialog();
    EXPECT_EQ(v.Title(), LinkState::Connected);
    EXPECT_EQ(v.Dlg().line, LinkLine::ReadyAtOpen);
    EXPECT_TRUE(v.Dlg().actionEnabled);
    EXPECT_FALSE(v.timers.IsActive(4));
    EXPECT_TRUE(v.timers.IsActive(6));
    EXPECT_EQ(v.channel.Writes().size(), writes);
    v.link.CloseDialog(LinkDialog::Download);

    // A failed check keeps the button disabled, even once supervision says "Connected".
    v.channel.SetOpenable(1, false);
    v.OpenDownloadDialog();
    EXPECT_EQ(v.Title(), LinkState::NotConnected);
    EXPECT_FALSE(v.Dlg().actionEnabled);
    v.channel.SetOpenable(1, true);
    v.clock.Advance(3000);
    EXPECT_EQ(v.Title(), LinkState::Connected);
    EXPECT_FALSE(v.Dlg().actionEnabled);
    EXPECT_FALSE(v.link.ActionAllowed(LinkDialog::Download));
}

TEST(LinkSearch, TimersStopThemselvesOnceNoDialogIsOpen) {
    VirtualLink v;
    v.OpenDownloadDialog();
    v.link.CloseDialog(LinkDialog::Download);
    v.clock.Advance(100);
    EXPECT_FALSE(v.timers.IsActive(4));
}

TEST(LinkReplies, CodesOutsideATransfer) {
    VirtualLink v;
    v.channel.SetOpenable(1);
    v.channel.SelectPort(1);
    v.channel.Open();
    v.channel.Inject(QByteArray(1, char(Logger::kAckNotLogging)));
    ASSERT_EQ(v.prompts.shown.size(), 1u);
    EXPECT_EQ(v.prompts.shown[0].text,
              "To start logging, press the START button on the DATA LOGGER for three seconds");
    EXPECT_EQ(v.prompts.shown[0].icon, PromptIcon::Information);
    EXPECT_FALSE(v.channel.IsOpen());

    v.channel.Open();
    v.channel.Inject(QByteArray(1, char(Logger::kAck)));
    EXPECT_FALSE(v.channel.IsOpen());
    v.channel.Open();
    v.channel.Inject(QByteArray(1, char(0x55))); // anything else is ignored
    EXPECT_TRUE(v.channel.IsOpen());
    EXPECT_EQ(v.prompts.shown.size(), 1u);
}

TEST(LinkSearch, PermissionDeniedOnEveryDeviceNamesTheGroup) {
    VirtualLink v;
    QString status;
    QObject::connect(&v.link.Search(), &PortSearch::statusText,
                     [&](const QString& s) { status = s; });
    v.channel.SetDenied(1);
    v.channel.SetDenied(2);
    v.OpenDownloadDialog();
    v.clock.Advance(100);
    EXPECT_TRUE(status.contains("dialout")) << status.toStdString();
}

TEST(LinkSend, SendCommandStopsSupervisionAndClosesOnAFailedWrite) {
    VirtualLink v;
    v.ConnectOnPort1();
    EXPECT_TRUE(v.link.SendCommand(QByteArray(8, char(0xAA))));
    EXPECT_FALSE(v.timers.IsActive(6));
    v.channel.Close();
    v.channel.SetOpenable(1, false);
    EXPECT_FALSE(v.link.SendCommand(QByteArray(8, char(0xAA))));
    EXPECT_FALSE(v.channel.IsOpen());
}

} // namespace
