#pragma once
// The simulator's handling of the setup and set-clock commands: each one received
// is logged (one line of hex bytes, to a file or to stderr) and, for a synthetic
// recording, the recording served next is built anew with the interval, levels and
// start time just set, so that a round trip can be checked by a download.

#include "sim/LoggerImage.h"
#include "sim/LoggerModel.h"

#include <QString>

#include <optional>

// The command as one line, e.g. "AA 14 20 2D 01 F4 00 64".
QString HexLine(const QByteArray& bytes);

// `logPath` empty: the log goes to stderr. `synthetic`: the options the served
// recording was built from (nothing for a recording file, whose header alone
// changes). False with `error` set when the log file cannot be opened.
bool InstallConfigHandling(LoggerModel& model, const QString& logPath,
                           std::optional<SyntheticOptions> synthetic, QString* error);
