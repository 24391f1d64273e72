#include "graph/Zoom.h"

#include "base/NumberText.h"
#include "data/MeasurementSet.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

QRect PlotRect(const GraphLayout& g) {
    return QRect(QPoint(g.plotLeft, g.plotTop), QPoint(g.plotRight, g.plotBottom));
}

int64_t TruncIndex(double v) {
    if (!(v == v))
        return 0;
    return int64_t(std::trunc(std::clamp(v, -9e15, 9e15)));
}

int32_t ClampIndex(int64_t v) {
    return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// The eleven zoomed ticks of one channel: from the box's low value in steps of a
// tenth of the box, moved down by the shift (in pixels of the plot height).
std::array<float, kTicks> ZoomedTicks(float low, float tick, int32_t shift, int Hp) {
    float step = tick - low;
    // A box whose tenth truncates to the same hundredth on a channel of a much
    // smaller range would give that channel no span at all.
    if (!(step != 0))
        step = 0.01f;
    std::array<float, kTicks> t{};
    const float moved = Hp > 0 ? step * float(shift) * 10.0f / float(Hp) : 0.0f;
    for (int i = 0; i < kTicks; ++i)
        t[size_t(i)] = low + float(i) * step - moved;
    return t;
}

} // namespace

QPoint ClampToPlot(const GraphLayout& g, QPoint p) {
    return QPoint(std::clamp(p.x(), g.plotLeft, std::max(g.plotLeft, g.plotRight)),
                  std::clamp(p.y(), g.plotTop, std::max(g.plotTop, g.plotBottom)));
}

bool CanZoom(const GraphModel& m) {
    return m.LastPoint() >= 1 && m.DisplayContent() != GraphModel::kContentNone &&
           m.Layout().HasPlot();
}

bool CursorInDragRegion(const GraphLayout& g, QPoint c) {
    const int R = g.client.width();
    const int B = g.client.height();
    const int right = R > g.plotRight ? R - 20 : R;
    const int bottom = B > g.plotBottom ? g.plotBottom + 20 : B;
    return g.plotLeft - 50 < c.x() && c.x() < right && g.plotTop - 3 < c.y() && c.y() < bottom;
}

void GraphModel::ZoomedSlotBecomesBase() {
    const double dx = PointDistance();
    const int32_t s = m_zoom.ScrollIndex();
    m_ch1Ticks[0] = m_ch1Ticks[1];
    m_ch2Ticks[0] = m_ch2Ticks[1];
    const int64_t from = std::max<int64_t>(m_firstPoint - 1, 0);
    const int64_t to = std::min<int64_t>(m_lastPoint, m_bufferPoints);
    // The zoomed positions are those before the scroll; the box was drawn over the
    // scrolled graph, so the scroll is folded into the positions the box is
    // measured against.
    const double offset = dx > 0 ? dx * double(s) : 0.0;
    for (int ch = 0; ch < 2; ++ch) {
        FillX(2 + ch);
        m_lazyX[size_t(ch)].pending = false;
        double* x0 = m_xPix.data() + Plane(0, ch);
        const double* x1 = m_xPix.data() + Plane(1, ch);
        for (int64_t k = from; k < to; ++k)
            x0[k] = x1[k] + offset;
        // Rows still to be computed from the values stay so, under the zoomed scale.
        m_lazyY[size_t(ch)] = m_lazyY[size_t(2) + size_t(ch)];
        if (m_lazyY[size_t(ch)].pending)
            continue;
        double* y0 = m_yPix.data() + Plane(0, ch);
        const double* y1 = m_yPix.data() + Plane(1, ch);
        std::copy(y1 + from, y1 + std::max(from, to), y0 + from);
    }
    m_zoom.SetScrollIndex(0);
}

