#include "graph/ReportSetup.h"

#include "base/LocalTime.h"
#include "base/NumberText.h"
#include "base/Settings.h"
#include "data/MeasurementSet.h"

#include <algorithm>

bool PrepareStoredGraph(GraphModel& g, const MeasurementSet& s, const AppSettings& st, int record) {
    const GraphMode mode = record < 0 ? GraphMode::StoreRms : GraphMode::StoreTransient;
    if (mode == GraphMode::StoreRms && s.m_rmsCount <= 0)
        return false;
    if (mode == GraphMode::StoreTransient &&
        (record >= s.m_trCount || size_t(record) >= s.m_trTime.size() ||
         size_t(record) >= s.m_trChannelCode.size() || size_t(record) >= s.m_trUnitCode.size() ||
         size_t(record + 1) * kTrPoints > s.m_trWave.size()))
        return false;

    g.m_mode = mode;
    g.m_displayContent = 1;
    g.m_infoBarHeight = IsWaveformMode(mode) ? kInfoBarSlim : kInfoBarFull;
    const size_t m = size_t(ModeNumber(mode) - 1);
    for (size_t c = 0; c < 2; ++c) {
        g.m_yLow[c] = st.m_yAxisLow[m][c];
        g.m_yHigh[c] = st.m_yAxisHigh[m][c];
    }
    RecInfo& r = g.m_recInfo;
    r = RecInfo{};
    r.title = ModeTitle(mode);
    if (mode == GraphMode::StoreRms) {
        g.m_graphCh1Present = s.m_ch1Present;
        g.m_graphCh2Present = s.m_ch2Present;
        g.m_graphCh1Unit = s.m_ch1Unit;
        g.m_graphCh2Unit = s.m_ch2Unit;
        g.m_firstPoint = 1;
        g.m_lastPoint = s.m_rmsCount;
        r.rate = Fixed0(s.m_rmsInterval) + QStringLiteral(" s");
        r.start = FormatDateTime(s.m_startTime);
        r.count = QString::number(s.m_rmsCount);
        if (g.m_graphCh1Present == 1) {
            r.ch1Max = s.m_extremeText[0][0];
            r.ch1Min = s.m_extremeText[1][0];
        }
        if (g.m_graphCh2Present == 1) {
            r.ch2Max = s.m_extremeText[0][1];
            r.ch2Min = s.m_extremeText[1][1];
        }
    } else {
        const uint8_t channel = s.m_trChannelCode[size_t(record)];
        // Other codes keep what the stored set says, as the window keeps its flags.
        g.m_graphCh1Present = channel == kTrChannel1   ? 1
                              : channel == kTrChannel2 ? 0
                                                       : s.m_ch1Present;
        g.m_graphCh2Present = channel == kTrChannel2   ? 1
                              : channel == kTrChannel1 ? 0
                                                       : s.m_ch2Present;
        const uint8_t unit = s.m_trUnitCode[size_t(record)];
        g.m_graphCh1Unit = s.m_ch1Unit;
        g.m_graphCh2Unit = s.m_ch2Unit;
        if (unit == kTrUnitVolts)
            g.m_graphCh1Unit = g.m_graphCh2Unit = QStringLiteral("V");
        else if (unit == kTrUnitAmps)
            g.m_graphCh1Unit = g.m_graphCh2Unit = QStringLiteral("A");
        const QString u = g.m_graphCh2Present == 1 ? g.m_graphCh2Unit : g.m_graphCh1Unit;
        g.m_transientRecord = record;
        g.m_firstPoint = kTrPoints * record + 1;
        g.m_lastPoint = kTrPoints * record + kTrPoints;
        r.rate = QStringLiteral("0.0874 ms");
        r.count = QString::number(kTrPoints);
        r.start = FormatDateTime(s.m_trTime[size_t(record)]);
        double maximum = -1000, minimum = 1000;
        for (int64_t i = g.m_firstPoint - 1; i < g.m_lastPoint; ++i) {
            const double v = s.m_trWave[size_t(i)];
            maximum = std::max(maximum, v);
            minimum = std::min(minimum, v);
        }
        if (g.m_graphCh1Present == 1) {
            r.ch1Max = Fixed0(maximum) + QLatin1Char(' ') + g.m_graphCh1Unit;
            r.ch1Min = Fixed0(minimum) + QLatin1Char(' ') + g.m_graphCh1Unit;
        }
        if (g.m_graphCh2Present == 1) {
            r.ch2Max = Fixed0(maximum) + QLatin1Char(' ') + g.m_graphCh2Unit;
            r.ch2Min = Fixed0(minimum) + QLatin1Char(' ') + g.m_graphCh2Unit;
        }
        r.levelHigh = Fixed0(s.m_trLevelHigh) + u;
        r.levelLow = Fixed0(s.m_trLevelLow) + u;
    }
    g.SizeWorkBuffers(std::max<int64_t>(g.m_lastPoint, 1));
    g.ResetScale();
    return true;
}
