#pragma once
// Stored sets for tests: a builder that yields a complete, valid stored set (the
// product replaces stored data only as a whole), and small edits that hand a changed
// copy back to a measurement set.

#include "data/MeasurementSet.h"

#include <gtest/gtest.h>

#include <QString>

#include <optional>
#include <utility>
#include <vector>

class StoredSetBuilder {
public:
    StoredSetBuilder& Start(TimeValue start) {
        m_set.SetStartTime(start);
        return *this;
    }
    StoredSetBuilder& Interval(float seconds) {
        m_set.SetRmsInterval(seconds);
        return *this;
    }
    StoredSetBuilder& ChannelCount(uint8_t count) {
        m_set.SetChannelCount(count);
        return *this;
    }
    // Channel ch present with these values; every channel given must hold as many.
    StoredSetBuilder& Channel(int ch, std::vector<float> values, const QString& unit = {}) {
        m_values[ch == 0 ? 0 : 1] = std::move(values);
        m_set.SetChannelUnit(ch, unit);
        return *this;
    }
    StoredSetBuilder& Unit(int ch, const QString& unit) {
        m_set.SetChannelUnit(ch, unit);
        return *this;
    }
    // The RMS sample count of a set without channel values.
    StoredSetBuilder& Count(int count) {
        m_count = count;
        return *this;
    }
    // One TR record; without a wave its values are first, first + 1, ...
    StoredSetBuilder& Tr(TimeValue when, uint8_t channel = kTrChannel1, uint8_t unit = kTrUnitVolts,
                         float first = 0.0f) {
        std::vector<float> wave(kTrPoints);
        for (int i = 0; i < kTrPoints; ++i)
            wave[size_t(i)] = first + float(i);
        return TrWave(when, channel, unit, wave);
    }
    StoredSetBuilder& TrWave(TimeValue when, uint8_t channel, uint8_t unit,
                             const std::vector<float>& wave) {
        m_trTimes.push_back(when);
        m_trChannels.push_back(channel);
        m_trUnits.push_back(unit);
        m_trWave.insert(m_trWave.end(), wave.begin(), wave.end());
        return *this;
    }
    StoredSetBuilder& Levels(float high, float low) {
        m_set.SetTrLevels(high, low);
        return *this;
    }
    StoredSetBuilder& Extremes(int ch, const QString& maximum, const QString& minimum) {
        m_set.SetExtremeText(0, ch, maximum);
        m_set.SetExtremeText(1, ch, minimum);
        return *this;
    }
    // The extreme texts as a download computes them.
    StoredSetBuilder& ComputedExtremes() {
        m_computeExtremes = true;
        return *this;
    }

    StoredSet Build() const {
        StoredSet s = m_set;
        int count = m_count.value_or(0);
        for (const auto& v : m_values) {
            if (v)
                count = int(v->size());
        }
        s.SetRmsCount(count);
        for (int ch = 0; ch < 2; ++ch) {
            const auto& v = m_values[size_t(ch)];
            if (v && !s.SetChannelValues(ch, *v))
                ADD_FAILURE() << "the channels of a built set hold different sample counts";
        }
        if (!s.SetTrRecords(m_trChannels, m_trUnits, m_trTimes, m_trWave))
            ADD_FAILURE() << "the TR records of a built set disagree";
        if (m_computeExtremes)
            ComputeStoredExtremes(s);
        return s;
    }
    // A measurement set holding the built stored set, with `tag` as its data tag.
    MeasurementSet Set(const QString& tag = QString::fromLatin1(kTagStored)) const {
        MeasurementSet set;
        set.ReplaceStored(Build());
        set.SetDataTag(tag);
        return set;
    }

private:
    StoredSet m_set;
    std::array<std::optional<std::vector<float>>, 2> m_values;
    std::optional<int> m_count;
    std::vector<TimeValue> m_trTimes;
    std::vector<uint8_t> m_trChannels;
    std::vector<uint8_t> m_trUnits;
    std::vector<float> m_trWave;
    bool m_computeExtremes = false;
};

// Changes the stored half of `set` through `change`, on a copy handed back whole (a
// new stored generation, as any replacement).
template <typename Change> void EditStored(MeasurementSet& set, Change&& change) {
    StoredSet s = set.Stored();
    std::forward<Change>(change)(s);
    set.ReplaceStored(std::move(s));
}

// Appends one TR record to a stored set.
inline void AppendTr(StoredSet& s, TimeValue when, uint8_t channel, uint8_t unit,
                     const std::vector<float>& wave) {
    std::vector<uint8_t> channels = s.TrChannelCodes();
    std::vector<uint8_t> units = s.TrUnitCodes();
    std::vector<TimeValue> times = s.TrTimes();
    std::vector<float> values = s.TrWave();
    channels.push_back(channel);
    units.push_back(unit);
    times.push_back(when);
    values.insert(values.end(), wave.begin(), wave.end());
    if (!s.SetTrRecords(std::move(channels), std::move(units), std::move(times), std::move(values)))
        ADD_FAILURE() << "a TR record needs " << kTrPoints << " values";
}

// Channel ch present with these values; the sample count follows them (a present
// other channel keeps its values up to the new count).
inline void SetValues(MeasurementSet& set, int ch, std::vector<float> values) {
    EditStored(set, [&](StoredSet& d) {
        d.SetRmsCount(int(values.size()));
        EXPECT_TRUE(d.SetChannelValues(ch, std::move(values)));
    });
}

// Changes channel ch's values in place; the count stays.
template <typename Change> void EditValues(MeasurementSet& set, int ch, Change&& change) {
    EditStored(set, [&](StoredSet& d) {
        std::vector<float> v = d.ChannelRms(ch);
        std::forward<Change>(change)(v);
        EXPECT_TRUE(d.SetChannelValues(ch, std::move(v)));
    });
}

// A small shown set (CH1 only: 1, 2 and 3 V a minute apart, tagged "shown") that a
// failed download must leave as it was.
inline void FillShownSet(MeasurementSet& set) {
    set = StoredSetBuilder()
              .ChannelCount(1)
              .Interval(60)
              .Start(1000)
              .Channel(0, {1, 2, 3}, "V")
              .Set(QStringLiteral("shown"));
}

inline void ExpectShownSetKept(const MeasurementSet& s) {
    EXPECT_EQ(s.RmsCount(), 3);
    EXPECT_EQ(s.ChannelRms(0), (std::vector<float>{1, 2, 3}));
    EXPECT_EQ(s.ChannelPresent(1), 0);
    EXPECT_EQ(s.RmsInterval(), 60.f);
    EXPECT_EQ(s.DataTag(), "shown");
    EXPECT_TRUE(s.StoredIsConsistent());
}
