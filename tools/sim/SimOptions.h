#pragma once
// The simulator's command line: what it serves (a synthetic recording or a file),
// how it paces the line, the faults it plays and where it logs configuration
// commands. Each option is one row of a table in SimOptions.cpp.

#include "sim/LoggerImage.h"
#include "sim/LoggerModel.h"
#include "sim/RealTimeStream.h"

#include <QString>
#include <QStringList>

struct SimOptions {
    SyntheticOptions recording;
    LoggerFaults faults;
    RealTimeStream stream;
    QString file;       // a recording file to serve instead of the synthetic one
    bool paced = false; // replies at line speed
    int frameMs = 250;  // real-time frame period when not paced
    QString configLog;  // empty: stderr
};

// The usage text, stream options included.
QString SimUsage();

enum class SimParse { Run, Help, Bad };
// Reads `args` (without the program name) into `out`. Bad with `error` set (the
// message, without the program's name) for an unknown option or a bad value.
SimParse ParseSimOptions(const QStringList& args, SimOptions& out, QString& error);
