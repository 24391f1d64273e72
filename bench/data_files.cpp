// bench_data: a 262,144-sample two-channel set with 200 TR records, saved as
// .stdata plus report and loaded back, side by side with baselines that write the
// same bytes with std::to_chars and fwrite, and fwrite/fread the .stdata bytes.
// Each baseline comes twice: plain (fwrite into the target) and durable (fwrite to a
// temporary file, fsync, rename over the target), the second being what our saves
// do. The ratios ours / baseline are printed at the end.
//
//   bench_data --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
//
// Files go to $BENCH_DIR (default: the system's temporary folder).

#include "base/LocalTime.h"
#include "bench/support/Ratios.h"
#include "data/ReportWriter.h"
#include "data/StdataFile.h"

#include <QDir>
#include <QFile>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kSamples = 262144;
constexpr int kRecords = 200;

const MeasurementSet& FullSet() {
    static const MeasurementSet set = [] {
        StoredSet d;
        d.SetStartTime(FromLocalFields({2010, 2, 3, 0, 0, 0}));
        d.SetRmsInterval(60.0f);
        d.SetRmsCount(kSamples);
        d.SetChannelUnit(0, QStringLiteral("V"));
        d.SetChannelUnit(1, QStringLiteral("A"));
        std::vector<float> ch1(kSamples), ch2(kSamples);
        uint32_t r = 12345;
        for (int i = 0; i < kSamples; ++i) {
            r = r * 1664525u + 1013904223u;
            ch1[size_t(i)] = 220.0f + float(r >> 16) / 3000.0f;
            ch2[size_t(i)] = float(r & 0xFFFF) / 1000.0f;
        }
        d.SetChannelValues(0, std::move(ch1));
        d.SetChannelValues(1, std::move(ch2));
        ComputeStoredExtremes(d);
        std::vector<TimeValue> times;
        std::vector<uint8_t> channels, units;
        std::vector<float> wave;
        for (int k = 0; k < kRecords; ++k) {
            times.push_back(d.StartTime() + TimeValue(k) * (kSamples / kRecords) * 60 + 17);
            channels.push_back(k % 2 ? kTrChannel2 : kTrChannel1);
            units.push_back(k % 2 ? kTrUnitAmps : kTrUnitVolts);
            for (int i = 0; i < kTrPoints; ++i)
                wave.push_back(float((i * 37 + k) % 4000 - 2000));
        }
        d.SetTrRecords(std::move(channels), std::move(units), std::move(times), std::move(wave));
        d.SetTrLevels(500, 100);
        MeasurementSet s;
        s.ReplaceStored(std::move(d));
        s.SetDataTag(QString::fromLatin1(kTagStored));
        return s;
    }();
    return set;
}

std::string BenchPath(const char* name) {
    const QByteArray dir = qgetenv("BENCH_DIR");
    return (dir.isEmpty() ? QDir::tempPath().toStdString() : dir.toStdString()) + "/" + name;
}

// ---------------------------------------------------------------- baseline report
// The same bytes as BuildReport, written the plainest way: one char buffer,
// std::to_chars for every number, localtime_r for every time, one fwrite.

void Two(std::string& out, int v) {
    out += char('0' + (v / 10) % 10);
    out += char('0' + v % 10);
}

void TimeText(std::string& out, TimeValue t) {
    const time_t tt = time_t(t);
    std::tm tm{};
    localtime_r(&tt, &tm);
    Two(out, tm.tm_mday);
    out += '/';
    Two(out, tm.tm_mon + 1);
    out += '/';
    Two(out, tm.tm_year % 100);
    out += ' ';
    Two(out, tm.tm_hour);
    out += ':';
    Two(out, tm.tm_min);
    out += ':';
    Two(out, tm.tm_sec);
}

void Number(std::string& out, double v, int decimals) {
    char tmp[64];
    const auto r = std::to_chars(tmp, tmp + sizeof tmp, v, std::chars_format::fixed, decimals);
    out.append(tmp, size_t(r.ptr - tmp));
}

void Integer(std::string& out, int64_t v) {
    char tmp[24];
    const auto r = std::to_chars(tmp, tmp + sizeof tmp, v);
    out.append(tmp, size_t(r.ptr - tmp));
}

