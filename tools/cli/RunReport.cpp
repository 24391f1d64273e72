#include "tools/cli/RunReport.h"

#include "base/LocalTime.h"
#include "base/Settings.h"
#include "data/MeasurementSet.h"
#include "data/RtdataFile.h"
#include "graph/RealTimeSampler.h"

#include <algorithm>

namespace {

// The run's values go into the set's real-time half, and its extremes are dated at
// each sample's own time: a run that skipped a tick has later samples than start +
// n x interval.
void FillRealTimeHalf(MeasurementSet& s, const RtdataImage& run) {
    PutRunImage(run, s.Run());
    s.Run().ClearCapture();
    ComputeRunExtremes(s);
}

} // namespace

bool PrepareRunGraph(GraphModel& g, MeasurementSet& s, AppSettings& st, const RtdataImage& run) {
    if (run.Count() <= 0 || !run.IsConsistent())
        return false;
    FillRealTimeHalf(s, run);
    st.m_rtInterval = run.interval;

    const GraphMode mode = GraphMode::RealTimeRms;
    g.SetMode(mode);
    g.SetDisplayContent(GraphModel::kContentGraph);
    g.SetInfoBarHeight(kInfoBarFull);
    const size_t m = size_t(ModeNumber(mode) - 1);
    for (int c = 0; c < 2; ++c)
        g.SetAxisRange(c, st.m_yAxisLow[m][size_t(c)], st.m_yAxisHigh[m][size_t(c)]);
    g.SetChannelsPresent(s.RtChannelPresent(0) ? 1 : 0, s.RtChannelPresent(1) ? 1 : 0);
    g.SetChannelUnits(s.RtChannelUnit(0), s.RtChannelUnit(1));
    g.SetFirstPoint(1);
    g.SetLastPoint(s.RtCount());
    RecInfo r;
    r.title = ModeTitle(mode);
    r.rate = QString::number(run.interval);
    r.start = FormatDateTime(run.startTime);
    r.count = QString::number(run.Count());
    if (s.RtChannelPresent(0)) {
        r.ch1Max = s.ExtremeText(8, 0);
        r.ch1Min = s.ExtremeText(9, 0);
    }
    if (s.RtChannelPresent(1)) {
        r.ch2Max = s.ExtremeText(8, 1);
        r.ch2Min = s.ExtremeText(9, 1);
    }
    g.SetInfo(std::move(r));
    g.SizeWorkBuffers(std::max<int64_t>(g.LastPoint(), 1));
    g.ResetScale();
    return true;
}
