#include "ui/RunPublisher.h"

#include "data/LineFormats.h"
#include "data/MeasurementSet.h"
#include "shell/WorkNotices.h"

#include <QDir>

RunPublisher::RunPublisher(const MeasurementSet& set, QObject* parent)
    : QObject(parent), m_set(set) {}

RunPublisher::~RunPublisher() {
    // Stopping says so; nobody is left to hear it.
    if (m_publisher)
        m_publisher->disconnect(this);
}

std::optional<QString> RunPublisher::Apply(const PublishSettings& s, const QString& queueFolder) {
    if (m_publisher)
        m_publisher->disconnect(this); // its "stopped" would come after the new status
    m_publisher.reset();
    m_runOpen = false;
    emit statusChanged(PublishStatus{});
    if (!s.enabled)
        return std::nullopt;
    PublishOptions o = s.options;
    ApplyCredentialVariables(o);
    if (!QDir().mkpath(queueFolder))
        return QStringLiteral("the folder %1 cannot be made").arg(queueFolder);
    CompleteOptions(o, QString::fromLatin1(kDefaultPortName), queueFolder);
    auto publisher = std::make_unique<MqttPublisher>(o);
    connect(publisher.get(), &MqttPublisher::statusChanged, this, &RunPublisher::statusChanged);
    QString error;
    if (!publisher->Start(&error))
        return error;
    m_publisher = std::move(publisher);
    emit statusChanged(m_publisher->Status());
    return std::nullopt;
}

PublishStatus RunPublisher::Status() const {
    return m_publisher ? m_publisher->Status() : PublishStatus{};
}

void RunPublisher::OnRunProgress(int taken, int) {
    if (!m_publisher || taken < 1 || taken > m_set.RtCount())
        return;
    if (taken == 1 || !m_runOpen) {
        std::array<QString, 2> units;
        for (int ch = 0; ch < 2; ++ch)
            if (m_set.RtChannelPresent(ch))
                units[size_t(ch)] = m_set.RtChannelUnit(ch);
        m_publisher->RunStarted(units);
        m_runOpen = true;
    }
    m_publisher->PublishSample(RealTimeLineSample(m_set, taken - 1));
}

void RunPublisher::OnWorkDone(const WorkReport& report) {
    if (!m_publisher || report.what != WorkDone::RunEnded || !m_runOpen)
        return;
    m_publisher->RunEnded();
    m_runOpen = false;
}
