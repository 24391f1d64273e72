#include "link/LinkController.h"

#include "base/Ids.h"
#include "link/LoggerProtocol.h"

#include <cstring>

namespace {
namespace T = FrameTimer;

constexpr LinkDialog kAllDialogs[] = {LinkDialog::Setup, LinkDialog::Download,
                                      LinkDialog::CorrectTime, LinkDialog::RealTime};

QString Text(const char* s) {
    return QString::fromLatin1(s);
}
} // namespace

const std::array<int, 6> LinkController::kTimerIds = {
    T::PortScan, T::Probe, T::Supervision, T::DownloadWatchdog, T::BlockRepeat, T::StartRepeat};

LinkController::LinkController(SerialChannel& channel, TimerTable& timers, Prompts& prompts,
                               MeasurementSet& set)
    : m_channel(channel), m_timers(timers), m_prompts(prompts), m_set(set) {
    m_channel.SetReceiveHandler([this] { OnCommEvent(); });
    m_channel.SetThreshold(1);
}

bool LinkController::OnTimer(int id) {
    switch (id) {
    case T::PortScan:
        OnPortScan();
        return true;
    case T::Probe:
        OnProbe();
        return true;
    case T::Supervision:
        OnSupervision();
        return true;
    case T::DownloadWatchdog:
        OnBlockWatchdog();
        return true;
    case T::BlockRepeat:
        OnBlockRepeat();
        return true;
    case T::StartRepeat:
        OnStartRepeat();
        return true;
    default:
        return false;
    }
}

// ---------------------------------------------------------------------------
// Connection dialogs

void LinkController::OnDialogCommand() {
    m_replySeen = false;
    if (!m_loggerFound)
        m_timers.Start(T::PortScan, Logger::kScanAfterCommandMs);
    else
        m_timers.Start(T::Supervision, Logger::kSupervisionMs);
}

void LinkController::OpenDialog(LinkDialog d) {
    LinkDialogState& s = State(d);
    s.open = true;
    s.title = Text(LinkText::kConnecting);
    s.message = d == LinkDialog::Download ? Text(LinkText::kDownloadWaiting) : QString();
    s.actionEnabled = true;
    if (m_loggerFound) {
        // Found before: only check that the port still opens.
        m_channel.Close();
        m_channel.SelectPort(m_currentPort);
        if (m_channel.Open()) {
            s.title = Text(LinkText::kConnected);
            if (d == LinkDialog::Download)
                s.message = Text(LinkText::kDownloadReadyAtOpen);
            else if (d == LinkDialog::RealTime)
                s.message = Text(LinkText::kRealTimeReadyAtOpen);
            s.actionEnabled = true;
            m_channel.Close();
        } else {
            s.title = Text(LinkText::kNotConnected);
            // Only these two keep their button dead until the dialog is opened again;
            // the others act once supervision finds the port again.
            s.actionEnabled = !(d == LinkDialog::Setup || d == LinkDialog::Download);
        }
    }
    Changed(d);
}

void LinkController::CloseDialog(LinkDialog d) {
    State(d).open = false;
    Changed(d);
}

bool LinkController::IsAnyLinkDialogOpen() const {
    for (const LinkDialogState& s : m_dialogs)
        if (s.open)
            return true;
    return false;
}

bool LinkController::ActionAllowed(LinkDialog d) {
    LinkDialogState& s = State(d);
    if (s.title == Text(LinkText::kConnected))
        return s.actionEnabled;
    if (s.title == Text(LinkText::kNotConnected)) {
        s.message = Text(LinkText::kConnectFailed);
        Changed(d);
    }
    return false;
}

void LinkController::Changed(LinkDialog d) {
    if (onDialogChanged)
        onDialogChanged(d);
}

void LinkController::SetTitleAll(const char* title, bool failedMessage) {
    for (LinkDialog d : kAllDialogs) {
        LinkDialogState& s = State(d);
        if (!s.open)
            continue;
        s.title = Text(title);
        if (failedMessage && d == LinkDialog::Download)
            s.message = Text(LinkText::kConnectFailed);
        Changed(d);
    }
}

