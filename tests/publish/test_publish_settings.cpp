// The publisher's section of the settings file: what the Publish page stores is
// what orvex-dl and the next start read, and the rest of the file stays.

#include "base/IniFile.h"
#include "publish/PublishSettings.h"
#include "support/RefusedFile.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

PublishSettings Edited() {
    PublishSettings s;
    s.enabled = true;
    s.options.host = QStringLiteral("broker.example");
    s.options.port = 8884;
    s.options.tls = true;
    s.options.caFile = QStringLiteral("/etc/ssl/site ca.pem");
    s.options.user = QStringLiteral("meter");
    s.options.password = QStringLiteral("p=w;d");
    s.options.topicPrefix = QStringLiteral("site/hall 2");
    s.options.qos = 2;
    s.options.clientId = QStringLiteral("hall2");
    s.options.haDiscovery = true;
    return s;
}

TEST(PublishSettings, StoredValuesReadBackAndTheFileKeepsItsOtherLines) {
    QTemporaryDir dir;
    const QString path = dir.filePath("LumoDATALOGGER.ini");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[RTSAMPRATEINFO]\r\nRTSAMPRATE=5\r\n; a user's note\r\n");
    f.close();

    ASSERT_TRUE(SavePublishSettingsFile(path, Edited()));
    EXPECT_EQ(LoadPublishSettingsFile(path), Edited());
    IniFile ini;
    ASSERT_TRUE(ini.Load(path));
    EXPECT_EQ(ini.ReadInt("RTSAMPRATEINFO", "RTSAMPRATE", 0), 5);
    EXPECT_EQ(ini.ReadString("PUBLISHInfo", "Host", ""), "broker.example");
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().contains("; a user's note"));
}

TEST(PublishSettings, MissingOrOutOfRangeValuesReadAsTheDefaults) {
    IniFile ini;
    EXPECT_EQ(LoadPublishSettings(ini), PublishSettings{});
    ini.LoadFromBytes("[PUBLISHInfo]\nQoS=3\nPort=70000\nTLS=1\nEnabled=7\nDiscovery=-1\n");
    const PublishSettings s = LoadPublishSettings(ini);
    EXPECT_EQ(s.options.qos, 1);
    EXPECT_TRUE(s.options.tls);
    EXPECT_EQ(s.options.port, kMqttTlsPort); // a TLS broker's port when none is usable
    EXPECT_FALSE(s.enabled);
    EXPECT_FALSE(s.options.haDiscovery);
}

TEST(PublishSettings, AnUnreadableFileIsNotReplacedByOneWithoutItsOtherLines) {
    QTemporaryDir dir;
    const QString path = dir.filePath("LumoDATALOGGER.ini");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[VIEWInfo]\r\nVIEW1=0\r\n");
    f.close();
    {
        RefusedFile refused(path, {FileSeam::Step::Read});
        QString error;
        EXPECT_FALSE(SavePublishSettingsFile(path, Edited(), &error));
        EXPECT_FALSE(error.isEmpty());
    }
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "[VIEWInfo]\r\nVIEW1=0\r\n");
}

} // namespace
