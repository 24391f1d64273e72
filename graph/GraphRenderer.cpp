#include "graph/GraphRenderer.h"

#include "base/Fonts.h"
#include "base/Settings.h"
#include "data/MeasurementSet.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

const QColor kWelcomeFill(200, 200, 200);
const QColor kWelcomeText(102, 122, 157);
// Pixel coordinates far outside any plot are held here: the drawn part of a line
// to such a point is hidden by the overpainting anyway.
constexpr double kCoordLimit = 1 << 22;

int Coord(double v) {
    if (!(v == v))
        return 0;
    return int(std::trunc(std::clamp(v, -kCoordLimit, kCoordLimit)));
}

// Text with its cell's top-left corner at (x, y).
void TextAt(QPainter& p, int x, int y, const QString& text) {
    p.drawText(QPoint(x, y + p.fontMetrics().ascent()), text);
}

// One-pixel lines, as wide as one pixel of the layout: on an image made at a
// device pixel ratio of 2 they are two device pixels wide, so that a graph on a
// high-resolution screen looks as it does on any other, only sharper.
QPen LinePen(const QPainter& p, const QColor& c, Qt::PenStyle style = Qt::SolidLine) {
    const QPaintDevice* d = p.device();
    const qreal ratio = d ? d->devicePixelRatio() : 1.0;
    QPen pen(c, std::max(1.0, std::round(ratio)), style);
    pen.setCosmetic(true);
    return pen;
}

struct SegmentEnds {
    int x0, y0, x1, y1;
};

// Ends of segment i of channel ch; the caller checks the window.
SegmentEnds EndsOf(const GraphModel& m, int ch, int64_t i, double xf, double dx) {
    const int slot = m.m_zoomSlot;
    const int64_t s = m.m_scrollIndex;
    const int64_t a = int64_t(m.m_firstPoint) + i - 2;
    return SegmentEnds{Coord(xf + dx * double(s + i - 1)), Coord(m.YPix(a, slot, ch)),
                       Coord(xf + dx * double(s + i)), Coord(m.YPix(a + 1, slot, ch))};
}

bool Skipped(const GraphModel& m, int y0, int y1) {
    const int top = m.m_layout.plotTop;
    const int bottom = m.m_layout.plotBottom;
    if (y0 <= top && y1 <= top)
        return !(y0 == top && y1 == top);
    if (y0 >= bottom && y1 >= bottom)
        return !(y0 == bottom && y1 == bottom);
    return false;
}

void Marks(QPainter& p, int x, int y) {
    const QPoint pts[] = {{x, y - 1},     {x, y + 1},     {x - 1, y - 1},
                          {x - 1, y + 1}, {x + 1, y - 1}, {x + 1, y + 1}};
    p.drawPoints(pts, 6);
}

void DrawEnds(QPainter& p, const SegmentEnds& e, bool marks) {
    p.drawLine(e.x0, e.y0, e.x1, e.y1);
    if (marks) {
        Marks(p, e.x0, e.y0);
        Marks(p, e.x1, e.y1);
    }
}

// Writes vertical spans of opaque pixels directly into the painter's image when
// the painter draws onto a 32-bit image without transform or clip.
struct VerticalWriter {
    bool ok = false;
    uchar* bits = nullptr;
    qsizetype stride = 0;
    int width = 0, height = 0;
    explicit VerticalWriter(QPainter& p) {
        QPaintDevice* d = p.device();
        if (!d || d->devType() != QInternal::Image || p.hasClipping() ||
            !p.deviceTransform().isIdentity() ||
            p.compositionMode() != QPainter::CompositionMode_SourceOver)
            return;
        auto* img = static_cast<QImage*>(d);
        const QImage::Format f = img->format();
        if ((f != QImage::Format_RGB32 && f != QImage::Format_ARGB32 &&
             f != QImage::Format_ARGB32_Premultiplied) ||
            img->devicePixelRatio() != 1.0)
            return;
        bits = img->bits();
        stride = img->bytesPerLine();
        width = img->width();
        height = img->height();
        ok = bits != nullptr;
    }
    void Span(int x, int y0, int y1, QRgb c) const {
        if (x < 0 || x >= width)
            return;
        y0 = std::max(y0, 0);
        y1 = std::min(y1, height - 1);
        uchar* row = bits + qsizetype(y0) * stride + qsizetype(x) * 4;
        for (int y = y0; y <= y1; ++y, row += stride)
            *reinterpret_cast<QRgb*>(row) = c;
    }
};

