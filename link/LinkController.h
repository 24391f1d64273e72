#pragma once
// The logger link below the widgets: the search for the logger across the ports,
// the supervision of the link while a connection dialog is open, the dispatch of
// received bytes, and the download of the stored recording block by block. Every
// time-out is a timer of the main frame's table, every message goes through the
// prompts seam, so the whole exchange runs in virtual time in tests. The dialogs
// only show the state kept here and forward their buttons.

#include "base/Prompts.h"
#include "base/Timers.h"
#include "data/MeasurementSet.h"
#include "link/Recording.h"
#include "link/SerialChannel.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <functional>
#include <vector>

// The four connection dialogs of the main frame.
enum class LinkDialog { Setup, Download, CorrectTime, RealTime };
inline constexpr int kLinkDialogCount = 4;

enum class TransferKind { None, Download, RealTime };
enum class ReceiveState { ExpectHeader, ExpectFullBlock, ExpectLastBlock };

// How a download ended, for callers that act on it (the command-line tool).
enum class DownloadOutcome { Completed, NoData, LoggingNow, Interrupted, DamagedHeader };

namespace LinkText {
inline const char* const kConnecting = "Connecting...";
inline const char* const kConnected = "Connected";
inline const char* const kNotConnected = "Not Connected";
inline const char* const kConnectFailed =
    "Connecting failed. Ensure logger inserted and try again.";
inline const char* const kDownloadWaiting = "Waiting for connecting...";
inline const char* const kDownloadReadyAtOpen =
    "Press \"Download\" to load store data from the logger,or \"Cancel\" to exit.";
inline const char* const kDownloadReadyAfterHandshake =
    "Press \"Download\" to load store data from the logger, or \"Cancel\" to exit.";
inline const char* const kRealTimeReadyAtOpen =
    "Press \"RUN\" to read real-time data,or \"Cancel\" to exit.";
inline const char* const kRealTimeReadyAfterHandshake = "Press \"RUN\" to read real time data,";
inline const char* const kStartLogging =
    "To start logging, press the START button on the DATA LOGGER for three seconds";
inline const char* const kNoData = "There is no data in DATALOGGER!";
inline const char* const kLoggingNow =
    "The DATA LOGGER is logging now!Please stop logging,and try again!";
inline const char* const kInterrupted = "Communication interruption!";
inline const char* const kDamagedHeader =
    "The DATA LOGGER sent a damaged data header (channel count or data length out of range). "
    "Please try again!";
} // namespace LinkText

struct LinkDialogState {
    bool open = false;
    QString title;
    QString message;
    bool actionEnabled = true;
};

class LinkController {
public:
    LinkController(SerialChannel& channel, TimerTable& timers, Prompts& prompts,
                   MeasurementSet& set);

    // Ids of the frame timers this controller serves (scan, probe, supervision,
    // download watchdog, block repeat, start repeat).
    static const std::array<int, 6> kTimerIds;
    // Returns false for an id that is not the link's.
    bool OnTimer(int id);

    // --- connection dialogs ---
    // A command that opens a connection dialog, just before the dialog opens.
    void OnDialogCommand();
    // The dialog exists now: title "Connecting..." and, once the logger was found,
    // the port check.
    void OpenDialog(LinkDialog d);
    void CloseDialog(LinkDialog d);
    bool IsAnyLinkDialogOpen() const;
    const LinkDialogState& Dialog(LinkDialog d) const { return m_dialogs[size_t(d)]; }
    // The dialog's action button was pressed: true when it may act ("Connected");
    // under "Not Connected" the dialog's message line says why not.
    bool ActionAllowed(LinkDialog d);
    // Fired whenever a dialog's title, message or button state changes.
    std::function<void(LinkDialog)> onDialogChanged;
    // Status-bar text (a permission problem with the serial devices).
    std::function<void(const QString&)> onStatus;

    // --- channel operations ---
    void ProbePort(int n);
    bool SendCommand(const QByteArray& bytes);
    void KillLinkTimers();
    void ConfigureChannel();
    void StartTransfer(TransferKind kind);
    void OnCommEvent();

    // --- download ---
    bool LoadingShown() const { return m_loadingShown; }
    std::function<void(int range)> onLoadingOpen; // progress range 0..range, position 1
    std::function<void(int position)> onLoadingProgress;
    std::function<void()> onLoadingClose;
    // The stored set has been replaced by the downloaded one (tag "RMSTRDATA").
    std::function<void()> onDownloadComplete;
    std::function<void(DownloadOutcome)> onDownloadEnded;
    // A reply during a real-time transfer.
    std::function<void(const QByteArray&)> onRealTimeFrame;

    // --- link state (read by the dialogs and the later transfers) ---
    int m_currentPort = kFirstPort;
    std::vector<int> m_openablePorts;
    int m_probeIndex = 1;
    bool m_replySeen = false;
    bool m_loggerFound = false;
    bool m_transferMode = false;
    TransferKind m_transferKind = TransferKind::None;
    bool m_frameReceived = false;

    // --- transfer state ---
    uint32_t m_dataLength = 0; // L
    uint32_t m_startPos = 0;   // P
    int m_nextBlock = 0;
    int m_fullBlocks = -1; // B
    uint32_t m_received = 0;
    uint8_t m_marker = 0xFF;
    ReceiveState m_receiveState = ReceiveState::ExpectHeader;
    int m_progress = 0;
    const QByteArray& LastCommand() const { return m_command; }

private:
    void OnPortScan();
    void OnProbe();
    void OnSupervision();
    void OnBlockWatchdog();
    void OnBlockRepeat();
    void OnStartRepeat();
    void Handshake();
    void HandleDownloadReply(const QByteArray& r);
    void OnHeader(const QByteArray& r);
    void EndWithoutData(const QString& message, DownloadOutcome outcome);
    void RequestBlock();
    void ArmBlockTimers();
    void Complete();
    void ResetTransferState();
    void SetProgress(int pos);
    void CloseLoading();
    void SetTitleAll(const char* title, bool failedMessage);
    void Changed(LinkDialog d);
    void Ended(DownloadOutcome o);
    LinkDialogState& State(LinkDialog d) { return m_dialogs[size_t(d)]; }

    SerialChannel& m_channel;
    TimerTable& m_timers;
    Prompts& m_prompts;
    MeasurementSet& m_set;
    std::array<LinkDialogState, kLinkDialogCount> m_dialogs;
    QByteArray m_command;      // last start command, for its one repeat
    QByteArray m_blockRequest; // last block request, for its one repeat
    DownloadHeader m_header;
    QByteArray m_buffer; // L bytes, allocated when the header arrives
    bool m_loadingShown = false;
    bool m_permissionHintShown = false;
};
