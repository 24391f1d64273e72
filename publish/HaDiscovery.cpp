#include "publish/HaDiscovery.h"

#include "publish/PublishOptions.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

struct Sensor {
    QString key;       // "ch1_rms": the object id
    QString name;      // "CH1 RMS"
    QString template_; // where the value stands in a sample
    QString unit;      // empty: none
    QString deviceClass;
};

void ChannelSensors(std::vector<Sensor>& out, int ch, const QString& unit) {
    const QString c = QStringLiteral("ch%1").arg(ch + 1);
    const QString label = QStringLiteral("CH%1").arg(ch + 1);
    const bool volts = unit == QLatin1String("V");
    out.push_back({c + QStringLiteral("_rms"), label + QStringLiteral(" RMS"),
                   QStringLiteral("{{ value_json.%1.rms }}").arg(c), unit,
                   volts ? QStringLiteral("voltage") : QStringLiteral("current")});
    out.push_back({c + QStringLiteral("_hz"), label + QStringLiteral(" frequency"),
                   QStringLiteral("{{ value_json.%1.hz }}").arg(c), QStringLiteral("Hz"),
                   QStringLiteral("frequency")});
    out.push_back({c + QStringLiteral("_thd"), label + QStringLiteral(" THD"),
                   QStringLiteral("{{ value_json.%1.thd }}").arg(c), QStringLiteral("%"),
                   QString()});
}

void PowerSensors(std::vector<Sensor>& out) {
    out.push_back({QStringLiteral("s_va"), QStringLiteral("Apparent power"),
                   QStringLiteral("{{ value_json.s_va }}"), QStringLiteral("VA"),
                   QStringLiteral("apparent_power")});
    out.push_back({QStringLiteral("p_w"), QStringLiteral("Active power"),
                   QStringLiteral("{{ value_json.p_w }}"), QStringLiteral("W"),
                   QStringLiteral("power")});
    out.push_back({QStringLiteral("q_var"), QStringLiteral("Reactive power"),
                   QStringLiteral("{{ value_json.q_var }}"), QStringLiteral("var"),
                   QStringLiteral("reactive_power")});
    // Home Assistant takes a power factor without a unit (a ratio) or in percent.
    out.push_back({QStringLiteral("pf"), QStringLiteral("Power factor"),
                   QStringLiteral("{{ value_json.pf }}"), QString(),
                   QStringLiteral("power_factor")});
    out.push_back({QStringLiteral("phi_deg"), QStringLiteral("Phase angle"),
                   QStringLiteral("{{ value_json.phi_deg }}"), QStringLiteral("\u00b0"),
                   QString()});
}

} // namespace

QString DiscoveryNodeId(const QString& clientId) {
    QString out;
    for (const QChar c : clientId)
        out += (c.isLetterOrNumber() && c.unicode() < 0x80) || c == QLatin1Char('-')
                   ? c
                   : QLatin1Char('_');
    return out.isEmpty() ? QStringLiteral("orvex") : out;
}

std::vector<DiscoveryMessage> DiscoveryMessages(const QString& prefix, const QString& nodeId,
                                                const std::array<QString, 2>& units) {
    std::vector<Sensor> sensors;
    for (int ch = 0; ch < 2; ++ch)
        if (!units[size_t(ch)].isEmpty())
            ChannelSensors(sensors, ch, units[size_t(ch)]);
    const bool power = (units[0] == QLatin1String("V") && units[1] == QLatin1String("A")) ||
                       (units[0] == QLatin1String("A") && units[1] == QLatin1String("V"));
    if (power)
        PowerSensors(sensors);

    QJsonObject device;
    device[QStringLiteral("identifiers")] = QJsonArray{nodeId};
    device[QStringLiteral("name")] = QStringLiteral("Orvex data logger %1").arg(prefix);
    device[QStringLiteral("manufacturer")] = QStringLiteral("Orvex");

    std::vector<DiscoveryMessage> out;
    for (const Sensor& s : sensors) {
        QJsonObject o;
        o[QStringLiteral("name")] = s.name;
        o[QStringLiteral("unique_id")] = nodeId + QLatin1Char('_') + s.key;
        o[QStringLiteral("object_id")] = nodeId + QLatin1Char('_') + s.key;
        o[QStringLiteral("state_topic")] = prefix + QLatin1String(kSampleTopicSuffix);
        o[QStringLiteral("value_template")] = s.template_;
        o[QStringLiteral("state_class")] = QStringLiteral("measurement");
        if (!s.unit.isEmpty())
            o[QStringLiteral("unit_of_measurement")] = s.unit;
        if (!s.deviceClass.isEmpty())
            o[QStringLiteral("device_class")] = s.deviceClass;
        // Live while a run is on; "offline" (the last will) or "stopped" otherwise.
        o[QStringLiteral("availability_topic")] = prefix + QLatin1String(kStateTopicSuffix);
        o[QStringLiteral("availability_template")] =
            QStringLiteral("{{ 'online' if value == 'running' else 'offline' }}");
        o[QStringLiteral("device")] = device;
        out.push_back(
            {QStringLiteral("homeassistant/sensor/%1/%2/config").arg(nodeId, s.key).toUtf8(),
             QJsonDocument(o).toJson(QJsonDocument::Compact)});
    }
    return out;
}
