// A recording file of the simulator (28 header bytes, then the data) cut at any byte
// or with random bytes changed. The simulator takes what the file holds: a file too
// short for its header is refused with a reason, a header that promises more than
// follows is served as the logger would (its memory holds zeros there). Every
// download from such a file ends, leaves a consistent set, and the values that were
// in the file come across unchanged.

#include "LinkTestSupport.h"

#include "sim/LoggerImage.h"

#include <random>

#include <gtest/gtest.h>

namespace {

LoggerRecording Source() {
    SyntheticOptions o;
    o.samples = 300;
    o.trEvery = 120;
    return SyntheticRecording(o);
}

// Serves `file` and downloads it in virtual time.
void DownloadFrom(const LoggerImage& img, MeasurementSet* out, DownloadOutcome* outcome) {
    VirtualLink v;
    v.logger.SetRecording(img.header, img.data);
    v.ConnectOnPort1();
    ASSERT_TRUE(v.RunDownload(120000));
    *outcome = v.outcomes.back();
    ASSERT_TRUE(v.set.StoredIsConsistent());
    ASSERT_FALSE(v.link.TransferMode());
    *out = v.set;
}

TEST(RecordingDamage, CutAtEveryByteIsRefusedOrServedWithTheValuesItHolds) {
    const LoggerRecording r = Source();
    const QByteArray full = RecordingFileBytes(r);
    MeasurementSet whole;
    DownloadOutcome outcome{};
    {
        auto img = ParseRecordingFile(full, nullptr);
        ASSERT_TRUE(img);
        DownloadFrom(*img, &whole, &outcome);
        ASSERT_EQ(outcome, DownloadOutcome::Completed);
        ASSERT_EQ(whole.RmsCount(), 300);
    }
    for (qsizetype n = 0; n <= full.size(); ++n) {
        SCOPED_TRACE(n);
        QString error;
        const auto img = ParseRecordingFile(full.left(n), &error);
        if (n < Logger::kHeaderBytes) {
            ASSERT_FALSE(img);
            ASSERT_FALSE(error.isEmpty());
            continue;
        }
        ASSERT_TRUE(img);
        ASSERT_EQ(img->header, ParseHeader(reinterpret_cast<const uint8_t*>(full.constData())));
        ASSERT_EQ(img->data, full.mid(Logger::kHeaderBytes, n - Logger::kHeaderBytes));
        // What the host decodes from it; a full download for a spread of cuts.
        const auto* data = reinterpret_cast<const uint8_t*>(img->data.constData());
        const StoredSet s =
            DecodeRecording(img->header, data, size_t(img->data.size()), StoredSet{});
        ASSERT_TRUE(s.IsConsistent());
        if (n % 61 != 0 && n != full.size() - 1)
            continue;
        MeasurementSet got;
        DownloadFrom(*img, &got, &outcome);
        ASSERT_EQ(outcome, DownloadOutcome::Completed);
        // Samples wholly before the cut and before the first transient record come
        // across as recorded.
        const int whole4 = int((n - Logger::kHeaderBytes) / 4);
        const int before = int(std::min<int64_t>(r.tr.front().beforeSample, whole4));
        ASSERT_GE(got.RmsCount(), before);
        for (int i = 0; i < before; ++i) {
            ASSERT_EQ(got.ChannelRms(0)[size_t(i)], whole.ChannelRms(0)[size_t(i)]) << i;
            ASSERT_EQ(got.ChannelRms(1)[size_t(i)], whole.ChannelRms(1)[size_t(i)]) << i;
        }
    }
}

TEST(RecordingDamage, RandomByteChangesNeverBreakTheDownload) {
    const QByteArray full = RecordingFileBytes(Source());
    std::mt19937 rng(7);
    std::uniform_int_distribution<qsizetype> pos(0, full.size() - 1);
    std::uniform_int_distribution<int> byte(0, 255), count(1, 8);
    for (int i = 0; i < 400; ++i) {
        SCOPED_TRACE(i);
        QByteArray bad = full;
        for (int k = count(rng); k > 0; --k)
            bad[pos(rng)] = char(byte(rng));
        const auto img = ParseRecordingFile(bad, nullptr);
        if (!img) {
            ASSERT_NE(uint8_t(bad[0]), Logger::kHeader);
            continue;
        }
        const auto* data = reinterpret_cast<const uint8_t*>(img->data.constData());
        ASSERT_TRUE(DecodeRecording(img->header, data, size_t(img->data.size()), StoredSet{})
                        .IsConsistent());
        if (i % 4 != 0)
            continue;
        MeasurementSet got;
        DownloadOutcome outcome{};
        DownloadFrom(*img, &got, &outcome);
    }
}

} // namespace
