#include "graph/Envelope.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <mutex>

namespace {

bool IsNan(float v) {
    return v != v;
}

// Whether b replaces a as the highest: a larger number, or the first value that is
// not a number (which then stays).
bool Higher(float b, float a) {
    return !IsNan(a) && (b > a || IsNan(b));
}

} // namespace

size_t Envelope::MemoryBytes() const {
    size_t n = 0;
    for (const std::vector<Node>& level : m_levels)
        n += level.capacity() * sizeof(Node);
    n += m_tails.capacity() * sizeof(LeafTails);
    return n + m_levels.capacity() * sizeof(std::vector<Node>);
}

void Envelope::Build(const GraphModel::Series& s) {
    m_levels.clear();
    m_tails.clear();
    m_count = 0;
    Extend(s);
}

void Envelope::Extend(const GraphModel::Series& s) {
    if (s.count <= m_count)
        return;
    const int64_t fromLeaf = m_count >> kLeafShift;
    m_count = s.count;
    BuildLeaves(s, fromLeaf);
    int64_t from = fromLeaf;
    for (size_t level = 1; m_levels[level - 1].size() > 1; ++level) {
        from >>= 1;
        BuildLevel(level, from);
    }
}

void Envelope::BuildLeaves(const GraphModel::Series& s, int64_t fromLeaf) {
    if (m_levels.empty())
        m_levels.emplace_back();
    std::vector<Node>& leaves = m_levels[0];
    const int64_t n = (m_count + kLeaf - 1) >> kLeafShift;
    leaves.resize(size_t(n));
    m_tails.resize(size_t(n));
    constexpr float kInf = std::numeric_limits<float>::infinity();
    for (int64_t j = fromLeaf; j < n; ++j) {
        const int64_t first = j << kLeafShift;
        const int64_t end = std::min(first + kLeaf, m_count);
        float lo = ValueAt(s, first), hi = lo;
        LeafTails t{kInf, -kInf, 0, 0};
        for (int64_t k = first + 1; k < end; ++k) {
            const float v = ValueAt(s, k);
            // The second lowest is the lowest of the values above the lowest so far.
            t.lo2 = std::min(t.lo2, std::max(lo, v));
            t.hi2 = std::max(t.hi2, std::min(hi, v));
            const auto at = uint8_t(k - first);
            t.loAt = v < lo ? at : t.loAt;
            lo = v < lo ? v : lo;
            const bool higher = Higher(v, hi);
            t.hiAt = higher ? at : t.hiAt;
            hi = higher ? v : hi;
        }
        leaves[size_t(j)] = Node{lo, hi};
        m_tails[size_t(j)] = t;
    }
}

void Envelope::BuildLevel(size_t level, int64_t fromNode) {
    if (m_levels.size() <= level)
        m_levels.emplace_back();
    const std::vector<Node>& below = m_levels[level - 1];
    std::vector<Node>& nodes = m_levels[level];
    const int64_t n = (int64_t(below.size()) + 1) / 2;
    nodes.resize(size_t(n));
    for (int64_t j = fromNode; j < n; ++j) {
        Node r = below[size_t(2 * j)];
        if (size_t(2 * j + 1) < below.size()) {
            const Node b = below[size_t(2 * j + 1)];
            r.lo = b.lo < r.lo ? b.lo : r.lo;
            r.hi = Higher(b.hi, r.hi) ? b.hi : r.hi;
        }
        nodes[size_t(j)] = r;
    }
}

Envelope::Range Envelope::Of(const GraphModel::Series& s, int64_t p0, int64_t p1) const {
    Range r;
    r.lo = r.hi = ValueAt(s, p0);
    auto add = [&r](float lo, float hi) {
        r.lo = lo < r.lo ? lo : r.lo;
        r.hi = Higher(hi, r.hi) ? hi : r.hi;
    };
    const int64_t b0 = (p0 + kLeaf - 1) >> kLeafShift;
    const int64_t b1 = (p1 + 1) >> kLeafShift;
    const int64_t walkTo = m_levels.empty() || b0 >= b1 ? p1 + 1 : b0 << kLeafShift;
    for (int64_t k = p0; k < walkTo; ++k) {
        const float v = ValueAt(s, k);
        add(v, v);
    }
    if (walkTo <= p1) {
        for (int64_t k = b1 << kLeafShift; k <= p1; ++k) {
            const float v = ValueAt(s, k);
            add(v, v);
        }
        Cover(b0, b1, [&](size_t level, int64_t j) {
            const Node n = m_levels[level][size_t(j)];
            add(n.lo, n.hi);
        });
    }
    r.number = !IsNan(r.hi) && !IsNan(r.lo);
    return r;
}

