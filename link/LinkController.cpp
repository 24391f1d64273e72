#include "link/LinkController.h"

#include "base/Ids.h"
#include "link/LoggerProtocol.h"

#include <QElapsedTimer>

#include <algorithm>

namespace {
namespace T = FrameTimer;
} // namespace

const std::array<int, 9> LinkController::kTimerIds = {
    T::PortScan,         T::Probe,        T::Supervision,
    T::DownloadWatchdog, T::BlockRepeat,  T::StartRepeat,
    T::RealTimeWatchdog, T::RealTimeTick, T::RealTimeRestart};

LinkController::LinkController(SerialChannel& channel, TimerTable& timers, Prompts& prompts,
                               MeasurementSet& set, QObject* parent)
    : QObject(parent), m_channel(channel), m_timers(timers), m_prompts(prompts),
      m_search(channel, timers) {
    TransferHost& host = *this;
    m_download = std::make_unique<DownloadTransfer>(host, set);
    m_realTime = std::make_unique<RealTimeTransfer>(host, set);
    connect(m_download.get(), &DownloadTransfer::bytesProgress, this,
            &LinkController::OnBytesProgress);
    m_channel.SetReceiveHandler([this] { OnCommEvent(); });
    m_channel.SetThreshold(1);
    SetSteadyClock({});
}

void LinkController::SetSteadyClock(SteadyClock nowMs) {
    if (nowMs) {
        m_nowMs = std::move(nowMs);
        return;
    }
    m_nowMs = [steady = std::make_shared<QElapsedTimer>()] {
        if (!steady->isValid())
            steady->start();
        return steady->elapsed();
    };
}

LinkController::~LinkController() = default;

bool LinkController::OnTimer(int id) {
    if (m_search.OnTimer(id))
        return true;
    if (std::find(kTimerIds.begin(), kTimerIds.end(), id) == kTimerIds.end())
        return false;
    if (Transfer* t = m_op.last) {
        const std::span<const int> ids = t->TimerIds();
        if (std::find(ids.begin(), ids.end(), id) != ids.end())
            t->OnTimer(id);
    }
    return true;
}

bool LinkController::SendCommand(const QByteArray& bytes) {
    m_search.StopSupervision();
    if (!m_channel.IsOpen()) {
        m_channel.SelectPort(m_search.CurrentPort());
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
    m_channel.SelectPort(m_search.CurrentPort());
    m_channel.SetThreshold(1);
    m_channel.ClearInput();
    m_channel.ClearOutput();
}

Transfer* LinkController::TransferOf(TransferKind kind) {
    switch (kind) {
    case TransferKind::Download:
        return m_download.get();
    case TransferKind::RealTime:
        return m_realTime.get();
    case TransferKind::None:
        break;
    }
    return nullptr;
}

void LinkController::StartTransfer(TransferKind kind) {
    Transfer* t = TransferOf(kind);
    if (!t)
        return;
    m_op.last = t;
    m_op.kind = kind;
    m_op.transferMode = true;
    t->Start();
}

void LinkController::OnCommEvent() {
    const QByteArray r = m_channel.ReadAll();
    if (r.isEmpty())
        return;
    if (!m_op.transferMode) {
        OnIdleReply(uint8_t(r[0]));
        return;
    }
    if (Transfer* t = TransferOf(m_op.kind))
        t->OnReply(r);
}

// Replies outside a transfer, whatever command preceded them.
void LinkController::OnIdleReply(uint8_t code) {
    switch (code) {
    case Logger::kPresent:
        m_search.OnLoggerPresent();
        break;
    case Logger::kAck:
        m_channel.Close();
        emit acknowledged();
        break;
    case Logger::kAckNotLogging:
        m_prompts.Message(QString::fromLatin1(LinkText::kStartLogging), PromptIcon::Information);
        m_channel.Close();
        emit acknowledged();
        break;
    default:
        break;
    }
}

bool LinkController::EndStoppedTransfer() {
    if (!m_op.transferMode)
        return true;
    if (m_op.kind != TransferKind::RealTime || m_realTime->Running())
        return false;
    m_op.transferMode = false;
    return true;
}

void LinkController::CancelTransfer() {
    if (m_op.transferMode && m_op.kind == TransferKind::Download)
        m_download->Cancel();
}

void LinkController::OnBytesProgress(const DownloadProgress& p) {
    const int64_t now = m_nowMs();
    if (p.bytesDone == 0)
        m_loadingStartMs = now;
    int64_t msLeft = -1;
    // The rate of the blocks so far; the first one also carries the latency of the
    // port, so the estimate starts after it.
    if (p.bytesDone > 0 && p.bytesDone < p.bytesTotal && now > m_loadingStartMs)
        msLeft =
            (now - m_loadingStartMs) * int64_t(p.bytesTotal - p.bytesDone) / int64_t(p.bytesDone);
    if (p.bytesDone >= p.bytesTotal)
        msLeft = 0;
    emit loadingText(LoadingText(p, msLeft));
}

QString LinkController::LoadingText(const DownloadProgress& p, int64_t msLeft) {
    QString left;
    if (msLeft < 0)
        left = QStringLiteral("estimating the time left");
    else if (msLeft < 60000)
        left = QStringLiteral("about %1 s left").arg((msLeft + 999) / 1000);
    else
        left = QStringLiteral("about %1 min %2 s left")
                   .arg((msLeft + 999) / 1000 / 60)
                   .arg((msLeft + 999) / 1000 % 60);
    return QStringLiteral("Block %1 of %2, %3 of %4 bytes\n%5")
        .arg(p.blocksDone)
        .arg(p.blocksTotal)
        .arg(p.bytesDone)
        .arg(p.bytesTotal)
        .arg(left);
}
