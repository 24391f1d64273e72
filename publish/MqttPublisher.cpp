#include "publish/MqttPublisher.h"

#include "publish/HaDiscovery.h"
#include "publish/PublishQueue.h"

#include <mosquitto.h>

#include <QMetaObject>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace {

constexpr int kMaxInFlight = 20;  // messages sent and not yet acknowledged
constexpr int kLoopMs = 100;      // longest wait of the network thread for new messages
constexpr int kStopWaitMs = 3000; // Stop waits this long for the thread (a name lookup
                                  // may block it longer; it then ends on its own)
constexpr int kGoodbyeLoops = 10; // network rounds to send the disconnection

QString ErrorText(int rc, int savedErrno) {
    if (rc == MOSQ_ERR_ERRNO)
        return QString::fromLocal8Bit(std::strerror(savedErrno));
    if (rc == MOSQ_ERR_CONN_LOST)
        return QStringLiteral("the connection to the broker was lost");
    return QString::fromUtf8(mosquitto_strerror(rc));
}

// A message the broker or the library will never take as it is: sending it again
// cannot help.
bool RefusedForGood(int rc) {
    return rc == MOSQ_ERR_INVAL || rc == MOSQ_ERR_PAYLOAD_SIZE || rc == MOSQ_ERR_MALFORMED_UTF8 ||
           rc == MOSQ_ERR_OVERSIZE_PACKET;
}

void InitLibraryOnce() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

} // namespace

// The network side: one thread that connects, sends from the queue and takes the
// acknowledgements, and tries again after a failure. Only this thread touches the
// library's client object, which is made anew for every connection, so that the
// queue on the disk is the one place a message waits.
struct MqttPublisher::Link {
    using Notifier = std::function<void(PublishState, const QString&)>;

    Link(PublishOptions o, std::shared_ptr<PublishQueue> q)
        : options(std::move(o)), queue(std::move(q)) {}

    const PublishOptions options;
    const std::shared_ptr<PublishQueue> queue;

    // Shared with the program's thread, under `mutex`.
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
    bool finished = false;
    Notifier notify;
    std::vector<DiscoveryMessage> retained;
    uint64_t retainedGeneration = 0;
    QByteArray lastState; // the run's state last queued, empty before the first run
    std::atomic<bool> progressPending{false};

    // The network thread's own.
    mosquitto* client = nullptr;
    bool connected = false;
    bool sessionConnected = false;
    bool everConnected = false; // a connection of this link stood before
    QString refusal;
    std::map<int, uint64_t> inFlight; // message id -> sequence number
    uint64_t nextSeq = 0;
    uint64_t retainedSent = 0;
    size_t reportedWaiting = 0;
    std::thread thread;

    void Run();
    QString Session();
    bool Connect(QString& why);
    QString Serve();
    void Pump();
    void SendRetained();
    void RepeatState();
    void ReportProgress();
    void Notify(PublishState state, const QString& error);
    bool Stopping();

    static void OnConnect(mosquitto*, void* self, int rc);
    static void OnDisconnect(mosquitto*, void* self, int rc);
    static void OnPublish(mosquitto*, void* self, int mid);
};

bool MqttPublisher::Link::Stopping() {
    std::lock_guard lock(mutex);
    return stop;
}

void MqttPublisher::Link::Notify(PublishState state, const QString& error) {
    std::lock_guard lock(mutex);
    if (notify)
        notify(state, error);
}

void MqttPublisher::Link::ReportProgress() {
    const size_t waiting = queue->Waiting();
    if (waiting == reportedWaiting || progressPending.exchange(true))
        return;
    reportedWaiting = waiting;
    Notify(PublishState::Connected, QString());
}

void MqttPublisher::Link::Run() {
    InitLibraryOnce();
    int backoffMs = options.reconnectMinMs;
    while (!Stopping()) {
        const QString why = Session();
        if (Stopping())
            break;
        // After a connection that stood, the first new attempt comes soon again.
        if (sessionConnected)
            backoffMs = options.reconnectMinMs;
        Notify(PublishState::Unreachable, why);
        std::unique_lock lock(mutex);
        wake.wait_for(lock, std::chrono::milliseconds(backoffMs), [this] { return stop; });
        backoffMs =
            std::min(backoffMs * 2, std::max(options.reconnectMaxMs, options.reconnectMinMs));
    }
    queue->SaveHead(true);
    std::lock_guard lock(mutex);
    finished = true;
    wake.notify_all();
}

QString MqttPublisher::Link::Session() {
    connected = false;
    sessionConnected = false;
    refusal.clear();
    inFlight.clear();
    retainedSent = 0;
    client = mosquitto_new(options.clientId.toUtf8().constData(), true, this);
    if (client == nullptr)
        return QStringLiteral("the MQTT client could not be made");
    QString why;
    if (Connect(why))
        why = Serve();
    mosquitto_destroy(client);
    client = nullptr;
    return why;
}