// ---- the cache ----

namespace {

float ValueAt(const GraphModel::Series& s, int64_t k) {
    return Envelope::ValueAt(s, k);
}

uint64_t Mix(uint64_t h, uint32_t w) {
    h ^= w;
    h *= 0x9E3779B97F4A7C15ull;
    return h ^ (h >> 29);
}

uint32_t Bits(float v) {
    return std::bit_cast<uint32_t>(v);
}

std::mutex& CacheMutex() {
    static std::mutex m;
    return m;
}

} // namespace

// Four independent lanes (point k goes to lane k % 4), so that the multiplies
// overlap; a fingerprint of points 0 .. n - 1 is continued to n + m unchanged.
void EnvelopeCache::Advance(Fingerprint& f, const GraphModel::Series& s, int64_t to) {
    int64_t k = f.count;
    for (; k < to && (k & 3) != 0; ++k)
        f.lanes[size_t(k & 3)] = Mix(f.lanes[size_t(k & 3)], Bits(ValueAt(s, k)));
    if (s.q == nullptr && s.stride == 1) {
        uint64_t a = f.lanes[0], b = f.lanes[1], c = f.lanes[2], d = f.lanes[3];
        for (; k + 4 <= to; k += 4) {
            a = Mix(a, Bits(s.p[k]));
            b = Mix(b, Bits(s.p[k + 1]));
            c = Mix(c, Bits(s.p[k + 2]));
            d = Mix(d, Bits(s.p[k + 3]));
        }
        f.lanes = {a, b, c, d};
    }
    for (; k < to; ++k)
        f.lanes[size_t(k & 3)] = Mix(f.lanes[size_t(k & 3)], Bits(ValueAt(s, k)));
    f.count = std::max(f.count, to);
}

EnvelopeCache& EnvelopeCache::Shared() {
    static EnvelopeCache cache;
    return cache;
}

std::shared_ptr<const Envelope> EnvelopeCache::Get(const GraphModel::Series& s, uint64_t generation,
                                                   bool fingerprinted) {
    if (!s.p || s.count <= 0)
        return nullptr;
    const std::lock_guard<std::mutex> lock(CacheMutex());
    ++m_clock;
    auto same = [&](const Entry& e) {
        return e.envelope && e.p == s.p && e.q == s.q && e.stride == s.stride;
    };
    Entry* slot = &m_entries[0];
    for (Entry& e : m_entries) {
        if (same(e)) {
            slot = &e;
            break;
        }
        if (e.used < slot->used)
            slot = &e;
    }
    Entry& e = *slot;
    e.used = m_clock;
    if (same(e) && e.generation == generation && e.fingerprinted == fingerprinted &&
        e.print.count <= s.count) {
        // The same place: the points summarised must still hold the same values.
        Fingerprint now;
        if (fingerprinted)
            Advance(now, s, e.print.count);
        else
            now = e.print;
        if (now == e.print) {
            if (s.count > e.print.count) {
                if (fingerprinted)
                    Advance(now, s, s.count);
                now.count = s.count;
                e.envelope->Extend(s);
                e.print = now;
            }
            return e.envelope;
        }
    }
    e.p = s.p;
    e.q = s.q;
    e.stride = s.stride;
    e.generation = generation;
    e.fingerprinted = fingerprinted;
    e.print = Fingerprint{};
    if (fingerprinted)
        Advance(e.print, s, s.count);
    e.print.count = s.count;
    // A new summary: one handed out before stays as it was.
    e.envelope = std::make_shared<Envelope>();
    e.envelope->Build(s);
    return e.envelope;
}
