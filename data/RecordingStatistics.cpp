#include "data/RecordingStatistics.h"

#include "base/LocalTime.h"
#include "base/NumberText.h"
#include "data/MeasurementSet.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace {

// --- local clock ---------------------------------------------------------------

int64_t FloorDiv(int64_t a, int64_t b) {
    const int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// Days from 1970-01-01 to a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2 ? 1 : 0;
    const int64_t era = FloorDiv(y, 400);
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// Seconds the local clock is ahead of UTC at `t`.
int64_t LocalOffset(TimeValue t) {
    const CalendarFields f = ToLocalFields(t);
    const int64_t asUtc = DaysFromCivil(f.year, f.month, f.day) * 86400 + int64_t(f.hour) * 3600 +
                          int64_t(f.minute) * 60 + f.second;
    return asUtc - t;
}

// The local offset changes only at a daylight-saving switch, and switches fall on a
// quarter hour of UTC in every zone; asking once per quarter hour keeps a week at
// 1-second intervals from asking the C library 600,000 times.
class LocalClock {
public:
    int64_t Offset(TimeValue t) {
        if (t < m_validFrom || t >= m_validUntil) {
            m_offset = LocalOffset(t);
            m_validFrom = FloorDiv(t, 900) * 900;
            m_validUntil = m_validFrom + 900;
        }
        return m_offset;
    }
    TimeValue ValidUntil() const { return m_validUntil; }

private:
    int64_t m_offset = 0;
    TimeValue m_validFrom = 1;
    TimeValue m_validUntil = 0;
};

// --- percentiles ---------------------------------------------------------------

// Float bits mapped so that unsigned order is numeric order.
uint32_t SortKeyOfBits(uint32_t u) {
    return (u & 0x80000000u) != 0 ? ~u : (u | 0x80000000u);
}

uint32_t SortKey(float f) {
    return SortKeyOfBits(std::bit_cast<uint32_t>(f));
}

float FromSortKey(uint32_t k) {
    const uint32_t u = (k & 0x80000000u) != 0 ? (k & 0x7FFFFFFFu) : ~k;
    float f = 0;
    std::memcpy(&f, &u, sizeof f);
    return f;
}

// The keys are split into their high and low 16 bits: the main pass counts the high
// halves, one more pass the low halves of the values whose high half holds a wanted
// rank.
constexpr int kHalf = 16;
constexpr size_t kHalfBuckets = size_t(1) << kHalf;
using Histogram = std::vector<uint32_t>;

// Walks a histogram upwards to the buckets of ascending 1-based ranks, each walk
// going on from where the last one stopped (from `from`: no value lies below it).
class RankWalk {
public:
    RankWalk(const uint32_t* hist, size_t from) : m_hist(hist), m_bucket(from) {}
    // Index of the bucket holding the value of `rank` (at most the count), and
    // the rank inside it.
    std::pair<uint32_t, uint64_t> To(uint64_t rank) {
        while (m_bucket + 1 < kHalfBuckets && m_before + m_hist[m_bucket] < rank)
            m_before += m_hist[m_bucket++];
        return {uint32_t(m_bucket), rank - m_before};
    }

private:
    const uint32_t* m_hist;
    size_t m_bucket;
    uint64_t m_before = 0;
};

// Nearest-rank percentiles by radix selection on the values' bits: two linear passes
// whatever the data, where sorting or repeated selection would cost several times
// that.
std::array<double, 5> Percentiles(std::span<const float> values, const Histogram& high,
                                  uint64_t usable, float lowest) {
    constexpr size_t kWanted = kPercentileRanks.size();
    std::array<uint32_t, kWanted> head{};
    std::array<uint64_t, kWanted> rank{};
    // Slot of the low-half histogram for each high half that holds a wanted rank.
    std::vector<uint8_t> slotOf(kHalfBuckets, 0); // 0: none, else slot + 1
    std::array<size_t, kWanted> slot{};
    size_t used = 0;
    RankWalk walk(high.data(), SortKey(lowest) >> kHalf);
    for (size_t p = 0; p < kWanted; ++p) {
        const uint64_t r =
            std::max<uint64_t>(1, (uint64_t(kPercentileRanks[p]) * usable + 99) / 100);
        std::tie(head[p], rank[p]) = walk.To(r);
        if (slotOf[head[p]] == 0)
            slotOf[head[p]] = uint8_t(++used);
        slot[p] = size_t(slotOf[head[p]] - 1);
    }
    // Histogram 0 takes the values of every other bucket, so that no value waits
    // for a branch (which bucket a value falls into is as good as random).
    std::vector<uint32_t> low((used + 1) * kHalfBuckets, 0);
    // Values that are not numbers, and infinities, have high halves of their own,
    // beyond those of any number: none of them falls into a wanted bucket.
    for (const float v : values) {
        const uint32_t k = SortKey(v);
        ++low[size_t(slotOf[k >> kHalf]) * kHalfBuckets + (k & 0xFFFFu)];
    }
    std::array<double, 5> out{};
    std::vector<RankWalk> walks;
    for (size_t u = 1; u <= used; ++u)
        walks.emplace_back(low.data() + u * kHalfBuckets, 0);
    for (size_t p = 0; p < kWanted; ++p) {
        const uint32_t lo = walks[slot[p]].To(rank[p]).first;
        out[p] = double(FromSortKey((head[p] << kHalf) | lo));
    }
    return out;
}

// --- one channel ---------------------------------------------------------------

// The first of values from `from` on that equals x (one does).
int64_t FirstEqual(std::span<const float> values, size_t from, double x) {
    const float f = float(x);
    size_t i = from;
    while (i < values.size() && values[i] != f)
        ++i;
    return int64_t(std::min(i, values.size() - 1));
}

// One pass over a channel's values, in runs (a voltage channel's runs are its
// 10-minute intervals). Each run works on locals only, so that each running sum
// stays in a register: a sum kept in memory waits for its own store on every
// value. Sums of the values less the first usable one as well: a flat recording
// keeps a deviation of exactly 0 (the difference of two large sums would not).
// Consecutive values mostly fall into the same bucket of the high halves: even
// and odd values count into histograms of their own, so that no increment waits
// for the one before.
class ChannelPass {
public:
    ChannelPass() : m_top(kHalfBuckets, 0), m_odd(kHalfBuckets, 0) {}

    // Values i .. end - 1; each(k, v) sees every value on the way (its work
    // overlaps the wait of each sum for the one before).
    template <class Each>
    void Run(std::span<const float> values, size_t i, size_t end, Each&& each) {
        double shift = m_shift, sum = m_sum, squares = m_squares;
        double shiftedSum = m_shiftedSum, shiftedSquares = m_shiftedSquares;
        double lo = m_lo, hi = m_hi;
        uint64_t usable = m_usable;
        uint32_t* const counts[2] = {m_top.data(), m_odd.data()};
        for (; i < end; ++i) {
            const float v = values[i];
            each(int64_t(i), v);
            const uint32_t bits = std::bit_cast<uint32_t>(v);
            if ((bits & 0x7F800000u) == 0x7F800000u)
                continue; // not a number, or infinite
            const double d = double(v);
            if (usable == 0) {
                shift = lo = hi = d;
                m_first = i;
            }
            sum += d;
            squares += d * d;
            shiftedSum += d - shift;
            shiftedSquares += (d - shift) * (d - shift);
            ++counts[usable & 1][SortKeyOfBits(bits) >> kHalf];
            lo = d < lo ? d : lo;
            hi = d > hi ? d : hi;
            ++usable;
        }
        m_shift = shift;
        m_sum = sum;
        m_squares = squares;
        m_shiftedSum = shiftedSum;
        m_shiftedSquares = shiftedSquares;
        m_lo = lo;
        m_hi = hi;
        m_usable = usable;
    }

    // The figures of the values passed (all of them, in runs), and the histogram
    // of their high halves.
    void Finish(const StatisticsView& view, std::span<const float> values, ChannelStatistics& c) {
        c.unusable = int64_t(values.size() - m_usable);
        c.hasValues = m_usable > 0;
        if (!c.hasValues)
            return;
        for (size_t b = 0; b < kHalfBuckets; ++b)
            m_top[b] += m_odd[b];
        // The first sample that reaches an extreme keeps it (and gives its value:
        // of 0 and -0, the one that came first).
        const int64_t loAt = FirstEqual(values, m_first, m_lo);
        const int64_t hiAt = FirstEqual(values, m_first, m_hi);
        c.min = {double(values[size_t(loAt)]), view.SampleTime(loAt), loAt};
        c.max = {double(values[size_t(hiAt)]), view.SampleTime(hiAt), hiAt};
        const double n = double(m_usable);
        c.mean = m_sum / n;
        c.rmsMean = std::sqrt(m_squares / n);
        const double shiftedMean = m_shiftedSum / n;
        c.std = std::sqrt(std::max(0.0, m_shiftedSquares / n - shiftedMean * shiftedMean));
        c.percentiles = Percentiles(values, m_top, m_usable, float(m_lo));
    }

private:
    Histogram m_top, m_odd;
    double m_shift = 0, m_sum = 0, m_squares = 0, m_shiftedSum = 0, m_shiftedSquares = 0;
    double m_lo = 0, m_hi = 0;
    size_t m_first = 0;
    uint64_t m_usable = 0;
};

// --- voltage events ------------------------------------------------------------

// Limits as exact as the nominal allows: 0.9 * 230 in binary is not 207.
struct Limits {
    double low, high, interruption;
    explicit Limits(double un)
        : low(un * 9.0 / 10.0), high(un * 11.0 / 10.0), interruption(un * 5.0 / 100.0) {}
};

// One event per excursion outside the limits. An excursion below 0.9 Un whose
// lowest value falls under 0.05 Un is an interruption as a whole, not a dip with an
// interruption inside: the supply was lost once, and one outage must not count as
// three events.
class EventFinder {
public:
    EventFinder(const StatisticsView& view, const Limits& limits, VoltageSummary& out)
        : m_view(view), m_limits(limits), m_out(out) {}

    void Take(int64_t i, float v) {
        const int side = !std::isfinite(v)           ? 0
                         : double(v) < m_limits.low  ? -1
                         : double(v) > m_limits.high ? 1
                                                     : 0;
        if (side != m_side)
            Close(i);
        if (side == 0)
            return;
        if (m_side == 0) {
            m_side = side;
            m_first = i;
            m_extreme = double(v);
        } else {
            m_extreme = side < 0 ? std::min(m_extreme, double(v)) : std::max(m_extreme, double(v));
        }
    }
    bool Idle() const { return m_side == 0; }
    void Close(int64_t end) {
        if (m_side == 0)
            return;
        VoltageEvent e;
        e.kind = m_side > 0                          ? EventKind::Swell
                 : m_extreme < m_limits.interruption ? EventKind::Interruption
                                                     : EventKind::Dip;
        e.firstIndex = m_first;
        e.start = m_view.SampleTime(m_first);
        e.samples = end - m_first;
        e.durationS = double(e.samples) * m_view.intervalS;
        e.extreme = m_extreme;
        (e.kind == EventKind::Dip     ? m_out.dips
         : e.kind == EventKind::Swell ? m_out.swells
                                      : m_out.interruptions)++;
        m_out.events.push_back(e);
        m_side = 0;
    }

private:
    const StatisticsView& m_view;
    Limits m_limits;
    VoltageSummary& m_out;
    int m_side = 0;
    int64_t m_first = 0;
    double m_extreme = 0;
};

// --- 10-minute values ----------------------------------------------------------

class TenMinuteFolder {
public:
    TenMinuteFolder(const StatisticsView& view, const Limits& limits)
        : m_view(view), m_limits(limits), m_expected(kTenMinutes / view.intervalS) {}

    // Samples come in time order: only one past the interval's end (or past the
    // span the local offset is known for) needs the clock. The samples up to that
    // one are handed to run(i, end, sumSquares, usable) together, which adds the
    // squares of their usable values to the interval's sum.
    template <class Run> void TakeRuns(int64_t n, Run&& run) {
        for (int64_t i = 0; i < n;) {
            const TimeValue t = m_view.SampleTime(i);
            if (!m_open || t >= m_end)
                Locate(i, t);
            const int64_t end = RunEnd(i, n);
            run(i, end, m_sumSquares, m_n);
            i = end;
        }
    }
    // The first sample after i (at most n) whose time reaches m_end: estimated
    // from the interval, then made exact (sample times never decrease).
    int64_t RunEnd(int64_t i, int64_t n) const {
        const double guess = std::ceil(double(m_end - m_view.start) / m_view.intervalS);
        int64_t j = std::clamp<int64_t>(int64_t(std::clamp(guess, 0.0, 9e15)), i + 1, n);
        while (j > i + 1 && m_view.SampleTime(j - 1) >= m_end)
            --j;
        while (j < n && m_view.SampleTime(j) < m_end)
            ++j;
        return j;
    }
    void Flush() {
        if (!m_open)
            return;
        if (m_n == 0 || double(2 * m_n) < m_expected) {
            ++m_s.incomplete;
        } else {
            const ValueAt value{std::sqrt(m_sumSquares / double(m_n)), m_start, m_first};
            if (m_s.complete == 0 || value.value > m_s.highest.value)
                m_s.highest = value;
            if (m_s.complete == 0 || value.value < m_s.lowest.value)
                m_s.lowest = value;
            ++m_s.complete;
            if (value.value >= m_limits.low && value.value <= m_limits.high)
                ++m_s.within;
        }
        m_open = false;
        m_sumSquares = 0;
        m_n = 0;
    }
    void Locate(int64_t i, TimeValue t) {
        const int64_t offset = m_clock.Offset(t);
        const int64_t key = FloorDiv(t + offset, int64_t(kTenMinutes));
        if (!m_open || key != m_key) {
            Flush();
            m_open = true;
            m_key = key;
            m_first = i;
            m_start = key * int64_t(kTenMinutes) - offset;
        }
        m_end = std::min(key * int64_t(kTenMinutes) + int64_t(kTenMinutes) - offset,
                         m_clock.ValidUntil());
    }
    TenMinuteSummary Result() const {
        TenMinuteSummary s = m_s;
        s.withinShare = s.complete > 0 ? double(s.within) / double(s.complete) : 0;
        // 95 % of the values, counted in whole values: 19 of 20 is enough.
        s.withinLimit = s.complete > 0 && s.within * 100 >= s.complete * 95;
        return s;
    }

private:
    const StatisticsView& m_view;
    Limits m_limits;
    double m_expected;
    LocalClock m_clock;
    TenMinuteSummary m_s;
    bool m_open = false;
    int64_t m_key = 0;
    int64_t m_first = 0;
    TimeValue m_start = 0;
    TimeValue m_end = 0;
    double m_sumSquares = 0;
    int64_t m_n = 0;
};

// The apparent power of a voltage/current pair, summed as the voltage channel is
// read (its sum then waits on nothing of its own).
struct EnergyRun {
    std::span<const float> amps;
    double sum = 0;
    double peak = 0;
    int64_t peakAt = 0;
    int64_t usable = 0;
    void Take(int64_t i, float volts) {
        if (size_t(i) >= amps.size())
            return;
        const double p = double(volts) * double(amps[size_t(i)]);
        if (!std::isfinite(p))
            return;
        sum += p;
        if (usable == 0 || p > peak) {
            peak = p;
            peakAt = i;
        }
        ++usable;
    }
};

// `energy`: the run of the pair this voltage channel belongs to, if any.
// The pass over a voltage channel: `pass` on the way.
VoltageSummary Voltage(const StatisticsView& view, std::span<const float> values, double nominal,
                       EnergyRun* energy, ChannelPass& pass) {
    VoltageSummary s;
    s.nominal = nominal;
    const Limits limits(nominal);
    EventFinder events(view, limits, s);
    const bool usableInterval = std::isfinite(view.intervalS) && view.intervalS > 0;
    const bool tenMinutes = usableInterval && view.intervalS <= kTenMinutes;
    std::optional<TenMinuteFolder> folder;
    if (tenMinutes)
        folder.emplace(view, limits);
    const int64_t n = int64_t(values.size());
    // A run of samples: their events, their apparent power and the squares of the
    // 10-minute value, each sum on a local.
    auto run = [&](int64_t i, int64_t end, double& tenSquares, int64_t& tenUsable) {
        double squares = tenSquares;
        int64_t usable = tenUsable;
        EnergyRun e = energy ? *energy : EnergyRun{};
        pass.Run(values, size_t(i), size_t(end), [&](int64_t k, float v) {
            e.Take(k, v);
            if (std::isfinite(v)) {
                squares += double(v) * double(v);
                ++usable;
            }
            // Inside the limits with no event open (the most of a recording):
            // nothing to do. A value that is not a number goes the long way.
            if (!(events.Idle() && double(v) >= limits.low && double(v) <= limits.high))
                events.Take(k, v);
        });
        if (energy)
            *energy = e;
        tenSquares = squares;
        tenUsable = usable;
    };
    if (folder) {
        folder->TakeRuns(n, run);
    } else {
        double squares = 0;
        int64_t usable = 0;
        run(0, n, squares, usable);
    }
    events.Close(n);
    if (!usableInterval) {
        s.absence = TenMinuteAbsence::NoInterval;
    } else if (!tenMinutes) {
        s.absence = TenMinuteAbsence::IntervalTooLong;
    } else {
        folder->Flush();
        const TenMinuteSummary t = folder->Result();
        if (t.complete == 0)
            s.absence = TenMinuteAbsence::NoCompleteInterval;
        else
            s.tenMinute = t;
    }
    return s;
}

bool IsUnit(const QString& unit, char u) {
    return unit.size() == 1 && unit.at(0) == QLatin1Char(u);
}

// The channels of a voltage/current pair: {volts, amps}, or {-1, -1}.
std::pair<int, int> EnergyPair(const StatisticsView& view) {
    int volts = -1;
    int amps = -1;
    for (int ch = 0; ch < 2; ++ch) {
        if (!view.channels[size_t(ch)].present)
            continue;
        if (IsUnit(view.channels[size_t(ch)].unit, 'V'))
            volts = ch;
        else if (IsUnit(view.channels[size_t(ch)].unit, 'A'))
            amps = ch;
    }
    if (volts < 0 || amps < 0)
        return {-1, -1};
    return {volts, amps};
}

std::optional<EnergySummary> Energy(const StatisticsView& view, const EnergyRun& run) {
    if (run.usable == 0)
        return std::nullopt;
    EnergySummary e;
    e.peak = {run.peak, view.SampleTime(run.peakAt), run.peakAt};
    e.meanVa = run.sum / double(run.usable);
    e.apparentVah = run.sum * view.intervalS / 3600.0;
    return e;
}

} // namespace

