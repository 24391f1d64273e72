#include "graph/GraphRenderer.h"

#include "base/Fonts.h"
#include "base/Settings.h"
#include "data/MeasurementSet.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

const QColor kWelcomeFill(200, 200, 200);
const QColor kWelcomeText(102, 122, 157);

int Coord(double v) {
    return PixelCoord(v);
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
    const int slot = m.Zoom().Slot();
    const int64_t s = m.Zoom().ScrollIndex();
    const int64_t a = int64_t(m.FirstPoint()) + i - 2;
    return SegmentEnds{Coord(xf + dx * double(s + i - 1)), Coord(m.YPix(a, slot, ch)),
                       Coord(xf + dx * double(s + i)), Coord(m.YPix(a + 1, slot, ch))};
}

bool Skipped(const GraphModel& m, int y0, int y1) {
    const int top = m.Layout().plotTop;
    const int bottom = m.Layout().plotBottom;
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

// Writes opaque pixels directly into the painter's image when the painter draws
// onto a 32-bit image without transform or clip: the pixels an aliased opaque
// one-pixel pen lights, without the painter's cost per line or point.
struct DirectWriter {
    bool ok = false;
    uchar* bits = nullptr;
    qsizetype stride = 0;
    int width = 0, height = 0;
    explicit DirectWriter(QPainter& p) {
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
    bool Inside(int x, int y) const { return x >= 0 && x < width && y >= 0 && y < height; }
    QRgb* At(int x, int y) const {
        return reinterpret_cast<QRgb*>(bits + qsizetype(y) * stride + qsizetype(x) * 4);
    }
    void Pixel(int x, int y, QRgb c) const {
        if (Inside(x, y))
            *At(x, y) = c;
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
    void Marks(int x, int y, QRgb c) const {
        for (int dy : {-1, 1})
            for (int dx : {-1, 0, 1})
                Pixel(x + dx, y + dy, c);
    }
    // A dotted line (one pixel on, two off, from the first end) along a row or a
    // column between two points of the image, as the painter's one-pixel dotted
    // pen draws it: false (nothing drawn) for a slanted line.
    bool Dotted(int x0, int y0, int x1, int y1, QRgb c) const {
        if ((x0 != x1 && y0 != y1) || !Inside(x0, y0) || !Inside(x1, y1))
            return false;
        const int n = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
        const int sx = x1 > x0 ? 1 : (x1 < x0 ? -1 : 0);
        const int sy = y1 > y0 ? 1 : (y1 < y0 ? -1 : 0);
        for (int k = 0; k <= n; k += 3)
            *At(x0 + sx * k, y0 + sy * k) = c;
        return true;
    }
    // The line between two integer points of the image at most one column apart
    // (x1 - x0 is 0 or 1), as the painter's aliased one-pixel pen draws it: both
    // ends lit, a steep line split between its two columns where its 16.16
    // fixed-point x steps over. False (nothing drawn) for any other line.
    bool Line(int x0, int y0, int x1, int y1, QRgb c) const {
        if (x1 - x0 != 0 && x1 - x0 != 1)
            return false;
        if (!Inside(x0, y0) || !Inside(x1, y1))
            return false;
        const int dy = y1 - y0;
        if (x0 == x1) {
            Span(x0, std::min(y0, y1), std::max(y0, y1), c);
            return true;
        }
        if (dy >= -1 && dy <= 1) {
            *At(x0, y0) = c;
            *At(x1, y1) = c;
            return true;
        }
        // Walked from the upper end down, one pixel a row, both rows of the ends
        // included; x in 16.16 starts half a step before the first row's centre.
        const bool down = dy > 0;
        const int n = down ? dy : -dy;
        const int xinc = down ? (1 << 16) / n : -((1 << 16) / n);
        const int top = down ? y0 : y1;
        int x = (down ? x0 : x1) << 16;
        x -= xinc >> 1;
        x += ((xinc > 0 ? 64 : 32) * xinc) >> 6;
        for (int y = top; y <= top + n; ++y, x += xinc)
            *At(x >> 16, y) = c;
        return true;
    }
};

// Range of segments the paint visits: those that can reach the plot.
bool SegmentRange(const GraphModel& m, int64_t& from, int64_t& to) {
    const double dx = m.PointDistance();
    const int W = m.Layout().W();
    if (!(dx > 0) || W <= 0 || m.Layout().Hp() <= 0 || m.FirstPoint() < 1)
        return false;
    const int64_t n = int64_t(m.LastPoint()) - m.FirstPoint() + 1;
    const int64_t base = int64_t(m.Zoom().LeftIndex()) - m.Zoom().ScrollIndex() + 1;
    const double bound = std::min(double(W) / dx + double(base) + 2.0, 9e15);
    from = std::max<int64_t>(base, 1);
    to = std::min<int64_t>(int64_t(std::trunc(bound)), n);
    // Never read past the pixel arrays.
    to = std::min<int64_t>(to, m.WorkBufferPoints() - m.FirstPoint() + 1);
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
    const int64_t a = int64_t(m.FirstPoint()) + i - 2;
    if (a < 0 || a + 1 >= m.WorkBufferPoints())
        return;
    const SegmentEnds e = EndsOf(m, ch, i, m.FirstX(ch), m.PointDistance());
    if (Skipped(m, e.y0, e.y1))
        return;
    p.setPen(LinePen(p, colour));
    DrawEnds(p, e, marks);
}

namespace {

// Segments [from, to) of channel ch, each unless it is skipped.
void DrawSegments(QPainter& p, const GraphModel& m, int ch, int64_t from, int64_t to, double xf,
                  double dx, bool marks) {
    for (int64_t k = from; k < to; ++k) {
        const SegmentEnds e = EndsOf(m, ch, k, xf, dx);
        if (!Skipped(m, e.y0, e.y1))
            DrawEnds(p, e, marks);
    }
}

// The pixel columns the segments end in.
struct Columns {
    double xf, dx;
    int64_t scroll;
    int Of(int64_t k) const { return Coord(xf + dx * double(scroll + k)); }
    // The first segment after i that ends in a later column than i (at most to):
    // estimated, then made exact.
    int64_t GroupEnd(int64_t i, int64_t to) const {
        const int column = Of(i);
        int64_t end = i + 1;
        if (dx < 1.0) {
            const double guess = std::ceil((double(column) + 1.0 - xf) / dx - double(scroll));
            end = std::clamp<int64_t>(int64_t(std::min(guess, 9e15)), i + 1, to);
            while (end > i + 1 && Of(end - 1) != column)
                --end;
        }
        while (end < to && Of(end) == column)
            ++end;
        return end;
    }
};

// The lowest and highest pixel rows of points p0 to p1 of a plane; false when
// one of them is not a number.
bool RowSpan(const double* ys, int64_t p0, int64_t p1, int& ylo, int& yhi) {
    // Several running minima and maxima, so that no comparison waits for the one
    // before (a NaN only has to be noticed: the caller then draws every segment).
    double lo = ys[p0], hi = lo;
    bool number = lo == lo;
    int64_t k = p0 + 1;
#if defined(__SSE2__)
    if (p1 - k >= 3) {
        __m128d lo0 = _mm_set1_pd(lo), lo1 = lo0, hi0 = lo0, hi1 = lo0;
        __m128d nan = _mm_setzero_pd();
        for (; k + 3 <= p1; k += 4) {
            const __m128d a = _mm_loadu_pd(ys + k);
            const __m128d b = _mm_loadu_pd(ys + k + 2);
            nan = _mm_or_pd(nan, _mm_or_pd(_mm_cmpunord_pd(a, a), _mm_cmpunord_pd(b, b)));
            lo0 = _mm_min_pd(lo0, a);
            lo1 = _mm_min_pd(lo1, b);
            hi0 = _mm_max_pd(hi0, a);
            hi1 = _mm_max_pd(hi1, b);
        }
        double l[2], h[2];
        _mm_storeu_pd(l, _mm_min_pd(lo0, lo1));
        _mm_storeu_pd(h, _mm_max_pd(hi0, hi1));
        lo = std::min(l[0], l[1]);
        hi = std::max(h[0], h[1]);
        number &= _mm_movemask_pd(nan) == 0;
    }
#endif
    for (; k <= p1; ++k) {
        const double y = ys[k];
        number &= y == y;
        lo = std::min(lo, y);
        hi = std::max(hi, y);
    }
    ylo = Coord(lo);
    yhi = Coord(hi);
    return number;
}

// The rows that the mark points of a column's points light in the columns on
// either side: the row above and the row below each point. One flag a row of
// the image (and a row just outside it on either side) for the rows that hold a
// point, cleared again after each column.
class MarkRows {
public:
    explicit MarkRows(int height)
        : m_height(std::max(height, 1)), m_point(size_t(m_height) + 2, 0) {}
    // RowSpan of points p0 to p1 that also flags the row of each point (a row
    // outside the image, or not a number, flags a row at the image's edge: the
    // caller then draws the column segment by segment and calls ClearAll).
    bool AddSpan(const double* ys, int64_t p0, int64_t p1, int& ylo, int& yhi) {
        uint8_t* const point = m_point.data() + 1;
        const double last = double(m_height - 1);
        auto flag = [&](double y) {
            // Written so that a NaN goes to row 0.
            const double c = y > 0 ? (y < last ? y : last) : 0.0;
            point[int(c)] = 1;
        };
        double lo = ys[p0], hi = lo;
        bool number = lo == lo;
        flag(lo);
        int64_t k = p0 + 1;
#if defined(__SSE2__)
        if (p1 - k >= 1) {
            __m128d lo0 = _mm_set1_pd(lo), hi0 = lo0;
            __m128d nan = _mm_setzero_pd();
            const __m128d zero = _mm_setzero_pd();
            const __m128d top = _mm_set1_pd(last);
            for (; k + 1 <= p1; k += 2) {
                const __m128d a = _mm_loadu_pd(ys + k);
                nan = _mm_or_pd(nan, _mm_cmpunord_pd(a, a));
                lo0 = _mm_min_pd(lo0, a);
                hi0 = _mm_max_pd(hi0, a);
                // max(a, 0) is 0 for a NaN.
                const __m128i r = _mm_cvttpd_epi32(_mm_min_pd(_mm_max_pd(a, zero), top));
                point[_mm_cvtsi128_si32(r)] = 1;
                point[_mm_cvtsi128_si32(_mm_srli_si128(r, 4))] = 1;
            }
            double l[2], h[2];
            _mm_storeu_pd(l, lo0);
            _mm_storeu_pd(h, hi0);
            lo = std::min(l[0], l[1]);
            hi = std::max(h[0], h[1]);
            number &= _mm_movemask_pd(nan) == 0;
        }
#endif
        for (; k <= p1; ++k) {
            const double y = ys[k];
            number &= y == y;
            lo = std::min(lo, y);
            hi = std::max(hi, y);
            flag(y);
        }
        ylo = Coord(lo);
        yhi = Coord(hi);
        return number;
    }
    void ClearAll() {
        std::fill(m_point.begin(), m_point.end(), uint8_t(0));
    }
    // Whether row r (0 <= r < height) is lit: a point lies in the row above or below.
    bool Lit(int r) const {
        return (m_point[size_t(r)] | m_point[size_t(r) + 2]) != 0;
    }
    // Clears the point rows lo to hi.
    void Clear(int lo, int hi) {
        std::fill(m_point.begin() + lo + 1, m_point.begin() + hi + 2, uint8_t(0));
    }

private:
    int m_height;
    std::vector<uint8_t> m_point;
};

} // namespace

void DrawTraces(QPainter& p, const GraphModel& m, const AppSettings& s, bool decimate) {
    int64_t from = 0, to = 0;
    if (!SegmentRange(m, from, to))
        return;
    const bool marks = s.m_showMarkPoints == 1;
    const double dx = m.PointDistance();
    const int top = m.Layout().plotTop;
    const int bottom = m.Layout().plotBottom;

    int channels[2];
    int nch = 0;
    for (int ch = 0; ch < 2; ++ch)
        if (m.ChannelDrawn(s, ch))
            channels[nch++] = ch;
    if (nch == 0)
        return;
    const QPen pens[2] = {LinePen(p, ColourOf(s.m_ch1Color)), LinePen(p, ColourOf(s.m_ch2Color))};
    // On a plain image the dense columns are written straight into its pixels:
    // the same pixels an aliased opaque one-pixel pen lights, without the
    // painter's cost per line.
    const DirectWriter direct(p);
    const QRgb rgb[2] = {pens[0].color().rgb(), pens[1].color().rgb()};
    const double xf[2] = {m.FirstX(0), m.FirstX(1)};
    // Segments are taken in groups that end in the same pixel column; within a
    // group CH1 is drawn before CH2, so that with at most one point per column the
    // order is segment by segment.
    if (xf[0] != xf[1])
        decimate = false;
    // Marks are reduced per column only where the pixels are written directly.
    const bool reduceMarks = marks && decimate && direct.ok;
    MarkRows markRows(reduceMarks ? direct.height : 0);

    const Columns columns{xf[0], dx, m.Zoom().ScrollIndex()};
    const int slot = m.Zoom().Slot();
    const int64_t first = m.FirstPoint();
    int current = -1;
    auto usePen = [&](int ch) {
        if (current != ch) {
            p.setPen(pens[ch]);
            current = ch;
        }
    };
    int64_t i = from;
    while (i < to) {
        const int column = columns.Of(i);
        const int64_t end = columns.GroupEnd(i, to);
        for (int c = 0; c < nch; ++c) {
            const int ch = channels[c];
            if (!decimate || (marks && !reduceMarks) || end - i <= 2) {
                usePen(ch);
                DrawSegments(p, m, ch, i, end, xf[ch], dx, marks);
                continue;
            }
            // The points of this column: the head's end and the ends of the rest.
            // Strictly inside the plot none of their vertical segments is skipped,
            // and together they light exactly the column from the lowest to the
            // highest of them.
            const double* ys = m.YPlane(slot, ch);
            int ylo = 0, yhi = 0;
            const int64_t p0 = first + i - 1, p1 = first + end - 2;
            const bool number = reduceMarks ? markRows.AddSpan(ys, p0, p1, ylo, yhi)
                                            : RowSpan(ys, p0, p1, ylo, yhi);
            if (!number || ylo <= top || yhi >= bottom || (reduceMarks && yhi >= direct.height)) {
                if (reduceMarks)
                    markRows.ClearAll();
                usePen(ch);
                DrawSegments(p, m, ch, i, end, xf[ch], dx, marks);
                continue;
            }
            // The head: from the last point of the column before.
            const SegmentEnds e = EndsOf(m, ch, i, xf[ch], dx);
            if (!Skipped(m, e.y0, e.y1)) {
                if (!direct.ok || !direct.Line(e.x0, e.y0, e.x1, e.y1, rgb[ch])) {
                    usePen(ch);
                    p.drawLine(e.x0, e.y0, e.x1, e.y1);
                }
                if (marks) {
                    direct.Marks(e.x0, e.y0, rgb[ch]);
                    direct.Marks(e.x1, e.y1, rgb[ch]);
                }
            }
            if (!direct.ok) {
                usePen(ch);
                p.drawLine(column, ylo, column, yhi);
                continue;
            }
            if (!marks) {
                direct.Span(column, ylo, yhi, rgb[ch]);
                continue;
            }
            // Every point's marks: the rows above and below it in the columns on
            // either side, and the whole column from above the lowest to below
            // the highest (the trace lights the rows between). Row by row, so
            // that the three columns of a row are written together. Inside the plot
            // every row is a number well within int.
            const QRgb colour = rgb[ch];
            const int r0 = std::max(ylo - 1, 0);
            const int r1 = std::min(yhi + 1, direct.height - 1);
            if (column >= 1 && column + 1 < direct.width) {
                // Without a branch a row: the side pixels keep what they had
                // where the row is not lit.
                QRgb* px = direct.At(column - 1, r0);
                const qsizetype step = direct.stride / qsizetype(sizeof(QRgb));
                for (int r = r0; r <= r1; ++r, px += step) {
                    const bool lit = markRows.Lit(r);
                    px[0] = lit ? colour : px[0];
                    px[1] = colour;
                    px[2] = lit ? colour : px[2];
                }
            } else {
                for (int r = r0; r <= r1; ++r) {
                    if (markRows.Lit(r)) {
                        direct.Pixel(column - 1, r, colour);
                        direct.Pixel(column + 1, r, colour);
                    }
                    direct.Pixel(column, r, colour);
                }
            }
            markRows.Clear(ylo, yhi);
        }
        i = end;
    }
}

namespace {

// What every paint step reads: the model, its layout and the client's edges
// (L, T, R, B with R and B exclusive; H the info bar's height).
struct PaintContext {
    const GraphModel& m;
    const GraphLayout& g;
    const AppSettings& st;
    const RenderOptions& o;
    int L, T, R, B, H, W, Hp;
    QColor grey, background, gridColour;
    // Whether the X axis has label positions (a window with spacing).
    bool haveX;
};

// Steps 1-2 (printing: the band above the plot starts grey first, where the
// screen has the info bar): black client, grey frame panel, the plot's
// background. Where each lies inside the one before, only the uncovered part is
// filled.
void PaintFills(QPainter& p, const PaintContext& c) {
    using namespace GraphGeometry;
    const GraphLayout& g = c.g;
    if (c.o.printing)
        p.fillRect(QRect(0, 0, c.R, g.plotTop), c.grey);
    const QRect client(c.L, c.T + c.H, c.R - c.L, c.B - c.T - c.H);
    const QRect panel(QPoint(g.frameLeft, g.frameTop), QPoint(g.frameRight - 1, g.frameBottom - 1));
    const QRect plotFill(g.plotLeft - 1, g.plotTop, c.W + 1, c.Hp);
    FillAround(p, client, panel, Qt::black);
    FillAround(p, panel, plotFill, c.grey);
    p.fillRect(plotFill, c.background);
}

// Steps 3 and 5: the horizontal grid lines at the ticks, the vertical ones at the
// X labels.
void PaintGrid(QPainter& p, const PaintContext& c) {
    const GraphLayout& g = c.g;
    // On a plain image the dots are written straight into its pixels.
    const DirectWriter direct(p);
    const QRgb rgb = c.gridColour.rgb();
    bool penSet = false;
    auto line = [&](int x0, int y0, int x1, int y1) {
        if (direct.ok && direct.Dotted(x0, y0, x1, y1, rgb))
            return;
        if (!penSet)
            p.setPen(LinePen(p, c.gridColour, Qt::DotLine));
        penSet = true;
        p.drawLine(x0, y0, x1, y1);
    };
    if (c.st.m_showHorizontalGrid == 1) {
        for (int i = 0; i <= 10; ++i) {
            const int y = int(std::trunc(c.Hp * i * 0.1 + g.plotTop));
            line(g.plotLeft - 5, y, g.plotRight + 5, y);
        }
    }
    if (c.st.m_showVerticalGrid == 1 && c.haveX) {
        for (int i = 0; i < kXLabels; ++i) {
            const int x = Coord(c.m.XLabelX(i));
            line(x, g.plotBottom - 1, x, g.plotTop);
        }
    }
}

// Steps 8-9: hide what the traces drew outside the plot (printing: the band above
// the frame is grey as well).
void PaintOverpainting(QPainter& p, const PaintContext& c) {
    using namespace GraphGeometry;
    const GraphLayout& g = c.g;
    const int panelLeft = c.L + kPanelInset;
    const int panelWidth = c.R - c.L - 2 * kPanelInset;
    if (c.o.printing) {
        p.fillRect(QRect(panelLeft, g.plotTop - kPanelAbovePlot, panelWidth, kPanelAbovePlot),
                   c.grey);
        p.fillRect(QRect(0, 0, c.R, c.T + c.H), c.grey);
    }
    if (g.plotTop < g.plotBottom) {
        p.fillRect(QRect(panelLeft, g.plotBottom + 1, panelWidth, 60), c.grey);
        p.fillRect(QRect(panelLeft, g.plotTop - 10, panelWidth, 10), c.grey);
    }
    p.fillRect(QRect(panelLeft, g.plotTop - 10, g.plotLeft - panelLeft, c.Hp + 19), c.grey);
    p.fillRect(
        QRect(g.plotRight + 1, g.plotTop - 10, c.R - kPanelInset - g.plotRight - 1, c.Hp + 19),
        c.grey);
}

// Step 10: the tick values of both channels and their ticks on both edges.
void PaintYLabels(QPainter& p, const PaintContext& c, const QPen& tickPen) {
    const GraphLayout& g = c.g;
    for (int e = 0; e <= 10; ++e) {
        const int y = g.plotBottom - (e * c.Hp) / 10 - 8;
        p.setPen(Qt::black);
        const QString& t1 = c.m.YLabelText(0, e);
        TextAt(p, 88 - 5 * int(t1.size()), y, t1);
        TextAt(p, g.plotRight + 6, y, c.m.YLabelText(1, e));
        if (g.plotLeft < g.plotRight) {
            p.setPen(tickPen);
            const int ty = int(std::trunc(e * c.Hp * 0.1 + g.plotTop));
            p.drawLine(g.plotLeft - 5, ty, g.plotLeft, ty);
            p.drawLine(g.plotRight, ty, g.plotRight + 5, ty);
        }
    }
}

// Step 11: the X labels (numbers, or times over dates) and their ticks.
void PaintXLabels(QPainter& p, const PaintContext& c, const QPen& tickPen) {
    const GraphModel& m = c.m;
    const GraphLayout& g = c.g;
    if (m.LastPoint() < 1)
        return;
    const bool numbered = IsWaveformMode(m.Mode());
    if (m.PointCount() == 1 || m.LastPoint() == 1) {
        p.setPen(Qt::black);
        if (numbered) {
            TextAt(p, g.plotLeft, g.plotBottom + 5, QStringLiteral("1"));
        } else {
            const QString time = m.XLabelText(0);
            TextAt(p, g.plotLeft - 23, g.plotBottom + 5, time);
            TextAt(p, g.plotLeft - 23, g.plotBottom + 17, m.XLabelDate(0));
        }
        return;
    }
    if (!c.haveX)
        return;
    for (int i = 0; i < kXLabels; ++i) {
        const double x = m.XLabelX(i);
        if (x < g.plotLeft || x > g.plotRight)
            continue;
        const QString& text = m.XLabelText(i);
        const int xi = Coord(x);
        p.setPen(Qt::black);
        TextAt(p, xi - 7 * int(text.size()) / 2, g.plotBottom + 5, text);
        if (!numbered)
            TextAt(p, xi - 7 * int(text.size()) / 2, g.plotBottom + 17, m.XLabelDate(i));
        if (xi >= g.plotLeft && xi <= g.plotRight) {
            p.setPen(tickPen);
            p.drawLine(xi, g.plotBottom, xi, g.plotBottom + 5);
        }
    }
}

// Steps 10-11.
void PaintLabelsAndTicks(QPainter& p, const PaintContext& c) {
    p.setFont(AxisFont());
    const QPen tickPen = LinePen(p, c.gridColour);
    PaintYLabels(p, c, tickPen);
    PaintXLabels(p, c, tickPen);
}

// Steps 12-16: the bands around the frame panel (printing: white above it), the
// read-out line and the white frame.
void PaintFrame(QPainter& p, const PaintContext& c) {
    using namespace GraphGeometry;
    const GraphLayout& g = c.g;
    const int L = c.L, T = c.T, R = c.R, B = c.B, H = c.H;
    p.fillRect(QRect(L + kPanelInset, g.plotTop - 20, R - L - 2 * kPanelInset, 15), c.grey);
    p.fillRect(QRect(L, 0, R - L, g.plotTop - kPanelAbovePlot), Qt::black);
    p.fillRect(QRect(L, 0, R - L, T + H), c.grey);
    p.fillRect(QRect(L, g.plotBottom + kPanelBelowPlot, R - L, B - g.plotBottom - kPanelBelowPlot),
               Qt::black);
    p.fillRect(QRect(L, T + H, kPanelInset, B - T - H), Qt::black);
    p.fillRect(QRect(R - kPanelInset, T + H, kPanelInset, B - T - H), Qt::black);
    if (c.o.printing)
        p.fillRect(QRect(0, 0, R, T + H + 5), Qt::white);

    p.setFont(LegendFont());
    const QRect readout(g.plotLeft - 80, g.plotBottom + 75, c.W + 178, 20);
    if (c.o.printing)
        p.fillRect(readout, Qt::black);
    // A read-out belongs to the mouse on the screen; a page carries none.
    if (!c.o.printing && !c.m.ReadoutText().isEmpty()) {
        p.setPen(c.grey);
        p.setBackgroundMode(Qt::OpaqueMode);
        p.setBackground(Qt::black);
        TextAt(p, readout.x(), readout.y(), c.m.ReadoutText());
        p.setBackgroundMode(Qt::TransparentMode);
    }

    QPen framePen(Qt::white, 2);
    framePen.setJoinStyle(Qt::MiterJoin);
    p.setPen(framePen);
    const QPoint frame[] = {{L + 10, T + H + 10},
                            {R - 10, T + H + 10},
                            {R - 10, B - 10},
                            {L + 10, B - 10},
                            {L + 10, T + H + 9}};
    p.drawPolyline(frame, 5);
}

// Step 17: the channel legends under the plot's corners.
void PaintLegends(QPainter& p, const PaintContext& c) {
    const GraphModel& m = c.m;
    const GraphLayout& g = c.g;
    p.setFont(LegendFont());
    p.setBackgroundMode(Qt::OpaqueMode);
    p.setBackground(c.background);
    const bool power = m.Mode() == GraphMode::RealTimeApparentPower;
    if (m.ChannelPresent(0) == 1) {
        const QString& unit = m.ChannelUnit(0);
        p.setPen(ColourOf(c.st.m_ch1Color));
        if (power)
            TextAt(p, c.L + 60, g.plotBottom + 31, unit);
        else
            TextAt(p, c.L - 5 * int(unit.size()) + 50, g.plotBottom + 31,
                   QStringLiteral("CH1 ") + unit);
    }
    if (m.ChannelPresent(1) == 1 && !power) {
        p.setPen(ColourOf(c.st.m_ch2Color));
        TextAt(p, g.plotRight + 1, g.plotBottom + 31, QStringLiteral("CH2 ") + m.ChannelUnit(1));
    }
    p.setBackgroundMode(Qt::TransparentMode);
}

} // namespace

PaintedFrame PaintGraph(QPainter& p, const GraphModel& m, const GraphInputs& in,
                        const RenderOptions& o) {
    const AppSettings& st = in.settings;
    const GraphLayout& g = m.Layout();
    const int W = g.W();
    const PaintContext c{m,
                         g,
                         st,
                         o,
                         0,
                         0,
                         g.client.width(),
                         g.client.height(),
                         g.infoBar,
                         W,
                         g.Hp(),
                         o.panelGrey,
                         ColourOf(st.m_bgColor),
                         ColourOf(st.m_gridColor),
                         m.LastPoint() >= 1 && m.PointDistance() > 0 && W > 0};
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setBackgroundMode(Qt::TransparentMode);

    PaintFills(p, c);
    PaintGrid(p, c);
    DrawTraces(p, m, st, o.decimate);
    PaintOverpainting(p, c);
    if (c.o.printing) {
        // A page blanks the band above the plot for its information lines; the top
        // labels reach into that band and go over it whole.
        PaintFrame(p, c);
        PaintLabelsAndTicks(p, c);
    } else {
        PaintLabelsAndTicks(p, c);
        PaintFrame(p, c);
    }
    PaintLegends(p, c);
    return PaintedFrame{QRect(QPoint(g.plotLeft, g.plotTop), QPoint(g.plotRight, g.plotBottom))};
}

void PaintReadout(QPainter& p, const GraphModel& m, const QColor& panelGrey) {
    const GraphLayout& g = m.Layout();
    const QRect strip(g.plotLeft - 80, g.plotBottom + 75, g.W() + 178, 20);
    p.fillRect(strip, Qt::black);
    if (m.ReadoutText().isEmpty())
        return;
    p.setClipRect(strip);
    p.setFont(LegendFont());
    p.setPen(panelGrey);
    TextAt(p, strip.x(), strip.y(), m.ReadoutText());
    p.setClipping(false);
}
