#pragma once
// A min/max summary of one shown series, so that the lowest and highest pixel row
// of a dense pixel column comes from a few looked-up points instead of every point
// of the column. Level 0 holds, for each leaf of 16 points, which point has the
// lowest and which the highest value; each further level does the same for two
// nodes of the level below. Points are named, not values: the rows are then read
// from the model's own pixel arrays, and since value -> row is monotone (in either
// direction), the extremes of the rows are exactly the rows of the extreme
// values. A value that is not a number wins the "highest" of its node, so that a
// lookup meets it and the caller falls back to walking the points.

#include "graph/GraphModel.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class Envelope {
public:
    static constexpr int kLeafShift = 4;
    static constexpr int64_t kLeaf = int64_t(1) << kLeafShift;

    // Summarises points 0 .. s.count - 1 of a series (anew).
    void Build(const GraphModel::Series& s);
    // The series grew (the points below Count() are unchanged): summarises the
    // points added since, redoing only the leaf that was partly filled and the
    // nodes above what changed.
    void Extend(const GraphModel::Series& s);
    int64_t Count() const { return m_count; }
    // Memory of the summary itself.
    size_t MemoryBytes() const;

    // The lowest and highest of ys[p0..p1] (points below Count()); false (and the
    // span not usable) when one of them is not a number.
    bool Span(const double* ys, int64_t p0, int64_t p1, double& lo, double& hi) const;

    // Calls visit(k) at least for every point k of p0..p1 whose pixel row
    // (PixelCoord(ys[k])) lies outside rowLo..rowHi; whole leaves (and the partial
    // ones at both ends) at a time, so some points inside come along.
    template <class Visit>
    void Outside(const double* ys, int64_t p0, int64_t p1, int rowLo, int rowHi,
                 Visit&& visit) const;

private:
    // The points with the lowest and the highest value of a node, as offsets from
    // the node's first point (a node never holds more than 65,536 points).
    struct Node {
        uint16_t lo = 0, hi = 0;
    };
    static constexpr int kTopLevel = 16 - kLeafShift;

    void BuildLeaves(const GraphModel::Series& s, int64_t fromLeaf);
    void BuildLevel(const GraphModel::Series& s, size_t level, int64_t fromNode);
    int64_t First(size_t level, int64_t node) const {
        return node << (int(level) + kLeafShift);
    }
    template <class Visit>
    void VisitNode(const double* ys, size_t level, int64_t node, int rowLo, int rowHi,
                   Visit& visit) const;

    std::vector<std::vector<Node>> m_levels;
    int64_t m_count = 0;
};

// The summaries of the series being shown, kept between paints. A series is
// known by where its values lie and a fingerprint of them, so that data replaced
// in place (a new recording of the same size) are summarised anew, and a series
// that only grew (real time) is extended rather than rebuilt.
class EnvelopeCache {
public:
    // The summary of points 0 .. s.count - 1 of s.
    std::shared_ptr<const Envelope> Get(const GraphModel::Series& s);
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
        Fingerprint print;
        std::shared_ptr<Envelope> envelope;
        uint64_t used = 0;
    };
    static void Advance(Fingerprint& f, const GraphModel::Series& s, int64_t to);

    static constexpr size_t kEntries = 6;
    std::array<Entry, kEntries> m_entries;
    uint64_t m_clock = 0;
};

template <class Visit>
void Envelope::VisitNode(const double* ys, size_t level, int64_t node, int rowLo, int rowHi,
                         Visit& visit) const {
    const Node n = m_levels[level][size_t(node)];
    const int64_t first = First(level, node);
    const int a = PixelCoord(ys[first + n.lo]);
    const int b = PixelCoord(ys[first + n.hi]);
    if (std::min(a, b) >= rowLo && std::max(a, b) <= rowHi)
        return;
    if (level == 0) {
        const int64_t end = std::min(first + kLeaf, m_count);
        for (int64_t k = first; k < end; ++k)
            visit(k);
        return;
    }
    VisitNode(ys, level - 1, 2 * node, rowLo, rowHi, visit);
    if (size_t(2 * node + 1) < m_levels[level - 1].size())
        VisitNode(ys, level - 1, 2 * node + 1, rowLo, rowHi, visit);
}

template <class Visit>
void Envelope::Outside(const double* ys, int64_t p0, int64_t p1, int rowLo, int rowHi,
                       Visit&& visit) const {
    int64_t b0 = (p0 + kLeaf - 1) >> kLeafShift;
    int64_t b1 = (p1 + 1) >> kLeafShift;
    if (m_levels.empty() || b0 >= b1) {
        for (int64_t k = p0; k <= p1; ++k)
            visit(k);
        return;
    }
    for (int64_t k = p0; k < (b0 << kLeafShift); ++k)
        visit(k);
    for (int64_t k = b1 << kLeafShift; k <= p1; ++k)
        visit(k);
    // The whole leaves b0 .. b1 - 1 as the fewest nodes that cover them.
    size_t level = 0;
    while (b0 < b1) {
        if (level + 1 == m_levels.size()) {
            for (int64_t j = b0; j < b1; ++j)
                VisitNode(ys, level, j, rowLo, rowHi, visit);
            return;
        }
        if (b0 & 1)
            VisitNode(ys, level, b0++, rowLo, rowHi, visit);
        if (b1 & 1)
            VisitNode(ys, level, --b1, rowLo, rowHi, visit);
        b0 >>= 1;
        b1 >>= 1;
        ++level;
    }
}
