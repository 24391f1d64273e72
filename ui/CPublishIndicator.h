#pragma once
// The status bar's field for the MQTT publisher: hidden while nothing is published,
// else whether the broker is connected and, while it is unreachable, how many
// samples wait for it. The reason of a failure shows as the field's tool tip.

#include "publish/MqttPublisher.h"

#include <QLabel>

class CPublishIndicator : public QLabel {
    Q_OBJECT
public:
    explicit CPublishIndicator(QWidget* parent = nullptr);

    // The field's text for `s` (empty: the field is hidden).
    static QString Text(const PublishStatus& s);

    void ShowStatus(const PublishStatus& s);
};
