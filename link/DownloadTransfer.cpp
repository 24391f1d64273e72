#include "link/DownloadTransfer.h"

#include "base/Ids.h"
#include "link/LinkDialogs.h"
#include "link/LoggerProtocol.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {
namespace T = FrameTimer;

// Replies with stray bytes that one download tolerates in all, each followed by a
// new request; a line this noisy is not worth trusting further.
constexpr int kMaxNoiseRetries = 32;
// Beyond the time between a block's two requests, how long the copy still owed may
// take to come after the other before its request is taken for lost.
constexpr int64_t kSurplusMarginMs = 100;

constexpr std::array<int, 3> kDownloadTimers = {T::DownloadWatchdog, T::BlockRepeat,
                                                T::StartRepeat};

} // namespace

DownloadEndNotice DownloadEndMessage(DownloadOutcome outcome) {
    switch (outcome) {
    case DownloadOutcome::NoData:
        return {LinkText::kNoData};
    case DownloadOutcome::LoggingNow:
        return {LinkText::kLoggingNow, PromptIcon::Information};
    case DownloadOutcome::Interrupted:
        return {LinkText::kInterrupted};
    case DownloadOutcome::DamagedHeader:
        return {LinkText::kDamagedHeader};
    case DownloadOutcome::Completed:
    case DownloadOutcome::Cancelled:
        break;
    }
    return {};
}

DownloadTransfer::DownloadTransfer(TransferHost& host, MeasurementSet& set, QObject* parent)
    : QObject(parent), m_host(host), m_set(set) {}

std::span<const int> DownloadTransfer::TimerIds() const {
    return kDownloadTimers;
}

void DownloadTransfer::OnTimer(int id) {
    switch (id) {
    case T::DownloadWatchdog:
        OnBlockWatchdog();
        break;
    case T::BlockRepeat:
        OnBlockRepeat();
        break;
    case T::StartRepeat:
        OnStartRepeat();
        break;
    default:
        break;
    }
}

void DownloadTransfer::ResetPosition() {
    m_s.dataLength = 0;
    m_s.startPos = 0;
    m_s.received = 0;
    m_s.fullBlocks = -1;
    m_s.nextBlock = 0;
    m_s.receiveState = ReceiveState::ExpectHeader;
}

void DownloadTransfer::Start() {
    SerialChannel& ch = m_host.Channel();
    ResetPosition();
    ch.Close();
    m_s.frameReceived = false;
    m_s.noiseRetryAt = -1;
    m_s.noiseRetries = 0;
    m_s.requestsOut = 0;
    m_s.copiesOwed = 0;
    m_s.copyGivenUp = false;
    m_s.endCheck = false;
    ch.SetThreshold(Logger::kHeaderBytes);
    m_s.command = Logger::StartCommand(Logger::kStartDownload);
    // Bytes still buffered from an earlier exchange would come before the header.
    ch.SelectPort(m_host.CurrentPort());
    if (ch.Open())
        ch.ClearInput();
    if (!m_host.SendCommand(m_s.command)) {
        // The port no longer opens (the adapter was pulled out since the last check):
        // no header can come, so say so instead of waiting for one in silence.
        m_host.TransferEnded();
        ch.SetThreshold(1);
        Ended(DownloadOutcome::Interrupted);
        return;
    }
    m_host.Timers().Start(T::StartRepeat, Logger::kStartRepeatMs);
    // A start command that gets no answer at all would otherwise leave the user
    // waiting for a download that never begins, without a word: the block watchdog
    // covers the header too.
    m_host.Timers().Start(T::DownloadWatchdog, Logger::kBlockWatchdogMs);
}

