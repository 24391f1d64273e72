#include "publish/PublishSettings.h"

#include "base/IniFile.h"

#include <QFileInfo>

namespace {

const QString kSection = QString::fromLatin1(kPublishSection);

constexpr int kLargestPort = 65535;

QString Read(const IniFile& ini, const char* key, const QString& def = QString()) {
    return ini.ReadString(kSection, QString::fromLatin1(key), def);
}

int ReadInRange(const IniFile& ini, const char* key, int def, int lo, int hi) {
    const int v = ini.ReadInt(kSection, QString::fromLatin1(key), def);
    return v < lo || v > hi ? def : v;
}

} // namespace

bool PublishSettings::operator==(const PublishSettings& o) const {
    const PublishOptions& a = options;
    const PublishOptions& b = o.options;
    return enabled == o.enabled && a.host == b.host && a.port == b.port && a.tls == b.tls &&
           a.caFile == b.caFile && a.user == b.user && a.password == b.password &&
           a.topicPrefix == b.topicPrefix && a.qos == b.qos && a.clientId == b.clientId &&
           a.haDiscovery == b.haDiscovery;
}

PublishSettings LoadPublishSettings(const IniFile& ini) {
    PublishSettings s;
    PublishOptions& o = s.options;
    s.enabled = ReadInRange(ini, "Enabled", 0, 0, 1) == 1;
    o.host = Read(ini, "Host").trimmed();
    o.tls = ReadInRange(ini, "TLS", 0, 0, 1) == 1;
    o.port = ReadInRange(ini, "Port", o.tls ? kMqttTlsPort : kMqttPort, 1, kLargestPort);
    o.caFile = Read(ini, "CAFile");
    o.user = Read(ini, "User");
    o.password = Read(ini, "Password");
    o.topicPrefix = Read(ini, "Topic").trimmed();
    o.qos = ReadInRange(ini, "QoS", 1, 0, 2);
    o.clientId = Read(ini, "ClientId").trimmed();
    o.haDiscovery = ReadInRange(ini, "Discovery", 0, 0, 1) == 1;
    return s;
}

void StorePublishSettings(IniFile& ini, const PublishSettings& s) {
    const PublishOptions& o = s.options;
    const auto text = [&](const char* key, const QString& value) {
        ini.WriteString(kSection, QString::fromLatin1(key), value);
    };
    const auto number = [&](const char* key, int value) {
        ini.WriteInt(kSection, QString::fromLatin1(key), value);
    };
    number("Enabled", s.enabled ? 1 : 0);
    text("Host", o.host);
    number("Port", o.port);
    number("TLS", o.tls ? 1 : 0);
    text("CAFile", o.caFile);
    text("User", o.user);
    text("Password", o.password);
    text("Topic", o.topicPrefix);
    number("QoS", o.qos);
    text("ClientId", o.clientId);
    number("Discovery", o.haDiscovery ? 1 : 0);
}

PublishSettings LoadPublishSettingsFile(const QString& path) {
    IniFile ini;
    ini.Load(path);
    return LoadPublishSettings(ini);
}

bool SavePublishSettingsFile(const QString& path, const PublishSettings& s, QString* error) {
    IniFile ini;
    // A file that exists but cannot be read is left alone rather than replaced by
    // one that lacks the lines we could not see.
    if (!ini.Load(path) && QFileInfo::exists(path)) {
        if (error)
            *error = QStringLiteral("the file there cannot be read");
        return false;
    }
    StorePublishSettings(ini, s);
    return ini.Save(path, error);
}
