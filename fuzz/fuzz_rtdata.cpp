// Feeds arbitrary bytes to the real-time run file loader. A file that loads must be
// consistent, encode back to exactly the bytes it came from (the layout has one
// spelling of everything) and give a CSV line per sample; one that does not must
// say why and leave the caller's run as it was.

#include "data/RealTimeCsv.h"
#include "data/RtdataFile.h"

#include <QByteArray>

#include <cstdlib>
#include <ctime>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    RtdataImage run;
    run.times = {7};
    const RtdataOutcome o = DecodeRtdata(bytes, run, QStringLiteral("fuzz.rtdata"));
    if (!o.Ok()) {
        if (o.message.isEmpty() || run.times != std::vector<TimeValue>{7})
            std::abort();
        return 0;
    }
    if (!run.IsConsistent() || EncodeRtdata(run) != bytes)
        std::abort();
    for (int i = 0; i < run.Count(); ++i)
        if (RealTimeCsvLine(run, i).isEmpty())
            std::abort();
    return 0;
}
