// The report writer fed with any set a measurement file can hold: arbitrary float
// bit patterns, counts, channel and unit codes and dates. Every report has the two
// header lines, every further line B entries of five tab-ended columns (the last
// line possibly fewer), entry numbers counting from 1, and CR LF line ends.

#include "data/ReportWriter.h"
#include "data/StdataFile.h"

#include <QByteArray>
#include <QList>

#include <cstdlib>
#include <ctime>

namespace {

// Keeps each run short; larger sets take the same paths.
constexpr int64_t kMaxEntries = 40000;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    MeasurementSet set;
    if (ParseStdata(bytes, set, nullptr, nullptr) != StdataStatus::Loaded)
        return 0;
    // A unit text is written as the file holds it; one with a tab or a line end in it
    // (only a hand-made file has that) shifts the columns like any such text would.
    for (const QString* unit : {&set.ChannelUnit(0), &set.ChannelUnit(1)})
        if (unit->contains(QLatin1Char('\t')) || unit->contains(QLatin1Char('\n')) ||
            unit->contains(QLatin1Char('\r')))
            return 0;
    const int64_t total = ReportEntryCount(set);
    if (total > kMaxEntries)
        return 0;
    QString error;
    const QByteArray report = BuildReport(set, &error);
    if (report.isEmpty() || !report.endsWith("\r\n"))
        std::abort();
    const int64_t perLine = total / 65536 + 1;
    const QList<QByteArray> lines = report.split('\n');
    // split leaves an empty piece after the last line end.
    const int64_t entryLines = (total + perLine - 1) / perLine;
    if (lines.size() != 2 + entryLines + 1)
        std::abort();
    int64_t number = 0;
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        if (!lines[i].endsWith('\r'))
            std::abort();
        if (i < 2)
            continue;
        const QList<QByteArray> cols = lines[i].chopped(1).split('\t');
        // Five columns per entry, each ended by a tab: 5 * n + 1 pieces.
        if ((cols.size() - 1) % 5 != 0 || cols.size() < 6)
            std::abort();
        const int64_t entries = (cols.size() - 1) / 5;
        if (entries > perLine || (entries < perLine && i + 2 != lines.size()))
            std::abort();
        for (int64_t e = 0; e < entries; ++e) {
            if (cols[qsizetype(e * 5)].toLongLong() != ++number)
                std::abort();
            const QByteArray& kind = cols[qsizetype(e * 5 + 1)];
            if (kind != "RMS" && kind != "TR")
                std::abort();
        }
    }
    if (number != total)
        std::abort();
    return 0;
}
