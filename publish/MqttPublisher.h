#pragma once
// Publishes the live samples to an MQTT broker: each sample as JSON on
// "<prefix>/sample", the run's start and end on "<prefix>/state" (retained, with the
// last will "offline"), and optionally Home Assistant's discovery configurations.
//
// Nothing is lost while the broker is away: every message goes through the queue on
// the disk first and leaves it only when the broker has acknowledged it, so samples
// taken meanwhile go out later, in order, with their own times. The network runs on
// a thread of its own; a run never waits for the broker. What the caller shows (the
// link's state and the number of messages waiting) comes as statusChanged.

#include "data/LineFormats.h"
#include "publish/PublishOptions.h"

#include <QMetaType>
#include <QObject>
#include <QString>

#include <array>
#include <memory>

enum class PublishState {
    Stopped,     // not started, or stopped
    Connecting,  // the first attempt is under way
    Connected,   // the broker has accepted the connection
    Unreachable, // the last attempt failed or the connection was lost; trying again
};

struct PublishStatus {
    PublishState state = PublishState::Stopped;
    qsizetype waiting = 0;        // messages queued, not yet acknowledged by the broker
    quint64 dropped = 0;          // given way to newer ones in a full queue, or refused for good
    QString error;                // why the broker is unreachable; never holds the password
    qsizetype samplesWaiting = 0; // of `waiting`, the samples (not the state or discovery)
    bool operator==(const PublishStatus&) const = default;
};
Q_DECLARE_METATYPE(PublishStatus)

inline constexpr const char* kStateRunning = "running";
inline constexpr const char* kStateStopped = "stopped";
inline constexpr const char* kStateOffline = "offline";

class PublishQueue;

class MqttPublisher : public QObject {
    Q_OBJECT
public:
    // `options` as CompleteOptions left them.
    explicit MqttPublisher(PublishOptions options, QObject* parent = nullptr);
    ~MqttPublisher() override;

    // Opens the queue on the disk (sending what an earlier run left there) and starts
    // the network thread. False with `error` when the options or the queue's folder
    // cannot be used.
    bool Start(QString* error = nullptr);
    // Ends the connection (cleanly, so that the last will is not sent). What is still
    // queued stays on the disk for the next start.
    void Stop();

    // A run begins with channels of these units (empty: absent): "running" on the
    // state topic and, with discovery, the sensors of these channels.
    void RunStarted(const std::array<QString, 2>& units);
    void PublishSample(const LineSample& sample);
    // "stopped" on the state topic.
    void RunEnded();

    PublishStatus Status() const { return m_status; }
    const PublishOptions& Options() const { return m_options; }

signals:
    void statusChanged(const PublishStatus& status);

private:
    struct Link;
    void Enqueue(const QByteArray& topic, const QByteArray& payload, bool retain);
    void EnqueueState(const char* state);
    void Append(const QByteArray& topic, const QByteArray& payload, bool retain);
    void OnLinkEvent(PublishState state, const QString& error);
    void Refresh();

    PublishOptions m_options;
    std::shared_ptr<PublishQueue> m_queue;
    std::shared_ptr<Link> m_link;
    QByteArray m_lastState; // the run's state last queued: "running" or "stopped"
    PublishStatus m_status;
    PublishStatus m_emitted;
};
