// orvex-dl ports: the port map, port numbers 1 to 16 and their devices.

#include "tools/cli/CliCommand.h"

#include "link/PortMap.h"
#include "link/SerialChannel.h"

#include <QFileInfo>

#include <cstdio>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

const char* DeviceState(const QString& device) {
#ifdef _WIN32
    (void)device;
    return "";
#else
    const QByteArray path = device.toLocal8Bit();
    if (!QFileInfo::exists(device))
        return "missing";
    if (::access(path.constData(), R_OK | W_OK) != 0)
        return "no access (join the device's group, e.g. dialout)";
    return "present";
#endif
}

int RunPorts(const QStringList& args) {
    if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
        std::printf("Usage: orvex-dl ports\n\n"
                    "Lists the serial ports 1 to 16 the link searches and their devices.\n"
                    "The list is $DATALOGGER_PORTS (comma-separated) if set, else the usual\n"
                    "USB and on-board serial devices.\n");
        return CliExit::Ok;
    }
    if (!args.isEmpty()) {
        std::fprintf(stderr, "orvex-dl ports: unexpected argument '%s'\n", qPrintable(args[0]));
        return CliExit::Usage;
    }
    const QStringList devices = PortMapDevices();
    const bool fromEnv = !qEnvironmentVariable("DATALOGGER_PORTS").trimmed().isEmpty();
    std::printf("# port map from %s\n", fromEnv ? "$DATALOGGER_PORTS" : "the default list");
    for (int n = kFirstPort; n <= devices.size(); ++n)
        std::printf("%2d  %-20s %s\n", n, qPrintable(devices[n - 1]), DeviceState(devices[n - 1]));
    return CliExit::Ok;
}

CliRegistration reg({"ports", "list the serial ports 1..16 and their devices", RunPorts});

} // namespace
