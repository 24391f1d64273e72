#include "ui/CPublishIndicator.h"

namespace {

QString Waiting(qsizetype n) {
    return n == 1 ? QStringLiteral("1 sample waiting")
                  : QStringLiteral("%1 samples waiting").arg(n);
}

} // namespace

CPublishIndicator::CPublishIndicator(QWidget* parent) : QLabel(parent) {
    setObjectName(QStringLiteral("publishIndicator"));
    hide();
}

QString CPublishIndicator::Text(const PublishStatus& s) {
    switch (s.state) {
    case PublishState::Stopped:
        return {};
    case PublishState::Connecting:
        return QStringLiteral("MQTT: connecting...");
    case PublishState::Connected:
        return s.samplesWaiting > 0
                   ? QStringLiteral("MQTT: connected, %1").arg(Waiting(s.samplesWaiting))
                   : QStringLiteral("MQTT: connected");
    case PublishState::Unreachable:
        return QStringLiteral("MQTT: broker unreachable, %1").arg(Waiting(s.samplesWaiting));
    }
    return {};
}

void CPublishIndicator::ShowStatus(const PublishStatus& s) {
    const QString text = Text(s);
    setText(text);
    setToolTip(s.error);
    // Red while samples cannot leave, so that it is seen from across the room.
    setStyleSheet(s.state == PublishState::Unreachable ? QStringLiteral("color: #c00000;")
                                                       : QString());
    setVisible(!text.isEmpty());
}