// ---------------------------------------------------------------------------
// Search and supervision

void LinkController::OnPortScan() {
    if (!IsAnyLinkDialogOpen()) {
        m_timers.Kill(T::PortScan);
        return;
    }
    m_probeIndex = 1;
    m_openablePorts.clear();
    int denied = 0;
    for (int n = kFirstPort; n <= kLastPort; ++n) {
        m_channel.Close();
        m_currentPort = n;
        if (!m_channel.SelectPort(n))
            continue;
        if (!m_channel.Open()) {
            if (m_channel.LastOpenDenied())
                ++denied;
            continue;
        }
        m_openablePorts.push_back(n);
    }
    if (m_openablePorts.empty()) {
        // Devices exist but none may be opened: the one failure a user can fix.
        if (denied > 0 && !m_permissionHintShown && onStatus) {
            m_permissionHintShown = true;
            onStatus(QStringLiteral("Serial ports exist but access was denied: add your user to "
                                    "the 'dialout' group (sudo adduser $USER dialout) and log in "
                                    "again."));
        }
        return; // the scan repeats at the timer's period
    }
    m_timers.Kill(T::PortScan);
    const int last = m_openablePorts.back();
    ProbePort(last);
    m_currentPort = last;
    m_timers.Start(T::Probe, Logger::kProbePeriodMs);
}

void LinkController::ProbePort(int n) {
    if (m_channel.IsOpen() && m_channel.CurrentPort() != n)
        m_channel.Close();
    if (!m_channel.SelectPort(n))
        return;
    m_channel.SetThreshold(1);
    if (!m_channel.IsOpen() && !m_channel.Open())
        return;
    m_channel.Write(QByteArray(1, char(Logger::kProbe)));
}

void LinkController::OnProbe() {
    if (!IsAnyLinkDialogOpen()) {
        m_timers.Kill(T::Probe);
        return;
    }
    if (m_replySeen)
        return;
    const int n = int(m_openablePorts.size());
    if (m_probeIndex > n) {
        m_timers.Kill(T::Probe);
        m_probeIndex = 1;
        m_openablePorts.clear();
        SetTitleAll(LinkText::kNotConnected, true);
        m_timers.Start(T::PortScan, Logger::kScanAfterFailureMs);
        return;
    }
    m_channel.Close();
    // From the last port found towards the first.
    const int port = m_openablePorts[size_t(n - m_probeIndex)];
    ProbePort(port);
    m_currentPort = port;
    ++m_probeIndex;
}

void LinkController::Handshake() {
    m_replySeen = true;
    m_loggerFound = true;
    for (LinkDialog d : kAllDialogs) {
        LinkDialogState& s = State(d);
        if (!s.open)
            continue;
        m_timers.Kill(T::PortScan);
        m_timers.Kill(T::Probe);
        s.title = Text(LinkText::kConnected);
        if (d == LinkDialog::Setup)
            s.message = QStringLiteral("  ");
        else if (d == LinkDialog::Download)
            s.message = Text(LinkText::kDownloadReadyAfterHandshake);
        else if (d == LinkDialog::RealTime)
            s.message = Text(LinkText::kRealTimeReadyAfterHandshake);
        Changed(d);
        m_timers.Start(T::Supervision, Logger::kSupervisionMs);
    }
    m_channel.Close();
}

void LinkController::OnSupervision() {
    if (!IsAnyLinkDialogOpen()) {
        m_timers.Kill(T::Supervision);
        return;
    }
    m_channel.Close();
    m_channel.SelectPort(m_currentPort);
    if (!m_channel.Open()) {
        SetTitleAll(LinkText::kNotConnected, true);
        return;
    }
    SetTitleAll(LinkText::kConnected, false);
    m_channel.Close();
}