void GraphModel::ComputeZoomedScale(const GraphInputs& in) {
    const GraphLayout& g = m_layout;
    const int W = g.W();
    const int Hp = g.Hp();
    if (W <= 0 || Hp <= 0 || m_firstPoint < 1 || m_lastPoint < m_firstPoint)
        return;
    if (int64_t(m_lastPoint) > WorkBufferPoints())
        return; // the data grew past the buffers: the next reset rescales
    const QRect plot = PlotRect(g);
    QRect before = m_zoom.ZoomPlot();
    if (before.isNull() || before.width() < 2)
        before = plot;
    const int64_t from = m_firstPoint - 1;
    const int64_t to = m_lastPoint;

    if (m_zoom.Pending())
        TakeZoomBox(before, from, to);
    if (before != plot) {
        const double scale = double(W) / double(before.right() - before.left());
        for (int ch = 0; ch < 2; ++ch) {
            double* x1 = m_xPix.data() + Plane(1, ch);
            for (int64_t k = from; k < to; ++k)
                x1[k] = g.plotLeft + (x1[k] - before.left()) * scale;
        }
    }
    m_zoom.SetZoomPlot(plot);

    // The ticks follow the vertical bars on every zoomed paint.
    for (int ch = 0; ch < 2; ++ch) {
        (ch == 0 ? m_ch1Ticks : m_ch2Ticks)[1] =
            ZoomedTicks(m_zoom.ZoomLow(ch), m_zoom.ZoomTick(ch), m_zoom.Shift(ch, 1), Hp);
    }
    if (!RowsLater(in, 1, from, to))
        ComputeZoomedRows(in, from, to);
    if (!m_zoom.ScrollSetupDone()) {
        const double dx = PointDistance();
        const double xf = FirstX(0);
        const double s = m_zoom.ScrollIndex();
        if (dx > 0)
            m_zoom.SetLeftIndex(ClampIndex(TruncIndex(s + (g.plotLeft - (xf + dx * s)) / dx)));
        m_zoom.SetScrollSetupDone(true);
    }
}

void GraphModel::TakeZoomBox(const QRect& before, int64_t from, int64_t to) {
    // The box was drawn on the plot of its own paint: its values and positions are
    // taken there, then moved to the present plot in proportion.
    const int bLeft = before.left(), bRight = before.right();
    const int bBottom = before.bottom();
    const int bHp = before.bottom() - before.top();
    const QPointF a = m_zoom.DragStart();
    const QPointF b = m_zoom.DragEnd();
    const double h = b.y() - a.y();
    for (int ch = 0; ch < 2; ++ch) {
        const std::array<float, kTicks>& t = ch == 0 ? m_ch1Ticks[0] : m_ch2Ticks[0];
        const double lo = t[0];
        const double span = double(t[10]) - double(t[0]);
        const double low = std::trunc((lo + span * (bBottom - b.y()) / bHp) * 100.0) * 0.01;
        const double tick =
            std::trunc((lo + span * (bBottom - b.y() + 0.1 * h) / bHp) * 100.0) * 0.01;
        m_zoom.SetZoomRange(ch, float(low), float(tick));
    }
    const double bw = b.x() - a.x();
    const double bW = bRight - bLeft;
    for (int ch = 0; ch < 2; ++ch) {
        FillX(ch);
        const double* x0 = m_xPix.data() + Plane(0, ch);
        double* x1 = m_xPix.data() + Plane(1, ch);
        for (int64_t k = from; k < to; ++k)
            x1[k] = bLeft + bW * (x0[k] - a.x()) / bw;
    }
}

void GraphModel::ComputeZoomedRows(const GraphInputs& in, int64_t from, int64_t to) {
    const bool product = m_mode == GraphMode::RealTimeApparentPower;
    for (int ch = 0; ch < 2; ++ch) {
        const RowScale rs = RowScaleOf(1, ch);
        const Series sr = SeriesOf(in, product ? 0 : ch);
        double* yp = m_yPix.data() + Plane(1, ch);
        const int64_t held = std::clamp<int64_t>(sr.count, from, to);
        for (int64_t k = from; k < held; ++k) {
            const size_t i = size_t(k) * sr.stride;
            const double v = sr.q ? double(sr.p[i] * sr.q[i]) : double(sr.p[i]);
            yp[k] = rs.bottom - (v - rs.t0) * rs.scale;
        }
        for (int64_t k = held; k < to; ++k)
            yp[k] = rs.bottom - (0.0 - rs.t0) * rs.scale;
    }
}

ZoomVerdict FinishZoomDrag(GraphModel& m, QPoint start, QPoint end, bool unmoved) {
    if (unmoved || std::abs(end.x() - start.x()) <= 3)
        return ZoomVerdict::Unmoved;
    ZoomState& z = m.Zoom();
    if (z.Zoomed())
        m.ZoomedSlotBecomesBase();
    const QPointF a(std::min(start.x(), end.x()), std::min(start.y(), end.y()));
    const QPointF b(std::max(start.x(), end.x()), std::max(start.y(), end.y()));
    const GraphLayout& g = m.Layout();
    const int W = g.W();
    const int Hp = g.Hp();
    const std::array<float, kTicks>& t = m.Ticks(0, 0);
    const double height = b.y() - a.y();
    const double width = b.x() - a.x();
    const double span = double(t[10]) - double(t[0]);
    // Slot 0's point distance: the base step, or the zoomed scale taken over.
    const int64_t f = m.FirstPoint() - 1;
    double dx = W;
    if (m.PointCount() >= 2 && f >= 0 && f + 1 < m.WorkBufferPoints())
        dx = m.XPix(f + 1, 0, 0) - m.XPix(f, 0, 0);
    const bool tallEnough = Hp > 0 && span * 0.1 * height / Hp >= 0.1 - 1e-9;
    const bool wideEnough = dx < width;
    if (!tallEnough || !wideEnough) {
        z.SetPending(false);
        return !tallEnough ? ZoomVerdict::TooLow : ZoomVerdict::TooNarrow;
    }
    z.SetSlot(1);
    z.SetShift(0, 1, 0);
    z.SetShift(1, 1, 0);
    z.SetDragBox(a, b);
    z.SetZoomPlot(PlotRect(g));
    z.SetPending(true);
    z.SetBaseScaleFrozen(true);
    z.SetScrollSetupDone(false);
    return ZoomVerdict::Accepted;
}

