// The min/max envelope of a series against a plain walk over the same values, and
// the cache that keeps envelopes between paints.

#include "graph/Envelope.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace {

struct Walked {
    float lo, hi;
    bool number;
};

Walked Walk(const GraphModel::Series& s, int64_t p0, int64_t p1) {
    Walked w{std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(), true};
    for (int64_t k = p0; k <= p1; ++k) {
        const size_t i = size_t(k) * s.stride;
        const float v = s.q ? s.p[i] * s.q[i] : s.p[i];
        if (std::isnan(v))
            w.number = false;
        w.lo = std::min(w.lo, v);
        w.hi = std::max(w.hi, v);
    }
    return w;
}

void ExpectRangesAgree(const Envelope& e, const GraphModel::Series& s, int64_t p0, int64_t p1) {
    const Envelope::Range r = e.Of(s, p0, p1);
    const Walked w = Walk(s, p0, p1);
    ASSERT_EQ(r.number, w.number) << p0 << ".." << p1;
    if (w.number) {
        ASSERT_EQ(r.lo, w.lo) << p0 << ".." << p1;
        ASSERT_EQ(r.hi, w.hi) << p0 << ".." << p1;
    }
}

std::vector<float> Noise(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<float> noise(0.0f, 40.0f);
    std::vector<float> v(n);
    for (float& x : v)
        x = 230.0f + noise(rng);
    return v;
}

// Ranges of every kind: inside one leaf, across one boundary, starting and ending
// off the leaves' boundaries, whole levels, the whole series.
TEST(Envelope, RangesEqualWalkingEveryValue) {
    for (size_t n : {size_t(1), size_t(15), size_t(16), size_t(17), size_t(1000), size_t(65537)}) {
        std::vector<float> v = Noise(n, unsigned(n));
        // Values that are not numbers (a damaged file) now and then.
        for (size_t k = 7; k < n; k += 4099)
            v[k] = std::nanf("");
        const GraphModel::Series s{v.data(), nullptr, 1, int64_t(n)};
        Envelope e;
        e.Build(s);
        ASSERT_EQ(e.Count(), int64_t(n));
        std::mt19937 rng(7);
        for (int r = 0; r < 3000; ++r) {
            int64_t a = int64_t(rng() % n), b = int64_t(rng() % n);
            if (r % 3 == 0)
                b = std::min<int64_t>(a + int64_t(rng() % 40), int64_t(n) - 1);
            ExpectRangesAgree(e, s, std::min(a, b), std::max(a, b));
        }
        ExpectRangesAgree(e, s, 0, int64_t(n) - 1);
    }
}

// Interleaved channels (real-time pairs) and the apparent power, a product taken
// in single precision as the model takes it.
TEST(Envelope, StridedSeriesAndProducts) {
    std::vector<float> pairs = Noise(2 * 5000, 3);
    const GraphModel::Series ch2{pairs.data() + 1, nullptr, 2, 5000};
    const GraphModel::Series power{pairs.data(), pairs.data() + 1, 2, 5000};
    for (const GraphModel::Series& s : {ch2, power}) {
        Envelope e;
        e.Build(s);
        for (int64_t a : {0, 3, 16, 31, 39})
            for (int64_t b : {40, 1023, 2049, 4999})
                ExpectRangesAgree(e, s, a, b);
    }
}

// A series that grows sample by sample (real time) and is extended each time gives
// the summary of building it at once.
TEST(Envelope, ExtendedAsSamplesArriveEqualsBuiltAtOnce) {
    std::vector<float> v = Noise(3000, 11);
    v[1500] = -1e30f;
    Envelope grown;
    for (int64_t n : {1, 2, 17, 100, 1024, 1025, 1500, 1501, 2999, 3000})
        grown.Extend(GraphModel::Series{v.data(), nullptr, 1, n});
    const GraphModel::Series all{v.data(), nullptr, 1, 3000};
    Envelope built;
    built.Build(all);
    for (int64_t a : {0, 5, 1499, 1600})
        for (int64_t b : {1700, 2047, 2999}) {
            const Envelope::Range x = grown.Of(all, a, b), y = built.Of(all, a, b);
            EXPECT_EQ(x.lo, y.lo);
            EXPECT_EQ(x.hi, y.hi);
        }
    EXPECT_EQ(grown.Of(all, 0, 2999).lo, -1e30f);
}