// Range of segments the paint visits: those that can reach the plot.
bool SegmentRange(const GraphModel& m, int64_t& from, int64_t& to) {
    const double dx = m.PointDistance();
    const int W = m.m_layout.W();
    if (!(dx > 0) || W <= 0 || m.m_layout.Hp() <= 0 || m.m_firstPoint < 1)
        return false;
    const int64_t n = int64_t(m.m_lastPoint) - m.m_firstPoint + 1;
    const int64_t base = int64_t(m.m_leftIndex) - m.m_scrollIndex + 1;
    const double bound = std::min(double(W) / dx + double(base) + 2.0, 9e15);
    from = std::max<int64_t>(base, 1);
    to = std::min<int64_t>(int64_t(std::trunc(bound)), n);
    // Never read past the pixel arrays.
    to = std::min<int64_t>(to, m.WorkBufferPoints() - m.m_firstPoint + 1);
    return from < to;
}

// Fills `outer` except `inner` (which is filled next); all of it when `inner`
// is empty or not inside.
void FillAround(QPainter& p, const QRect& outer, const QRect& inner, const QColor& c) {
    if (inner.isEmpty() || !outer.contains(inner)) {
        p.fillRect(outer, c);
        return;
    }
    p.fillRect(QRect(QPoint(outer.left(), outer.top()), QPoint(outer.right(), inner.top() - 1)), c);
    p.fillRect(
        QRect(QPoint(outer.left(), inner.bottom() + 1), QPoint(outer.right(), outer.bottom())), c);
    p.fillRect(QRect(QPoint(outer.left(), inner.top()), QPoint(inner.left() - 1, inner.bottom())),
               c);
    p.fillRect(QRect(QPoint(inner.right() + 1, inner.top()), QPoint(outer.right(), inner.bottom())),
               c);
}

} // namespace

// Faces, heights, widths and weights as the screens were drawn; base/Fonts.h maps
// them to the faces installed here.
QFont WelcomeFont() {
    return DescribedFont(QStringLiteral("Arial Black"), -90, 40, 100);
}

QFont AxisFont() {
    static const QFont font = DescribedFont(QStringLiteral("Arial"), -12, 0, 500);
    return font;
}

QFont LegendFont() {
    static const QFont font = DescribedFont(QStringLiteral("Arial"), -20, 8, 100);
    return font;
}

void PaintWelcome(QPainter& p, const QRect& client) {
    const int top = client.top();
    const int left = client.left();
    const int height = client.height();
    p.fillRect(QRect(0, 0, client.width(), height), kWelcomeFill);
    p.setFont(WelcomeFont());
    p.setPen(kWelcomeText);
    const int y0 = top + (height - 350) / 2;
    const char* const words[] = {"ELECTRIC", "POWER", "TEST"};
    for (int i = 0; i < 3; ++i)
        TextAt(p, left + 280, y0 + 100 * i, QString::fromLatin1(words[i]));
}

void DrawSegment(QPainter& p, const GraphModel& m, int ch, int64_t i, const QColor& colour,
                 bool marks) {
    const int64_t a = int64_t(m.m_firstPoint) + i - 2;
    if (a < 0 || a + 1 >= m.WorkBufferPoints())
        return;
    const SegmentEnds e = EndsOf(m, ch, i, m.FirstX(ch), m.PointDistance());
    if (Skipped(m, e.y0, e.y1))
        return;
    p.setPen(LinePen(p, colour));
    DrawEnds(p, e, marks);
}

