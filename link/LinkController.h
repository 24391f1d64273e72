#pragma once
// The logger link below the widgets, as the main frame and the tools see it: one
// facade over the port search and supervision (PortSearch), the transfers
// (DownloadTransfer, and the real-time stream) and the dispatch of received bytes
// between them. Every time-out is a timer of the main frame's table, every message
// goes through the prompts seam, so the whole exchange runs in virtual time in tests.
// The dialogs only show the state kept here and forward their buttons. What happens
// is told by signals: the search's (Search()) for the dialogs' states, the download's
// (Download()) for its loading and its end, the real-time transfer's (RealTime()) for
// a run, and this controller's own for what it handles itself.

#include "base/Prompts.h"
#include "base/Timers.h"
#include "data/MeasurementSet.h"
#include "link/DownloadTransfer.h"
#include "link/LinkDialogs.h"
#include "link/PortSearch.h"
#include "link/RealTimeTransfer.h"
#include "link/SerialChannel.h"
#include "link/Transfer.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <array>
#include <functional>
#include <memory>

class LinkController final : public QObject, private TransferHost {
    Q_OBJECT
public:
    LinkController(SerialChannel& channel, TimerTable& timers, Prompts& prompts,
                   MeasurementSet& set, QObject* parent = nullptr);
    ~LinkController() override;
    LinkController(const LinkController&) = delete;
    LinkController& operator=(const LinkController&) = delete;

    // Ids of the frame timers this controller serves (scan, probe, supervision,
    // download watchdog, block repeat, start repeat, and the real-time watchdog,
    // sample tick and restart).
    static const std::array<int, 9> kTimerIds;
    // Returns false for an id that is not the link's.
    bool OnTimer(int id);

    // --- connection dialogs ---
    // A command that opens a connection dialog, just before the dialog opens.
    void OnDialogCommand() { m_search.OnDialogCommand(); }
    // The dialog exists now: state Connecting and, once the logger was found,
    // the port check.
    void OpenDialog(LinkDialog d) { m_search.OpenDialog(d); }
    void CloseDialog(LinkDialog d) { m_search.CloseDialog(d); }
    bool IsAnyLinkDialogOpen() const { return m_search.IsAnyLinkDialogOpen(); }
    const LinkDialogState& Dialog(LinkDialog d) const { return m_search.Dialog(d); }
    // The dialog's action button was pressed: true when it may act (Connected); when
    // NotConnected the dialog's message line says why not.
    bool ActionAllowed(LinkDialog d) { return m_search.ActionAllowed(d); }

    // --- channel operations ---
    void ProbePort(int n) { m_search.ProbePort(n); }
    bool SendCommand(const QByteArray& bytes) override;
    void KillLinkTimers() { m_search.KillTimers(); }
    void ConfigureChannel() override;
    void StartTransfer(TransferKind kind);
    void OnCommEvent();

    // --- download ---
    // Milliseconds on a steady clock, asked at once for the time left of a loading
    // (a synchronous seam: tests and the headless link put their virtual clock here).
    using SteadyClock = std::function<int64_t()>;
    void SetSteadyClock(SteadyClock nowMs);
    // The user stopped the loading (Cancel, Escape): the download ends as an
    // interruption would, without its message; nothing shown changes; the port closes.
    void CancelTransfer();
    static QString LoadingText(const DownloadProgress& p, int64_t msLeft);

    // --- state, read by the dialogs, the shell and the later transfers ---
    const PortSearch& Search() const { return m_search; }
    PortSearch& Search() { return m_search; }
    const DownloadTransfer& Download() const { return *m_download; }
    DownloadTransfer& Download() { return *m_download; }
    RealTimeTransfer& RealTime() { return *m_realTime; }
    const RealTimeTransfer& RealTime() const { return *m_realTime; }
    bool LoadingShown() const { return m_download->LoadingShown(); }
    // The transfer-mode flag: a transfer runs and takes every reply.
    bool TransferMode() const { return m_op.transferMode; }
    // A real-time run leaves the flag on after it stopped, so that late frames are
    // answered with the stop command. A command that expects the logger's one-byte
    // acknowledgement takes the line back: false while a transfer still runs.
    bool EndStoppedTransfer();
    TransferKind CurrentTransfer() const { return m_op.kind; }
    int CurrentPort() const override { return m_search.CurrentPort(); }

signals:
    // The logger acknowledged a setup or set-clock command (either code).
    void acknowledged();
    // The loading dialog's label: blocks and bytes done of the total, time left.
    void loadingText(const QString& text);

private:
    // TransferHost
    SerialChannel& Channel() override { return m_channel; }
    TimerTable& Timers() override { return m_timers; }
    void TransferEnded() override { m_op.transferMode = false; }
    bool TransferRunning() const override { return m_op.transferMode; }

    void OnIdleReply(uint8_t code);
    void OnBytesProgress(const DownloadProgress& p);
    Transfer* TransferOf(TransferKind kind);

    SerialChannel& m_channel;
    TimerTable& m_timers;
    Prompts& m_prompts;
    PortSearch m_search;
    std::unique_ptr<DownloadTransfer> m_download;
    std::unique_ptr<RealTimeTransfer> m_realTime;
    // What the link is doing: searching (no transfer) or running one transfer.
    struct OperationalState {
        bool transferMode = false;
        TransferKind kind = TransferKind::None;
        Transfer* last = nullptr; // the transfer started last; its timers reach it
    } m_op;
    SteadyClock m_nowMs;
    int64_t m_loadingStartMs = 0; // when the first block was requested
};
