#include "publish/PublishOptions.h"

#include <QSysInfo>
#include <QUrl>

#include <cstdlib>

namespace {

constexpr int kLongestPortableClientId = 23;

// Topic levels may hold neither wildcards nor the level separator; a client id is
// safest with letters, digits and dashes.
QString Sanitised(const QString& text, const QString& keep) {
    QString out;
    for (const QChar c : text)
        out +=
            (c.isLetterOrNumber() && c.unicode() < 0x80) || keep.contains(c) ? c : QLatin1Char('_');
    return out;
}

QString DeviceName(const QString& portName) {
    QString name = portName.section(QLatin1Char('/'), -1);
    name = name.section(QLatin1Char('\\'), -1);
    return name.isEmpty() ? QStringLiteral("logger") : name;
}

} // namespace

std::optional<QString> ParseBrokerUrl(const QString& url, PublishOptions& options) {
    const QUrl u(url, QUrl::StrictMode);
    const QString scheme = u.scheme().toLower();
    if (!u.isValid() || (scheme != QLatin1String("mqtt") && scheme != QLatin1String("mqtts")))
        return QStringLiteral("the broker URL must read mqtt://HOST[:PORT] or mqtts://HOST[:PORT]");
    if (!u.userInfo().isEmpty())
        return QStringLiteral("put the user and password in the settings or in %1 and %2, not "
                              "in the broker URL")
            .arg(QString::fromLatin1(kMqttUserVariable),
                 QString::fromLatin1(kMqttPasswordVariable));
    if (u.host().isEmpty())
        return QStringLiteral("the broker URL names no host");
    if ((!u.path().isEmpty() && u.path() != QLatin1String("/")) || u.hasQuery() || u.hasFragment())
        return QStringLiteral("the broker URL takes a host and a port only");
    options.tls = scheme == QLatin1String("mqtts");
    options.host = u.host();
    options.port = u.port(options.tls ? kMqttTlsPort : kMqttPort);
    if (options.port < 1 || options.port > 65535)
        return QStringLiteral("the broker's port must lie between 1 and 65535");
    return std::nullopt;
}

QString BrokerText(const PublishOptions& o) {
    const QString host =
        o.host.contains(QLatin1Char(':')) ? QLatin1Char('[') + o.host + QLatin1Char(']') : o.host;
    return QStringLiteral("%1://%2:%3")
        .arg(o.tls ? QStringLiteral("mqtts") : QStringLiteral("mqtt"), host)
        .arg(o.port);
}

QByteArray SampleTopic(const PublishOptions& options) {
    return (options.topicPrefix + QLatin1String(kSampleTopicSuffix)).toUtf8();
}

QByteArray StateTopic(const PublishOptions& options) {
    return (options.topicPrefix + QLatin1String(kStateTopicSuffix)).toUtf8();
}

QString DefaultTopicPrefix(const QString& portName) {
    return QStringLiteral("orvex/") + Sanitised(DeviceName(portName), QStringLiteral("-_."));
}

QString DefaultClientId(const QString& portName) {
    const QString id = QStringLiteral("orvex-%1-%2")
                           .arg(Sanitised(QSysInfo::machineHostName(), QStringLiteral("-")),
                                Sanitised(DeviceName(portName), QStringLiteral("-")));
    return id.left(kLongestPortableClientId);
}

void ApplyCredentialVariables(PublishOptions& o) {
    if (const char* user = std::getenv(kMqttUserVariable); user && *user)
        o.user = QString::fromLocal8Bit(user);
    if (const char* password = std::getenv(kMqttPasswordVariable); password && *password)
        o.password = QString::fromLocal8Bit(password);
}

void CompleteOptions(PublishOptions& o, const QString& portName, const QString& dataFolder) {
    if (o.topicPrefix.isEmpty())
        o.topicPrefix = DefaultTopicPrefix(portName);
    while (o.topicPrefix.endsWith(QLatin1Char('/')))
        o.topicPrefix.chop(1);
    if (o.clientId.isEmpty())
        o.clientId = DefaultClientId(portName);
    if (o.queueFolder.isEmpty())
        o.queueFolder = dataFolder;
}

std::optional<QString> CheckOptions(const PublishOptions& o) {
    if (o.host.isEmpty())
        return QStringLiteral("no broker is given");
    if (o.qos < 0 || o.qos > 2)
        return QStringLiteral("the QoS must be 0, 1 or 2");
    if (o.topicPrefix.isEmpty() || o.topicPrefix.contains(QLatin1Char('+')) ||
        o.topicPrefix.contains(QLatin1Char('#')) || o.topicPrefix.contains(QChar(0)))
        return QStringLiteral("the topic prefix may be neither empty nor hold + or #");
    if (o.clientId.isEmpty())
        return QStringLiteral("no client id is given");
    return std::nullopt;
}