ZoomVerdict ZoomAroundPoints(GraphModel& m, int64_t first, int64_t count) {
    const int64_t shownFirst = int64_t(m.FirstPoint()) - 1;
    const int64_t shownLast = int64_t(m.LastPoint()) - 1;
    if (!CanZoom(m) || shownLast < shownFirst || shownLast >= m.WorkBufferPoints() ||
        shownFirst < 0)
        return ZoomVerdict::Unmoved;
    const int64_t margin = std::max<int64_t>(count, 5);
    const int64_t a = std::clamp(first - margin, shownFirst, shownLast);
    const int64_t b =
        std::clamp(first + std::max<int64_t>(count, 1) - 1 + margin, shownFirst, shownLast);
    const GraphLayout& g = m.Layout();
    const double xa = m.XPix(a, 0, 0);
    const double xb = m.XPix(b, 0, 0);
    const double step = shownLast > shownFirst
                            ? std::abs(m.XPix(shownFirst + 1, 0, 0) - m.XPix(shownFirst, 0, 0))
                            : double(g.W());
    const double mid = (xa + xb) / 2;
    const double half = std::max({(xb - xa) / 2, 4.0, step * 0.6 + 1.0});
    const int left = std::clamp(int(std::lround(mid - half)), g.plotLeft, g.plotRight);
    const int right = std::clamp(int(std::lround(mid + half)), g.plotLeft, g.plotRight);
    return FinishZoomDrag(m, QPoint(left, g.plotTop), QPoint(right, g.plotBottom), false);
}

int32_t HorizontalPosition(const GraphModel& m) {
    return ClampIndex(int64_t(m.Zoom().LeftIndex()) - m.Zoom().ScrollIndex() + 1);
}

HorizontalScroll HorizontalScrollOf(const GraphModel& m) {
    HorizontalScroll h;
    h.maximum = std::max<int32_t>(m.PointCount(), 0);
    h.position = std::clamp(HorizontalPosition(m), 0, h.maximum);
    h.enabled = m.Zoom().Zoomed() && h.maximum > 0;
    return h;
}

int32_t HorizontalPage(const GraphModel& m) {
    const double dx = m.PointDistance();
    if (!(dx > 0))
        return 1;
    return ClampIndex(TruncIndex((m.Layout().W() + 120) / dx) + 1);
}

int32_t ScrollHorizontally(GraphModel& m, ScrollCode code, int32_t thumb, int cursorX) {
    ZoomState& z = m.Zoom();
    const int64_t left = z.LeftIndex();
    const int64_t p = HorizontalPosition(m);
    const int64_t last = m.LastPoint();
    const int64_t page = HorizontalPage(m);
    int64_t s = z.ScrollIndex();
    switch (code) {
    case ScrollCode::LineLeft:
        if (p >= 1)
            s += 1;
        break;
    case ScrollCode::LineRight:
        if (p < last)
            s -= 1;
        break;
    case ScrollCode::PageLeft:
        s = page < p ? s + page : left + 1;
        break;
    case ScrollCode::PageRight:
        s = p < last - page ? s - page : left - last + 1;
        break;
    case ScrollCode::Thumb: {
        const int64_t n = m.PointCount();
        int64_t pos = thumb;
        if (n > 32767) {
            const GraphLayout& g = m.Layout();
            const int W = g.W();
            if (cursorX - g.plotLeft < 30)
                pos = 0;
            else if (cursorX > g.plotRight - 30)
                pos = n;
            else
                pos = W > 60 ? TruncIndex(double(cursorX - g.plotLeft - 30) / (W - 60) * double(n))
                             : 0;
        }
        s = left - pos + 1;
        break;
    }
    case ScrollCode::Other:
        break;
    }
    z.SetScrollIndex(ClampIndex(s));
    return HorizontalPosition(m);
}

