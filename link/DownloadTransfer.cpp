#include "link/DownloadTransfer.h"

#include "base/Ids.h"
#include "link/LinkDialogs.h"
#include "link/LoggerProtocol.h"

#include <array>
#include <cstring>

namespace {
namespace T = FrameTimer;

constexpr std::array<int, 3> kDownloadTimers = {T::DownloadWatchdog, T::BlockRepeat,
                                                T::StartRepeat};

QString Text(const char* s) {
    return QString::fromLatin1(s);
}
} // namespace

DownloadTransfer::DownloadTransfer(TransferHost& host, MeasurementSet& set, DownloadEvents events)
    : m_host(host), m_set(set), m_events(std::move(events)) {}

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
    ch.SetThreshold(Logger::kHeaderBytes);
    m_s.command = Logger::StartCommand(Logger::kStartDownload);
    if (!m_host.SendCommand(m_s.command)) {
        // The port no longer opens (the adapter was pulled out since the last check):
        // no header can come, so say so instead of waiting for one in silence.
        m_host.TransferEnded();
        ch.SetThreshold(1);
        m_host.UserPrompts().Message(Text(LinkText::kInterrupted));
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
    timers.Kill(T::StartRepeat);
    m_s.frameReceived = true;
    const auto* bytes = reinterpret_cast<const uint8_t*>(r.constData());
    const uint32_t size = uint32_t(r.size());
    switch (m_s.receiveState) {
    case ReceiveState::ExpectHeader:
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
        m_host.UserPrompts().Message(Text(LinkText::kLoggingNow), PromptIcon::Information);
        Ended(DownloadOutcome::LoggingNow);
        return;
    }
    if (code != Logger::kHeader || r.size() < Logger::kHeaderBytes)
        return;
    const DownloadHeader h = ParseHeader(reinterpret_cast<const uint8_t*>(r.constData()));
    switch (CheckHeader(h)) {
    case HeaderVerdict::NoChannels:
    case HeaderVerdict::NoData:
        EndWithoutData(LinkText::kNoData, DownloadOutcome::NoData);
        return;
    case HeaderVerdict::Damaged:
        EndWithoutData(LinkText::kDamagedHeader, DownloadOutcome::DamagedHeader);
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
    if (m_events.loadingOpen)
        m_events.loadingOpen(range);
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
        timers.Kill(T::BlockRepeat);
        timers.Kill(T::DownloadWatchdog);
        std::memcpy(m_s.buffer.data(), bytes, m_s.dataLength);
        m_s.received = m_s.dataLength;
        Complete();
        return;
    }
    if (size < uint32_t(Logger::kBlockBytes))
        return;
    timers.Kill(T::BlockRepeat);
    timers.Kill(T::DownloadWatchdog);
    std::memcpy(m_s.buffer.data() + m_s.received, bytes, Logger::kBlockBytes);
    m_s.received += Logger::kBlockBytes;
    if (m_s.received == uint32_t(Logger::kBlockBytes) * uint32_t(m_s.fullBlocks)) {
        const uint32_t rest = m_s.dataLength - m_s.received;
        if (rest == 0) {
            Complete();
            return;
        }
        m_host.Channel().SetThreshold(int(rest));
        m_s.marker = Logger::kMarkerLastBlock;
        m_s.receiveState = ReceiveState::ExpectLastBlock;
    }
    ArmBlockTimers();
    RequestBlock();
    ++m_s.nextBlock;
    SetProgress(m_s.progress + 1);
}

void DownloadTransfer::OnLastBlock(const uint8_t* bytes, uint32_t size) {
    const uint32_t rest = m_s.dataLength - m_s.received;
    if (size < rest)
        return;
    m_host.Timers().Kill(T::BlockRepeat);
    m_host.Timers().Kill(T::DownloadWatchdog);
    std::memcpy(m_s.buffer.data() + m_s.received, bytes, rest);
    m_s.received += rest;
    Complete();
}

void DownloadTransfer::EndWithoutData(const char* message, DownloadOutcome outcome) {
    m_host.TransferEnded();
    m_s.dataLength = 0;
    m_s.startPos = 0;
    m_host.Channel().SetThreshold(1);
    m_host.Channel().Close();
    m_host.UserPrompts().Message(Text(message));
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
    m_host.Channel().Write(m_s.blockRequest);
}

void DownloadTransfer::OnBlockRepeat() {
    SerialChannel& ch = m_host.Channel();
    m_host.Timers().Kill(T::BlockRepeat);
    // Part of a reply arrived but not all of it: drop it and ask once more.
    const bool partial = ch.BytesAvailable() > 0;
    ch.Close();
    ch.SelectPort(m_host.CurrentPort());
    if (!ch.Open()) {
        m_host.Timers().Kill(T::DownloadWatchdog);
        CloseLoading();
        m_host.TransferEnded();
        m_s.dataLength = 0;
        m_s.startPos = 0;
        ch.SetThreshold(1);
        m_host.UserPrompts().Message(Text(LinkText::kInterrupted));
        Ended(DownloadOutcome::Interrupted);
        return;
    }
    ch.ClearInput();
    if (partial)
        ch.Write(m_s.blockRequest);
}

void DownloadTransfer::OnBlockWatchdog() {
    m_host.Timers().Kill(T::DownloadWatchdog);
    m_host.Timers().Kill(T::BlockRepeat);
    CloseLoading();
    m_host.TransferEnded();
    m_s.dataLength = 0;
    m_s.startPos = 0;
    m_host.ConfigureChannel();
    m_host.UserPrompts().Message(Text(LinkText::kInterrupted));
    Ended(DownloadOutcome::Interrupted);
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
    if (!m_s.frameReceived && ch.IsOpen())
        ch.Write(m_s.command);
}

void DownloadTransfer::SetProgress(int pos) {
    m_s.progress = pos;
    if (m_s.loadingShown && m_events.loadingProgress)
        m_events.loadingProgress(pos);
}

void DownloadTransfer::CloseLoading() {
    if (!m_s.loadingShown)
        return;
    m_s.loadingShown = false;
    if (m_events.loadingClose)
        m_events.loadingClose();
}

void DownloadTransfer::Complete() {
    m_host.Timers().Kill(T::BlockRepeat);
    m_host.Timers().Kill(T::DownloadWatchdog);
    m_host.ConfigureChannel();
    SetProgress(int(m_s.dataLength / Logger::kBlockBytes) + 1);
    CloseLoading();

    MeasurementSet decoded =
        DecodeRecording(m_s.header, reinterpret_cast<const uint8_t*>(m_s.buffer.constData()),
                        m_s.dataLength, m_set);
    m_set.TakeStored(std::move(decoded));

    m_host.TransferEnded();
    ResetPosition();
    m_set.m_dataTag = QString::fromLatin1(kTagStored);
    if (m_events.complete)
        m_events.complete();
    Ended(DownloadOutcome::Completed);
}

void DownloadTransfer::Ended(DownloadOutcome o) {
    if (m_events.ended)
        m_events.ended(o);
}