TimeValue StatisticsView::SampleTime(int64_t i) const {
    return start + static_cast<TimeValue>(std::trunc(double(i) * intervalS));
}

StatisticsView StatisticsViewOf(const MeasurementSet& set) {
    StatisticsView v;
    v.start = set.RmsSampleTime(0);
    v.intervalS = double(set.RmsInterval());
    v.count = std::max(set.RmsCount(), 0);
    for (int ch = 0; ch < 2; ++ch) {
        StatisticsChannelView& c = v.channels[size_t(ch)];
        c.present = set.ChannelPresent(ch);
        if (!c.present)
            continue;
        c.values = set.ChannelRms(ch);
        c.unit = set.ChannelUnit(ch);
        // Never read past what a channel holds, whatever the count says.
        v.count = std::min<int64_t>(v.count, int64_t(c.values.size()));
    }
    for (StatisticsChannelView& c : v.channels)
        if (c.present)
            c.values = c.values.first(size_t(v.count));
    // A stored set does not keep how many samples the logger's ring overwrote (the
    // download only moves the start time forward by them, and .stdata has no field
    // for it), so nothing is known to be lost here.
    v.lost = 0;
    return v;
}

RecordingStatistics ComputeStatistics(const StatisticsView& view, double nominal) {
    RecordingStatistics r;
    r.start = view.start;
    r.intervalS = view.intervalS;
    r.count = std::max<int64_t>(view.count, 0);
    const double un = AcceptedNominal(nominal);
    const auto [volts, amps] = EnergyPair(view);
    EnergyRun energy;
    if (amps >= 0) {
        const std::span<const float> a = view.channels[size_t(amps)].values;
        energy.amps = a.first(std::min(size_t(r.count), a.size()));
    }
    for (int ch = 0; ch < 2; ++ch) {
        const StatisticsChannelView& in = view.channels[size_t(ch)];
        if (!in.present)
            continue;
        const std::span<const float> values =
            in.values.first(std::min(size_t(r.count), in.values.size()));
        ChannelStatistics c;
        c.channel = ch + 1;
        c.unit = in.unit;
        c.count = int64_t(values.size());
        c.coveredS = double(c.count) * view.intervalS;
        c.lost = view.lost;
        ChannelPass pass;
        if (IsUnit(in.unit, 'V'))
            c.voltage = Voltage(view, values, un, ch == volts ? &energy : nullptr, pass);
        else
            pass.Run(values, 0, values.size(), [](int64_t, float) {});
        pass.Finish(view, values, c);
        r.channels.push_back(std::move(c));
    }
    if (volts >= 0)
        r.energy = Energy(view, energy);
    return r;
}

