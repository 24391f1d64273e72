#include "tools/cli/RunReport.h"

#include "base/LocalTime.h"
#include "base/Settings.h"
#include "data/MeasurementSet.h"
#include "data/RtdataFile.h"
#include "graph/RealTimeSampler.h"

#include <algorithm>

namespace {

constexpr float kNoFrequency = 400.0f;

void FillRealTimeHalf(MeasurementSet& s, const RtdataImage& run) {
    const size_t n = size_t(run.Count());
    s.m_rtStartTime = run.startTime;
    s.m_rtCount = run.Count();
    s.m_rtCh1Present = run.ChannelPresent(0) ? 1 : 0;
    s.m_rtCh2Present = run.ChannelPresent(1) ? 1 : 0;
    s.m_rtCh1Unit = run.ChannelUnit(0);
    s.m_rtCh2Unit = run.ChannelUnit(1);
    s.m_rtRms.assign(n, FloatPair{0, 0});
    s.m_rtFreq.assign(n, FloatPair{kNoFrequency, kNoFrequency});
    for (size_t ch = 0; ch < 2; ++ch) {
        if (!run.ChannelPresent(int(ch)))
            continue;
        for (size_t i = 0; i < n; ++i) {
            s.m_rtRms[i][ch] = run.rms[ch][i];
            s.m_rtFreq[i][ch] = run.freq[ch][i];
        }
    }
}

// The extremes as a live run keeps them, but at each sample's own time: a run that
// skipped a tick has later samples than start + n x interval.
void FillExtremes(MeasurementSet& s, const RtdataImage& run) {
    RealTimeExtremes e;
    const int interval = run.interval;
    for (int n = 0; n < run.Count(); ++n) {
        // UpdateExtremes dates a value start + interval x count and starts afresh at
        // a count of 0: this start and count give the sample's own time.
        const TimeValue t = run.times[size_t(n)];
        const int count = n == 0 ? 0 : 1;
        const TimeValue start = n == 0 ? t : t - interval;
        for (size_t c = 0; c < 2; ++c) {
            if (!run.ChannelPresent(int(c)))
                continue;
            UpdateExtremes(ExtremeRule::Frequency, e.freqMax[c], e.freqMin[c],
                           s.m_rtFreq[size_t(n)][c], s.m_extremeText[4][c], s.m_extremeText[5][c],
                           count, start, interval);
            UpdateExtremes(ExtremeRule::Rms, e.rmsMax[c], e.rmsMin[c], s.m_rtRms[size_t(n)][c],
                           s.m_extremeText[8][c], s.m_extremeText[9][c], count, start, interval);
        }
    }
}

} // namespace

bool PrepareRunGraph(GraphModel& g, MeasurementSet& s, AppSettings& st, const RtdataImage& run) {
    if (run.Count() <= 0 || !run.IsConsistent())
        return false;
    FillRealTimeHalf(s, run);
    FillExtremes(s, run);
    st.m_rtInterval = run.interval;

    const GraphMode mode = GraphMode::RealTimeRms;
    g.SetMode(mode);
    g.SetDisplayContent(GraphModel::kContentGraph);
    g.SetInfoBarHeight(kInfoBarFull);
    const size_t m = size_t(ModeNumber(mode) - 1);
    for (int c = 0; c < 2; ++c)
        g.SetAxisRange(c, st.m_yAxisLow[m][size_t(c)], st.m_yAxisHigh[m][size_t(c)]);
    g.SetChannelsPresent(s.m_rtCh1Present, s.m_rtCh2Present);
    g.SetChannelUnits(s.m_rtCh1Unit, s.m_rtCh2Unit);
    g.SetFirstPoint(1);
    g.SetLastPoint(s.m_rtCount);
    RecInfo r;
    r.title = ModeTitle(mode);
    r.rate = QString::number(run.interval);
    r.start = FormatDateTime(run.startTime);
    r.count = QString::number(run.Count());
    if (s.m_rtCh1Present == 1) {
        r.ch1Max = s.m_extremeText[8][0];
        r.ch1Min = s.m_extremeText[9][0];
    }
    if (s.m_rtCh2Present == 1) {
        r.ch2Max = s.m_extremeText[8][1];
        r.ch2Min = s.m_extremeText[9][1];
    }
    g.SetInfo(std::move(r));
    g.SizeWorkBuffers(std::max<int64_t>(g.LastPoint(), 1));
    g.ResetScale();
    return true;
}
