// orvex-dl export FILE.stdata [-o FILE.xls]: writes the tab-separated report that
// File > Save writes beside a measurement file.

#include "data/ReportWriter.h"
#include "data/StdataFile.h"
#include "tools/cli/CliCommand.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace {

void Usage(FILE* out) {
    std::fprintf(out, "Usage: orvex-dl export FILE.stdata [-o FILE.xls]\n\n"
                      "Writes the measurement's report (tab-separated text, CRLF line ends) as\n"
                      "File > Save does. Without -o the report goes beside the input file.\n"
                      "Exit codes: 0 written, 1 the report could not be written, 2 bad\n"
                      "arguments, 7 the input is missing, unreadable, damaged or not a stored\n"
                      "RMS/TR measurement.\n");
}

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
    QString input;
    QString output;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            Usage(stdout);
            return CliExit::Ok;
        }
        if (a == QLatin1String("-o") || a == QLatin1String("--output")) {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "orvex-dl export: %s needs a file name\n", qPrintable(a));
                return CliExit::Usage;
            }
            output = args[++i];
        } else if (a.startsWith(QLatin1Char('-')) && a.size() > 1) {
            std::fprintf(stderr, "orvex-dl export: unknown option '%s'\n\n", qPrintable(a));
            Usage(stderr);
            return CliExit::Usage;
        } else if (input.isEmpty()) {
            input = a;
        } else {
            std::fprintf(stderr, "orvex-dl export: more than one input file\n\n");
            Usage(stderr);
            return CliExit::Usage;
        }
    }
    if (input.isEmpty()) {
        Usage(stderr);
        return CliExit::Usage;
    }
    if (output.isEmpty())
        output = BesideInput(input);

    MeasurementSet set;
    QString tag;
    QString error;
    bool opened = false;
    const StdataStatus status = LoadStdataFileDetailed(input, set, &tag, &error, &opened);
    if (!opened) {
        std::fprintf(stderr, "orvex-dl export: cannot open %s: %s\n", qPrintable(input),
                     qPrintable(error));
        return CliExit::BadFile;
    }
    if (status == StdataStatus::WrongTag) {
        std::fprintf(stderr,
                     "orvex-dl export: %s: Invalid Format! (tag \"%s\"; only stored RMS/TR "
                     "measurements, tag \"%s\", have a report)\n",
                     qPrintable(input), qPrintable(tag), kTagStored);
        return CliExit::BadFile;
    }
    if (status == StdataStatus::Damaged) {
        std::fprintf(stderr, "orvex-dl export: %s: %s\n", qPrintable(input), qPrintable(error));
        return CliExit::BadFile;
    }
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