void DownloadTransfer::OnReply(const QByteArray& r) {
    TimerTable& timers = m_host.Timers();
    const auto* bytes = reinterpret_cast<const uint8_t*>(r.constData());
    const uint32_t size = uint32_t(r.size());
    if (m_s.receiveState == ReceiveState::ExpectHeader && bytes[0] != Logger::kHeader &&
        bytes[0] != Logger::kLoggingNow) {
        // Not an answer to the start command: bytes left on the line by an earlier
        // exchange (the rest of a block after a cancelled download, say). They must not
        // stop the command's one repeat, or the header behind them would be waited for
        // in vain.
        return;
    }
    timers.Kill(T::StartRepeat);
    m_s.frameReceived = true;
    if (m_s.endCheck) {
        // A reply nobody asked for: the blocks taken were one behind.
        Interrupt();
        return;
    }
    if (m_s.copiesOwed > 0) {
        OnSurplusCopy(size);
        return;
    }
    switch (m_s.receiveState) {
    case ReceiveState::ExpectHeader:
        if (bytes[0] == Logger::kHeader && size > uint32_t(Logger::kHeaderBytes)) {
            // More than a header: noise, or a header answered twice. Its values cannot
            // be trusted, so the start command goes out once more.
            AskAgainAfterNoise();
            return;
        }
        // An answer ends the wait for the header; the block requests that follow
        // start the watchdog again.
        if (bytes[0] == Logger::kHeader || bytes[0] == Logger::kLoggingNow)
            timers.Kill(T::DownloadWatchdog);
        OnHeader(r);
        return;
    case ReceiveState::ExpectFullBlock:
        OnBlock(bytes, size);
        return;
    case ReceiveState::ExpectLastBlock:
        OnLastBlock(bytes, size);
        return;
    }
}

void DownloadTransfer::OnHeader(const QByteArray& r) {
    const uint8_t code = uint8_t(r[0]);
    if (code == Logger::kLoggingNow) {
        Ended(DownloadOutcome::LoggingNow);
        return;
    }
    if (code != Logger::kHeader || r.size() < Logger::kHeaderBytes)
        return;
    const DownloadHeader h = ParseHeader(reinterpret_cast<const uint8_t*>(r.constData()));
    switch (CheckHeader(h)) {
    case HeaderVerdict::NoChannels:
    case HeaderVerdict::NoData:
        EndWithoutData(DownloadOutcome::NoData);
        return;
    case HeaderVerdict::Damaged:
        EndWithoutData(DownloadOutcome::DamagedHeader);
        return;
    case HeaderVerdict::Ok:
        break;
    }
    m_s.header = h;
    m_s.dataLength = h.dataLength;
    m_s.startPos = h.startPos;
    m_s.nextBlock = int(h.startPos / Logger::kBlockBytes);
    // Allocated once per download; the blocks are copied into it in place.
    m_s.buffer = QByteArray(qsizetype(m_s.dataLength), Qt::Uninitialized);
    m_s.received = 0;

    const int range = int(m_s.dataLength / Logger::kBlockBytes) + 1;
    m_s.loadingShown = true;
    m_s.progress = 1;
    emit loadingOpened(range);
    emit bytesProgress(ProgressNow());
    m_s.fullBlocks = int(m_s.dataLength / Logger::kBlockBytes);
    if (m_s.fullBlocks == 0) {
        m_host.Channel().SetThreshold(int(m_s.dataLength));
        m_s.marker = Logger::kMarkerLastBlock;
    } else {
        m_host.Channel().SetThreshold(Logger::kBlockBytes);
        m_s.marker = Logger::kMarkerFullBlock;
    }
    RequestBlock();
    ArmBlockTimers();
    ++m_s.nextBlock;
    m_s.receiveState = ReceiveState::ExpectFullBlock;
}

void DownloadTransfer::OnBlock(const uint8_t* bytes, uint32_t size) {
    TimerTable& timers = m_host.Timers();
    if (m_s.fullBlocks == 0) {
        // The whole recording fits in one short block.
        if (size < m_s.dataLength)
            return; // short: the repeat or the watchdog deals with it
        if (!SecondCopyBehind(bytes, size, m_s.dataLength) && OverLong(size, m_s.dataLength))
            return;
        timers.Kill(T::BlockRepeat);
        timers.Kill(T::DownloadWatchdog);
        std::memcpy(m_s.buffer.data(), bytes, m_s.dataLength);
        m_s.received = m_s.dataLength;
        CompleteOrCheck();
        return;
    }
    if (size < uint32_t(Logger::kBlockBytes))
        return;
    const bool copyBehind = SecondCopyBehind(bytes, size, uint32_t(Logger::kBlockBytes));
    if (!copyBehind && OverLong(size, uint32_t(Logger::kBlockBytes)))
        return;
    timers.Kill(T::BlockRepeat);
    timers.Kill(T::DownloadWatchdog);
    std::memcpy(m_s.buffer.data() + m_s.received, bytes, Logger::kBlockBytes);
    m_s.received += Logger::kBlockBytes;
    if (m_s.received == uint32_t(Logger::kBlockBytes) * uint32_t(m_s.fullBlocks)) {
        const uint32_t rest = m_s.dataLength - m_s.received;
        if (rest == 0) {
            CompleteOrCheck();
            return;
        }
        m_host.Channel().SetThreshold(int(rest));
        m_s.marker = Logger::kMarkerLastBlock;
        m_s.receiveState = ReceiveState::ExpectLastBlock;
    }
    SetProgress(m_s.progress + 1);
    BlockTaken(uint32_t(Logger::kBlockBytes),
               copyBehind ? size - uint32_t(Logger::kBlockBytes) : 0);
}

