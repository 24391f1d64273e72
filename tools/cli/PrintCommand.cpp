// orvex-dl print FILE.stdata -o OUT.pdf [--list] [--tr N] [--page-size A4|Letter]:
// the graph report or the list report of a stored measurement as a PDF, painted
// by the same model and routines as the window's printing; of a real-time run
// (FILE.rtdata), its RMS graph or its list.

#include "base/LocalTime.h"
#include "base/Settings.h"
#include "data/MeasurementSet.h"
#include "data/RecordingStatistics.h"
#include "graph/Report.h"
#include "graph/ReportSetup.h"
#include "graph/StatisticsReport.h"
#include "tools/cli/CliCommand.h"
#include "tools/cli/CliSupport.h"
#include "tools/cli/RtdataCli.h"
#include "tools/cli/RunReport.h"

#include <QFileInfo>

#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>

namespace {

const char* const kUsage =
    "Usage: orvex-dl print FILE.stdata -o|--output OUT.pdf [--list] [--tr N]\n"
    "                      [--page-size A4|Letter] [--statistics [--nominal VOLTS]]\n"
    "       orvex-dl print FILE.rtdata -o|--output OUT.pdf [--list]\n"
    "                      [--page-size A4|Letter]\n\n"
    "Writes the graph report (default) or, with --list, the list report \"Test Report\"\n"
    "of the stored RMS data as a PDF; with --tr N, of transient record N (1-based).\n"
    "The graph report is printed in landscape, the list report in portrait.\n"
    "--statistics adds the statistics pages (figures, voltage summary against\n"
    "--nominal, default 230 V, and the voltage events) after the graph report.\n"
    "Of a real-time run, the graph report shows the RMS of both channels over the\n"
    "run (REAL TIME RMS), the list report its samples.\n"
    "Exit codes: 0 written, 1 the PDF could not be written, 2 bad arguments, 7 the\n"
    "input is missing, unreadable, damaged, not a stored measurement, or holds no\n"
    "such data.\n";

// Screen size the graph report is painted at: a window of the page's proportions.
constexpr int kScreenWidth = 1400;
constexpr int kDpi = 600;

// The options after the file: the record (-1: the RMS data) and the paper.
struct PrintOptions {
    int record = -1;
    QPageSize pageSize{QPageSize::A4};
};

// --tr and --page-size, or nothing when one is refused (usage printed).
std::optional<PrintOptions> ParsePrintOptions(const CliArgs& parsed) {
    PrintOptions o;
    if (parsed.Has("--tr")) {
        bool ok = false;
        o.record = parsed.Value("--tr").toInt(&ok) - 1;
        if (!ok || o.record < 0) {
            CliUsageError("print",
                          QStringLiteral("--tr takes a record number from 1, not '%1'")
                              .arg(parsed.Value("--tr")),
                          kUsage);
            return std::nullopt;
        }
    }
    if (parsed.Has("--page-size")) {
        const QString name = parsed.Value("--page-size");
        if (name.compare(QLatin1String("A4"), Qt::CaseInsensitive) == 0)
            o.pageSize = QPageSize(QPageSize::A4);
        else if (name.compare(QLatin1String("Letter"), Qt::CaseInsensitive) == 0)
            o.pageSize = QPageSize(QPageSize::Letter);
        else {
            CliUsageError(
                "print", QStringLiteral("--page-size is A4 or Letter, not '%1'").arg(name), kUsage);
            return std::nullopt;
        }
    }
    return o;
}

// The pages of the list report or of the graph report (at a screen of the page's
// proportions).
ReportPages PagesOf(std::shared_ptr<GraphModel> model, const GraphInputs& in, bool list,
                    const QPageSize& pageSize) {
    const ReportInfo info = ReportInfoOf(*model);
    if (list)
        return ListReport(DataListViewOf(*model, in), info,
                          FormatDate(TimeValue(std::time(nullptr))));
    const QSizeF mm = pageSize.size(QPageSize::Millimeter);
    const QSize screen(kScreenWidth, int(kScreenWidth * mm.width() / mm.height()));
    RenderOptions o;
    o.printing = true;
    return GraphReport(std::move(model), in, screen, o, info);
}

int WritePages(const ReportPages& pages, const QString& output, const PrintOptions& po, bool list) {
    QString error;
    if (!WriteReportPdf(pages, output, po.pageSize, !list, kDpi, &error)) {
        std::fprintf(stderr, "orvex-dl print: cannot write %s: %s\n", qPrintable(output),
                     qPrintable(error));
        return CliExit::Failure;
    }
    return CliExit::Ok;
}

// The RMS graph or the list of a real-time run.
int PrintRun(const CliArgs& a, const PrintOptions& po, const QString& input,
             const QString& output) {
    if (a.Has("--tr") || a.Has("--statistics") || a.Has("--nominal")) {
        CliUsageError("print",
                      QStringLiteral("--tr, --statistics and --nominal are for a stored "
                                     "measurement"),
                      kUsage);
        return CliExit::Usage;
    }
    RtdataReader reader;
    if (const int r = OpenRealTimeRun("print", input, reader); r != CliExit::Ok)
        return r;
    if (QFileInfo(output).canonicalFilePath() == QFileInfo(input).canonicalFilePath()) {
        CliUsageError("print", QStringLiteral("the PDF would replace the run file %1").arg(input),
                      kUsage);
        return CliExit::Usage;
    }
    auto set = std::make_shared<MeasurementSet>();
    AppSettings settings; // the defaults: no settings file of a user is read
    auto model = std::make_shared<GraphModel>();
    if (!PrepareRunGraph(*model, *set, settings, reader.Image())) {
        std::fprintf(stderr, "orvex-dl print: %s holds no sample\n", qPrintable(input));
        return CliExit::BadFile;
    }
    const bool list = a.Has("--list");
    const GraphInputs in{*set, settings, false};
    return WritePages(PagesOf(model, in, list, po.pageSize), output, po, list);
}

int Run(const QStringList& args) {
    int exitCode = CliExit::Ok;
    const auto parsed = ParseCliArgs("print", args,
                                     {{{"-o", "--output"}, true},
                                      {{"--list"}, false},
                                      {{"--tr"}, true},
                                      {{"--page-size"}, true},
                                      {{"--statistics"}, false},
                                      {{"--nominal"}, true}},
                                     1, 1, kUsage, exitCode);
    if (!parsed)
        return exitCode;
    if (!parsed->Has("-o")) {
        CliUsageError("print", QStringLiteral("name the PDF to write with -o"), kUsage);
        return CliExit::Usage;
    }
    const std::optional<PrintOptions> po = ParsePrintOptions(*parsed);
    if (!po)
        return CliExit::Usage;
    if (IsRealTimeFile(parsed->files.first()))
        return PrintRun(*parsed, *po, parsed->files.first(), parsed->Value("-o"));
    const bool list = parsed->Has("--list");
    const bool statistics = parsed->Has("--statistics");
    double nominal = kNominalDefault;
    if (parsed->Has("--nominal")) {
        bool ok = false;
        nominal = parsed->Value("--nominal").toDouble(&ok);
        if (!ok || !(nominal >= kNominalLowest && nominal <= kNominalHighest)) {
            CliUsageError("print", QStringLiteral("--nominal must be 100 to 1000 (volts)"), kUsage);
            return CliExit::Usage;
        }
    }
    if ((statistics || parsed->Has("--nominal")) && (list || po->record >= 0)) {
        CliUsageError("print",
                      QStringLiteral("--statistics goes with the graph report of the RMS data"),
                      kUsage);
        return CliExit::Usage;
    }
    const QString input = parsed->files.first();
    const QString output = parsed->Value("-o");

    auto set = std::make_shared<MeasurementSet>();
    if (const int r = LoadStoredMeasurement("print", input, *set); r != CliExit::Ok)
        return r;
    if (QFileInfo(output).canonicalFilePath() == QFileInfo(input).canonicalFilePath()) {
        CliUsageError("print",
                      QStringLiteral("the PDF would replace the measurement file %1").arg(input),
                      kUsage);
        return CliExit::Usage;
    }
    AppSettings settings; // the defaults: no settings file of a user is read
    auto model = std::make_shared<GraphModel>();
    if (!PrepareStoredGraph(*model, *set, settings, po->record)) {
        if (po->record < 0)
            std::fprintf(stderr, "orvex-dl print: %s holds no stored RMS data\n",
                         qPrintable(input));
        else
            std::fprintf(stderr, "orvex-dl print: %s holds %d transient records, not %d\n",
                         qPrintable(input), set->TrCount(), po->record + 1);
        return CliExit::BadFile;
    }
    const GraphInputs in{*set, settings, false};
    ReportPages pages = PagesOf(model, in, list, po->pageSize);
    if (statistics && !list)
        pages = WithStatisticsPages(pages, std::make_shared<const RecordingStatistics>(
                                               ComputeStatistics(StatisticsViewOf(*set), nominal)));
    return WritePages(pages, output, *po, list);
}

const CliRegistration kRegistration{
    {"print",
     "write the graph or list report of a .stdata or .rtdata file as PDF (print FILE -o OUT.pdf)",
     Run}};

} // namespace
