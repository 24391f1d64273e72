// Feeds arbitrary bytes to the measurement-file loader. A file that loads must leave
// a consistent set that encodes back to a file loading to the same bytes, and whose
// report can be written; nothing may read out of bounds or allocate what the input
// does not hold.

#include "data/ReportWriter.h"
#include "data/StdataFile.h"

#include <QByteArray>

#include <cstdlib>
#include <ctime>

namespace {

// Reports beyond this many entries are skipped to keep each run short.
constexpr int64_t kMaxReportEntries = 20000;

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
    StoredSet before;
    before.SetChannelUnit(0, QStringLiteral("V"));
    set.ReplaceStored(std::move(before));
    QString tag, error;
    const StdataStatus status = ParseStdata(bytes, set, &tag, &error);
    if (status == StdataStatus::Damaged) {
        // Nothing may have been put in place.
        if (set.RmsCount() != 0 || set.TrCount() != 0 || !set.FileTag().isEmpty() ||
            error.isEmpty())
            std::abort();
        return 0;
    }
    if (status == StdataStatus::WrongTag)
        return 0;
    if (!set.StoredIsConsistent())
        std::abort();

    // Re-encoding what was read and reading it again gives the same encoding.
    set.SetDataTag(set.FileTag());
    const QByteArray again = EncodeStdata(set);
    MeasurementSet second;
    if (ParseStdata(again, second, nullptr, nullptr) != StdataStatus::Loaded)
        std::abort();
    second.SetDataTag(second.FileTag());
    if (EncodeStdata(second) != again)
        std::abort();

    if (ReportEntryCount(set) <= kMaxReportEntries && BuildReport(set).isEmpty())
        std::abort();
    return 0;
}