// A block asked for twice comes twice, back to back when the logger was late. A host
// that reads the line late gets the first copy and the start of the second as one
// reply: the block is then the first copy, as it is when the two are read apart, and
// the bytes behind it are the start of the copy owed, not noise. Taken for noise,
// they would be cleared while the rest of that copy is still on its way, to be read
// as the next block.
bool DownloadTransfer::SecondCopyBehind(const uint8_t* bytes, uint32_t size,
                                        uint32_t awaited) const {
    if (m_s.requestsOut < 2 || size <= awaited)
        return false;
    const uint32_t behind = std::min(size - awaited, awaited);
    return std::memcmp(bytes, bytes + awaited, behind) == 0;
}

// A block is in. When it was asked for twice (the block repeat) and both requests may still
// be answered, the second copy is owed: taken as the next block it would shift every
// later value by a block, so the next request waits for it, bounded by the block repeat.
void DownloadTransfer::BlockTaken(uint32_t copyBytes, uint32_t copyBytesIn) {
    const int owed = m_s.requestsOut - 1;
    m_s.requestsOut = 0;
    if (owed <= 0) {
        RequestNextBlock();
        return;
    }
    m_s.copiesOwed = owed;
    m_s.copyBytes = copyBytes;
    m_s.drainedBytes = 0;
    m_host.Channel().SetThreshold(int(copyBytes));
    // A logger answers its requests in order, each after about the same delay, so the
    // copy owed follows the one that came by at most the time between the two
    // requests (the repeat's 900 ms), plus a margin for the line.
    const int64_t gap = m_s.repeatMs - m_s.firstRequestMs;
    const int64_t waitMs =
        std::clamp<int64_t>(gap + kSurplusMarginMs, kSurplusMarginMs, Logger::kBlockWatchdogMs);
    m_host.Timers().Start(T::BlockRepeat, int(waitMs));
    if (copyBytesIn > 0)
        OnSurplusCopy(copyBytesIn);
}

void DownloadTransfer::OnSurplusCopy(uint32_t size) {
    // Nothing else was asked for: whatever comes is the copy owed (or noise) and goes.
    m_s.drainedBytes += size;
    while (m_s.copiesOwed > 0 && m_s.drainedBytes >= m_s.copyBytes) {
        m_s.drainedBytes -= m_s.copyBytes;
        --m_s.copiesOwed;
    }
    if (m_s.copiesOwed == 0)
        EndDrain();
    else
        m_host.Channel().SetThreshold(int(m_s.copyBytes - m_s.drainedBytes));
}

void DownloadTransfer::EndDrain() {
    m_host.Timers().Kill(T::BlockRepeat);
    m_s.copiesOwed = 0;
    m_s.drainedBytes = 0;
    SerialChannel& ch = m_host.Channel();
    // A part of a copy that came must not be read as the start of the next block.
    ch.ClearInput();
    ch.SetThreshold(m_s.receiveState == ReceiveState::ExpectLastBlock
                        ? int(m_s.dataLength - m_s.received)
                        : Logger::kBlockBytes);
    RequestNextBlock();
}

void DownloadTransfer::RequestNextBlock() {
    ArmBlockTimers();
    RequestBlock();
    ++m_s.nextBlock;
}

void DownloadTransfer::OnLastBlock(const uint8_t* bytes, uint32_t size) {
    const uint32_t rest = m_s.dataLength - m_s.received;
    if (size < rest)
        return;
    // The copy owed of the last block goes with the port that closes at the end.
    if (!SecondCopyBehind(bytes, size, rest) && OverLong(size, rest))
        return;
    m_host.Timers().Kill(T::BlockRepeat);
    m_host.Timers().Kill(T::DownloadWatchdog);
    std::memcpy(m_s.buffer.data() + m_s.received, bytes, rest);
    m_s.received += rest;
    CompleteOrCheck();
}

