#include "link/PortMap.h"

#include "link/SerialChannel.h"

QStringList PortMapDevices() {
    QStringList list;
    const QString env = qEnvironmentVariable("DATALOGGER_PORTS");
    if (!env.trimmed().isEmpty()) {
        for (const QString& p : env.split(QLatin1Char(','), Qt::SkipEmptyParts))
            if (!p.trimmed().isEmpty())
                list << p.trimmed();
    } else {
#ifdef _WIN32
        for (int i = kFirstPort; i <= kLastPort; ++i)
            list << QStringLiteral("COM%1").arg(i);
#else
        for (int i = 0; i < 4; ++i)
            list << QStringLiteral("/dev/ttyUSB%1").arg(i);
        for (int i = 0; i < 4; ++i)
            list << QStringLiteral("/dev/ttyACM%1").arg(i);
        for (int i = 0; i < 8; ++i)
            list << QStringLiteral("/dev/ttyS%1").arg(i);
#endif
    }
    while (list.size() > kLastPort)
        list.removeLast();
    return list;
}

QString PortDevice(int n) {
    const QStringList list = PortMapDevices();
    return n >= kFirstPort && n <= list.size() ? list[n - 1] : QString();
}
