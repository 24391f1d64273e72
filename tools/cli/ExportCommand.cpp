// orvex-dl export FILE.stdata [-o FILE.xls]: writes the tab-separated report that
// File > Save writes beside a measurement file; with --csv, the rows of the stored
// RMS data list as CSV for a spreadsheet (File > Export > Data as CSV); with --format
// the samples as JSON Lines or line protocol; with --comtrade a transient record.

#include "base/Settings.h"
#include "data/ReportWriter.h"
#include "data/StdataFile.h"
#include "graph/DataList.h"
#include "graph/ReportSetup.h"
#include "tools/cli/CliCommand.h"
#include "tools/cli/CliSupport.h"
#include "tools/cli/ExportFormats.h"
#include "tools/cli/RtdataCli.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace {

const char* const kUsage =
    "Usage: orvex-dl export FILE.stdata [-o|--output FILE.xls]\n"
    "       orvex-dl export FILE.stdata --csv [-o|--output FILE.csv]\n"
    "       orvex-dl export FILE.rtdata --csv [-o|--output FILE.csv]\n"
    "       orvex-dl export FILE.stdata|FILE.rtdata --format jsonl|influx\n"
    "                                   [-o|--output FILE]\n"
    "       orvex-dl export FILE.stdata --comtrade OUT --tr N [--frequency HZ]\n"
    "                                   [--station NAME]\n"
    "       orvex-dl export FILE.rtdata --comtrade OUT --sample N [--frequency HZ]\n"
    "                                   [--station NAME]\n\n"
    "Writes the measurement's report (tab-separated text, CRLF line ends) as\n"
    "File > Save does. Without -o the report goes beside the input file.\n"
    "With --csv, writes the stored RMS data as CSV instead:\n"
    "no,time,ch1,ch1_unit,ch2,ch2_unit with ISO 8601 local times. A real-time run\n"
    "(.rtdata) is exported with --csv as the lines orvex-dl realtime prints.\n"
    "With --format, one line per stored RMS sample or per sample of a run: jsonl a\n"
    "JSON object, influx InfluxDB line protocol (tag file); to stdout unless -o\n"
    "names a file.\n"
    "With --comtrade, transient record N (from 1) of a stored measurement, or the\n"
    "waveform captured for sample N (from 1) of a run (590 points at 54.71 us, both\n"
    "channels), as OUT.cfg and OUT.dat (COMTRADE 1999, ASCII); --frequency is the\n"
    "line frequency (default: the sample's as analysed, else 50), --station the\n"
    "station name (default the input's name).\n"
    "Exit codes: 0 written, 1 the report could not be written, 2 bad\n"
    "arguments, 7 the input is missing, unreadable, damaged or not a stored\n"
    "RMS/TR measurement.\n";

// The report path when none is given: the input's name with its extension replaced.
QString BesideInput(const QString& input, const char* extension = ".xls") {
    const QFileInfo info(input);
    QString stem = info.fileName();
    const qsizetype dot = stem.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0)
        stem.truncate(dot);
    return info.dir().filePath(stem + QString::fromLatin1(extension));
}

// --format names a known format, and one output kind at most is asked for.
bool OutputKindValid(const CliArgs& a) {
    const QString format = a.Value("--format");
    if (a.Has("--format") && format != QLatin1String("jsonl") &&
        format != QLatin1String("influx")) {
        CliUsageError("export", QStringLiteral("--format takes jsonl or influx"), kUsage);
        return false;
    }
    if (int(a.Has("--csv")) + int(a.Has("--format")) + int(a.Has("--comtrade")) > 1) {
        CliUsageError("export", QStringLiteral("--csv, --format and --comtrade exclude each other"),
                      kUsage);
        return false;
    }
    return true;
}