void DrawTraces(QPainter& p, const GraphModel& m, const AppSettings& s, bool decimate) {
    int64_t from = 0, to = 0;
    if (!SegmentRange(m, from, to))
        return;
    const bool marks = s.m_showMarkPoints == 1;
    const double dx = m.PointDistance();
    const int top = m.m_layout.plotTop;
    const int bottom = m.m_layout.plotBottom;

    int channels[2];
    int nch = 0;
    for (int ch = 0; ch < 2; ++ch)
        if (m.ChannelDrawn(s, ch))
            channels[nch++] = ch;
    if (nch == 0)
        return;
    const QPen pens[2] = {LinePen(p, ColourOf(s.m_ch1Color)), LinePen(p, ColourOf(s.m_ch2Color))};
    // On a plain image the vertical strokes of dense columns are written straight
    // into its pixels: the same pixels an aliased opaque one-pixel line lights,
    // without the painter's cost per line.
    VerticalWriter direct(p);
    const QRgb rgb[2] = {pens[0].color().rgb(), pens[1].color().rgb()};
    const double xf[2] = {m.FirstX(0), m.FirstX(1)};
    // Segments are taken in groups that end in the same pixel column; within a
    // group CH1 is drawn before CH2, so that with at most one point per column the
    // order is segment by segment.
    if (xf[0] != xf[1])
        decimate = false;

    const int64_t scroll = m.m_scrollIndex;
    auto columnOf = [&](int64_t k) { return Coord(xf[0] + dx * double(scroll + k)); };
    const int slot = m.m_zoomSlot;
    int64_t i = from;
    int current = -1;
    while (i < to) {
        const int column = columnOf(i);
        // First segment ending in a later column: estimated, then made exact.
        int64_t end = i + 1;
        if (dx < 1.0) {
            const double guess = std::ceil((double(column) + 1.0 - xf[0]) / dx - double(scroll));
            end = std::clamp<int64_t>(int64_t(std::min(guess, 9e15)), i + 1, to);
            while (end > i + 1 && columnOf(end - 1) != column)
                --end;
        }
        while (end < to && columnOf(end) == column)
            ++end;
        for (int c = 0; c < nch; ++c) {
            const int ch = channels[c];
            if (current != ch) {
                p.setPen(pens[ch]);
                current = ch;
            }
            const SegmentEnds head = EndsOf(m, ch, i, xf[ch], dx);
            if (!decimate || marks || end - i <= 2) {
                if (!Skipped(m, head.y0, head.y1))
                    DrawEnds(p, head, marks);
                for (int64_t k = i + 1; k < end; ++k) {
                    const SegmentEnds e = EndsOf(m, ch, k, xf[ch], dx);
                    if (!Skipped(m, e.y0, e.y1))
                        DrawEnds(p, e, marks);
                }
                continue;
            }
            // The points of this column: the head's end and the ends of the rest.
            // Strictly inside the plot none of their vertical segments is skipped,
            // and together they light exactly the column from the lowest to the
            // highest of them.
            const int64_t p0 = int64_t(m.m_firstPoint) + i - 1;
            const int64_t p1 = int64_t(m.m_firstPoint) + end - 2;
            const double* ys = m.m_yPix.data() + m.Plane(slot, ch);
            double lo = ys[p0], hi = lo;
            bool number = lo == lo;
            for (int64_t k = p0 + 1; k <= p1; ++k) {
                const double y = ys[k];
                number &= y == y;
                lo = std::min(lo, y);
                hi = std::max(hi, y);
            }
            const int ylo = Coord(lo), yhi = Coord(hi);
            const bool inside = number && ylo > top && yhi < bottom;
            if (!Skipped(m, head.y0, head.y1))
                DrawEnds(p, head, false);
            if (inside) {
                if (direct.ok)
                    direct.Span(column, ylo, yhi, rgb[ch]);
                else
                    p.drawLine(column, ylo, column, yhi);
            } else {
                for (int64_t k = i + 1; k < end; ++k) {
                    const SegmentEnds e = EndsOf(m, ch, k, xf[ch], dx);
                    if (!Skipped(m, e.y0, e.y1))
                        DrawEnds(p, e, false);
                }
            }
        }
        i = end;
    }
}

