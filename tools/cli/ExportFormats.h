#pragma once
// The outputs of `orvex-dl export` for other tools: the stored RMS samples as JSON
// Lines or InfluxDB line protocol, and a transient record as a COMTRADE pair.

#include <QString>

struct CliArgs;
struct MeasurementSet;

// "jsonl" or "influx": one line per stored RMS sample, to `output` (atomically) or
// to stdout when it is empty. Returns the exit code.
int ExportLines(const MeasurementSet& set, const QString& format, const QString& input,
                const QString& output);

// --comtrade OUT --tr K [--frequency HZ] [--station NAME]: OUT.cfg and OUT.dat of
// transient record K (from 1). Returns the exit code.
int ExportComtrade(const MeasurementSet& set, const CliArgs& args, const QString& input,
                   const char* usage);
