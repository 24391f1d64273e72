#include "graph/GraphModel.h"

#include "base/LocalTime.h"
#include "base/NumberText.h"
#include "base/Settings.h"
#include "data/MeasurementSet.h"

#include <algorithm>
#include <cmath>

namespace {

struct NamedColour {
    const char* name;
    int r, g, b;
};

constexpr NamedColour kColours[kColourCount] = {
    {"Red", 255, 0, 0},
    {"Green", 0, 255, 0},
    {"Blue", 0, 0, 255},
    {"Yellow", 255, 255, 0},
    {"Magenta", 255, 0, 255},
    {"Cyan", 0, 255, 255},
    {"Dark Red", 128, 0, 0},
    {"Dark Green", 0, 128, 0},
    {"Dark Blue", 0, 0, 128},
    {"Dark Yellow", 128, 128, 0},
    {"Dark Magenta", 128, 0, 128},
    {"Dark Cyan", 0, 128, 128},
    {"White", 255, 255, 255},
    {"Black", 0, 0, 0},
    {"Grey", 200, 200, 200},
};

// Tick values of one channel: eleven steps from lo to hi in single precision. An
// axis whose ends are equal (an edited settings file can hold one) is widened
// around its value so that every division by the span stays defined.
std::array<float, kTicks> TicksOf(int32_t low, int32_t high) {
    float lo = float(low);
    float hi = float(high);
    if (!(hi != lo)) {
        const float d = std::max(1.0f, std::fabs(lo) * 1e-3f);
        lo -= d;
        hi += d;
    }
    std::array<float, kTicks> t{};
    for (int i = 0; i < kTicks; ++i)
        t[size_t(i)] = lo + float(i) * (hi - lo) * 0.1f;
    return t;
}

} // namespace

int ModeNumber(GraphMode mode) {
    switch (mode) {
    case GraphMode::StoreRms:
        return ModeNo::StoreRms;
    case GraphMode::StoreTransient:
        return ModeNo::StoreTransient;
    case GraphMode::RealTimeEpa:
        return ModeNo::RealTimeEpa;
    case GraphMode::RealTimeRms:
        return ModeNo::RealTimeRms;
    case GraphMode::RealTimeFrequency:
        return ModeNo::RealTimeFrequency;
    case GraphMode::RealTimeApparentPower:
        return ModeNo::RealTimeApparentPower;
    case GraphMode::RealTimeActivePower:
        return ModeNo::RealTimeActivePower;
    case GraphMode::RealTimePowerFactor:
        return ModeNo::RealTimePowerFactor;
    case GraphMode::None:
        break;
    }
    return 0;
}

int ModeCommandId(GraphMode mode) {
    switch (mode) {
    case GraphMode::StoreRms:
        return Cmd::StoreRms;
    case GraphMode::StoreTransient:
        return Cmd::StoreTransient;
    case GraphMode::RealTimeEpa:
        return Cmd::RealTimeEpa;
    case GraphMode::RealTimeRms:
        return Cmd::RealTimeRms;
    case GraphMode::RealTimeFrequency:
        return Cmd::RealTimeFrequency;
    case GraphMode::RealTimeApparentPower:
        return Cmd::RealTimeApparentPower;
    case GraphMode::RealTimeActivePower:
        return Cmd::RealTimeActivePower;
    case GraphMode::RealTimePowerFactor:
        return Cmd::RealTimePowerFactor;
    case GraphMode::None:
        break;
    }
    return 0;
}

QString ModeTitle(GraphMode mode) {
    switch (mode) {
    case GraphMode::StoreRms:
        return QStringLiteral("STORE RMS");
    case GraphMode::StoreTransient:
        return QStringLiteral("STORE TR");
    case GraphMode::RealTimeEpa:
        return QStringLiteral("REAL TIME EPA");
    case GraphMode::RealTimeRms:
        return QStringLiteral("REAL TIME RMS");
    case GraphMode::RealTimeFrequency:
        return QStringLiteral("REAL TIME F(Hz)");
    case GraphMode::RealTimeApparentPower:
        return QStringLiteral("REAL TIME S(VA)");
    case GraphMode::RealTimeActivePower:
        return QStringLiteral("REAL TIME P(W)");
    case GraphMode::RealTimePowerFactor:
        return QStringLiteral("REAL TIME PF");
    case GraphMode::None:
        break;
    }
    return {};
}