// Each leaf's second lowest and second highest value and the places of its
// lowest and highest, against sorting the leaf's values: built at once and grown
// sample by sample (the partly filled leaf redone), with values held twice and a
// leaf of one value at the end.
TEST(Envelope, LeafTailsEqualSortingEachLeaf) {
    std::vector<float> v = Noise(4001, 13);
    for (size_t k = 40; k < v.size(); k += 97)
        v[k + 1] = v[k]; // a tie, now and then at a leaf's lowest or highest
    const GraphModel::Series all{v.data(), nullptr, 1, int64_t(v.size())};
    Envelope built, grown;
    built.Build(all);
    for (int64_t n : {int64_t(5), int64_t(33), int64_t(2000), int64_t(4001)})
        grown.Extend(GraphModel::Series{v.data(), nullptr, 1, n});
    for (const Envelope* e : {&built, &grown}) {
        for (int64_t j = 0; j * Envelope::kLeaf < int64_t(v.size()); ++j) {
            const auto first = v.begin() + std::ptrdiff_t(j * Envelope::kLeaf);
            const auto last = std::min(first + Envelope::kLeaf, v.end());
            std::vector<float> sorted(first, last);
            std::sort(sorted.begin(), sorted.end());
            const Envelope::LeafTails t = e->Tails(j);
            SCOPED_TRACE(j);
            EXPECT_EQ(first[t.loAt], sorted.front());
            EXPECT_EQ(first[t.hiAt], sorted.back());
            constexpr float kInf = std::numeric_limits<float>::infinity();
            EXPECT_EQ(t.lo2, sorted.size() > 1 ? sorted[1] : kInf);
            EXPECT_EQ(t.hi2, sorted.size() > 1 ? sorted[sorted.size() - 2] : -kInf);
        }
    }
}

TEST(Envelope, MemoryAtMostAQuarterOfTheSeries) {
    for (size_t n : {size_t(4096), size_t(100000), size_t(262144)}) {
        const std::vector<float> v = Noise(n, 5);
        Envelope e;
        e.Build(GraphModel::Series{v.data(), nullptr, 1, int64_t(n)});
        EXPECT_LE(e.MemoryBytes(), n * sizeof(float) / 4) << n;
    }
}

// The cache knows a series by where it lies and the generation of its data, or
// what it holds: values replaced in place, at the same address and count (a new
// recording of the same size, a live run started again), must not be drawn from
// the summary of the old ones.
TEST(EnvelopeCache, StaleSummaryAfterDataReplacedInPlace) {
    EnvelopeCache cache;
    std::vector<float> v = Noise(8192, 1);
    const GraphModel::Series s{v.data(), nullptr, 1, 8192};
    const auto stored = cache.Get(s, 1, false);
    EXPECT_EQ(cache.Get(s, 1, false), stored); // unchanged: the same summary
    v[4000] = 9999.0f;
    EXPECT_EQ(cache.Get(s, 2, false)->Of(s, 0, 8191).hi, 9999.0f); // a new generation
    v[4000] = 0.0f;
    const auto first = cache.Get(s, 0, true);
    EXPECT_EQ(cache.Get(s, 0, true), first);
    v[4000] = 9999.0f;
    const auto second = cache.Get(s, 0, true);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->Of(s, 0, 8191).hi, 9999.0f);
    // The one handed out before is left as it was.
    EXPECT_LT(first->Of(s, 0, 8191).hi, 9999.0f);
}

TEST(EnvelopeCache, GrowingSeriesIsExtended) {
    EnvelopeCache cache;
    std::vector<float> v = Noise(10000, 2);
    const auto a = cache.Get(GraphModel::Series{v.data(), nullptr, 1, 6000}, 0, true);
    v[8000] = -5000.0f;
    const GraphModel::Series more{v.data(), nullptr, 1, 10000};
    const auto b = cache.Get(more, 0, true);
    EXPECT_EQ(a, b); // extended, not rebuilt
    EXPECT_EQ(b->Count(), 10000);
    EXPECT_EQ(b->Of(more, 7000, 9000).lo, -5000.0f);
    // A shorter count than summarised is a different series.
    const auto c = cache.Get(GraphModel::Series{v.data(), nullptr, 1, 5000}, 0, true);
    EXPECT_EQ(c->Count(), 5000);
    EXPECT_EQ(cache.Get(GraphModel::Series{nullptr, nullptr, 1, 0}, 0, true), nullptr);
}

} // namespace
