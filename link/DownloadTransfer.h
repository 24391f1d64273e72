#pragma once
// The download of the stored recording: the start command, the 28-byte header, the
// 512-byte blocks requested one by one from the logger's ring memory, their timers
// (9 watchdog, 10 one repeat of a request, 12 one repeat of the start command) and,
// once every byte is in, the decode into the measurement set. The header's settings
// reach the set only with the whole recording: a failed download leaves the data
// shown as it was.

#include "data/MeasurementSet.h"
#include "link/Recording.h"
#include "link/Transfer.h"

#include <QByteArray>

#include <functional>

enum class ReceiveState { ExpectHeader, ExpectFullBlock, ExpectLastBlock };

// How a download ended, for callers that act on it (the command-line tool).
enum class DownloadOutcome { Completed, NoData, LoggingNow, Interrupted, DamagedHeader };

struct DownloadEvents {
    std::function<void(int range)> loadingOpen; // progress range 0..range, position 1
    std::function<void(int position)> loadingProgress;
    std::function<void()> loadingClose;
    std::function<void()> complete; // the stored set was replaced
    std::function<void(DownloadOutcome)> ended;
};

class DownloadTransfer final : public Transfer {
public:
    DownloadTransfer(TransferHost& host, MeasurementSet& set, DownloadEvents events);

    TransferKind Kind() const override { return TransferKind::Download; }
    std::span<const int> TimerIds() const override;
    void Start() override;
    void OnReply(const QByteArray& bytes) override;
    void OnTimer(int id) override;

    ReceiveState State() const { return m_s.receiveState; }
    uint32_t DataLength() const { return m_s.dataLength; }
    uint32_t StartPos() const { return m_s.startPos; }
    uint32_t Received() const { return m_s.received; }
    int NextBlock() const { return m_s.nextBlock; }
    int FullBlocks() const { return m_s.fullBlocks; }
    int Progress() const { return m_s.progress; }
    bool FrameReceived() const { return m_s.frameReceived; }
    bool LoadingShown() const { return m_s.loadingShown; }

private:
    void OnHeader(const QByteArray& r);
    void OnBlock(const uint8_t* bytes, uint32_t size);
    void OnLastBlock(const uint8_t* bytes, uint32_t size);
    void OnBlockWatchdog();
    void OnBlockRepeat();
    void OnStartRepeat();
    void EndWithoutData(const char* message, DownloadOutcome outcome);
    void RequestBlock();
    void ArmBlockTimers();
    void Complete();
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
        DownloadHeader header;
        QByteArray buffer; // L bytes, allocated when the header arrives
    };

    TransferHost& m_host;
    MeasurementSet& m_set;
    DownloadEvents m_events;
    PerTransfer m_s;
};