// A real-time run: its CSV lines, JSON Lines or line protocol, or one sample's
// waveform as a COMTRADE pair.
int ExportRun(const CliArgs& a, const QString& input, const QString& csvOutput) {
    if (!a.Has("--csv") && !a.Has("--format") && !a.Has("--comtrade")) {
        CliUsageError("export",
                      QStringLiteral("a real-time run is exported with --csv, --format or "
                                     "--comtrade"),
                      kUsage);
        return CliExit::Usage;
    }
    const QString output = a.Has("--format") ? a.Value("-o") : csvOutput;
    if (!a.Has("--comtrade") && !output.isEmpty() &&
        QFileInfo(output).canonicalFilePath() == QFileInfo(input).canonicalFilePath()) {
        CliUsageError("export",
                      QStringLiteral("the output would replace the run file %1; name another "
                                     "file with -o")
                          .arg(input),
                      kUsage);
        return CliExit::Usage;
    }
    if (a.Has("--csv"))
        return ExportRealTimeCsv(input, output);
    RtdataReader reader;
    if (const int r = OpenRealTimeRun("export", input, reader); r != CliExit::Ok)
        return r;
    if (a.Has("--format"))
        return ExportRunLines(reader, a.Value("--format"), input, output);
    return ExportRunComtrade(reader, a, input, kUsage);
}

int Run(const QStringList& args) {
    int exitCode = CliExit::Ok;
    const auto parsed = ParseCliArgs("export", args,
                                     {{{"-o", "--output"}, true},
                                      {{"--csv"}, false},
                                      {{"--format"}, true},
                                      {{"--comtrade"}, true},
                                      {{"--tr"}, true},
                                      {{"--sample"}, true},
                                      {{"--frequency"}, true},
                                      {{"--station"}, true}},
                                     1, 1, kUsage, exitCode);
    if (!parsed)
        return exitCode;
    if (!OutputKindValid(*parsed))
        return CliExit::Usage;
    const bool csv = parsed->Has("--csv");
    const QString input = parsed->files.first();
    const QString output =
        parsed->Has("-o") ? parsed->Value("-o") : BesideInput(input, csv ? ".csv" : ".xls");

    if (IsRealTimeFile(input))
        return ExportRun(*parsed, input, output);
    MeasurementSet set;
    if (const int r = LoadStoredMeasurement("export", input, set); r != CliExit::Ok)
        return r;
    if (parsed->Has("--comtrade"))
        return ExportComtrade(set, *parsed, input, kUsage);
    // A measurement file named *.xls, or -o naming the input, would be overwritten by
    // its own report.
    const QString written = parsed->Has("--format") ? parsed->Value("-o") : output;
    if (!written.isEmpty() &&
        QFileInfo(written).canonicalFilePath() == QFileInfo(input).canonicalFilePath()) {
        CliUsageError("export",
                      QStringLiteral("the report would replace the measurement file %1; name "
                                     "another report file with -o")
                          .arg(input),
                      kUsage);
        return CliExit::Usage;
    }
    if (parsed->Has("--format"))
        return ExportLines(set, parsed->Value("--format"), input, written);
    QString error;
    if (csv) {
        const AppSettings settings;
        GraphModel model;
        if (!PrepareStoredGraph(model, set, settings, -1)) {
            std::fprintf(stderr, "orvex-dl export: %s holds no stored RMS data\n",
                         qPrintable(input));
            return CliExit::BadFile;
        }
        if (!SaveDataListCsv(DataListViewOf(model, GraphInputs{set, settings, false}), output,
                             &error)) {
            std::fprintf(stderr, "orvex-dl export: cannot write %s: %s\n", qPrintable(output),
                         qPrintable(error));
            return CliExit::Failure;
        }
        return CliExit::Ok;
    }
    if (!WriteReportFile(output, set, &error)) {
        std::fprintf(stderr, "orvex-dl export: cannot write %s: %s\n", qPrintable(output),
                     qPrintable(error));
        return CliExit::Failure;
    }
    return CliExit::Ok;
}

const CliRegistration kRegistration{
    {"export",
     "write the .xls report or --csv data of a .stdata or .rtdata file (export FILE -o OUT)", Run}};

} // namespace