bool IsRealTimeMode(GraphMode m) {
    return m == GraphMode::RealTimeRms || m == GraphMode::RealTimeFrequency ||
           m == GraphMode::RealTimeApparentPower || m == GraphMode::RealTimeActivePower ||
           m == GraphMode::RealTimePowerFactor;
}

QColor ColourOf(uint32_t index) {
    if (index < uint32_t(kColourCount)) {
        const NamedColour& c = kColours[index];
        return QColor(c.r, c.g, c.b);
    }
    // Beyond the table the value is a colour itself, red in the low byte.
    return QColor(int(index & 0xFF), int((index >> 8) & 0xFF), int((index >> 16) & 0xFF));
}

const char* ColourName(int index) {
    return index >= 0 && index < kColourCount ? kColours[index].name : nullptr;
}

GraphLayout ComputeLayout(int cx, int cy, int h) {
    using namespace GraphGeometry;
    GraphLayout g;
    g.client = QRect(0, 0, cx, cy);
    g.infoBar = h;
    const int L = 0, T = 0, R = cx, B = cy;
    g.plotLeft = L + kPlotSideMargin;
    g.plotTop = T + h + kPlotTopBelowInfoBar;
    g.plotRight = R - kPlotSideMargin;
    g.plotBottom = B - kPlotBottomMargin;
    g.frameLeft = L + kPanelInset;
    g.frameTop = g.plotTop - kPanelAbovePlot;
    g.frameRight = R - kPanelInset;
    g.frameBottom = g.plotBottom + kPanelBelowPlot;
    const int W = g.W();
    const int Hp = g.Hp();
    g.horizontalBar =
        QRect(g.plotLeft, g.plotBottom + kHorizontalBarBelowPlot, std::max(W, 0), kBarThickness);
    g.ch1Bar = QRect(L + kPanelInset, g.plotTop, kBarThickness, std::max(Hp, 0));
    g.ch2Bar = QRect(R - kPanelInset - kBarThickness, g.plotTop, kBarThickness, std::max(Hp, 0));
    g.toolBar = QRect(L + kPanelInset, g.plotTop - kToolBarAbovePlot,
                      std::max(R - L - 2 * kPanelInset, 0), kToolBarHeight);
    g.infoBarRect = QRect(0, 0, cx, h);
    return g;
}

void GraphModel::SizeWorkBuffers(int64_t points) {
    m_bufferPoints = std::max<int64_t>(points, 1);
    ++m_scaleGeneration;
    const size_t n = size_t(m_bufferPoints) * 4;
    m_xPix.assign(n, 0.0);
    m_yPix.assign(n, 0.0);
    m_lazyX = {};
    m_lazyY = {};
}

void GraphModel::FollowStoredData(LazyRows& l) const {
    if (!l.pending || !l.set || l.set->StoredGeneration() == l.generation)
        return;
    l.series = SeriesOfSet(*l.set, l.ch);
    l.generation = l.set->StoredGeneration();
}

void GraphModel::FillY(int plane) const {
    LazyRows& l = m_lazyY[size_t(plane)];
    if (!l.pending)
        return;
    FollowStoredData(l);
    l.pending = false;
    double* y = m_yPix.data() + size_t(plane) * size_t(m_bufferPoints);
    const int64_t to = std::min(l.to, m_bufferPoints);
    for (int64_t k = std::max<int64_t>(l.from, 0); k < to; ++k)
        y[k] = l.Y(k);
}

void GraphModel::FillX(int plane) const {
    LazyColumns& l = m_lazyX[size_t(plane)];
    if (!l.pending)
        return;
    l.pending = false;
    double* x = m_xPix.data() + size_t(plane) * size_t(m_bufferPoints);
    const int64_t to = std::min(l.to, m_bufferPoints);
    for (int64_t k = std::max<int64_t>(l.from, 0); k < to; ++k)
        x[k] = l.X(k);
}

const double* GraphModel::YPlane(int slot, int ch) const {
    FillY(slot * 2 + ch);
    return m_yPix.data() + Plane(slot, ch);
}

