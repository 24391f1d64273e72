// orvex-dl export FILE.stdata [-o FILE.xls]: writes the tab-separated report that
// File > Save writes beside a measurement file.

#include "data/ReportWriter.h"
#include "data/StdataFile.h"
#include "tools/cli/CliCommand.h"
#include "tools/cli/CliSupport.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace {

const char* const kUsage =
    "Usage: orvex-dl export FILE.stdata [-o|--output FILE.xls]\n\n"
    "Writes the measurement's report (tab-separated text, CRLF line ends) as\n"
    "File > Save does. Without -o the report goes beside the input file.\n"
    "Exit codes: 0 written, 1 the report could not be written, 2 bad\n"
    "arguments, 7 the input is missing, unreadable, damaged or not a stored\n"
    "RMS/TR measurement.\n";

// The report path when none is given: the input's name with its extension replaced.
QString BesideInput(const QString& input) {
    const QFileInfo info(input);
    QString stem = info.fileName();
    const qsizetype dot = stem.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0)
        stem.truncate(dot);
    return info.dir().filePath(stem + QStringLiteral(".xls"));
}

int Run(const QStringList& args) {
    int exitCode = CliExit::Ok;
    const auto parsed =
        ParseCliArgs("export", args, {{{"-o", "--output"}, true}}, 1, 1, kUsage, exitCode);
    if (!parsed)
        return exitCode;
    const QString input = parsed->files.first();
    const QString output = parsed->Has("-o") ? parsed->Value("-o") : BesideInput(input);

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
    if (!WriteReportFile(output, set, &error)) {
        std::fprintf(stderr, "orvex-dl export: cannot write %s: %s\n", qPrintable(output),
                     qPrintable(error));
        return CliExit::Failure;
    }
    return CliExit::Ok;
}

const CliRegistration kRegistration{
    {"export", "write the .xls report of a .stdata file (export FILE.stdata -o FILE.xls)", Run}};

} // namespace