void LinkController::KillLinkTimers() {
    m_timers.Kill(T::PortScan);
    m_timers.Kill(T::Probe);
    m_timers.Kill(T::Supervision);
}

// ---------------------------------------------------------------------------
// Channel operations

bool LinkController::SendCommand(const QByteArray& bytes) {
    m_timers.Kill(T::Supervision);
    if (!m_channel.IsOpen()) {
        m_channel.SelectPort(m_currentPort);
        if (!m_channel.Open())
            return false;
    }
    if (!m_channel.Write(bytes)) {
        m_channel.Close();
        return false;
    }
    return true;
}

void LinkController::ConfigureChannel() {
    m_channel.Close();
    m_channel.SelectPort(m_currentPort);
    m_channel.SetThreshold(1);
    m_channel.ClearInput();
    m_channel.ClearOutput();
}

void LinkController::ResetTransferState() {
    m_dataLength = 0;
    m_startPos = 0;
    m_received = 0;
    m_fullBlocks = -1;
    m_nextBlock = 0;
    m_receiveState = ReceiveState::ExpectHeader;
}

void LinkController::StartTransfer(TransferKind kind) {
    ResetTransferState();
    m_channel.Close();
    m_frameReceived = false;
    const bool download = kind == TransferKind::Download;
    m_channel.SetThreshold(download ? Logger::kHeaderBytes : Logger::kRealTimeFrameBytes);
    m_command = QByteArray(Logger::kCommandBytes,
                           char(download ? Logger::kStartDownload : Logger::kStartRealTime));
    m_transferMode = true;
    m_transferKind = kind;
    if (!SendCommand(m_command) && download) {
        // The port no longer opens (the adapter was pulled out since the last check):
        // no header can come, so say so instead of waiting for one in silence.
        m_transferMode = false;
        m_channel.SetThreshold(1);
        m_prompts.Message(Text(LinkText::kInterrupted));
        Ended(DownloadOutcome::Interrupted);
        return;
    }
    m_timers.Start(T::StartRepeat, Logger::kStartRepeatMs);
    // A start command that gets no answer at all would otherwise leave the user
    // waiting for a download that never begins, without a word: the block watchdog
    // covers the header too.
    if (download)
        m_timers.Start(T::DownloadWatchdog, Logger::kBlockWatchdogMs);
}

void LinkController::OnStartRepeat() {
    m_timers.Kill(T::StartRepeat);
    // A logger that answers the start command with the bare one-byte code (below the
    // header's threshold) is heard here rather than never.
    if (!m_frameReceived && m_transferMode && m_transferKind == TransferKind::Download &&
        m_receiveState == ReceiveState::ExpectHeader && m_channel.BytesAvailable() > 0) {
        const QByteArray r = m_channel.ReadAll();
        if (!r.isEmpty() && uint8_t(r[0]) == Logger::kLoggingNow) {
            HandleDownloadReply(r);
            return;
        }
    }
    if (!m_frameReceived && m_channel.IsOpen())
        m_channel.Write(m_command);
}

void LinkController::OnCommEvent() {
    const QByteArray r = m_channel.ReadAll();
    if (r.isEmpty())
        return;
    if (!m_transferMode) {
        switch (uint8_t(r[0])) {
        case Logger::kPresent:
            Handshake();
            break;
        case Logger::kAck:
            m_channel.Close();
            break;
        case Logger::kAckNotLogging:
            m_prompts.Message(Text(LinkText::kStartLogging), PromptIcon::Information);
            m_channel.Close();
            break;
        default:
            break;
        }
        return;
    }
    if (m_transferKind == TransferKind::RealTime) {
        if (onRealTimeFrame)
            onRealTimeFrame(r);
        return;
    }
    if (m_transferKind == TransferKind::Download)
        HandleDownloadReply(r);
}

// ---------------------------------------------------------------------------
// Download

