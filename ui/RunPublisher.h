#pragma once
// Publishes the window's real-time runs to the MQTT broker of the Publish settings:
// it listens to the shell's run notices (a sample stored, the run ended) and hands
// each sample, read from the set, to the publisher. The publisher's status comes out
// again as statusChanged for the status-bar indicator.

#include "publish/MqttPublisher.h"
#include "publish/PublishSettings.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class MeasurementSet;
struct WorkReport;

class RunPublisher : public QObject {
    Q_OBJECT
public:
    // The logger's name in the default topic and client id: one for every port, so
    // that a dashboard keeps its topics when the logger moves to another port.
    static constexpr const char* kDefaultPortName = "logger";

    // `set` (its run, with the run's own interval and sample times) is read when a
    // sample is stored.
    explicit RunPublisher(const MeasurementSet& set, QObject* parent = nullptr);
    ~RunPublisher() override;

    // Publishes from now on with `s` (what ran before is stopped; its queue stays on
    // the disk), or not at all when `s` is not enabled. The password and user of the
    // environment take the place of the stored ones. Returns why it cannot publish.
    std::optional<QString> Apply(const PublishSettings& s, const QString& queueFolder);
    bool Publishing() const { return m_publisher != nullptr; }
    PublishStatus Status() const;

    // Sample `taken` (from 1) was stored; the first of a run starts it on the broker.
    void OnRunProgress(int taken, int requested);
    // A run ended: "stopped" on the state topic.
    void OnWorkDone(const WorkReport& report);

signals:
    void statusChanged(const PublishStatus& status);

private:
    const MeasurementSet& m_set;
    std::unique_ptr<MqttPublisher> m_publisher;
    bool m_runOpen = false;
};
