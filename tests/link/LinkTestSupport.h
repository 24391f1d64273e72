#pragma once
// A link in virtual time, built by the headless link's factory: manual clock, fake
// channel with the logger model behind it, scripted prompts.

#include "base/Prompts.h"
#include "base/Timers.h"
#include "link/HeadlessLink.h"
#include "link/LinkController.h"
#include "link/LoggerProtocol.h"
#include "sim/FakeSerialChannel.h"
#include "sim/LoggerModel.h"

#include <gtest/gtest.h>

struct VirtualLink {
    ManualClock clock;
    FakePrompts prompts;
    MeasurementSet set;
    // The headless link owns the fake channel; `channel` stays valid as long as it.
    FakeSerialChannel* fake = new FakeSerialChannel(&clock);
    std::unique_ptr<HeadlessLink> headless =
        HeadlessLink::Virtual(clock, std::unique_ptr<SerialChannel>(fake), prompts, set);
    ManualTimerTable& timers = headless->ManualTimers();
    FakeSerialChannel& channel = *fake;
    LinkController& link = headless->Link();
    LoggerModel logger;
    int loggerPort = 0; // the port the logger answers on; 0 = none
    std::vector<DownloadOutcome> outcomes;

    VirtualLink() {
        channel.SetResponder([this](int port, const QByteArray& w) {
            return port == loggerPort ? logger.Feed(w) : QByteArray();
        });
        QObject::connect(&link.Download(), &DownloadTransfer::downloadFinished,
                         [this](DownloadOutcome o) { outcomes.push_back(o); });
    }

    const LinkDialogState& Dlg() const { return link.Dialog(LinkDialog::Download); }
    LinkState Title() const { return Dlg().state; }

    void OpenDownloadDialog() {
        link.OnDialogCommand();
        link.OpenDialog(LinkDialog::Download);
    }
    // A logger on port 1, found and connected, download dialog open.
    void ConnectOnPort1() {
        channel.SetOpenable(1);
        loggerPort = 1;
        OpenDownloadDialog();
        ASSERT_TRUE(clock.AdvanceUntil([&] { return Title() == LinkState::Connected; }, 2000));
    }
    // Presses "Download" and runs until the download has ended.
    bool RunDownload(int64_t limitMs = 60000) {
        if (!link.ActionAllowed(LinkDialog::Download))
            return false;
        link.StartTransfer(TransferKind::Download);
        link.CloseDialog(LinkDialog::Download);
        link.KillLinkTimers();
        const size_t before = outcomes.size();
        return clock.AdvanceUntil([&] { return outcomes.size() > before; }, limitMs);
    }
    std::vector<QByteArray> BlockRequests() const {
        return channel.WritesStartingWith(Logger::kBlockRequest);
    }
    static int Page(const QByteArray& req) { return (uint8_t(req[1]) << 8) | uint8_t(req[2]); }
};