void LinkController::HandleDownloadReply(const QByteArray& r) {
    m_timers.Kill(T::StartRepeat);
    m_frameReceived = true;
    const auto* bytes = reinterpret_cast<const uint8_t*>(r.constData());
    const uint32_t size = uint32_t(r.size());
    switch (m_receiveState) {
    case ReceiveState::ExpectHeader:
        // An answer ends the wait for the header; the block requests that follow
        // start the watchdog again.
        if (bytes[0] == Logger::kHeader || bytes[0] == Logger::kLoggingNow)
            m_timers.Kill(T::DownloadWatchdog);
        OnHeader(r);
        return;
    case ReceiveState::ExpectFullBlock: {
        if (m_fullBlocks == 0) {
            // The whole recording fits in one short block.
            if (size < m_dataLength)
                return; // short: the repeat or the watchdog deals with it
            m_timers.Kill(T::BlockRepeat);
            m_timers.Kill(T::DownloadWatchdog);
            std::memcpy(m_buffer.data(), bytes, m_dataLength);
            m_received = m_dataLength;
            Complete();
            return;
        }
        if (size < uint32_t(Logger::kBlockBytes))
            return;
        m_timers.Kill(T::BlockRepeat);
        m_timers.Kill(T::DownloadWatchdog);
        std::memcpy(m_buffer.data() + m_received, bytes, Logger::kBlockBytes);
        m_received += Logger::kBlockBytes;
        bool complete = false;
        if (m_received == uint32_t(Logger::kBlockBytes) * uint32_t(m_fullBlocks)) {
            const uint32_t rest = m_dataLength - m_received;
            if (rest > 0) {
                m_channel.SetThreshold(int(rest));
                m_marker = Logger::kMarkerLastBlock;
                m_receiveState = ReceiveState::ExpectLastBlock;
            } else {
                complete = true;
            }
        }
        if (complete) {
            Complete();
            return;
        }
        ArmBlockTimers();
        RequestBlock();
        ++m_nextBlock;
        SetProgress(m_progress + 1);
        return;
    }
    case ReceiveState::ExpectLastBlock: {
        const uint32_t rest = m_dataLength - m_received;
        if (size < rest)
            return;
        m_timers.Kill(T::BlockRepeat);
        m_timers.Kill(T::DownloadWatchdog);
        std::memcpy(m_buffer.data() + m_received, bytes, rest);
        m_received += rest;
        Complete();
        return;
    }
    }
}

void LinkController::OnHeader(const QByteArray& r) {
    const uint8_t code = uint8_t(r[0]);
    if (code == Logger::kLoggingNow) {
        m_prompts.Message(Text(LinkText::kLoggingNow), PromptIcon::Information);
        Ended(DownloadOutcome::LoggingNow);
        return;
    }
    if (code != Logger::kHeader || r.size() < Logger::kHeaderBytes)
        return;
    const DownloadHeader h = ParseHeader(reinterpret_cast<const uint8_t*>(r.constData()));
    switch (CheckHeader(h)) {
    case HeaderVerdict::NoChannels:
    case HeaderVerdict::NoData:
        EndWithoutData(Text(LinkText::kNoData), DownloadOutcome::NoData);
        return;
    case HeaderVerdict::Damaged:
        EndWithoutData(Text(LinkText::kDamagedHeader), DownloadOutcome::DamagedHeader);
        return;
    case HeaderVerdict::Ok:
        break;
    }
    // The header's settings are kept with the transfer and reach the measurement set
    // only when the whole recording has arrived: a failed download leaves the data
    // shown as it was.
    m_header = h;
    m_dataLength = h.dataLength;
    m_startPos = h.startPos;
    m_nextBlock = int(h.startPos / Logger::kBlockBytes);
    // Allocated once per download; the blocks are copied into it in place.
    m_buffer = QByteArray(qsizetype(m_dataLength), Qt::Uninitialized);
    m_received = 0;

    const int range = int(m_dataLength / Logger::kBlockBytes) + 1;
    m_loadingShown = true;
    m_progress = 1;
    if (onLoadingOpen)
        onLoadingOpen(range);
    m_fullBlocks = int(m_dataLength / Logger::kBlockBytes);
    if (m_fullBlocks == 0) {
        m_channel.SetThreshold(int(m_dataLength));
        m_marker = Logger::kMarkerLastBlock;
    } else {
        m_channel.SetThreshold(Logger::kBlockBytes);
        m_marker = Logger::kMarkerFullBlock;
    }
    RequestBlock();
    ArmBlockTimers();
    ++m_nextBlock;
    m_receiveState = ReceiveState::ExpectFullBlock;
}

