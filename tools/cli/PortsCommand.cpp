// orvex-dl ports: the port map, port numbers 1 to 16 and their devices.

#include "tools/cli/CliCommand.h"
#include "tools/cli/CliSupport.h"

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
    const char* const usage =
        "Usage: orvex-dl ports\n\n"
        "Lists the serial ports 1 to 16 the link searches and their devices.\n"
        "The list is $DATALOGGER_PORTS (comma-separated) if set, else the\n"
        "usual USB and on-board serial devices.\n";
    int exitCode = CliExit::Ok;
    if (!ParseCliArgs("ports", args, {}, 0, 0, usage, exitCode))
        return exitCode;
    const QStringList devices = PortMapDevices();
    const bool fromEnv = !qEnvironmentVariable("DATALOGGER_PORTS").trimmed().isEmpty();
    std::printf("# port map from %s\n", fromEnv ? "$DATALOGGER_PORTS" : "the default list");
    for (int n = kFirstPort; n <= devices.size(); ++n)
        std::printf("%2d  %-20s %s\n", n, qPrintable(devices[n - 1]), DeviceState(devices[n - 1]));
    return CliExit::Ok;
}

CliRegistration reg({"ports", "list the serial ports 1..16 and their devices", RunPorts});

} // namespace
