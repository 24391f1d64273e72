// Saving a real-time run with every waveform (streamed from a waveform source,
// CRC-32 computed on the way) and opening it again (the whole file checked), beside
// writing and reading the same bytes plainly; one journal append (one write flushed
// to the disk) beside a plain write + fdatasync of a record's size.

#include "bench/support/Ratios.h"
#include "data/RtJournal.h"
#include "data/RtdataFile.h"

#include <QDir>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

namespace {

constexpr int kSamples = 10000; // 23.6 MB of waveforms

std::string BenchPath(const char* name) {
    const QByteArray dir = qgetenv("BENCH_DIR");
    return (dir.isEmpty() ? QDir::tempPath().toStdString() : dir.toStdString()) + "/" + name;
}

// Waveforms made on request, as the journal hands them out.
class Generated final : public RtWaveformSource {
public:
    int WaveformCount() const override { return kSamples; }
    bool ReadWaveform(int index, RtWaveform& out, QString*) const override {
        for (size_t i = 0; i < out.size(); ++i)
            out[i] = {int16_t(index + int(i)), int16_t(index - int(i))};
        return true;
    }
};

const RtdataImage& Values() {
    static const RtdataImage run = [] {
        RtdataImage r;
        r.startTime = 1796832000;
        r.kind = {kChannelVolts, kChannelAmps};
        for (int i = 0; i < kSamples; ++i) {
            r.times.push_back(r.startTime + 2 * i);
            for (size_t ch = 0; ch < 2; ++ch) {
                r.rms[ch].push_back(230.0f);
                r.freq[ch].push_back(50.0f);
            }
        }
        return r;
    }();
    return run;
}

void BM_RtdataSaveOpen(benchmark::State& state) {
    const QString path = QString::fromStdString(BenchPath("bench.rtdata"));
    const Generated waves;
    for (auto _ : state) {
        QString error;
        if (!SaveRtdataFile(path, Values(), &waves, &error))
            state.SkipWithError(error.toStdString().c_str());
        RtdataReader reader;
        if (!reader.Open(path).Ok())
            state.SkipWithError("open failed");
        benchmark::DoNotOptimize(reader.Image().times.data());
    }
}
BENCHMARK(BM_RtdataSaveOpen)->Unit(benchmark::kMillisecond);

void BM_RawDurableWriteRead(benchmark::State& state) {
    const std::string path = BenchPath("bench_raw.rtdata");
    const std::vector<char> bytes(
        size_t(kRtdataFixedBytes + kSamples * (8 + 16 + kRtWaveformBytes)), 'x');
    std::vector<char> back(bytes.size());
    for (auto _ : state) {
        const std::string temp = path + ".tmp";
        FILE* f = std::fopen(temp.c_str(), "wb");
        if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() ||
            std::fflush(f) != 0 || fsync(fileno(f)) != 0 || std::fclose(f) != 0 ||
            std::rename(temp.c_str(), path.c_str()) != 0)
            std::abort();
        f = std::fopen(path.c_str(), "rb");
        if (!f || std::fread(back.data(), 1, back.size(), f) != back.size())
            std::abort();
        std::fclose(f);
        benchmark::DoNotOptimize(back.data());
    }
}
BENCHMARK(BM_RawDurableWriteRead)->Unit(benchmark::kMillisecond);

void BM_JournalAppend(benchmark::State& state) {
    RtJournal journal(QString::fromStdString(BenchPath("bench-journal.rtj")));
    RtRunHeader h;
    h.kind = {kChannelVolts, kChannelAmps};
    if (!journal.Begin(h))
        state.SkipWithError("journal");
    RtWaveform w{};
    for (auto _ : state)
        if (!journal.Append(RtJournalSample{0, {230.0f, 10.0f}, {50.0f, 50.0f}}, w))
            state.SkipWithError("append");
    journal.Finish();
}
BENCHMARK(BM_JournalAppend)->Unit(benchmark::kMicrosecond);

void BM_RawRecordSync(benchmark::State& state) {
    const std::string path = BenchPath("bench-raw-journal");
    FILE* f = std::fopen(path.c_str(), "wb");
    const std::vector<char> record(size_t(kRtJournalRecordBytes), 'x');
    for (auto _ : state)
        if (std::fwrite(record.data(), 1, record.size(), f) != record.size() ||
            std::fflush(f) != 0 || fdatasync(fileno(f)) != 0)
            std::abort();
    std::fclose(f);
    std::remove(path.c_str());
}
BENCHMARK(BM_RawRecordSync)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n%-56s %6s %6s\n", "ratios ours / baseline (below 1: ours is faster)", "real",
                "CPU");
    reporter.PrintRealAndCpuRatio(".rtdata save + open / fwrite + fsync + rename + fread",
                                  "BM_RtdataSaveOpen", "BM_RawDurableWriteRead");
    reporter.PrintRealAndCpuRatio("journal append / fwrite + fdatasync", "BM_JournalAppend",
                                  "BM_RawRecordSync");
    benchmark::Shutdown();
    for (const char* name : {"bench.rtdata", "bench_raw.rtdata"})
        QFile::remove(QString::fromStdString(BenchPath(name)));
    return 0;
}
