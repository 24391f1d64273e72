#pragma once
// The real-time run file (.rtdata) on the command line: telling it from a stored
// measurement, reading it with one wording for every bad file, and what info and
// export print of it.

#include "data/RtdataFile.h"

#include <QString>

// True when `path` holds a real-time run, by its first bytes, or else by its name.
bool IsRealTimeFile(const QString& path);

// Opens a run for sub-command `command`: CliExit::Ok, or CliExit::BadFile after
// saying on stderr why the file cannot be used.
int OpenRealTimeRun(const char* command, const QString& path, RtdataReader& reader);

// orvex-dl info of a run (text, or one JSON object).
int PrintRealTimeInfo(const QString& path, bool json);
// orvex-dl export --csv of a run: the lines orvex-dl realtime prints.
int ExportRealTimeCsv(const QString& input, const QString& output);
