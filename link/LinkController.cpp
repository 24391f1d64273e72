#include "link/LinkController.h"

#include "base/Ids.h"
#include "link/LoggerProtocol.h"

#include <algorithm>

namespace {
namespace T = FrameTimer;

// Until the real-time transfer has its own class: the start command with its one
// repeat, and every reply handed to the shell as a frame.
class RealTimeForwarding final : public Transfer {
public:
    RealTimeForwarding(TransferHost& host, std::function<void(const QByteArray&)> frame)
        : m_host(host), m_frame(std::move(frame)) {}
    TransferKind Kind() const override { return TransferKind::RealTime; }
    std::span<const int> TimerIds() const override { return kTimers; }
    void Start() override {
        m_host.Channel().Close();
        m_host.Channel().SetThreshold(Logger::kRealTimeFrameBytes);
        m_command = Logger::StartCommand(Logger::kStartRealTime);
        m_host.SendCommand(m_command);
        m_host.Timers().Start(T::StartRepeat, Logger::kStartRepeatMs);
    }
    void OnReply(const QByteArray& bytes) override {
        if (m_frame)
            m_frame(bytes);
    }
    void OnTimer(int id) override {
        if (id != T::StartRepeat)
            return;
        m_host.Timers().Kill(T::StartRepeat);
        if (m_host.Channel().IsOpen())
            m_host.Channel().Write(m_command);
    }

private:
    static constexpr std::array<int, 1> kTimers = {T::StartRepeat};
    TransferHost& m_host;
    std::function<void(const QByteArray&)> m_frame;
    QByteArray m_command;
};
} // namespace

const std::array<int, 6> LinkController::kTimerIds = {
    T::PortScan, T::Probe, T::Supervision, T::DownloadWatchdog, T::BlockRepeat, T::StartRepeat};

LinkController::LinkController(SerialChannel& channel, TimerTable& timers, Prompts& prompts,
                               MeasurementSet& set)
    : m_channel(channel), m_timers(timers), m_prompts(prompts), m_search(
                                                                    channel, timers,
                                                                    [this](LinkDialog d) {
                                                                        if (onDialogChanged)
                                                                            onDialogChanged(d);
                                                                    },
                                                                    [this](const QString& text) {
                                                                        if (onStatus)
                                                                            onStatus(text);
                                                                    }) {
    DownloadEvents events;
    events.loadingOpen = [this](int range) {
        if (onLoadingOpen)
            onLoadingOpen(range);
    };
    events.loadingProgress = [this](int pos) {
        if (onLoadingProgress)
            onLoadingProgress(pos);
    };
    events.loadingClose = [this] {
        if (onLoadingClose)
            onLoadingClose();
    };
    events.complete = [this] {
        if (onDownloadComplete)
            onDownloadComplete();
    };
    events.ended = [this](DownloadOutcome o) {
        if (onDownloadEnded)
            onDownloadEnded(o);
    };
    TransferHost& host = *this;
    m_download = std::make_unique<DownloadTransfer>(host, set, std::move(events));
    m_realTime = std::make_unique<RealTimeForwarding>(host, [this](const QByteArray& frame) {
        if (onRealTimeFrame)
            onRealTimeFrame(frame);
    });
    m_channel.SetReceiveHandler([this] { OnCommEvent(); });
    m_channel.SetThreshold(1);
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
        break;
    case Logger::kAckNotLogging:
        m_prompts.Message(QString::fromLatin1(LinkText::kStartLogging), PromptIcon::Information);
        m_channel.Close();
        break;
    default:
        break;
    }
}
