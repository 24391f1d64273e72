#pragma once
// A min/max summary of one shown series, so that the lowest and highest value of
// a dense pixel column comes from a few summary nodes instead of every point of
// the column. Level 0 holds the lowest and highest value of each leaf of 32
// points; each further level those of two nodes of the level below. Value -> row
// is monotone (in either direction), so the rows of a column's extreme values are
// its extreme rows. A value that is not a number wins the "highest" of its node
// (and every node above), so that a lookup meets it and the caller falls back to
// walking the points.

#include "graph/GraphModel.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

class Envelope {
public:
    static constexpr int kLeafShift = 5;
    static constexpr int64_t kLeaf = int64_t(1) << kLeafShift;

    // Value k of a series as the model scales it (a product in single precision,
    // as the model multiplies it).
    static float ValueAt(const GraphModel::Series& s, int64_t k) {
        const size_t i = size_t(k) * s.stride;
        return s.q ? s.p[i] * s.q[i] : s.p[i];
    }

    // Summarises points 0 .. s.count - 1 of a series (anew).
    void Build(const GraphModel::Series& s);
    // The series grew (the points below Count() are unchanged): summarises the
    // points added since, redoing only the leaf that was partly filled and the
    // nodes above what changed.
    void Extend(const GraphModel::Series& s);
    int64_t Count() const { return m_count; }
    // Starts loading the lowest nodes around point k.
    void Prefetch(int64_t k) const {
        for (size_t level = 0; level < 2 && level < m_levels.size(); ++level) {
            const size_t j = size_t(k >> (kLeafShift + int(level)));
            if (j < m_levels[level].size())
                __builtin_prefetch(m_levels[level].data() + j);
        }
    }
    // Memory of the summary itself.
    size_t MemoryBytes() const;

    struct Range {
        float lo = 0, hi = 0;
        bool number = true; // false: a value is not a number (lo, hi not usable)
    };
    // The lowest and highest of values p0..p1 (below Count()) of s, the series
    // summarised.
    Range Of(const GraphModel::Series& s, int64_t p0, int64_t p1) const;
    // The lowest and highest value of leaf j (points j * kLeaf on, below Count());
    // a value that is not a number makes `hi` one.
    std::pair<float, float> Leaf(int64_t j) const {
        const Node n = m_levels[0][size_t(j)];
        return {n.lo, n.hi};
    }
    // Beside each leaf: its second lowest and second highest value (a value held
    // twice counts twice; infinite, past every bound, in a leaf of one value) and
    // where in the leaf its lowest and highest lie. A leaf that reaches past a
    // bound with one value only so names that value without its values being
    // read. Unspecified for a leaf holding a value that is not a number.
    struct LeafTails {
        float lo2 = 0, hi2 = 0;
        uint8_t loAt = 0, hiAt = 0; // 0 .. kLeaf - 1, from the leaf's first point
    };
    LeafTails Tails(int64_t j) const { return m_tails[size_t(j)]; }
    // Of leaves j0 .. j0 + n - 1 (1 <= n <= 32, below the leaves' count), those
    // holding a value not strictly between fa and fb (one that is not a number
    // included), as bit i for leaf j0 + i.
    uint32_t LeavesReaching(int64_t j0, int n, float fa, float fb) const {
        const Node* leaf = m_levels[0].data() + j0;
        uint32_t reaching = 0;
        int i = 0;
#if defined(__SSE2__)
        // Two leaves a vector (lo, hi, lo, hi): a leaf is inside when its lowest
        // is above fa and its highest below fb, so both of its lanes pass.
        constexpr float kInf = std::numeric_limits<float>::infinity();
        const __m128 above = _mm_setr_ps(fa, -kInf, fa, -kInf);
        const __m128 below = _mm_setr_ps(kInf, fb, kInf, fb);
        for (; i + 2 <= n; i += 2) {
            static_assert(sizeof(Node) == 2 * sizeof(float));
            __m128 v;
            std::memcpy(&v, leaf + i, sizeof v);
            const int pass =
                _mm_movemask_ps(_mm_and_ps(_mm_cmpgt_ps(v, above), _mm_cmplt_ps(v, below)));
            reaching |= uint32_t((pass & 3) != 3) << i;
            reaching |= uint32_t((pass & 12) != 12) << (i + 1);
        }
#endif
        for (; i < n; ++i)
            reaching |= uint32_t(!(leaf[i].lo > fa && leaf[i].hi < fb)) << i;
        return reaching;
    }

private:
    struct Node {
        float lo = 0, hi = 0;
    };
    void BuildLeaves(const GraphModel::Series& s, int64_t fromLeaf);
    void BuildLevel(size_t level, int64_t fromNode);
    // The fewest nodes that cover leaves b0 .. b1 - 1, in no particular order.
    template <class Take> void Cover(int64_t b0, int64_t b1, Take&& take) const;

    std::vector<std::vector<Node>> m_levels;
    std::vector<LeafTails> m_tails; // one a leaf of level 0
    int64_t m_count = 0;
};

// The summaries of the series being shown, kept between paints. A series is
// known by where its values lie and the generation of the data it belongs to
// (bumped whenever they are replaced); one whose values may change in place
// without a new generation (a live series, restarted into the same place) is also
// checked against a fingerprint of its values. A series that only grew (real
// time) is extended rather than rebuilt.
class EnvelopeCache {
public:
    // The summary of points 0 .. s.count - 1 of s.
    std::shared_ptr<const Envelope> Get(const GraphModel::Series& s, uint64_t generation,
                                        bool fingerprinted);
    // The cache the renderer uses.
    static EnvelopeCache& Shared();

private:
    struct Fingerprint {
        std::array<uint64_t, 4> lanes{};
        int64_t count = 0;
        bool operator==(const Fingerprint&) const = default;
    };
    struct Entry {
        const float* p = nullptr;
        const float* q = nullptr;
        size_t stride = 1;
        uint64_t generation = 0;
        bool fingerprinted = false;
        Fingerprint print;
        std::shared_ptr<Envelope> envelope;
        uint64_t used = 0;
    };
    static void Advance(Fingerprint& f, const GraphModel::Series& s, int64_t to);

    static constexpr size_t kEntries = 6;
    std::array<Entry, kEntries> m_entries;
    uint64_t m_clock = 0;
};

template <class Take> void Envelope::Cover(int64_t b0, int64_t b1, Take&& take) const {
    size_t level = 0;
    while (b0 < b1) {
        if (level + 1 == m_levels.size()) {
            for (int64_t j = b0; j < b1; ++j)
                take(level, j);
            return;
        }
        if (b0 & 1)
            take(level, b0++);
        if (b1 & 1)
            take(level, --b1);
        b0 >>= 1;
        b1 >>= 1;
        ++level;
    }
}
