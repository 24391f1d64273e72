#pragma once
// The download of the stored recording: the start command, the 28-byte header, the
// 512-byte blocks requested one by one from the logger's ring memory, their timers
// (9 watchdog, 10 one repeat of a request, 12 one repeat of the start command) and,
// once every byte is in, the decode into the measurement set. The header's settings
// reach the set only with the whole recording: a failed download leaves the data
// shown as it was.

#include "base/Prompts.h"
#include "data/MeasurementSet.h"
#include "link/Recording.h"
#include "link/Transfer.h"

#include <QByteArray>
#include <QObject>

enum class ReceiveState { ExpectHeader, ExpectFullBlock, ExpectLastBlock };

// How a download ended, for callers that act on it (the command-line tool).
// Cancelled: the user stopped the loading; it ends as an interruption does, without
// its message.
enum class DownloadOutcome { Completed, NoData, LoggingNow, Interrupted, DamagedHeader, Cancelled };

// How far the loading is: blocks (the loading dialog's positions) and bytes.
struct DownloadProgress {
    int blocksDone = 0;
    int blocksTotal = 0;
    uint32_t bytesDone = 0;
    uint32_t bytesTotal = 0;
};

// The message a download that ended this way owes the user, with its icon; null for
// an end that says nothing (completed, cancelled).
struct DownloadEndNotice {
    const char* text = nullptr;
    PromptIcon icon = PromptIcon::Exclamation;
};
DownloadEndNotice DownloadEndMessage(DownloadOutcome outcome);

class DownloadTransfer final : public QObject, public Transfer {
    Q_OBJECT
public:
    DownloadTransfer(TransferHost& host, MeasurementSet& set, QObject* parent = nullptr);

    TransferKind Kind() const override { return TransferKind::Download; }
    std::span<const int> TimerIds() const override;
    void Start() override;
    void OnReply(const QByteArray& bytes) override;
    void OnTimer(int id) override;
    // The user stopped the loading: ends as an interruption would, without its message;
    // the shown data stay as they were and the port is closed.
    void Cancel();

    DownloadProgress ProgressNow() const;
    ReceiveState State() const { return m_s.receiveState; }
    uint32_t DataLength() const { return m_s.dataLength; }
    uint32_t StartPos() const { return m_s.startPos; }
    uint32_t Received() const { return m_s.received; }
    int NextBlock() const { return m_s.nextBlock; }
    int FullBlocks() const { return m_s.fullBlocks; }
    int Progress() const { return m_s.progress; }
    bool FrameReceived() const { return m_s.frameReceived; }
    bool LoadingShown() const { return m_s.loadingShown; }

signals:
    // The header came: the loading shows a progress range 0..range, at position 1.
    void loadingOpened(int range);
    void loadingProgress(int position);
    // With every position, in blocks and bytes.
    void bytesProgress(const DownloadProgress& progress);
    void loadingClosed();
    // The stored set was replaced by the downloaded one.
    void downloadCompleted();
    // The download ended, in any way; the caller says what an outcome means.
    void downloadFinished(DownloadOutcome outcome);

private:
    void OnHeader(const QByteArray& r);
    void OnBlock(const uint8_t* bytes, uint32_t size);
    void OnLastBlock(const uint8_t* bytes, uint32_t size);
    bool OverLong(uint32_t size, uint32_t awaited);
    void AskAgainAfterNoise();
    void StepBackOneBlock();
    void Interrupt();
    // What ending the download in any way does: timers, the loading file, the port.
    void StopTransfer();
    void OnBlockWatchdog();
    void OnBlockRepeat();
    void OnStartRepeat();
    void EndWithoutData(DownloadOutcome outcome);
    void RequestBlock();
    void RequestNextBlock();
    // `copyBytesIn`: bytes of a second copy that came in the same reply.
    void BlockTaken(uint32_t copyBytes, uint32_t copyBytesIn);
    bool SecondCopyBehind(const uint8_t* bytes, uint32_t size, uint32_t awaited) const;
    void OnSurplusCopy(uint32_t size);
    void EndDrain();
    void ArmBlockTimers();
    void Complete();
    void CompleteOrCheck();
    void ResetPosition();
    void SetProgress(int pos);
    void CloseLoading();
    void Ended(DownloadOutcome o);

    // Everything one download knows; reset by each start command.
    struct PerTransfer {
        uint32_t dataLength = 0; // L, from the header
        uint32_t startPos = 0;   // P, from the header
        int nextBlock = 0;       // the 512-byte block to request next
        int fullBlocks = -1;     // B = L / 512; -1 before the header
        uint32_t received = 0;
        uint8_t marker = 0xFF; // full block, or the short last one
        ReceiveState receiveState = ReceiveState::ExpectHeader;
        bool frameReceived = false; // a reply since the last request
        int progress = 0;
        bool loadingShown = false;
        QByteArray command;      // the start command, for its one repeat
        QByteArray blockRequest; // the last block request, for its one repeat
        // Offset of the block last asked again because its reply was longer than
        // awaited; a second such reply there ends the download.
        int64_t noiseRetryAt = -1;
        int noiseRetries = 0;
        // Requests written for the block awaited (its repeat makes two); every one is
        // answered unless it or its reply was lost.
        int requestsOut = 0;
        int64_t firstRequestMs = 0; // when the block was first asked for
        int64_t repeatMs = 0;       // and when again
        // After a block that was asked for twice: the copies still owed, and the bytes
        // of them that came; the next request waits until they are in or the block repeat says
        // they will not come, so that a late copy is never taken for the next block.
        int copiesOwed = 0;
        uint32_t copyBytes = 0;
        uint32_t drainedBytes = 0;
        // A copy owed was given up for lost: were it only late, it took a block's place
        // and every later reply is one behind, so one reply too many comes at the end.
        // Completion then waits a repeat's period for it (endCheck).
        bool copyGivenUp = false;
        bool endCheck = false;
        DownloadHeader header;
        QByteArray buffer; // L bytes, allocated when the header arrives
    };

    TransferHost& m_host;
    MeasurementSet& m_set;
    PerTransfer m_s;
};