void GraphModel::SetPixel(int64_t point, int slot, int ch, double x, double y) {
    FillX(slot * 2 + ch);
    FillY(slot * 2 + ch);
    m_xPix[Plane(slot, ch) + size_t(point)] = x;
    m_yPix[Plane(slot, ch) + size_t(point)] = y;
}

void GraphModel::SetClient(int cx, int cy) {
    m_layout = ComputeLayout(cx, cy, m_infoBarHeight);
    if (!m_rtCapacity.Built() && m_layout.W() > 0)
        m_rtCapacity.Build(m_layout.W());
}

void RtCapacityTable::Build(int W) {
    m_capacity.fill(0);
    m_capacity[0] = 100;
    int n = 1;
    while (n < kRtLevels && m_capacity[size_t(n - 1)] < 100000) {
        const int prev = m_capacity[size_t(n - 1)];
        const int margin = W / 12; // whole pixels
        const float s = float(W - margin) / float(prev - 1);
        int cap = s > 0 ? int(std::trunc(float(W) / s + 1.0f)) : prev + 1;
        // A plot narrower than a dozen pixels would never grow; keep the table
        // increasing so that the levels still cover any count.
        cap = std::max(cap, prev + 1);
        m_capacity[size_t(n)] = cap;
        ++n;
    }
    m_count = n;
}

void RtCapacityTable::SelectLevelFor(int32_t shown) {
    for (int level = 0; level < m_count; ++level) {
        if (m_capacity[size_t(level)] >= shown) {
            m_level = level;
            return;
        }
    }
}

bool RtCapacityTable::Advance(int64_t held, int W) {
    const int top = m_count - 1;
    if (m_level > top)
        m_level = top;
    if (held < m_capacity[size_t(m_level)] || m_level >= top)
        return false;
    const int margin = W / 12; // whole pixels
    const float step = float(W - margin) / float(m_capacity[size_t(m_level)] - 1);
    ++m_level;
    if (step > 0) {
        m_capacity[size_t(m_level)] =
            std::max(int(std::trunc(float(W) / step + 1.0f)), m_capacity[size_t(m_level - 1)] + 1);
    }
    return true;
}

void ZoomState::Reset() {
    m_slot = 0;
    m_scaleFrozen = 0;
    m_pending = 0;
    m_scrollIndex = 0;
    m_leftIndex = 0;
    m_ch1Shift = {};
    m_ch2Shift = {};
    m_scrollSetupDone = 0;
}

void ZoomState::FollowNewest() {
    if (m_scrollHold)
        m_scrollHold = 0;
    else
        --m_scrollIndex;
}

void GraphModel::ResetScale() {
    ++m_scaleGeneration;
    m_zoom.Reset();
}

int64_t GraphModel::DataPoints(const GraphInputs& in) const {
    const MeasurementSet& s = in.set;
    switch (m_mode) {
    case GraphMode::StoreRms:
        return s.RmsCount();
    case GraphMode::StoreTransient:
        return int64_t(s.TrWave().size());
    case GraphMode::RealTimeEpa:
        return kRtWavePoints;
    case GraphMode::RealTimeRms:
    case GraphMode::RealTimeFrequency:
    case GraphMode::RealTimeApparentPower:
        return std::min<int64_t>(s.RtCount(),
                                 int64_t(std::min(s.Run().Rms().size(), s.Run().Freq().size())));
    case GraphMode::RealTimeActivePower:
    case GraphMode::RealTimePowerFactor:
        return std::min<int64_t>(s.RtCount(), int64_t(s.Run().PowerPairs().size()));
    case GraphMode::None:
        break;
    }
    return 0;
}

GraphModel::Series GraphModel::SeriesOf(const GraphInputs& in, int ch) const {
    return SeriesOfSet(in.set, ch);
}