void PaintGraph(QPainter& p, GraphModel& m, const GraphInputs& in, QSize size,
                const RenderOptions& o) {
    const AppSettings& st = in.settings;
    m.SetClient(size.width(), size.height());
    const GraphLayout& g = m.m_layout;
    const int L = 0, T = 0, R = size.width(), B = size.height();
    const int H = m.m_infoBarHeight;
    const int W = g.W(), Hp = g.Hp();
    const QColor grey = o.panelGrey;
    const QColor background = ColourOf(st.m_bgColor);
    const QColor gridColour = ColourOf(st.m_gridColor);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setBackgroundMode(Qt::TransparentMode);

    // Printing: the band above the plot starts grey (the screen has the info bar).
    if (o.printing)
        p.fillRect(QRect(0, 0, R, g.plotTop), grey);

    // 1-2. Fills: black client, grey frame panel, the plot's background. Where
    // each lies inside the one before, only the uncovered part is filled.
    const QRect client(L, T + H, R - L, B - T - H);
    const QRect panel(QPoint(g.frameLeft, g.frameTop), QPoint(g.frameRight - 1, g.frameBottom - 1));
    const QRect plotFill(g.plotLeft - 1, g.plotTop, W + 1, Hp);
    FillAround(p, client, panel, Qt::black);
    FillAround(p, panel, plotFill, grey);
    p.fillRect(plotFill, background);

    // 3. Horizontal grid.
    if (st.m_showHorizontalGrid == 1) {
        p.setPen(LinePen(p, gridColour, Qt::DotLine));
        for (int i = 0; i <= 10; ++i) {
            const int y = int(std::trunc(Hp * i * 0.1 + g.plotTop));
            p.drawLine(g.plotLeft - 5, y, g.plotRight + 5, y);
        }
    }

    // 4-5. Scale, label positions, vertical grid.
    m.ComputeScale(in);
    m.ComputeLabels(in);
    const bool haveX = m.m_lastPoint >= 1 && m.PointDistance() > 0 && W > 0;
    if (st.m_showVerticalGrid == 1 && haveX) {
        p.setPen(LinePen(p, gridColour, Qt::DotLine));
        for (int i = 0; i < kXLabels; ++i) {
            const int x = Coord(m.m_xLabelX[size_t(i)]);
            p.drawLine(x, g.plotBottom - 1, x, g.plotTop);
        }
    }

    // 6. Traces.
    DrawTraces(p, m, st, o.decimate);

    // 8. Printing: the band above the frame is grey.
    if (o.printing) {
        p.fillRect(QRect(L + 20, g.plotTop - 18, R - L - 40, 18), grey);
        p.fillRect(QRect(0, 0, R, T + H), grey);
    }

    // 9. Hide what the traces drew outside the plot.
    if (g.plotTop < g.plotBottom) {
        p.fillRect(QRect(L + 20, g.plotBottom + 1, R - L - 40, 60), grey);
        p.fillRect(QRect(L + 20, g.plotTop - 10, R - L - 40, 10), grey);
    }
    p.fillRect(QRect(L + 20, g.plotTop - 10, g.plotLeft - L - 20, Hp + 19), grey);
    p.fillRect(QRect(g.plotRight + 1, g.plotTop - 10, R - 20 - g.plotRight - 1, Hp + 19), grey);

    // 10. Y labels and ticks.
    p.setFont(AxisFont());
    const QPen tickPen = LinePen(p, gridColour);
    for (int e = 0; e <= 10; ++e) {
        const int y = g.plotBottom - (e * Hp) / 10 - 8;
        p.setPen(Qt::black);
        const QString& t1 = m.m_yLabelText[0][size_t(e)];
        TextAt(p, 88 - 5 * int(t1.size()), y, t1);
        TextAt(p, g.plotRight + 6, y, m.m_yLabelText[1][size_t(e)]);
        if (g.plotLeft < g.plotRight) {
            p.setPen(tickPen);
            const int ty = int(std::trunc(e * Hp * 0.1 + g.plotTop));
            p.drawLine(g.plotLeft - 5, ty, g.plotLeft, ty);
            p.drawLine(g.plotRight, ty, g.plotRight + 5, ty);
        }
    }

    // 11. X labels and ticks.
    if (m.m_lastPoint >= 1) {
        const bool numbered = IsWaveformMode(m.m_mode);
        if (m.PointCount() == 1 || m.m_lastPoint == 1) {
            p.setPen(Qt::black);
            if (numbered) {
                TextAt(p, g.plotLeft, g.plotBottom + 5, QStringLiteral("1"));
            } else {
                const QString time = m.m_xLabelText[0];
                TextAt(p, g.plotLeft - 23, g.plotBottom + 5, time);
                TextAt(p, g.plotLeft - 23, g.plotBottom + 17, m.m_xLabelDate[0]);
            }
        } else if (haveX) {
            for (int i = 0; i < kXLabels; ++i) {
                const double x = m.m_xLabelX[size_t(i)];
                if (x < g.plotLeft || x > g.plotRight)
                    continue;
                const QString& text = m.m_xLabelText[size_t(i)];
                const int xi = Coord(x);
                p.setPen(Qt::black);
                TextAt(p, xi - 7 * int(text.size()) / 2, g.plotBottom + 5, text);
                if (!numbered)
                    TextAt(p, xi - 7 * int(text.size()) / 2, g.plotBottom + 17,
                           m.m_xLabelDate[size_t(i)]);
                if (xi >= g.plotLeft && xi <= g.plotRight) {
                    p.setPen(tickPen);
                    p.drawLine(xi, g.plotBottom, xi, g.plotBottom + 5);
                }
            }
        }
    }

    // 12-13. The bands around the frame panel.
    p.fillRect(QRect(L + 20, g.plotTop - 20, R - L - 40, 15), grey);
    p.fillRect(QRect(L, 0, R - L, g.plotTop - 18), Qt::black);
    p.fillRect(QRect(L, 0, R - L, T + H), grey);
    p.fillRect(QRect(L, g.plotBottom + 55, R - L, B - g.plotBottom - 55), Qt::black);
    p.fillRect(QRect(L, T + H, 20, B - T - H), Qt::black);
    p.fillRect(QRect(R - 20, T + H, 20, B - T - H), Qt::black);

    // 14. Printing: white above the frame.
    if (o.printing)
        p.fillRect(QRect(0, 0, R, T + H + 5), Qt::white);

    // 15. The read-out line.
    p.setFont(LegendFont());
    const QRect readout(g.plotLeft - 80, g.plotBottom + 75, W + 178, 20);
    if (o.printing)
        p.fillRect(readout, Qt::black);
    if (!m.m_readoutText.isEmpty()) {
        p.setPen(grey);
        p.setBackgroundMode(Qt::OpaqueMode);
        p.setBackground(Qt::black);
        TextAt(p, readout.x(), readout.y(), m.m_readoutText);
        p.setBackgroundMode(Qt::TransparentMode);
    }

    // 16. Frame.
    QPen framePen(Qt::white, 2);
    framePen.setJoinStyle(Qt::MiterJoin);
    p.setPen(framePen);
    const QPoint frame[] = {{L + 10, T + H + 10},
                            {R - 10, T + H + 10},
                            {R - 10, B - 10},
                            {L + 10, B - 10},
                            {L + 10, T + H + 9}};
    p.drawPolyline(frame, 5);

    // 17. Legends.
    p.setBackgroundMode(Qt::OpaqueMode);
    p.setBackground(background);
    if (m.m_graphCh1Present == 1) {
        p.setPen(ColourOf(st.m_ch1Color));
        if (m.m_mode == GraphMode::RealTimeApparentPower)
            TextAt(p, L + 60, g.plotBottom + 31, m.m_graphCh1Unit);
        else
            TextAt(p, L - 5 * int(m.m_graphCh1Unit.size()) + 50, g.plotBottom + 31,
                   QStringLiteral("CH1 ") + m.m_graphCh1Unit);
    }
    if (m.m_graphCh2Present == 1 && m.m_mode != GraphMode::RealTimeApparentPower) {
        p.setPen(ColourOf(st.m_ch2Color));
        TextAt(p, g.plotRight + 1, g.plotBottom + 31, QStringLiteral("CH2 ") + m.m_graphCh2Unit);
    }
    p.setBackgroundMode(Qt::TransparentMode);

    m.m_prevPlot = QRect(QPoint(g.plotLeft, g.plotTop), QPoint(g.plotRight, g.plotBottom));
    m.m_zoomPending = 0;
}