int32_t VerticalHalfRange(const GraphModel& m) {
    return std::max(m.Layout().Hp(), 0) / 2;
}

int32_t ScrollVertically(GraphModel& m, int ch, ScrollCode code, int32_t thumb) {
    ZoomState& z = m.Zoom();
    const int slot = z.Slot();
    const int32_t half = VerticalHalfRange(m);
    int32_t shift = z.Shift(ch, slot);
    switch (code) {
    case ScrollCode::LineLeft:
        if (shift > -half)
            --shift;
        break;
    case ScrollCode::LineRight:
        if (shift < half)
            ++shift;
        break;
    case ScrollCode::PageLeft:
        shift = -half;
        break;
    case ScrollCode::PageRight:
        shift = half;
        break;
    case ScrollCode::Thumb:
        shift = std::clamp(thumb, -half, half);
        break;
    case ScrollCode::Other:
        break;
    }
    // The base scale never shifts; only a zoomed graph keeps a shift.
    if (slot == 1)
        z.SetShift(ch, slot, shift);
    z.SetScrollHeld(true);
    return z.Shift(ch, slot);
}

int64_t NearestPoint(const GraphModel& m, double x) {
    const int64_t first = m.FirstPoint();
    const int64_t last = m.LastPoint();
    if (last < 1 || first < 1 || last < first)
        return -1;
    if (last - first + 1 < 2)
        return first - 1;
    const double xf = m.FirstX(0);
    const double dx = m.PointDistance();
    if (!(dx > 0))
        return first - 1;
    const double s = m.Zoom().ScrollIndex();
    int64_t w = TruncIndex((x - xf) / dx + double(first) - 1.0 - s);
    auto pixel = [&](int64_t j) { return xf + dx * (double(j - (first - 1)) + s); };
    if (std::fabs(x - pixel(w)) > std::fabs(x - pixel(w + 1)))
        ++w;
    return std::clamp(w, first - 1, last - 1);
}

QString ReadoutValue(GraphMode mode, double v, const QString& unit) {
    QString t;
    switch (mode) {
    case GraphMode::StoreTransient:
    case GraphMode::RealTimeEpa:
        // Samples of a waveform cross zero: a 0 is a value, not a low reading.
        return Fixed0(v) + unit;
    case GraphMode::RealTimeApparentPower:
        t = Fixed0(v);
        break;
    // A sample without a power figure reads "LO"; 0 W or a power factor of 0 is a
    // figure like any other.
    case GraphMode::RealTimeActivePower:
        return std::isnan(v) ? QStringLiteral("LO") : Fixed0(v) + unit;
    case GraphMode::RealTimePowerFactor:
        return std::isnan(v) ? QStringLiteral("LO") : Fixed2(v);
    case GraphMode::RealTimeFrequency:
        if (v >= 400.0)
            return QStringLiteral("OL");
        if (!(v > 40.0))
            return QStringLiteral("LO");
        t = Fixed1(v);
        break;
    default:
        t = Fixed1(v);
        break;
    }
    bool ok = false;
    if (t.toDouble(&ok) == 0.0 && ok)
        return QStringLiteral("LO");
    return t + unit;
}

QString ReadoutText(const GraphModel& m, const GraphInputs& in, int64_t i) {
    const GraphMode mode = m.Mode();
    const int64_t number = mode == GraphMode::StoreTransient ? i - m.FirstPoint() + 2 : i + 1;
    QString line = QStringLiteral("Data Point No.:") + QString::number(number) +
                   QStringLiteral("  Time:") + m.PointTimeText(in, i);
    const QString t1 = ReadoutValue(mode, m.ValueOf(in, 0, i), m.ChannelUnit(0));
    if (mode == GraphMode::RealTimeApparentPower)
        return line + QStringLiteral("   S(VA): ") + t1;
    if (mode == GraphMode::RealTimeActivePower)
        return line + QStringLiteral("   P(W): ") + t1;
    if (mode == GraphMode::RealTimePowerFactor)
        return line + QStringLiteral("   PF: ") + t1;
    const bool ch1 = m.ChannelPresent(0) == 1;
    const bool ch2 = m.ChannelPresent(1) == 1;
    if (ch1)
        line += QStringLiteral("   CH1: ") + t1;
    if (ch2)
        line +=
            QStringLiteral("   CH2: ") + ReadoutValue(mode, m.ValueOf(in, 1, i), m.ChannelUnit(1));
    return line;
}

QRect ReadoutStrip(const GraphLayout& g) {
    return QRect(g.plotLeft - 80, g.plotBottom + 75, g.W() + 178, 20);
}
