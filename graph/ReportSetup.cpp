#include "graph/ReportSetup.h"

#include "base/LocalTime.h"
#include "base/NumberText.h"
#include "base/Settings.h"
#include "data/MeasurementSet.h"

#include <algorithm>

namespace {

bool HoldsRecord(const MeasurementSet& s, int record) {
    return record < s.TrCount() && size_t(record) < s.TrTimes().size() &&
           size_t(record) < s.TrChannelCodes().size() && size_t(record) < s.TrUnitCodes().size() &&
           size_t(record + 1) * kTrPoints <= s.TrWave().size();
}

// The RMS graph's channels, points and information bar.
void PrepareRmsInfo(GraphModel& g, const MeasurementSet& s, RecInfo& r) {
    g.SetChannelsPresent(s.ChannelPresent(0), s.ChannelPresent(1));
    g.SetChannelUnits(s.ChannelUnit(0), s.ChannelUnit(1));
    g.SetPointWindow(1, s.RmsCount());
    r.rate = Fixed0(s.RmsInterval()) + QStringLiteral(" s");
    r.start = FormatDateTime(s.StartTime());
    r.count = QString::number(s.RmsCount());
    if (s.ChannelPresent(0) == 1) {
        r.ch1Max = s.ExtremeText(0, 0);
        r.ch1Min = s.ExtremeText(1, 0);
    }
    if (s.ChannelPresent(1) == 1) {
        r.ch2Max = s.ExtremeText(0, 1);
        r.ch2Min = s.ExtremeText(1, 1);
    }
}

// Transient record `record`'s channel, unit, points and information bar.
void PrepareTransientInfo(GraphModel& g, const MeasurementSet& s, int record, RecInfo& r) {
    // Other codes keep what the stored set says, as the window keeps its flags.
    const uint8_t channel = s.TrChannelCodes()[size_t(record)];
    const uint8_t ch1 = channel == kTrChannel1   ? 1
                        : channel == kTrChannel2 ? 0
                                                 : s.ChannelPresent(0);
    const uint8_t ch2 = channel == kTrChannel2   ? 1
                        : channel == kTrChannel1 ? 0
                                                 : s.ChannelPresent(1);
    g.SetChannelsPresent(ch1, ch2);
    const uint8_t unit = s.TrUnitCodes()[size_t(record)];
    QString u1 = s.ChannelUnit(0), u2 = s.ChannelUnit(1);
    if (unit == kTrUnitVolts)
        u1 = u2 = QStringLiteral("V");
    else if (unit == kTrUnitAmps)
        u1 = u2 = QStringLiteral("A");
    g.SetChannelUnits(u1, u2);
    g.SetTransientRecord(record);
    g.SetPointWindow(kTrPoints * record + 1, kTrPoints * record + kTrPoints);
    r.rate = QStringLiteral("0.0874 ms");
    r.count = QString::number(kTrPoints);
    r.start = FormatDateTime(s.TrTimes()[size_t(record)]);
    double maximum = -1000, minimum = 1000;
    for (int64_t i = g.FirstPoint() - 1; i < g.LastPoint(); ++i) {
        const double v = s.TrWave()[size_t(i)];
        maximum = std::max(maximum, v);
        minimum = std::min(minimum, v);
    }
    if (ch1 == 1) {
        r.ch1Max = Fixed0(maximum) + QLatin1Char(' ') + u1;
        r.ch1Min = Fixed0(minimum) + QLatin1Char(' ') + u1;
    }
    if (ch2 == 1) {
        r.ch2Max = Fixed0(maximum) + QLatin1Char(' ') + u2;
        r.ch2Min = Fixed0(minimum) + QLatin1Char(' ') + u2;
    }
    const QString& u = ch2 == 1 ? u2 : u1;
    r.levelHigh = Fixed0(s.TrLevelHigh()) + u;
    r.levelLow = Fixed0(s.TrLevelLow()) + u;
}

} // namespace

bool PrepareStoredGraph(GraphModel& g, const MeasurementSet& s, const AppSettings& st, int record) {
    const GraphMode mode = record < 0 ? GraphMode::StoreRms : GraphMode::StoreTransient;
    if (mode == GraphMode::StoreRms && s.RmsCount() <= 0)
        return false;
    if (mode == GraphMode::StoreTransient && !HoldsRecord(s, record))
        return false;

    g.SetMode(mode);
    g.SetDisplayContent(GraphModel::kContentGraph);
    g.SetInfoBarHeight(IsWaveformMode(mode) ? kInfoBarSlim : kInfoBarFull);
    const size_t m = size_t(ModeNumber(mode) - 1);
    for (int c = 0; c < 2; ++c)
        g.SetAxisRange(c, st.m_yAxisLow[m][size_t(c)], st.m_yAxisHigh[m][size_t(c)]);
    RecInfo r;
    r.title = ModeTitle(mode);
    if (mode == GraphMode::StoreRms)
        PrepareRmsInfo(g, s, r);
    else
        PrepareTransientInfo(g, s, record, r);
    g.SetInfo(std::move(r));
    g.SizeWorkBuffers(std::max<int64_t>(g.LastPoint(), 1));
    g.ResetScale();
    return true;
}
