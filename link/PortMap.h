#pragma once
// Port numbers 1..16 of the logger link mapped to device paths.

#include <QString>
#include <QStringList>

// $DATALOGGER_PORTS (comma-separated) if set, else a default list of likely USB
// and on-board serial devices (COM1..COM16 on Windows).
QStringList PortMapDevices();
// Device of port n (1-based), or an empty string when n maps to nothing.
QString PortDevice(int n);