AppendResult AppendRealTimePoint(GraphModel& m, const GraphInputs& in) {
    AppendResult r;
    m.ComputeScale(in);
    if (m.m_dragInProgress)
        return r;
    if (m.m_fullRepaintRequested) {
        m.m_fullRepaintRequested = false;
        r.action = AppendAction::RepaintAll;
        return r;
    }
    const int count = in.set.m_rtCount;
    if (count < 3) {
        r.action = AppendAction::RepaintAll;
        return r;
    }
    const GraphLayout& g = m.m_layout;
    if (m.m_zoomSlot == 0) {
        const int64_t a = int64_t(count) - 2;
        if (a + 1 >= m.WorkBufferPoints()) {
            r.action = AppendAction::RepaintAll;
            return r;
        }
        for (int ch = 0; ch < 2; ++ch) {
            const bool present = ch == 0 ? m.m_graphCh1Present == 1 : m.m_graphCh2Present == 1;
            if (!present || (ch == 1 && m.m_mode == GraphMode::RealTimeApparentPower))
                continue;
            const int y0 = Coord(m.YPix(a, 0, ch));
            const int y1 = Coord(m.YPix(a + 1, 0, ch));
            const bool crossesTop = (y0 < g.plotTop) != (y1 < g.plotTop);
            const bool crossesBottom = (y0 > g.plotBottom) != (y1 > g.plotBottom);
            if (crossesTop || crossesBottom) {
                r.action = AppendAction::RepaintFrame;
                return r;
            }
        }
        r.action = AppendAction::DrawNewest;
        r.segment = int64_t(count) - m.m_firstPoint;
        return r;
    }
    if (IsRealTimeMode(m.m_mode) && in.realTimeRunning) {
        const int ch = m.m_graphCh2Present == 1 ? 1 : 0;
        const double x = m.FirstX(ch) +
                         m.PointDistance() *
                             double(int64_t(m.m_lastPoint) + m.m_scrollIndex - m.m_firstPoint - 1);
        if (x >= g.plotRight) {
            if (m.m_scrollHold)
                m.m_scrollHold = 0;
            else
                --m.m_scrollIndex;
        }
    }
    r.action = AppendAction::ScrolledRepaint;
    return r;
}
