#pragma once
// Home Assistant's MQTT discovery: one retained configuration message per value of
// the samples, so that each appears as a sensor with its unit and device class.

#include <QByteArray>
#include <QString>

#include <array>
#include <vector>

struct DiscoveryMessage {
    QByteArray topic; // homeassistant/sensor/<node>/<value>/config
    QByteArray payload;
};

// The sensors of a run whose channels read `units` ("V", "A"; empty for an absent
// channel): RMS, frequency and distortion per channel, and the powers, power factor
// and phase angle where one channel reads volts and the other amperes. The state
// topic is "<prefix>/sample", the availability "<prefix>/state".
std::vector<DiscoveryMessage> DiscoveryMessages(const QString& topicPrefix, const QString& nodeId,
                                                const std::array<QString, 2>& units);

// The node id of Home Assistant: letters, digits, '_' and '-' only.
QString DiscoveryNodeId(const QString& clientId);