double AcceptedNominal(double nominal) {
    return std::isfinite(nominal) && nominal >= kNominalLowest && nominal <= kNominalHighest
               ? nominal
               : kNominalDefault;
}

QString TenMinuteVerdictText(const TenMinuteSummary& s) {
    if (s.withinLimit)
        return QStringLiteral("within the ±10 % limit for 95 % of the 10-minute values");
    // Cut, not rounded: a share just under 95 % must not read "95.0 % within".
    const double tenths = std::floor(s.withinShare * 1000.0) / 10.0;
    return QStringLiteral("outside: %1 % within").arg(Fixed1(tenths));
}

QString TenMinuteAbsenceText(TenMinuteAbsence why, double intervalS) {
    switch (why) {
    case TenMinuteAbsence::IntervalTooLong:
        return QStringLiteral("the recording interval (%1 s) is longer than 10 minutes")
            .arg(QString::number(intervalS));
    case TenMinuteAbsence::NoInterval:
        return QStringLiteral("the recording has no usable interval");
    case TenMinuteAbsence::NoCompleteInterval:
        return QStringLiteral("no 10-minute interval holds half of its samples");
    case TenMinuteAbsence::None:
        break;
    }
    return {};
}

QString EventKindName(EventKind kind) {
    switch (kind) {
    case EventKind::Dip:
        return QStringLiteral("dip");
    case EventKind::Swell:
        return QStringLiteral("swell");
    case EventKind::Interruption:
        return QStringLiteral("interruption");
    }
    return {};
}