bool MqttPublisher::Link::Connect(QString& why) {
    mosquitto_connect_callback_set(client, &Link::OnConnect);
    mosquitto_disconnect_callback_set(client, &Link::OnDisconnect);
    mosquitto_publish_callback_set(client, &Link::OnPublish);
    mosquitto_int_option(client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_max_inflight_messages_set(client, kMaxInFlight);
    if (!options.user.isEmpty())
        mosquitto_username_pw_set(
            client, options.user.toUtf8().constData(),
            options.password.isEmpty() ? nullptr : options.password.toUtf8().constData());
    const QByteArray stateTopic = StateTopic(options);
    mosquitto_will_set(client, stateTopic.constData(), int(std::strlen(kStateOffline)),
                       kStateOffline, 1, true);
    if (options.tls) {
        if (!options.caFile.isEmpty()) {
            if (mosquitto_tls_set(client, options.caFile.toLocal8Bit().constData(), nullptr,
                                  nullptr, nullptr, nullptr) != MOSQ_ERR_SUCCESS) {
                why = QStringLiteral("the CA file %1 cannot be read").arg(options.caFile);
                return false;
            }
        } else {
            mosquitto_int_option(client, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        }
    }
    // Connects without waiting for the broker's answer; a name lookup may still
    // take its time, here on the network thread.
    const int rc = mosquitto_connect_async(client, options.host.toUtf8().constData(), options.port,
                                           options.keepAliveS);
    if (rc != MOSQ_ERR_SUCCESS) {
        why = ErrorText(rc, errno);
        return false;
    }
    return true;
}

QString MqttPublisher::Link::Serve() {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(options.connectTimeoutMs);
    while (!Stopping()) {
        const int rc = mosquitto_loop(client, kLoopMs, 1);
        const int savedErrno = errno;
        if (!refusal.isEmpty())
            return refusal;
        if (rc != MOSQ_ERR_SUCCESS)
            return ErrorText(rc, savedErrno);
        if (!connected && std::chrono::steady_clock::now() > deadline)
            return QStringLiteral("the broker did not answer");
        if (connected) {
            Pump();
            queue->SaveHead();
            ReportProgress();
        }
    }
    if (connected) {
        // A clean goodbye: the broker then keeps the last will to itself.
        queue->SaveHead(true);
        mosquitto_disconnect(client);
        for (int i = 0; i < kGoodbyeLoops && connected; ++i)
            if (mosquitto_loop(client, kLoopMs / 2, 1) != MOSQ_ERR_SUCCESS)
                break;
    }
    return QString();
}

void MqttPublisher::Link::SendRetained() {
    std::vector<DiscoveryMessage> messages;
    uint64_t generation = 0;
    {
        std::lock_guard lock(mutex);
        if (retainedGeneration == retainedSent)
            return;
        messages = retained;
        generation = retainedGeneration;
    }
    for (const DiscoveryMessage& m : messages)
        if (mosquitto_publish(client, nullptr, m.topic.constData(), int(m.payload.size()),
                              m.payload.constData(), 1, true) != MOSQ_ERR_SUCCESS)
            return; // tried again on the next round or connection
    retainedSent = generation;
}

void MqttPublisher::Link::RepeatState() {
    // The connection was lost: the broker may have put the last will ("offline") on
    // the state topic, or restarted without its retained messages. The run's state
    // goes again, behind everything still waiting, so that it stays the last word; the
    // lock keeps a newer state queued meanwhile from going before it.
    std::lock_guard lock(mutex);
    if (!lastState.isEmpty())
        queue->Append(StateTopic(options), lastState, true);
}

void MqttPublisher::Link::Pump() {
    SendRetained();
    const uint64_t head = queue->HeadSeq();
    nextSeq = std::max(nextSeq, head); // messages that gave way in a full queue
    while (inFlight.size() < size_t(kMaxInFlight)) {
        const std::optional<QueuedMessage> m = queue->NextFrom(nextSeq);
        if (!m)
            return;
        int mid = 0;
        const int rc = mosquitto_publish(client, &mid, m->topic.constData(), int(m->payload.size()),
                                         m->payload.constData(), options.qos, m->retain);
        if (rc == MOSQ_ERR_SUCCESS) {
            // At QoS 0 the message is done once written (the library may say so before
            // it returns); otherwise when the broker acknowledges it.
            if (options.qos == 0)
                queue->Acknowledge(m->seq);
            else
                inFlight[mid] = m->seq;
        } else if (RefusedForGood(rc)) {
            queue->Discard(m->seq);
        } else {
            return; // the connection: everything not acknowledged goes again on the next one
        }
        nextSeq = m->seq + 1;
    }
}

void MqttPublisher::Link::OnConnect(mosquitto*, void* self, int rc) {
    auto* link = static_cast<Link*>(self);
    if (rc != 0) {
        link->refusal = QStringLiteral("the broker refused the connection: %1")
                            .arg(QString::fromUtf8(mosquitto_connack_string(rc)));
        return;
    }
    link->connected = true;
    link->sessionConnected = true;
    link->nextSeq = link->queue->HeadSeq();
    if (link->everConnected)
        link->RepeatState();
    link->everConnected = true;
    link->reportedWaiting = link->queue->Waiting();
    link->Notify(PublishState::Connected, QString());
    link->Pump();
}

void MqttPublisher::Link::OnDisconnect(mosquitto*, void* self, int) {
    static_cast<Link*>(self)->connected = false;
}

void MqttPublisher::Link::OnPublish(mosquitto*, void* self, int mid) {
    auto* link = static_cast<Link*>(self);
    const auto it = link->inFlight.find(mid);
    if (it == link->inFlight.end())
        return; // a discovery message, or the last connection's
    link->queue->Acknowledge(it->second);
    link->inFlight.erase(it);
    link->Pump();
}

// ---------------------------------------------------------------------------

MqttPublisher::MqttPublisher(PublishOptions options, QObject* parent)
    : QObject(parent), m_options(std::move(options)) {
    qRegisterMetaType<PublishStatus>();
}

MqttPublisher::~MqttPublisher() {
    Stop();
}

bool MqttPublisher::Start(QString* error) {
    if (m_link)
        return true;
    if (const auto why = CheckOptions(m_options)) {
        if (error)
            *error = *why;
        return false;
    }
    if (!m_queue) {
        auto queue = std::make_shared<PublishQueue>(m_options.queueFolder);
        if (!queue->Open(error))
            return false;
        m_queue = std::move(queue);
    }
    auto link = std::make_shared<Link>(m_options, m_queue);
    Link* const identity = link.get();
    link->notify = [this, identity](PublishState state, const QString& why) {
        QMetaObject::invokeMethod(
            this,
            [this, identity, state, why] {
                if (m_link.get() != identity)
                    return; // from a link stopped since
                if (state == PublishState::Connected)
                    m_link->progressPending = false;
                OnLinkEvent(state, why);
            },
            Qt::QueuedConnection);
    };
    link->lastState = m_lastState;
    m_link = link;
    m_status.state = PublishState::Connecting;
    m_status.error.clear();
    link->thread = std::thread([link] { link->Run(); });
    Refresh();
    return true;
}

void MqttPublisher::Stop() {
    if (!m_link)
        return;
    const std::shared_ptr<Link> link = std::move(m_link);
    bool finished = false;
    {
        std::unique_lock lock(link->mutex);
        link->stop = true;
        link->notify = nullptr;
        link->wake.notify_all();
        finished = link->wake.wait_for(lock, std::chrono::milliseconds(kStopWaitMs),
                                       [&] { return link->finished; });
    }
    if (finished)
        link->thread.join();
    else
        link->thread.detach(); // it holds its own share of the link and the queue
    m_status.state = PublishState::Stopped;
    m_status.error.clear();
    Refresh();
}

void MqttPublisher::RunStarted(const std::array<QString, 2>& units) {
    if (m_options.haDiscovery && m_link) {
        std::lock_guard lock(m_link->mutex);
        m_link->retained =
            DiscoveryMessages(m_options.topicPrefix, DiscoveryNodeId(m_options.clientId), units);
        ++m_link->retainedGeneration;
    }
    EnqueueState(kStateRunning);
}

void MqttPublisher::PublishSample(const LineSample& sample) {
    Enqueue(SampleTopic(m_options), SampleJson(sample), false);
}

void MqttPublisher::RunEnded() {
    EnqueueState(kStateStopped);
}

void MqttPublisher::EnqueueState(const char* state) {
    m_lastState = state;
    const QByteArray topic = StateTopic(m_options);
    if (!m_link) {
        Enqueue(topic, m_lastState, true);
        return;
    }
    {
        // Under the link's lock, as the network thread repeats the last state on a new
        // connection: a state queued now must follow the repeated one, never go before.
        std::lock_guard lock(m_link->mutex);
        m_link->lastState = m_lastState;
        Append(topic, m_lastState, true);
    }
    Refresh();
}

void MqttPublisher::Enqueue(const QByteArray& topic, const QByteArray& payload, bool retain) {
    Append(topic, payload, retain);
    Refresh();
}

void MqttPublisher::Append(const QByteArray& topic, const QByteArray& payload, bool retain) {
    if (!m_queue)
        return;
    if (!m_queue->Append(topic, payload, retain))
        m_status.error = QStringLiteral("the queue in %1 cannot be written; messages wait in "
                                        "memory only")
                             .arg(m_options.queueFolder);
}

void MqttPublisher::OnLinkEvent(PublishState state, const QString& error) {
    m_status.state = state;
    m_status.error = error;
    Refresh();
}

void MqttPublisher::Refresh() {
    m_status.waiting = m_queue ? qsizetype(m_queue->Waiting()) : 0;
    m_status.samplesWaiting = m_queue ? qsizetype(m_queue->WaitingSamples()) : 0;
    m_status.dropped = m_queue ? m_queue->Dropped() : 0;
    if (m_status == m_emitted)
        return;
    m_emitted = m_status;
    emit statusChanged(m_status);
}