void DownloadTransfer::EndWithoutData(DownloadOutcome outcome) {
    m_host.TransferEnded();
    m_s.dataLength = 0;
    m_s.startPos = 0;
    m_host.Channel().SetThreshold(1);
    m_host.Channel().Close();
    Ended(outcome);
}

void DownloadTransfer::ArmBlockTimers() {
    m_host.Timers().Start(T::BlockRepeat, Logger::kBlockRepeatMs);
    m_host.Timers().Start(T::DownloadWatchdog, Logger::kBlockWatchdogMs);
    m_s.frameReceived = false;
}

void DownloadTransfer::RequestBlock() {
    int page = Logger::PageOfBlock(m_s.nextBlock);
    if (page >= Logger::kPagesInMemory) {
        // The ring's end: block 1024 is block 0 again.
        m_s.nextBlock = 0;
        page = 0;
    }
    m_s.blockRequest = Logger::BlockRequest(page, m_s.marker);
    m_s.requestsOut = 1;
    m_s.firstRequestMs = m_host.Timers().NowMs();
    m_host.Channel().Write(m_s.blockRequest);
}

void DownloadTransfer::OnBlockRepeat() {
    SerialChannel& ch = m_host.Channel();
    m_host.Timers().Kill(T::BlockRepeat);
    if (m_s.endCheck) {
        m_s.endCheck = false;
        Complete();
        return;
    }
    if (m_s.copiesOwed > 0) {
        // The copy owed did not come in time: its request was taken for the one lost.
        m_s.copyGivenUp = true;
        EndDrain();
        return;
    }
    ch.Close();
    ch.SelectPort(m_host.CurrentPort());
    if (!ch.Open()) {
        m_host.Timers().Kill(T::DownloadWatchdog);
        CloseLoading();
        m_host.TransferEnded();
        m_s.dataLength = 0;
        m_s.startPos = 0;
        ch.SetThreshold(1);
        Ended(DownloadOutcome::Interrupted);
        return;
    }
    // The block has not come (a completed block kills this timer): whatever part of
    // it arrived is dropped and the request goes out once more, whether it was the
    // request or the reply that got lost. A second loss is left to the watchdog.
    ch.ClearInput();
    if (m_host.TransferRunning() && m_s.receiveState != ReceiveState::ExpectHeader &&
        ch.Write(m_s.blockRequest)) {
        ++m_s.requestsOut;
        m_s.repeatMs = m_host.Timers().NowMs();
    }
}

// The protocol has no checksum: a reply longer than the one awaited has stray bytes
// in it (a bad cable, a logger answering twice), and which bytes are the block can no
// longer be told. It is dropped and the block asked for again.
bool DownloadTransfer::OverLong(uint32_t size, uint32_t awaited) {
    if (size <= awaited)
        return false;
    AskAgainAfterNoise();
    return true;
}

void DownloadTransfer::AskAgainAfterNoise() {
    SerialChannel& ch = m_host.Channel();
    const bool header = m_s.receiveState == ReceiveState::ExpectHeader;
    const int64_t at = header ? -2 : int64_t(m_s.received);
    if (m_s.copyGivenUp) {
        // A copy given up for lost may have come since and put the blocks one behind:
        // the blocks already taken cannot be trusted, asking again would not mend them.
        Interrupt();
        return;
    }
    ++m_s.noiseRetries;
    if (m_s.noiseRetryAt == at || m_s.noiseRetries > kMaxNoiseRetries) {
        Interrupt();
        return;
    }
    m_s.noiseRetryAt = at;
    ch.ClearInput();
    if (header) {
        m_s.frameReceived = false;
        if (!m_host.SendCommand(m_s.command)) {
            Interrupt();
            return;
        }
        m_host.Timers().Start(T::DownloadWatchdog, Logger::kBlockWatchdogMs);
        return;
    }
    // Back to the block of the last request.
    m_s.nextBlock = (m_s.nextBlock - 1 + Logger::kMemoryBlocks) % Logger::kMemoryBlocks;
    // The stray bytes may also be the tail of the block before, whose reply was cut
    // at the threshold and taken: that one is fetched again as well.
    if (m_s.received > 0)
        StepBackOneBlock();
    ArmBlockTimers();
    RequestBlock();
    ++m_s.nextBlock;
}