GraphModel::Series GraphModel::SeriesOfSet(const MeasurementSet& s, int ch) const {
    const size_t c = ch == 0 ? 0 : 1;
    auto pairs = [](const std::vector<FloatPair>& v) -> const float* {
        return v.empty() ? nullptr : v.front().data();
    };
    Series r;
    switch (m_mode) {
    case GraphMode::StoreRms: {
        const std::vector<float>& v = s.ChannelRms(ch);
        r.p = v.data();
        r.count = std::min<int64_t>(s.RmsCount(), int64_t(v.size()));
        break;
    }
    case GraphMode::StoreTransient:
        r.p = s.TrWave().data();
        r.count = int64_t(s.TrWave().size());
        break;
    case GraphMode::RealTimeEpa:
        r.p = s.Run().Capture().data()->data() + c;
        r.stride = 2;
        r.count = int64_t(s.Run().Capture().size());
        break;
    case GraphMode::RealTimeRms:
    case GraphMode::RealTimeApparentPower:
        r.p = pairs(s.Run().Rms());
        r.stride = 2;
        r.count = std::min<int64_t>(s.RtCount(), int64_t(s.Run().Rms().size()));
        if (r.p && m_mode == GraphMode::RealTimeApparentPower)
            r.q = r.p + 1;
        else if (r.p)
            r.p += c;
        break;
    case GraphMode::RealTimeFrequency:
        r.p = pairs(s.Run().Freq());
        if (r.p)
            r.p += c;
        r.stride = 2;
        r.count = std::min<int64_t>(s.RtCount(), int64_t(s.Run().Freq().size()));
        break;
    case GraphMode::RealTimeActivePower:
    case GraphMode::RealTimePowerFactor:
        // One series, whichever channel asks: P or PF of each sample.
        r.p = pairs(s.Run().PowerPairs());
        if (r.p && m_mode == GraphMode::RealTimePowerFactor)
            r.p += 1;
        r.stride = 2;
        r.count = std::min<int64_t>(s.RtCount(), int64_t(s.Run().PowerPairs().size()));
        break;
    case GraphMode::None:
        break;
    }
    if (!r.p)
        r.count = 0;
    return r;
}

double GraphModel::ValueOf(const GraphInputs& in, int ch, int64_t i) const {
    const MeasurementSet& s = in.set;
    if (i < 0)
        return 0;
    const size_t k = size_t(i);
    switch (m_mode) {
    case GraphMode::StoreRms: {
        const std::vector<float>& v = s.ChannelRms(ch);
        return i < s.RmsCount() && k < v.size() ? v[k] : 0.0;
    }
    case GraphMode::StoreTransient:
        return k < s.TrWave().size() ? s.TrWave()[k] : 0.0;
    case GraphMode::RealTimeEpa:
        return k < s.Run().Capture().size() ? s.Run().Capture()[k][size_t(ch)] : 0.0;
    case GraphMode::RealTimeRms:
        return i < s.RtCount() && k < s.Run().Rms().size() ? s.Run().Rms()[k][size_t(ch)] : 0.0;
    case GraphMode::RealTimeFrequency:
        return i < s.RtCount() && k < s.Run().Freq().size() ? s.Run().Freq()[k][size_t(ch)] : 0.0;
    case GraphMode::RealTimeApparentPower:
        return i < s.RtCount() && k < s.Run().Rms().size()
                   ? double(s.Run().Rms()[k][0] * s.Run().Rms()[k][1])
                   : 0.0;
    case GraphMode::RealTimeActivePower:
    case GraphMode::RealTimePowerFactor: {
        // NaN where the sample has no such figure.
        const size_t c = m_mode == GraphMode::RealTimeActivePower ? 0 : 1;
        return i < s.RtCount() && k < s.Run().PowerPairs().size()
                   ? double(s.Run().PowerPairs()[k][c])
                   : 0.0;
    }
    case GraphMode::None:
        break;
    }
    return 0;
}

TimeValue GraphModel::PointTime(const GraphInputs& in, int64_t i) const {
    const MeasurementSet& s = in.set;
    switch (m_mode) {
    case GraphMode::StoreRms:
        return s.RmsSampleTime(i);
    case GraphMode::StoreTransient: {
        const int64_t r = i / kTrPoints;
        return r >= 0 && size_t(r) < s.TrTimes().size() ? s.TrTimes()[size_t(r)] : 0;
    }
    case GraphMode::RealTimeEpa:
        return s.Run().CaptureTime();
    case GraphMode::RealTimeRms:
    case GraphMode::RealTimeFrequency:
    case GraphMode::RealTimeApparentPower:
    case GraphMode::RealTimeActivePower:
    case GraphMode::RealTimePowerFactor:
        return s.Run().SampleTime(i);
    case GraphMode::None:
        break;
    }
    return 0;
}

