#pragma once
// Where and how the live samples are published: the broker, the credentials, the
// topics and the quality of service.

#include <QByteArray>
#include <QString>

#include <optional>

struct PublishOptions {
    QString host;
    int port = 1883;
    bool tls = false;
    QString caFile; // with TLS: the authority that signed the broker's certificate;
                    // empty = the system's authorities
    QString user;
    QString password; // never printed, never part of a message
    QString topicPrefix;
    int qos = 1;
    QString clientId;
    bool haDiscovery = false;
    QString queueFolder; // where samples wait while the broker is unreachable
    int keepAliveS = 30;
    int reconnectMinMs = 500;
    int reconnectMaxMs = 10000;
    int connectTimeoutMs = 10000;
};

inline constexpr int kMqttPort = 1883;
inline constexpr int kMqttTlsPort = 8883;

// Reads "mqtt://host[:port]" or "mqtts://host[:port]" into `options` (host, port,
// TLS). A user or password in the URL is refused: it would show in the process list
// and in every message naming the broker. Returns the reason for a refusal.
std::optional<QString> ParseBrokerUrl(const QString& url, PublishOptions& options);
// "mqtt://host:port" of the options, for messages.
QString BrokerText(const PublishOptions& options);

// "orvex/ttyUSB0" for the port "/dev/ttyUSB0": the device's last name, with the
// characters a topic level may not hold replaced.
QString DefaultTopicPrefix(const QString& portName);
// What follows the prefix: the measured samples go to "<prefix>/sample", the run's
// state (and the last will) to "<prefix>/state". Subscribers and the discovery
// messages name these topics, and the queue counts samples by their suffix.
inline constexpr char kSampleTopicSuffix[] = "/sample";
inline constexpr char kStateTopicSuffix[] = "/state";
// The two topics of the options' prefix, as the broker is told them.
QByteArray SampleTopic(const PublishOptions& options);
QByteArray StateTopic(const PublishOptions& options);
// A client id of at most 23 characters (the longest every broker must take).
QString DefaultClientId(const QString& portName);

// The user and password from DATALOGGER_MQTT_USER and DATALOGGER_MQTT_PASSWORD, where
// set; they take the place of those from the settings.
inline constexpr const char* kMqttUserVariable = "DATALOGGER_MQTT_USER";
inline constexpr const char* kMqttPasswordVariable = "DATALOGGER_MQTT_PASSWORD";
void ApplyCredentialVariables(PublishOptions& options);

// Fills the prefix, the client id and the queue folder where they are empty.
void CompleteOptions(PublishOptions& options, const QString& portName, const QString& dataFolder);

// Why the options cannot be used (no host, a QoS other than 0 to 2, a topic prefix
// holding a wildcard), or nothing.
std::optional<QString> CheckOptions(const PublishOptions& options);