void DownloadTransfer::StepBackOneBlock() {
    m_s.received -= uint32_t(Logger::kBlockBytes);
    m_s.nextBlock = (m_s.nextBlock - 1 + Logger::kMemoryBlocks) % Logger::kMemoryBlocks;
    if (m_s.receiveState == ReceiveState::ExpectLastBlock) {
        m_s.receiveState = ReceiveState::ExpectFullBlock;
        m_s.marker = Logger::kMarkerFullBlock;
        m_host.Channel().SetThreshold(Logger::kBlockBytes);
    }
    SetProgress(m_s.progress - 1);
}

void DownloadTransfer::StopTransfer() {
    m_s.copiesOwed = 0;
    m_s.endCheck = false;
    m_host.Timers().Kill(T::DownloadWatchdog);
    m_host.Timers().Kill(T::BlockRepeat);
    m_host.Timers().Kill(T::StartRepeat);
    CloseLoading();
    m_host.TransferEnded();
    m_s.dataLength = 0;
    m_s.startPos = 0;
    // Closes the port: the logger's reply still on its way is lost with it.
    m_host.ConfigureChannel();
}

void DownloadTransfer::Interrupt() {
    StopTransfer();
    Ended(DownloadOutcome::Interrupted);
}

void DownloadTransfer::OnBlockWatchdog() {
    Interrupt();
}

void DownloadTransfer::Cancel() {
    if (!m_host.TransferRunning())
        return;
    StopTransfer();
    Ended(DownloadOutcome::Cancelled);
}

DownloadProgress DownloadTransfer::ProgressNow() const {
    DownloadProgress p;
    const uint32_t block = uint32_t(Logger::kBlockBytes);
    p.bytesTotal = m_s.dataLength;
    p.bytesDone = m_s.received;
    p.blocksTotal = int((m_s.dataLength + block - 1) / block);
    p.blocksDone = int((m_s.received + block - 1) / block);
    return p;
}

void DownloadTransfer::OnStartRepeat() {
    SerialChannel& ch = m_host.Channel();
    m_host.Timers().Kill(T::StartRepeat);
    // A logger that answers the start command with the bare one-byte code (below the
    // header's threshold) is heard here rather than never.
    if (!m_s.frameReceived && m_s.receiveState == ReceiveState::ExpectHeader &&
        ch.BytesAvailable() > 0 && m_host.TransferRunning()) {
        const QByteArray r = ch.ReadAll();
        if (!r.isEmpty() && uint8_t(r[0]) == Logger::kLoggingNow) {
            OnReply(r);
            return;
        }
    }
    if (!m_s.frameReceived && ch.IsOpen()) {
        // Whatever came instead of the header goes, so the answer starts a clean read.
        ch.ClearInput();
        ch.Write(m_s.command);
    }
}

void DownloadTransfer::SetProgress(int pos) {
    m_s.progress = pos;
    if (!m_s.loadingShown)
        return;
    emit loadingProgress(pos);
    emit bytesProgress(ProgressNow());
}

void DownloadTransfer::CloseLoading() {
    if (!m_s.loadingShown)
        return;
    m_s.loadingShown = false;
    emit loadingClosed();
}

void DownloadTransfer::CompleteOrCheck() {
    if (!m_s.copyGivenUp) {
        Complete();
        return;
    }
    m_host.Timers().Kill(T::DownloadWatchdog);
    m_s.endCheck = true;
    m_host.Channel().SetThreshold(1);
    m_host.Timers().Start(T::BlockRepeat, Logger::kBlockRepeatMs);
}

void DownloadTransfer::Complete() {
    m_s.endCheck = false;
    m_host.Timers().Kill(T::BlockRepeat);
    m_host.Timers().Kill(T::DownloadWatchdog);
    m_host.ConfigureChannel();
    SetProgress(int(m_s.dataLength / Logger::kBlockBytes) + 1);
    CloseLoading();

    m_set.ReplaceStored(DecodeRecording(m_s.header,
                                        reinterpret_cast<const uint8_t*>(m_s.buffer.constData()),
                                        m_s.dataLength, m_set.Stored()));

    m_host.TransferEnded();
    ResetPosition();
    m_set.SetDataTag(QString::fromLatin1(kTagStored));
    emit downloadCompleted();
    Ended(DownloadOutcome::Completed);
}

void DownloadTransfer::Ended(DownloadOutcome o) {
    emit downloadFinished(o);
}
