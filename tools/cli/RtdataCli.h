#pragma once
// The real-time run file (.rtdata) on the command line: telling it from a stored
// measurement, reading it with one wording for every bad file, and what info and
// export print of it.

#include "data/RtdataFile.h"
#include "graph/PowerAnalysis.h"

#include <QString>

#include <array>

struct CliArgs;

// True when `path` holds a real-time run, by its first bytes, or else by its name.
bool IsRealTimeFile(const QString& path);

// Opens a run for sub-command `command`: CliExit::Ok, or CliExit::BadFile after
// saying on stderr why the file cannot be used.
int OpenRealTimeRun(const char* command, const QString& path, RtdataReader& reader);

// orvex-dl info of a run (text, or one JSON object).
int PrintRealTimeInfo(const QString& path, bool json);
// orvex-dl export --csv of a run: the lines orvex-dl realtime prints.
int ExportRealTimeCsv(const QString& input, const QString& output);

// The analysis's kinds of a run's channels.
std::array<ChannelKind, 2> RunChannelKinds(const RtdataImage& run);
// A kept waveform as the analysis takes it.
std::array<FloatPair, kRtWavePoints> AnalysisWave(const RtWaveform& raw);
// The power figures of sample n (0-based), computed again from its kept waveform as
// the live run computed them (a run file stores none); empty where none was kept.
RtPowerRow RunPowerRow(const RtdataReader& reader, int n);

// The kept waveform of --sample N (from 1) for sub-command `command`: CliExit::Ok with
// `index` (0-based) and `wave` filled, or the exit code after saying on stderr why
// not (no --sample or one out of range: usage; no waveforms kept: a bad file; the
// waveform unreadable: a failure).
int SampleWaveformArg(const char* command, const CliArgs& args, const QString& input,
                      const RtdataReader& reader, const char* usage, int& index, RtWaveform& wave);