// Only what the benchmark set needs: both channels, known codes.
std::string BaselineReport(const MeasurementSet& s) {
    std::string out;
    out.reserve(size_t(ReportEntryCount(s)) * 48);
    const int64_t total = ReportEntryCount(s);
    const int64_t perLine = ReportEntriesPerLine(s);
    out += "                         ELECTRIC POWER TEST REPORT(STORE RMS/TR)\r\n";
    for (int64_t b = 0; b < perLine; ++b)
        out += "NO.\tRMS/TR\tCH1\tCH2\tTIME\t";
    out += "\r\n";
    int64_t x = 0, y = 0, z = 0;
    for (int64_t n = 1; n <= total;) {
        for (int64_t b = 0; b < perLine && n <= total; ++b, ++n) {
            Integer(out, n);
            out += '\t';
            const TimeValue t0 = s.StartTime() + TimeValue(double(x) * double(s.RmsInterval()));
            const TimeValue t1 = t0 + TimeValue(s.RmsInterval());
            const bool tr =
                z % kTrPoints != 0 ||
                !(x < s.RmsCount() && (y == s.TrCount() || s.TrTimes()[size_t(y)] < t0 ||
                                       s.TrTimes()[size_t(y)] >= t1));
            if (!tr) {
                out += "RMS\t";
                Number(out, s.ChannelRms(0)[size_t(x)], 1);
                out += "V\t";
                Number(out, s.ChannelRms(1)[size_t(x)], 1);
                out += "A\t ";
                TimeText(out, t0);
                ++x;
            } else {
                if (z % kTrPoints == 0)
                    ++y;
                const size_t k = size_t(y - 1);
                const bool ch1 = s.TrChannelCodes()[k] == kTrChannel1;
                const char* unit = s.TrUnitCodes()[k] == kTrUnitVolts ? "V" : "A";
                out += "TR\t";
                if (ch1) {
                    Number(out, s.TrWave()[size_t(z)], 0);
                    out += unit;
                    out += "\t----\t ";
                } else {
                    out += "----\t";
                    Number(out, s.TrWave()[size_t(z)], 0);
                    out += unit;
                    out += "\t ";
                }
                TimeText(out, s.TrTimes()[k]);
                ++z;
            }
            out += " \t";
        }
        out += "\r\n";
    }
    return out;
}

void CheckBaselineMatches() {
    static const bool ok = [] {
        const QByteArray ours = BuildReport(FullSet());
        const std::string base = BaselineReport(FullSet());
        if (ours.size() != qsizetype(base.size()) ||
            std::memcmp(ours.constData(), base.data(), base.size()) != 0) {
            std::fprintf(stderr, "baseline report differs from BuildReport\n");
            std::abort();
        }
        return true;
    }();
    (void)ok;
}

void WriteWithFwrite(const std::string& path, const char* data, size_t n) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(data, 1, n, f) != n)
        std::abort();
    std::fclose(f);
}

// What makes a save safe: a temporary file, flushed to the disk, renamed over the
// target (what QSaveFile does on commit).
void WriteDurably(const std::string& path, const char* data, size_t n) {
    const std::string temp = path + ".tmp";
    FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f || std::fwrite(data, 1, n, f) != n || std::fflush(f) != 0 || fsync(fileno(f)) != 0)
        std::abort();
    std::fclose(f);
    if (std::rename(temp.c_str(), path.c_str()) != 0)
        std::abort();
}

// ---------------------------------------------------------------- report

void BM_ReportSave(benchmark::State& state) {
    CheckBaselineMatches();
    const QString path = QString::fromStdString(BenchPath("bench_report.xls"));
    for (auto _ : state) {
        QString error;
        if (!WriteReportFile(path, FullSet(), &error))
            state.SkipWithError(error.toStdString().c_str());
    }
    state.SetBytesProcessed(state.iterations() * BuildReport(FullSet()).size());
}
BENCHMARK(BM_ReportSave)->Unit(benchmark::kMillisecond);

void BM_ReportBaselineFwrite(benchmark::State& state) {
    CheckBaselineMatches();
    const std::string path = BenchPath("bench_report_baseline.xls");
    size_t bytes = 0;
    for (auto _ : state) {
        const std::string report = BaselineReport(FullSet());
        WriteWithFwrite(path, report.data(), report.size());
        bytes = report.size();
    }
    state.SetBytesProcessed(int64_t(state.iterations() * bytes));
}
BENCHMARK(BM_ReportBaselineFwrite)->Unit(benchmark::kMillisecond);

void BM_ReportBaselineDurable(benchmark::State& state) {
    CheckBaselineMatches();
    const std::string path = BenchPath("bench_report_baseline.xls");
    size_t bytes = 0;
    for (auto _ : state) {
        const std::string report = BaselineReport(FullSet());
        WriteDurably(path, report.data(), report.size());
        bytes = report.size();
    }
    state.SetBytesProcessed(int64_t(state.iterations() * bytes));
}
BENCHMARK(BM_ReportBaselineDurable)->Unit(benchmark::kMillisecond);