QString GraphModel::PointTimeText(const GraphInputs& in, int64_t i) const {
    if (m_mode == GraphMode::None)
        return {};
    if (m_mode == GraphMode::StoreTransient) {
        const int64_t r = i / kTrPoints;
        if (i < 0 || size_t(r) >= in.set.TrTimes().size())
            return {};
    }
    return FormatDateTime(PointTime(in, i));
}

bool GraphModel::ChannelDrawn(const AppSettings& s, int ch) const {
    if (ch == 0)
        return m_ch1Present == 1 && s.m_showCh1 == 1;
    return m_ch2Present == 1 && s.m_showCh2 == 1 && !IsSingleTraceMode(m_mode);
}

double GraphModel::PointDistance() const {
    if (!m_zoom.Zoomed())
        return m_xStep;
    const int64_t f = m_firstPoint - 1;
    if (PointCount() < 2 || f < 0 || f + 1 >= WorkBufferPoints())
        return m_layout.W();
    return XPix(f + 1, 1, 0) - XPix(f, 1, 0);
}

double GraphModel::FirstX(int ch) const {
    const int64_t f = m_firstPoint - 1;
    if (f < 0 || f >= WorkBufferPoints())
        return m_layout.plotLeft;
    return XPix(f, m_zoom.Slot(), ch);
}

void GraphModel::ComputeScale(const GraphInputs& in) {
    const GraphLayout& g = m_layout;
    const int W = g.W();
    const bool running = in.realTimeRunning && IsRealTimeMode(m_mode);
    if (running)
        GrowRealTimeCapacity(in, W);
    if (m_zoom.BaseScaleFrozen()) {
        // Zoomed: the base scale stays as it was when the zoom began.
        ComputeZoomedScale(in);
        return;
    }
    ComputeXStep(in, running, W);
    m_ch1Ticks[0] = TicksOf(m_yLow[0], m_yHigh[0]);
    m_ch2Ticks[0] = TicksOf(m_yLow[1], m_yHigh[1]);

    if (m_firstPoint < 1 || m_lastPoint < m_firstPoint)
        return;
    if (int64_t(m_lastPoint) > WorkBufferPoints())
        SizeWorkBuffers(std::max<int64_t>(m_lastPoint, WorkBufferPoints() * 2));

    // Stored data change only by replacement (which resizes the buffers) and the
    // scale only by the inputs below: a repaint of the same stored graph (uncovered
    // window, colours, grid, read-out) finds its pixels computed already.
    const ScaleKey key{m_mode,    m_firstPoint, m_lastPoint,      g.plotLeft,
                       g.plotTop, g.plotRight,  g.plotBottom,     m_yLow,
                       m_yHigh,   m_xStep,      m_scaleGeneration};
    const bool stored = m_mode == GraphMode::StoreRms || m_mode == GraphMode::StoreTransient;
    if (stored && m_scaleKeyValid && key == m_scaleKey)
        return;
    m_scaleKey = key;
    m_scaleKeyValid = stored;

    const int64_t from = m_firstPoint - 1;
    const int64_t to = m_lastPoint;
    const int64_t begin = FirstPointToCompute(in, key, from, to);
    ComputeXPixels(begin, from, to);
    ComputeYPixels(in, begin, from, to);
    m_prevPlot = QRect(QPoint(g.plotLeft, g.plotTop), QPoint(g.plotRight, g.plotBottom));
}

void GraphModel::GrowRealTimeCapacity(const GraphInputs& in, int W) {
    const MeasurementSet& s = in.set;
    if (s.RtCount() <= 1) {
        ResetScale();
        m_rtCapacity.SetLevel(0);
    }
    if (!m_rtCapacity.Built())
        m_rtCapacity.Build(std::max(W, 1));
    if (m_rtCapacity.Advance(int64_t(s.RtCount()) - m_firstPoint, W))
        m_fullRepaintRequested = true;
}

void GraphModel::ComputeXStep(const GraphInputs& in, bool running, int W) {
    if (running) {
        if (in.set.RtCount() != 0)
            m_xStep = float(W) / float(m_rtCapacity.Capacity(m_rtCapacity.Level()) - 1);
        return;
    }
    const int32_t span = m_lastPoint - m_firstPoint;
    // A window of one point, or one whose ends coincide, spans the plot.
    m_xStep = (m_lastPoint < 2 || span <= 0) ? float(W) : float(W) / float(span);
}

