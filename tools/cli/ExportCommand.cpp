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
    "       orvex-dl export FILE.stdata --format jsonl|influx [-o|--output FILE]\n"
    "       orvex-dl export FILE.stdata --comtrade OUT --tr N [--frequency HZ]\n"
    "                                   [--station NAME]\n\n"
    "Writes the measurement's report (tab-separated text, CRLF line ends) as\n"
    "File > Save does. Without -o the report goes beside the input file.\n"
    "With --csv, writes the stored RMS data as CSV instead:\n"
    "no,time,ch1,ch1_unit,ch2,ch2_unit with ISO 8601 local times. A real-time run\n"
    "(.rtdata) is exported with --csv only, as the lines orvex-dl realtime prints.\n"
    "With --format, one line per stored RMS sample: jsonl a JSON object, influx\n"
    "InfluxDB line protocol (tag file); to stdout unless -o names a file.\n"
    "With --comtrade, transient record N (from 1) as OUT.cfg and OUT.dat\n"
    "(COMTRADE 1999, ASCII); --frequency is the line frequency (default 50),\n"
    "--station the station name (default the input's name).\n"
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

int Run(const QStringList& args) {
    int exitCode = CliExit::Ok;
    const auto parsed = ParseCliArgs("export", args,
                                     {{{"-o", "--output"}, true},
                                      {{"--csv"}, false},
                                      {{"--format"}, true},
                                      {{"--comtrade"}, true},
                                      {{"--tr"}, true},
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

    if (IsRealTimeFile(input)) {
        if (!csv) {
            CliUsageError("export", QStringLiteral("a real-time run is exported with --csv"),
                          kUsage);
            return CliExit::Usage;
        }
        if (QFileInfo(output).canonicalFilePath() == QFileInfo(input).canonicalFilePath()) {
            CliUsageError("export",
                          QStringLiteral("the CSV would replace the run file %1; name another "
                                         "file with -o")
                              .arg(input),
                          kUsage);
            return CliExit::Usage;
        }
        return ExportRealTimeCsv(input, output);
    }
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
