#pragma once
// The outputs of `orvex-dl export` for other tools: the stored RMS samples or a
// run's samples as JSON Lines or InfluxDB line protocol, and a transient record or a
// run's captured waveform as a COMTRADE pair.

#include <QString>

struct CliArgs;
class MeasurementSet;
class RtdataReader;

// "jsonl" or "influx": one line per stored RMS sample, to `output` (atomically) or
// to stdout when it is empty. Returns the exit code.
int ExportLines(const MeasurementSet& set, const QString& format, const QString& input,
                const QString& output);

// --comtrade OUT --tr K [--frequency HZ] [--station NAME]: OUT.cfg and OUT.dat of
// transient record K (from 1). Returns the exit code.
int ExportComtrade(const MeasurementSet& set, const CliArgs& args, const QString& input,
                   const char* usage);

// The same two for a real-time run: one line per sample (the power figures computed
// again from its kept waveform, as the CSV export does), and --comtrade OUT
// --sample N with sample N's captured waveform, both channels with their units, the
// line frequency the analysis found for the sample unless --frequency gives one.
int ExportRunLines(const RtdataReader& reader, const QString& format, const QString& input,
                   const QString& output);
int ExportRunComtrade(const RtdataReader& reader, const CliArgs& args, const QString& input,
                      const char* usage);