int64_t GraphModel::FirstPointToCompute(const GraphInputs& in, const ScaleKey& key, int64_t from,
                                        int64_t to) {
    // A real-time series only grows: under the same scale, only the points added
    // since the last computation need their pixels (a tick must not cost more at
    // 100,000 samples than at 1,000).
    if (!IsRealTimeMode(m_mode)) {
        m_rtScaleValid = false;
        return from;
    }
    int64_t begin = from;
    ScaleKey grown = key;
    grown.last = 0;
    if (m_rtScaleValid && grown == m_rtScaleKey && m_rtComputedTo >= from && m_rtComputedTo <= to)
        begin = m_rtComputedTo;
    m_rtScaleKey = grown;
    m_rtScaleValid = true;
    m_rtComputedTo = std::clamp<int64_t>(SeriesOf(in, 0).count, from, to);
    return begin;
}

void GraphModel::ComputeXPixels(int64_t begin, int64_t from, int64_t to) {
    const double step = m_xStep;
    const double left = m_layout.plotLeft;
    const bool stored = !IsRealTimeMode(m_mode);
    for (int ch = 0; ch < 2; ++ch)
        m_lazyX[size_t(ch)] = LazyColumns{from, to, step, left, stored};
    if (stored)
        return;
    double* x1 = m_xPix.data() + Plane(0, 0);
    double* x2 = m_xPix.data() + Plane(0, 1);
    for (int64_t k = begin; k < to; ++k) {
        const double x = double(k - from) * step + left;
        x1[k] = x;
        x2[k] = x;
    }
}

GraphModel::RowScale GraphModel::RowScaleOf(int slot, int ch) const {
    const std::array<float, kTicks>& t = Ticks(ch, slot);
    const double span = double(t[10]) - double(t[0]);
    return RowScale{double(m_layout.plotBottom), double(t[0]),
                    span != 0 ? double(m_layout.Hp()) / span : 0.0};
}

bool GraphModel::RowsLater(const GraphInputs& in, int slot, int64_t from, int64_t to) {
    // A live series grows into vectors that may move: its rows are computed at once.
    if (IsRealTimeMode(m_mode) || m_mode == GraphMode::RealTimeEpa) {
        m_lazyY[SlotIndex(slot, 0)].pending = m_lazyY[SlotIndex(slot, 1)].pending = false;
        return false;
    }
    for (int ch = 0; ch < 2; ++ch)
        m_lazyY[SlotIndex(slot, ch)] =
            LazyRows{SeriesOf(in, ch), RowScaleOf(slot, ch),     from, to, true, ch,
                     &in.set,          in.set.StoredGeneration()};
    return true;
}

void GraphModel::ComputeYPixels(const GraphInputs& in, int64_t begin, int64_t from, int64_t to) {
    if (RowsLater(in, 0, from, to))
        return;
    const bool product = m_mode == GraphMode::RealTimeApparentPower;
    const bool single = IsSingleTraceMode(m_mode);
    for (int ch = 0; ch < 2; ++ch) {
        const RowScale rs = RowScaleOf(0, ch);
        const double t0 = rs.t0;
        const double scale = rs.scale;
        const double bottom = rs.bottom;
        const Series sr = SeriesOf(in, product ? 0 : ch);
        double* yp = m_yPix.data() + Plane(0, ch);
        // Points the data hold, then the rest of the window at value 0.
        const int64_t held = std::clamp<int64_t>(sr.count, from, to);
        if (sr.q) {
            for (int64_t k = begin; k < held; ++k) {
                const size_t i = size_t(k) * sr.stride;
                yp[k] = bottom - (double(sr.p[i] * sr.q[i]) - t0) * scale;
            }
        } else if (sr.stride == 1) {
            const float* v = sr.p;
            for (int64_t k = begin; k < held; ++k)
                yp[k] = bottom - (double(v[k]) - t0) * scale;
        } else {
            for (int64_t k = begin; k < held; ++k)
                yp[k] = bottom - (double(sr.p[size_t(k) * sr.stride]) - t0) * scale;
        }
        for (int64_t k = std::max(held, begin); k < to; ++k)
            yp[k] = bottom - (0.0 - t0) * scale;
        if (single) {
            // S(VA), P(W) and PF are one series drawn as both channels.
            std::copy(yp + begin, yp + to, m_yPix.data() + Plane(0, 1) + begin);
            break;
        }
    }
}