void LinkController::EndWithoutData(const QString& message, DownloadOutcome outcome) {
    m_transferMode = false;
    m_dataLength = 0;
    m_startPos = 0;
    m_channel.SetThreshold(1);
    m_channel.Close();
    m_prompts.Message(message);
    Ended(outcome);
}

void LinkController::ArmBlockTimers() {
    m_timers.Start(T::BlockRepeat, Logger::kBlockRepeatMs);
    m_timers.Start(T::DownloadWatchdog, Logger::kBlockWatchdogMs);
    m_frameReceived = false;
}

void LinkController::RequestBlock() {
    int page = 2 * m_nextBlock;
    if (page >= Logger::kPagesInMemory) {
        // The ring's end: block 1024 is block 0 again.
        m_nextBlock = 0;
        page = 0;
    }
    QByteArray req(Logger::kCommandBytes, char(m_marker));
    req[0] = char(Logger::kBlockRequest);
    req[1] = char((page >> 8) & 0xFF);
    req[2] = char(page & 0xFF);
    m_blockRequest = req;
    m_channel.Write(req);
}

void LinkController::OnBlockRepeat() {
    m_timers.Kill(T::BlockRepeat);
    // Part of a reply arrived but not all of it: drop it and ask once more.
    const bool partial = m_channel.BytesAvailable() > 0;
    m_channel.Close();
    m_channel.SelectPort(m_currentPort);
    if (!m_channel.Open()) {
        m_timers.Kill(T::DownloadWatchdog);
        CloseLoading();
        m_transferMode = false;
        m_dataLength = 0;
        m_startPos = 0;
        m_channel.SetThreshold(1);
        m_prompts.Message(Text(LinkText::kInterrupted));
        Ended(DownloadOutcome::Interrupted);
        return;
    }
    m_channel.ClearInput();
    if (partial)
        m_channel.Write(m_blockRequest);
}

void LinkController::OnBlockWatchdog() {
    m_timers.Kill(T::DownloadWatchdog);
    m_timers.Kill(T::BlockRepeat);
    CloseLoading();
    m_transferMode = false;
    m_dataLength = 0;
    m_startPos = 0;
    ConfigureChannel();
    m_prompts.Message(Text(LinkText::kInterrupted));
    Ended(DownloadOutcome::Interrupted);
}

void LinkController::SetProgress(int pos) {
    m_progress = pos;
    if (m_loadingShown && onLoadingProgress)
        onLoadingProgress(pos);
}

void LinkController::CloseLoading() {
    if (!m_loadingShown)
        return;
    m_loadingShown = false;
    if (onLoadingClose)
        onLoadingClose();
}

void LinkController::Complete() {
    m_timers.Kill(T::BlockRepeat);
    m_timers.Kill(T::DownloadWatchdog);
    ConfigureChannel();
    SetProgress(int(m_dataLength / Logger::kBlockBytes) + 1);
    CloseLoading();

    MeasurementSet decoded = DecodeRecording(
        m_header, reinterpret_cast<const uint8_t*>(m_buffer.constData()), m_dataLength, m_set);
    m_set.TakeStored(std::move(decoded));

    m_transferMode = false;
    ResetTransferState();
    m_set.m_dataTag = QString::fromLatin1(kTagStored);
    if (onDownloadComplete)
        onDownloadComplete();
    Ended(DownloadOutcome::Completed);
}

void LinkController::Ended(DownloadOutcome o) {
    if (onDownloadEnded)
        onDownloadEnded(o);
}
