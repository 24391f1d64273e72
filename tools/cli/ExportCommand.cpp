// orvex-dl export FILE.stdata [-o FILE.xls]: writes the tab-separated report that
// File > Save writes beside a measurement file; with --csv, the rows of the stored
// RMS data list as CSV for a spreadsheet (File > Export > Data as CSV).

#include "base/Settings.h"
#include "data/ReportWriter.h"
#include "data/StdataFile.h"
#include "graph/DataList.h"
#include "graph/ReportSetup.h"
#include "tools/cli/CliCommand.h"
#include "tools/cli/CliSupport.h"
#include "tools/cli/RtdataCli.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace {

const char* const kUsage =
    "Usage: orvex-dl export FILE.stdata [-o|--output FILE.xls]\n"
    "       orvex-dl export FILE.stdata --csv [-o|--output FILE.csv]\n"
    "       orvex-dl export FILE.rtdata --csv [-o|--output FILE.csv]\n\n"
    "Writes the measurement's report (tab-separated text, CRLF line ends) as\n"
    "File > Save does. Without -o the report goes beside the input file.\n"
    "With --csv, writes the stored RMS data as CSV instead:\n"
    "no,time,ch1,ch1_unit,ch2,ch2_unit with ISO 8601 local times. A real-time run\n"
    "(.rtdata) is exported with --csv only, as the lines orvex-dl realtime prints.\n"
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

int Run(const QStringList& args) {
    int exitCode = CliExit::Ok;
    const auto parsed = ParseCliArgs(
        "export", args, {{{"-o", "--output"}, true}, {{"--csv"}, false}}, 1, 1, kUsage, exitCode);
    if (!parsed)
        return exitCode;
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
    // A measurement file named *.xls, or -o naming the input, would be overwritten by
    // its own report.
    if (QFileInfo(output).canonicalFilePath() == QFileInfo(input).canonicalFilePath()) {
        CliUsageError("export",
                      QStringLiteral("the report would replace the measurement file %1; name "
                                     "another report file with -o")
                          .arg(input),
                      kUsage);
        return CliExit::Usage;
    }
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