void GraphModel::ComputeLabels(const GraphInputs& in) {
    const int slot = m_zoom.Slot();
    for (int ch = 0; ch < 2; ++ch)
        for (int e = 0; e < kTicks; ++e)
            m_yLabelText[size_t(ch)][size_t(e)] = Fixed2(Ticks(ch, slot)[size_t(e)]);

    for (QString& t : m_xLabelText)
        t.clear();
    for (QString& t : m_xLabelDate)
        t.clear();
    const double dx = PointDistance();
    const int W = m_layout.W();
    if (m_lastPoint < 1 || !(dx > 0) || W <= 0)
        return;
    const double q = W / dx;
    const int64_t tq = int64_t(std::min(q, 1e12));
    const int64_t k = tq <= 3 ? 1 : std::max<int64_t>(tq / 4, 1);
    const double xf = FirstX(0);
    const bool numbered = IsWaveformMode(m_mode);
    for (int i = 0; i < kXLabels; ++i) {
        const int64_t index = int64_t(m_zoom.LeftIndex()) + i * k;
        m_xLabelIndex[size_t(i)] = int32_t(std::clamp<int64_t>(index, INT32_MIN, INT32_MAX));
        m_xLabelNumber[size_t(i)] =
            int32_t(std::clamp<int64_t>(index - m_zoom.ScrollIndex() + 1, INT32_MIN, INT32_MAX));
        m_xLabelX[size_t(i)] = xf + dx * double(index);
        // The label's point: first + number - 1 (1-based number within the window).
        const int64_t point = int64_t(m_firstPoint) - 1 + (index - m_zoom.ScrollIndex());
        if (numbered) {
            m_xLabelText[size_t(i)] = QString::number(m_xLabelNumber[size_t(i)]);
        } else {
            const TimeValue t = PointTime(in, point);
            m_xLabelTime[size_t(i)] = t;
            m_xLabelText[size_t(i)] = FormatTimeOfDay(t);
            m_xLabelDate[size_t(i)] = FormatDate(t);
        }
    }
}

void GraphModel::FramePainted(const PaintedFrame& frame) {
    m_prevPlot = frame.plot;
    m_zoom.SetPending(false);
}

AppendResult GraphModel::AppendRealTimePoint(const GraphInputs& in) {
    AppendResult r;
    ComputeScale(in);
    if (m_zoom.Dragging())
        return r;
    if (m_fullRepaintRequested) {
        m_fullRepaintRequested = false;
        r.action = AppendAction::RepaintAll;
        return r;
    }
    const int count = in.set.RtCount();
    if (count < 3) {
        r.action = AppendAction::RepaintAll;
        return r;
    }
    const GraphLayout& g = m_layout;
    if (!m_zoom.Zoomed()) {
        const int64_t a = int64_t(count) - 2;
        if (a + 1 >= WorkBufferPoints()) {
            r.action = AppendAction::RepaintAll;
            return r;
        }
        for (int ch = 0; ch < 2; ++ch) {
            if (ChannelPresent(ch) != 1 || (ch == 1 && IsSingleTraceMode(m_mode)))
                continue;
            const int y0 = PixelCoord(YPix(a, 0, ch));
            const int y1 = PixelCoord(YPix(a + 1, 0, ch));
            const bool crossesTop = (y0 < g.plotTop) != (y1 < g.plotTop);
            const bool crossesBottom = (y0 > g.plotBottom) != (y1 > g.plotBottom);
            if (crossesTop || crossesBottom) {
                r.action = AppendAction::RepaintFrame;
                return r;
            }
        }
        r.action = AppendAction::DrawNewest;
        r.segment = int64_t(count) - m_firstPoint;
        return r;
    }
    if (IsRealTimeMode(m_mode) && in.realTimeRunning) {
        const int ch = m_ch2Present == 1 ? 1 : 0;
        const double x =
            FirstX(ch) + PointDistance() *
                             double(int64_t(m_lastPoint) + m_zoom.ScrollIndex() - m_firstPoint - 1);
        if (x >= g.plotRight)
            m_zoom.FollowNewest();
    }
    r.action = AppendAction::ScrolledRepaint;
    return r;
}