// The formatting alone, without any file.
void BM_ReportBuild(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(BuildReport(FullSet()));
}
BENCHMARK(BM_ReportBuild)->Unit(benchmark::kMillisecond);

void BM_ReportBaselineBuild(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(BaselineReport(FullSet()));
}
BENCHMARK(BM_ReportBaselineBuild)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------- .stdata

void BM_StdataSaveLoad(benchmark::State& state) {
    const QString path = QString::fromStdString(BenchPath("bench.stdata"));
    for (auto _ : state) {
        QString error;
        if (!SaveStdataFile(path, FullSet(), &error))
            state.SkipWithError(error.toStdString().c_str());
        MeasurementSet loaded;
        if (!LoadStdataFile(path, loaded, &error))
            state.SkipWithError(error.toStdString().c_str());
        benchmark::DoNotOptimize(loaded.ChannelRms(0).data());
    }
    state.SetBytesProcessed(state.iterations() * EncodeStdata(FullSet()).size() * 2);
}
BENCHMARK(BM_StdataSaveLoad)->Unit(benchmark::kMillisecond);

// Reads the whole file back into `back`, as a load would.
void ReadBack(const std::string& path, std::vector<char>& back) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f || std::fread(back.data(), 1, back.size(), f) != back.size())
        std::abort();
    std::fclose(f);
}

void BM_RawFwriteFread(benchmark::State& state) {
    const QByteArray bytes = EncodeStdata(FullSet());
    const std::string path = BenchPath("bench_raw.stdata");
    std::vector<char> back(size_t(bytes.size()));
    for (auto _ : state) {
        WriteWithFwrite(path, bytes.constData(), size_t(bytes.size()));
        ReadBack(path, back);
        benchmark::DoNotOptimize(back.data());
    }
    state.SetBytesProcessed(state.iterations() * bytes.size() * 2);
}
BENCHMARK(BM_RawFwriteFread)->Unit(benchmark::kMillisecond);

// The same, written durably.
void BM_RawSafeWriteFread(benchmark::State& state) {
    const QByteArray bytes = EncodeStdata(FullSet());
    const std::string path = BenchPath("bench_raw.stdata");
    std::vector<char> back(size_t(bytes.size()));
    for (auto _ : state) {
        WriteDurably(path, bytes.constData(), size_t(bytes.size()));
        ReadBack(path, back);
        benchmark::DoNotOptimize(back.data());
    }
    state.SetBytesProcessed(state.iterations() * bytes.size() * 2);
}
BENCHMARK(BM_RawSafeWriteFread)->Unit(benchmark::kMillisecond);

// The codec alone, without any file.
void BM_StdataEncodeDecode(benchmark::State& state) {
    for (auto _ : state) {
        const QByteArray bytes = EncodeStdata(FullSet());
        MeasurementSet loaded;
        if (!DecodeStdata(bytes, loaded, nullptr))
            std::abort();
        benchmark::DoNotOptimize(loaded.ChannelRms(0).data());
    }
}
BENCHMARK(BM_StdataEncodeDecode)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n%-56s %6s %6s\n", "ratios ours / baseline (below 1: ours is faster)", "real",
                "CPU");
    reporter.PrintRealAndCpuRatio("report save / fwrite", "BM_ReportSave",
                                  "BM_ReportBaselineFwrite");
    reporter.PrintRealAndCpuRatio("report save / fwrite + fsync + rename", "BM_ReportSave",
                                  "BM_ReportBaselineDurable");
    reporter.PrintRealAndCpuRatio("report formatting / std::to_chars", "BM_ReportBuild",
                                  "BM_ReportBaselineBuild");
    reporter.PrintRealAndCpuRatio(".stdata save + load / fwrite + fread", "BM_StdataSaveLoad",
                                  "BM_RawFwriteFread");
    reporter.PrintRealAndCpuRatio(".stdata save + load / fwrite + fsync + rename + fread",
                                  "BM_StdataSaveLoad", "BM_RawSafeWriteFread");
    benchmark::Shutdown();
    for (const char* name :
         {"bench_report.xls", "bench_report_baseline.xls", "bench.stdata", "bench_raw.stdata"})
        QFile::remove(QString::fromStdString(BenchPath(name)));
    return 0;
}
