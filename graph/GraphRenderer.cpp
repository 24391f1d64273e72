#include "graph/GraphRenderer.h"

#include "base/Fonts.h"
#include "base/Settings.h"
#include "data/MeasurementSet.h"
#include "graph/Envelope.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
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
    bool gap = false; // an end has no value (a sample without a power figure)
};

// Ends of segment i of channel ch; the caller checks the window.
SegmentEnds EndsOf(const GraphModel& m, int ch, int64_t i, double xf, double dx) {
    const int slot = m.Zoom().Slot();
    const int64_t s = m.Zoom().ScrollIndex();
    const int64_t a = int64_t(m.FirstPoint()) + i - 2;
    const double y0 = m.YPix(a, slot, ch);
    const double y1 = m.YPix(a + 1, slot, ch);
    // Only the power graphs' samples may lack a value; elsewhere a NaN is drawn as
    // every other path of the renderer draws it.
    const bool gap = HasValueGaps(m.Mode()) && (std::isnan(y0) || std::isnan(y1));
    return SegmentEnds{Coord(xf + dx * double(s + i - 1)), Coord(y0),
                       Coord(xf + dx * double(s + i)), Coord(y1), gap};
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
        if (x >= 1 && x + 1 < width && y >= 1 && y + 1 < height) {
            for (QRgb* row : {At(x - 1, y - 1), At(x - 1, y + 1)})
                row[0] = row[1] = row[2] = c;
            return;
        }
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
    if (e.gap || Skipped(m, e.y0, e.y1))
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
        if (!e.gap && !Skipped(m, e.y0, e.y1))
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

// The lowest and highest pixel rows of points p0 to p1 of a plane, walking every
// point; false when one of them is not a number.
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

// The rows of each point of one channel: the model's, or computed from the values.
struct PointRows {
    const double* ys = nullptr;
    GraphModel::Series series;
    GraphModel::RowScale rows;
    const Envelope* envelope = nullptr; // of the series, when it has one
    double perRow = 0;                  // 1 / rows.scale (values a row), when not 0
    // Value -> row gives usable bounds in values for the rows of the plot (a
    // finite scale, values well inside single precision), and the margin that
    // makes such a bound safe anywhere in the plot (see InsideValues).
    bool bounded = false;
    double margin = 0;
    double operator()(int64_t k) const {
        return ys ? ys[k] : rows.Y(k < series.count ? double(series.At(k)) : 0.0);
    }
};

// The lowest and highest of values p0..p1 of a plain series (stride 1, no
// product); false when one of them is not a number.
bool PlainValueSpan(const float* v, int64_t p0, int64_t p1, float& lo, float& hi) {
    lo = hi = v[p0];
    bool number = lo == lo;
    int64_t k = p0 + 1;
#if defined(__SSE2__)
    if (p1 - k >= 7) {
        __m128 lo0 = _mm_set1_ps(lo), lo1 = lo0, hi0 = lo0, hi1 = lo0;
        __m128 nan = _mm_setzero_ps();
        for (; k + 7 <= p1; k += 8) {
            const __m128 a = _mm_loadu_ps(v + k);
            const __m128 b = _mm_loadu_ps(v + k + 4);
            nan = _mm_or_ps(nan, _mm_or_ps(_mm_cmpunord_ps(a, a), _mm_cmpunord_ps(b, b)));
            lo0 = _mm_min_ps(lo0, a);
            lo1 = _mm_min_ps(lo1, b);
            hi0 = _mm_max_ps(hi0, a);
            hi1 = _mm_max_ps(hi1, b);
        }
        alignas(16) float l[4], h[4];
        _mm_store_ps(l, _mm_min_ps(lo0, lo1));
        _mm_store_ps(h, _mm_max_ps(hi0, hi1));
        lo = std::min({l[0], l[1], l[2], l[3]});
        hi = std::max({h[0], h[1], h[2], h[3]});
        number &= _mm_movemask_ps(nan) == 0;
    }
#endif
    for (; k <= p1; ++k) {
        const float y = v[k];
        number &= y == y;
        lo = std::min(lo, y);
        hi = std::max(hi, y);
    }
    return number;
}

// As RowSpan, the rows computed from the values: value -> row is monotone (in
// either direction), so the rows of the lowest and the highest value are the
// column's extreme rows. Points past the data are at value 0.
bool ValueRowSpan(const GraphModel::Series& s, const GraphModel::RowScale& rows, int64_t p0,
                  int64_t p1, int& ylo, int& yhi) {
    const int64_t held = std::min(p1, s.count - 1);
    float lo = 0, hi = 0;
    bool number = true;
    if (held < p0) {
        lo = hi = 0.0f;
    } else if (!s.q && s.stride == 1) {
        number = PlainValueSpan(s.p, p0, held, lo, hi);
    } else {
        lo = hi = s.At(p0);
        for (int64_t k = p0; k <= held; ++k) {
            const float v = s.At(k);
            number &= v == v;
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    }
    if (held < p1) {
        lo = std::min(lo, 0.0f);
        hi = std::max(hi, 0.0f);
    }
    const double a = rows.Y(double(lo)), b = rows.Y(double(hi));
    ylo = Coord(std::min(a, b));
    yhi = Coord(std::max(a, b));
    return number && a == a && b == b;
}

// The rows that the mark points of a column's points light in the columns on
// either side: the row above and the row below each point. One flag a row of
// the image (and a row just outside it on either side) for the rows that hold a
// point, cleared again after each column.
class MarkRows {
public:
    explicit MarkRows(int height)
        : m_height(std::max(height, 1)), m_point(size_t(m_height) + 2, 0) {}
    // Flags the row of a point (a row outside the image goes to its edge, a NaN
    // to row 0; the columns flagged here hold neither).
    void Flag(double y) {
        const double last = double(m_height - 1);
        const double c = y > 0 ? (y < last ? y : last) : 0.0;
        m_point[size_t(c) + 1] = 1;
    }
    void FlagAll(const PointRows& rows, int64_t p0, int64_t p1) {
        const GraphModel::Series& s = rows.series;
        if (!rows.ys && !s.q && s.stride == 1 && p1 < s.count) {
            const GraphModel::RowScale r = rows.rows;
            for (int64_t k = p0; k <= p1; ++k)
                Flag(r.Y(double(s.p[k])));
            return;
        }
        for (int64_t k = p0; k <= p1; ++k)
            Flag(rows(k));
    }
    // Whether row r (0 <= r < height) is lit: a point lies in the row above or below.
    bool Lit(int r) const { return (m_point[size_t(r)] | m_point[size_t(r) + 2]) != 0; }
    // Clears the point rows lo to hi.
    void Clear(int lo, int hi) {
        std::fill(m_point.begin() + lo + 1, m_point.begin() + hi + 2, uint8_t(0));
    }

private:
    int m_height;
    std::vector<uint8_t> m_point;
};

// The points of a column whose rows lie outside a band of rows that the
// neighbouring columns cover: few, so the search mostly only compares. The band
// is open on a side where no point of the column can lie beyond it.
struct RowBand {
    // Rows y with below <= y < above are inside; a side is searched only when
    // `needBelow` / `needAbove`.
    double below = 0, above = 0;
    bool needBelow = true, needAbove = true;
    // The edges that count: a side not searched is pushed out of reach.
    double lowEdge = 0, highEdge = 0;
    static RowBand Of(double below, double above, bool needBelow, bool needAbove) {
        constexpr double kInf = std::numeric_limits<double>::infinity();
        return RowBand{below,
                       above,
                       needBelow,
                       needAbove,
                       needBelow ? below : -kInf,
                       needAbove ? above : kInf};
    }
    // Without a branch: whether a found value is outside is as good as a coin.
    bool Outside(double y) const { return (y < lowEdge) | (y >= highEdge); }
};

// Values p0..p1 of v: those not strictly between fa and fb have their rows
// computed and handed to `out` when outside the band.
template <class Out>
void OutsideValues(const float* v, const GraphModel::RowScale& r, int64_t p0, int64_t p1, float fa,
                   float fb, const RowBand& band, Out&& out) {
    auto exact = [&](int64_t i) {
        const double y = r.Y(double(v[i]));
        if (band.Outside(y))
            out(y);
    };
    int64_t k = p0;
#if defined(__SSE2__)
    const __m128 va = _mm_set1_ps(fa), vb = _mm_set1_ps(fb);
    for (; k + 7 <= p1; k += 8) {
        const __m128 x = _mm_loadu_ps(v + k);
        const __m128 y = _mm_loadu_ps(v + k + 4);
        const int inside =
            _mm_movemask_ps(_mm_and_ps(_mm_cmpgt_ps(x, va), _mm_cmplt_ps(x, vb))) |
            (_mm_movemask_ps(_mm_and_ps(_mm_cmpgt_ps(y, va), _mm_cmplt_ps(y, vb))) << 4);
        // Mostly all inside; the few others one by one.
        for (unsigned rest = ~unsigned(inside) & 0xFFu; rest != 0; rest &= rest - 1)
            exact(k + std::countr_zero(rest));
    }
#endif
    for (; k <= p1; ++k)
        if (!(v[k] > fa && v[k] < fb))
            exact(k);
}

// Of the 32 values from v on, those not strictly between fa and fb, as bit i
// for v[i]: one pass without a branch, so that the few found cost a jump each.
static_assert(Envelope::kLeaf == 32, "a leaf's values are one 32-bit mask");
uint32_t ValuesReaching(const float* v, float fa, float fb) {
#if defined(__SSE2__)
    // The compares of 16 values packed into one vector, a byte a value.
    const __m128 va = _mm_set1_ps(fa), vb = _mm_set1_ps(fb);
    auto inside = [&](int b) {
        const __m128 x = _mm_loadu_ps(v + b);
        return _mm_castps_si128(_mm_and_ps(_mm_cmpgt_ps(x, va), _mm_cmplt_ps(x, vb)));
    };
    const __m128i low = _mm_packs_epi16(_mm_packs_epi32(inside(0), inside(4)),
                                        _mm_packs_epi32(inside(8), inside(12)));
    const __m128i high = _mm_packs_epi16(_mm_packs_epi32(inside(16), inside(20)),
                                         _mm_packs_epi32(inside(24), inside(28)));
    return ~(uint32_t(_mm_movemask_epi8(low)) | (uint32_t(_mm_movemask_epi8(high)) << 16));
#else
    uint32_t reaching = 0;
    for (int i = 0; i < 32; ++i)
        reaching |= uint32_t(!(v[i] > fa && v[i] < fb)) << i;
    return reaching;
#endif
}

// The values of a plain series whose rows surely lie inside the band: strictly
// between fa and fb (the band's edges in values, made narrower so that a value
// inside them surely has its row inside; an open side is infinite). False when
// the scale gives no such bounds.
bool InsideValues(const PointRows& rows, const RowBand& band, float& fa, float& fb) {
    const GraphModel::RowScale& r = rows.rows;
    if (!rows.bounded)
        return false;
    // The value at each edge, and whether it bounds the values from below (the
    // row falls as the value rises when the scale is positive).
    const double perRow = rows.perRow;
    const double atBelow = r.t0 + (r.bottom - band.below) * perRow;
    const double atAbove = r.t0 + (r.bottom - band.above) * perRow;
    const bool rising = r.scale > 0;
    double a = rising ? atAbove : atBelow, b = rising ? atBelow : atAbove;
    a += rows.margin;
    b -= rows.margin;
    if (!(a < b))
        return false;
    constexpr float kInf = std::numeric_limits<float>::infinity();
    // A side not searched bounds nothing.
    fa = (rising ? band.needAbove : band.needBelow) ? float(a) : -kInf;
    fb = (rising ? band.needBelow : band.needAbove) ? float(b) : kInf;
    return true;
}

// Sets whether value -> row of `rows` gives bounds for the rows of a band anywhere
// from row top - 1 to row bottom + 1, and the margin that narrows them: far wider
// than the rounding of the rows in double precision and than the rounding to
// single precision (half a unit in 2^24) of any value there, so that a value
// strictly between the narrowed bounds surely has its row inside the band.
void SetValueBounds(PointRows& rows, int top, int bottom) {
    const GraphModel::RowScale& r = rows.rows;
    rows.bounded = false;
    if (!(r.scale != 0))
        return;
    // Value -> row is linear: the largest value in size lies at an end.
    const double atTop = r.t0 + (r.bottom - double(top - 1)) * rows.perRow;
    const double atBottom = r.t0 + (r.bottom - double(bottom + 1)) * rows.perRow;
    const double largest = std::max(std::fabs(atTop), std::fabs(atBottom));
    rows.margin = 1e-6 * (2.0 * largest + std::fabs(r.t0)) + 1e-30;
    rows.bounded =
        std::isfinite(largest) && std::isfinite(rows.margin) && largest + rows.margin <= 1e37;
}

// The points of p0..p1 in leaf j of a plain series whose rows lie outside the
// band, to `out`: the whole leaf compared at once, then only the values found.
// Most leaves read here hold one such value: the first is taken without a branch
// (any value of the leaf when none), the rest one by one.
template <class Out>
void OutsideInLeaf(const PointRows& rows, int64_t p0, int64_t p1, int64_t j, float fa, float fb,
                   const RowBand& band, Out&& out) {
    const GraphModel::Series& s = rows.series;
    const int64_t first = j << Envelope::kLeafShift;
    const int64_t a0 = std::max(p0, first);
    const int64_t a1 = std::min(p1, first + Envelope::kLeaf - 1);
    if (first + Envelope::kLeaf > s.count) {
        OutsideValues(s.p, rows.rows, a0, a1, fa, fb, band, out);
        return;
    }
    uint32_t bits = ValuesReaching(s.p + first, fa, fb);
    bits &= (~0u >> (31 - int(a1 - first))) & (~0u << int(a0 - first));
    const double y0 = rows.rows.Y(double(s.p[first + std::countr_zero(bits | 0x80000000u)]));
    out.Maybe(y0, (bits != 0) & band.Outside(y0));
    for (bits &= bits - 1; bits != 0; bits &= bits - 1) {
        const double y = rows.rows.Y(double(s.p[first + std::countr_zero(bits)]));
        if (band.Outside(y))
            out(y);
    }
}

// As OutsideInLeaf, from the envelope alone where leaf j reaches past one bound
// (fa or fb) with one value only: that is its lowest (highest) value, which the
// envelope names with its place. False, nothing handed on, where the leaf's values
// must be read: two or more reach out, or one is not a number.
template <class Out>
bool ExtremeInLeaf(const PointRows& rows, int64_t p0, int64_t p1, int64_t j, float fa, float fb,
                   const RowBand& band, Out&& out) {
    const Envelope& e = *rows.envelope;
    const auto [lo, hi] = e.Leaf(j);
    const Envelope::LeafTails t = e.Tails(j);
    const bool low = lo <= fa, high = hi >= fb;
    if ((hi != hi) | (low & high) | (low & (t.lo2 <= fa)) | (high & (t.hi2 >= fb)))
        return false;
    const int64_t first = j << Envelope::kLeafShift;
    const int64_t at = first + (low ? t.loAt : t.hiAt);
    const double y = rows.rows.Y(double(low ? lo : hi));
    out.Maybe(y, (at >= p0) & (at <= p1) & band.Outside(y));
    return true;
}

// Hands the row of each point of p0..p1 of a plain series with an envelope that
// lies outside the band to `out`, passing over the leaves whose values all lie
// strictly between fa and fb (that of a part of one too).
template <class Out>
void OutsideInLeaves(const PointRows& rows, int64_t p0, int64_t p1, float fa, float fb,
                     const RowBand& band, Out&& out) {
    const Envelope& e = *rows.envelope;
    const int64_t last = p1 >> Envelope::kLeafShift;
    for (int64_t j0 = p0 >> Envelope::kLeafShift; j0 <= last; j0 += 32) {
        const int n = int(std::min<int64_t>(32, last - j0 + 1));
        for (uint32_t reaching = e.LeavesReaching(j0, n, fa, fb); reaching != 0;
             reaching &= reaching - 1) {
            const int64_t j = j0 + std::countr_zero(reaching);
            if (!ExtremeInLeaf(rows, p0, p1, j, fa, fb, band, out))
                OutsideInLeaf(rows, p0, p1, j, fa, fb, band, out);
        }
    }
}

// As OutsidePoints, from the rows the model keeps.
template <class Out>
void OutsideRows(const double* ys, int64_t p0, int64_t p1, const RowBand& band, Out&& out) {
    // A side not searched is pushed out of reach.
    const double below = band.lowEdge, above = band.highEdge;
    int64_t k = p0;
#if defined(__SSE2__)
    const __m128d b = _mm_set1_pd(below), a = _mm_set1_pd(above);
    for (; k + 1 <= p1; k += 2) {
        const __m128d y = _mm_loadu_pd(ys + k);
        const int outside = _mm_movemask_pd(_mm_or_pd(_mm_cmplt_pd(y, b), _mm_cmpge_pd(y, a)));
        if (outside & 1)
            out(ys[k]);
        if (outside & 2)
            out(ys[k + 1]);
    }
#endif
    for (; k <= p1; ++k)
        if (ys[k] < below || ys[k] >= above)
            out(ys[k]);
}

// Hands the row of each point of p0..p1 (numbers, all of them) that lies
// outside the band to `out`. Of a plain series with an envelope, the leaves
// whose values all lie inside are passed over (that of a part of one too).
template <class Out>
void OutsidePoints(const PointRows& rows, int64_t p0, int64_t p1, const RowBand& band, Out&& out) {
    if (!band.needBelow && !band.needAbove)
        return;
    const GraphModel::Series& s = rows.series;
    float fa = 0, fb = 0;
    if (!rows.ys && !s.q && s.stride == 1 && p1 < s.count && InsideValues(rows, band, fa, fb)) {
        if (rows.envelope && p1 < rows.envelope->Count())
            OutsideInLeaves(rows, p0, p1, fa, fb, band, out);
        else
            OutsideValues(s.p, rows.rows, p0, p1, fa, fb, band, out);
        return;
    }
    if (rows.ys) {
        OutsideRows(rows.ys, p0, p1, band, out);
        return;
    }
    for (int64_t k = p0; k <= p1; ++k) {
        const double y = rows(k);
        if (band.Outside(y))
            out(y);
    }
}

// Below this many points a column's rows are walked rather than looked up: the
// walk streams through the model's rows, while a lookup waits for the few values
// it needs, each far from the last column's. Below kSummariseFrom points a series
// is not summarised at all (a live waveform, overwritten by every frame, is
// walked).
constexpr int64_t kLookUpFrom = 512;
constexpr int64_t kSummariseFrom = 4096;
// From this many points a column, the marks of a stored series pass over the
// envelope's leaves that need none.
constexpr int64_t kMarkLeavesFrom = 64;

// Where a channel's rows come from besides the model's pixel arrays: the envelope
// of its series, and value -> row as the model scales the current slot.
struct RowSource {
    const Envelope* envelope = nullptr;
    GraphModel::Series series;
    GraphModel::RowScale rows;
    // The model keeps no rows of this series for the slot shown: every row is
    // computed here from the values, as the model would.
    bool values = false;
    // The envelope serves the rows of dense columns (not only their marks).
    bool lookUps = false;
    double Y(float v) const { return rows.Y(double(v)); }
    double YOf(int64_t k) const { return rows.Y(k < series.count ? double(series.At(k)) : 0.0); }
    // Whether the model's row of point k is the one computed here.
    bool Agrees(const double* ys, int64_t k) const {
        const double y = YOf(k);
        return ys[k] == y || (ys[k] != ys[k] && y != y);
    }
};

// One channel in one pixel column: the rows of its points, and whether the column
// is drawn as one vertical stroke (enough points, all of them numbers strictly
// inside the plot) rather than segment by segment.
struct ChannelColumn {
    int lo = 0, hi = 0;
    bool stroke = false;
    SegmentEnds head{}; // of a stroke: the segment from the column before
};

// A group of segments ending in the same pixel column.
struct ColumnGroup {
    int64_t i = 0, end = 0;
    int column = 0;
    std::array<ChannelColumn, 2> ch{};
};

// What drawing the traces of one paint reads.
struct TraceJob {
    TraceJob(QPainter& painter, const GraphModel& model, const AppSettings& s)
        : p(painter), m(model), direct(painter) {
        for (int c = 0; c < 2; ++c)
            if (m.ChannelDrawn(s, c))
                channels[size_t(nch++)] = c;
        pens = {LinePen(p, ColourOf(s.m_ch1Color)), LinePen(p, ColourOf(s.m_ch2Color))};
        rgb = {pens[0].color().rgb(), pens[1].color().rgb()};
        xf = {m.FirstX(0), m.FirstX(1)};
        marks = s.m_showMarkPoints == 1;
        dx = m.PointDistance();
        top = m.Layout().plotTop;
        bottom = m.Layout().plotBottom;
        slot = m.Zoom().Slot();
        first = m.FirstPoint();
    }
    void UsePen(int ch) {
        if (current != ch)
            p.setPen(pens[size_t(ch)]);
        current = ch;
    }
    // The other channel drawn beside ch, or -1.
    int Other(int ch) const { return nch == 2 ? channels[size_t(channels[0] == ch)] : -1; }

    QPainter& p;
    const GraphModel& m;
    // On a plain image the dense columns are written straight into its pixels: the
    // same pixels an aliased opaque one-pixel pen lights, without the painter's
    // cost per line.
    const DirectWriter direct;
    std::array<int, 2> channels{};
    int nch = 0;
    std::array<QPen, 2> pens;
    std::array<QRgb, 2> rgb{};
    std::array<double, 2> xf{};
    std::array<RowSource, 2> sources{};
    std::array<double, 2> perRow{};
    std::array<PointRows, 2> rows{}; // of each channel, from its source
    bool marks = false, decimate = true, reduceMarks = false;
    double dx = 0;
    int top = 0, bottom = 0, slot = 0, current = -1;
    int64_t first = 0;
};

// The rows of channel ch's points, wherever the model keeps them.
const PointRows& RowsOf(const TraceJob& t, int ch) {
    return t.rows[size_t(ch)];
}

// The rows of channel ch's points in group g and whether the group is one stroke.
ChannelColumn PlanChannel(const TraceJob& t, const ColumnGroup& g, int ch) {
    ChannelColumn c;
    if (!t.decimate || (t.marks && !t.reduceMarks) || g.end - g.i <= 2)
        return c;
    // The points of this column: the head's end and the ends of the rest.
    const int64_t p0 = t.first + g.i - 1, p1 = t.first + g.end - 2;
    const RowSource& src = t.sources[size_t(ch)];
    const double xf = t.xf[size_t(ch)];
    bool number = false;
    if (src.lookUps && p1 - p0 >= kLookUpFrom && p1 < src.envelope->Count()) {
        // Rows from values, as the model computes them (which the source checked):
        // no row of this column is read from the model's arrays.
        const Envelope::Range r = src.envelope->Of(src.series, p0, p1);
        const double a = src.Y(r.lo), b = src.Y(r.hi);
        number = r.number && a == a && b == b;
        c.lo = Coord(std::min(a, b));
        c.hi = Coord(std::max(a, b));
        const int64_t s = t.m.Zoom().ScrollIndex();
        const double y0 = src.YOf(p0 - 1), y1 = src.YOf(p0);
        c.head = SegmentEnds{Coord(xf + t.dx * double(s + g.i - 1)), Coord(y0),
                             Coord(xf + t.dx * double(s + g.i)), Coord(y1),
                             HasValueGaps(t.m.Mode()) && (std::isnan(y0) || std::isnan(y1))};
    } else if (src.values) {
        number = ValueRowSpan(src.series, src.rows, p0, p1, c.lo, c.hi);
        c.head = EndsOf(t.m, ch, g.i, xf, t.dx);
    } else {
        number = RowSpan(t.m.YPlane(t.slot, ch), p0, p1, c.lo, c.hi);
        c.head = EndsOf(t.m, ch, g.i, xf, t.dx);
    }
    // Strictly inside the plot none of the column's vertical segments is skipped,
    // and together they light exactly the column from the lowest to the highest.
    c.stroke =
        number && c.lo > t.top && c.hi < t.bottom && (!t.reduceMarks || c.hi < t.direct.height);
    return c;
}

// Starts loading what planning the group that begins at segment i will read: the
// values at both of its ends (or the rows, for a column walked). A dense column's
// points lie far apart from the last column's, where no hardware prefetcher
// follows.
void Prefetch(const TraceJob& t, int64_t i) {
    for (int c = 0; c < t.nch; ++c) {
        const int ch = t.channels[size_t(c)];
        const int64_t a = t.first + i - 2;
        const RowSource& src = t.sources[size_t(ch)];
        if (src.values && (!src.lookUps || a + 1 >= src.envelope->Count())) {
            if (a >= 0 && a < src.series.count)
                __builtin_prefetch(src.series.p + size_t(a) * src.series.stride);
            continue;
        }
        if (!src.envelope || a + 1 >= src.envelope->Count()) {
            if (a < t.m.WorkBufferPoints())
                __builtin_prefetch(t.m.YPlane(t.slot, ch) + a);
            continue;
        }
        const size_t k = size_t(a) * src.series.stride;
        const size_t back = size_t(Envelope::kLeaf) * src.series.stride;
        for (const float* v : {src.series.p, src.series.q}) {
            if (v) {
                __builtin_prefetch(v + k);
                __builtin_prefetch(v + (k > back ? k - back : 0));
            }
        }
        src.envelope->Prefetch(a + 1);
    }
}

// Segments are taken in groups that end in the same pixel column; within a group
// CH1 is drawn before CH2, so that with at most one point per column the order is
// segment by segment. Groups are planned two columns ahead of the one drawn (its
// marks look at both neighbours), so that the points a column's drawing reads
// again are still at hand.
class ColumnPlanner {
public:
    ColumnPlanner(const TraceJob& t, int64_t from, int64_t to)
        : m_t(t), m_columns{t.xf[0], t.dx, t.m.Zoom().ScrollIndex()}, m_next(from), m_to(to),
          // How many segments lie eight columns ahead.
          m_ahead(t.dx < 1.0 ? int64_t(8.0 / t.dx) : 0) {}
    const std::vector<ColumnGroup>& Plan() const { return m_plan; }
    // Plans groups until group `j` is planned or none is left.
    void PlanTo(size_t j) {
        while (m_plan.size() <= j && m_next < m_to)
            PlanNext();
    }
    bool Done(size_t j) const { return j >= m_plan.size() && m_next >= m_to; }

private:
    void PlanNext() {
        if (m_ahead > 0 && m_next + m_ahead < m_to)
            Prefetch(m_t, m_next + m_ahead);
        ColumnGroup g;
        g.i = m_next;
        g.column = m_columns.Of(m_next);
        g.end = m_columns.GroupEnd(m_next, m_to);
        for (int c = 0; c < m_t.nch; ++c) {
            const int ch = m_t.channels[size_t(c)];
            g.ch[size_t(ch)] = PlanChannel(m_t, g, ch);
        }
        m_plan.push_back(g);
        m_next = g.end;
    }

    const TraceJob& m_t;
    const Columns m_columns;
    int64_t m_next, m_to;
    const int64_t m_ahead;
    std::vector<ColumnGroup> m_plan;
};

// The head of a stroke column: the segment from the last point of the column
// before, with its marks when `marks`.
void DrawHead(TraceJob& t, const ColumnGroup& g, int ch, bool marks) {
    // A power sample without a figure just before the column is a gap, as it is
    // between the columns' own points.
    const SegmentEnds& e = g.ch[size_t(ch)].head;
    if (e.gap || Skipped(t.m, e.y0, e.y1))
        return;
    const QRgb colour = t.rgb[size_t(ch)];
    if (!t.direct.ok || !t.direct.Line(e.x0, e.y0, e.x1, e.y1, colour)) {
        t.UsePen(ch);
        t.p.drawLine(e.x0, e.y0, e.x1, e.y1);
    }
    if (marks) {
        t.direct.Marks(e.x0, e.y0, colour);
        t.direct.Marks(e.x1, e.y1, colour);
    }
}

// A stroke column's marks from every point: the rows above and below each point
// in the columns on either side, and the whole column from above the lowest to
// below the highest (the trace lights the rows between). Row by row, so that the
// three columns of a row are written together.
void MarkEveryPoint(const TraceJob& t, const ColumnGroup& g, int ch, MarkRows& rows) {
    const DirectWriter& d = t.direct;
    const ChannelColumn& c = g.ch[size_t(ch)];
    rows.FlagAll(RowsOf(t, ch), t.first + g.i - 1, t.first + g.end - 2);
    const QRgb colour = t.rgb[size_t(ch)];
    const int r0 = std::max(c.lo - 1, 0);
    const int r1 = std::min(c.hi + 1, d.height - 1);
    const int x = g.column;
    if (x >= 1 && x + 1 < d.width) {
        // Without a branch a row: the side pixels keep what they had where the
        // row is not lit.
        QRgb* px = d.At(x - 1, r0);
        const qsizetype step = d.stride / qsizetype(sizeof(QRgb));
        for (int r = r0; r <= r1; ++r, px += step) {
            const bool lit = rows.Lit(r);
            px[0] = lit ? colour : px[0];
            px[1] = colour;
            px[2] = lit ? colour : px[2];
        }
    } else {
        for (int r = r0; r <= r1; ++r) {
            if (rows.Lit(r)) {
                d.Pixel(x - 1, r, colour);
                d.Pixel(x + 1, r, colour);
            }
            d.Pixel(x, r, colour);
        }
    }
    rows.Clear(c.lo, c.hi);
}

// Rows where a mark of column j's points can show in a neighbouring column:
// where both neighbours are strokes of the same channel, a point whose row lies
// within both neighbours' rows marks pixels their own strokes (with their marks)
// light as well. That holds only where the other channel cannot have drawn over
// those strokes in between: its rows in the columns around must stay clear of
// them. Gives the rows lo..hi whose points can be left out, false when none can.
// Only for a group j with two groups planned on either side, in the columns next
// to its own (NeighboursAdjoin).
bool CoveredRows(const TraceJob& t, const std::vector<ColumnGroup>& plan, size_t j, int ch, int& lo,
                 int& hi) {
    const ChannelColumn& l = plan[j - 1].ch[size_t(ch)];
    const ChannelColumn& r = plan[j + 1].ch[size_t(ch)];
    const ChannelColumn& self = plan[j].ch[size_t(ch)];
    if (!l.stroke || !r.stroke)
        return false;
    lo = std::max(l.lo, r.lo);
    hi = std::min(l.hi, r.hi);
    const int other = t.Other(ch);
    if (lo > hi || other < 0)
        return lo <= hi;
    int olo = INT_MAX, ohi = INT_MIN;
    for (size_t d = j - 2; d <= j + 2; ++d) {
        const ChannelColumn& o = plan[d].ch[size_t(other)];
        if (!o.stroke)
            return false;
        olo = std::min(olo, o.lo);
        ohi = std::max(ohi, o.hi);
    }
    const int mlo = std::min({l.lo, r.lo, self.lo}), mhi = std::max({l.hi, r.hi, self.hi});
    return mhi + 1 < olo - 1 || ohi + 1 < mlo - 1;
}

// Whether group j has two groups on either side, each in the next pixel column.
bool NeighboursAdjoin(const std::vector<ColumnGroup>& plan, size_t j) {
    if (j < 2 || j + 2 >= plan.size())
        return false;
    for (size_t d = j - 2; d <= j + 2; ++d)
        if (plan[d].column != plan[j].column + int(d) - int(j))
            return false;
    return true;
}

// The marks of a column's point in the columns on either side: the rows above
// and below it. Rows here lie inside the plot, hence inside the image or just
// below it.
class MarkSides {
public:
    MarkSides(const DirectWriter& d, int x, QRgb colour)
        : m_d(d), m_x(x), m_colour(colour), m_inner(x >= 1 && x + 1 < d.width) {}
    void operator()(double y) const { Maybe(y, true); }
    // The marks of row y when `take`, written without a branch where they lie
    // well inside the image (to a scratch pixel when not taken).
    void Maybe(double y, bool take) const {
        const bool inside = take & m_inner & (y >= 1.0) & (y < double(m_d.height - 1));
        const int r = int(inside ? y : 1.0);
        QRgb* const above = inside ? m_d.At(m_x - 1, r - 1) : m_scratch.data();
        QRgb* const below = inside ? m_d.At(m_x - 1, r + 1) : m_scratch.data();
        above[0] = above[2] = m_colour;
        below[0] = below[2] = m_colour;
        if (take & !inside) {
            for (int dy : {-1, 1})
                for (int dx : {-1, 1})
                    m_d.Pixel(m_x + dx, int(y) + dy, m_colour);
        }
    }

private:
    const DirectWriter& m_d;
    int m_x;
    QRgb m_colour;
    bool m_inner;
    mutable std::array<QRgb, 3> m_scratch{};
};

// Marks of a stroke column whose neighbours cover rows lo..hi: the stroke from
// above its lowest row to below its highest, and the marks in the side columns
// of only the points outside lo..hi, written as they are found. A side of the
// band is searched only where the column reaches beyond it. Where such a mark
// falls on a neighbour's own stroke it lights a pixel of the same colour again,
// which nothing of the other channel can have drawn in between (CoveredRows).
void MarkOutsidePoints(const TraceJob& t, const std::vector<ColumnGroup>& plan, size_t j, int ch,
                       int lo, int hi) {
    const DirectWriter& d = t.direct;
    const ColumnGroup& g = plan[j];
    const ChannelColumn& c = g.ch[size_t(ch)];
    const QRgb colour = t.rgb[size_t(ch)];
    d.Span(g.column, std::max(c.lo - 1, 0), std::min(c.hi + 1, d.height - 1), colour);
    const MarkSides mark(d, g.column, colour);
    // Where the column reaches one row beyond the band, that row holds its
    // extreme point and no other row beyond can hold one: no search.
    const bool beyondLo = (c.lo < lo - 1);
    const bool beyondHi = (c.hi > hi + 1);
    const RowBand band = RowBand::Of(lo, double(hi) + 1.0, beyondLo, beyondHi);
    if (c.lo == lo - 1)
        mark(c.lo);
    if (c.hi == hi + 1)
        mark(c.hi);
    OutsidePoints(RowsOf(t, ch), t.first + g.i - 1, t.first + g.end - 2, band, mark);
}

// Whether the head of covered column j lies wholly within the rows that its own
// marked stroke and the one before light (each from above its lowest row to below
// its highest): the head's pixels lie in those two columns between its ends'
// rows, so drawing it lights nothing new.
bool HeadWithinStrokes(const std::vector<ColumnGroup>& plan, size_t j, int ch) {
    const ChannelColumn& c = plan[j].ch[size_t(ch)];
    const ChannelColumn& before = plan[j - 1].ch[size_t(ch)];
    const int top = std::max(c.lo, before.lo) - 1, bottom = std::min(c.hi, before.hi) + 1;
    const SegmentEnds& e = c.head;
    return std::min(e.y0, e.y1) >= top && std::max(e.y0, e.y1) <= bottom;
}

// A stroke column of channel ch: its head, then the stroke (and its marks).
void DrawStroke(TraceJob& t, const std::vector<ColumnGroup>& plan, size_t j, int ch, bool adjoin,
                MarkRows& rows) {
    const ColumnGroup& g = plan[j];
    const ChannelColumn& c = g.ch[size_t(ch)];
    // Where the neighbours cover the column, the marks of the head's ends are
    // lit already by the two columns' own marks (the end before) or will be by
    // this column's (the end in it), with nothing of the other channel between;
    // where the head lies within both columns' strokes, so is the head itself.
    int lo = 0, hi = 0;
    const bool covered = adjoin && CoveredRows(t, plan, j, ch, lo, hi);
    if (!covered || !HeadWithinStrokes(plan, j, ch))
        DrawHead(t, g, ch, t.marks && !covered);
    if (!t.direct.ok) {
        t.UsePen(ch);
        t.p.drawLine(g.column, c.lo, g.column, c.hi);
        return;
    }
    if (!t.marks) {
        t.direct.Span(g.column, c.lo, c.hi, t.rgb[size_t(ch)]);
        return;
    }
    if (covered)
        MarkOutsidePoints(t, plan, j, ch, lo, hi);
    else
        MarkEveryPoint(t, g, ch, rows);
}

void DrawPlannedTraces(TraceJob& t, ColumnPlanner& planner) {
    // Marks are reduced per column only where the pixels are written directly.
    MarkRows rows(t.reduceMarks ? t.direct.height : 0);
    for (size_t j = 0; !planner.Done(j); ++j) {
        planner.PlanTo(j + 2);
        const std::vector<ColumnGroup>& plan = planner.Plan();
        const ColumnGroup& g = plan[j];
        const bool adjoin = t.marks && t.direct.ok && NeighboursAdjoin(plan, j);
        for (int c = 0; c < t.nch; ++c) {
            const int ch = t.channels[size_t(c)];
            if (g.ch[size_t(ch)].stroke) {
                DrawStroke(t, plan, j, ch, adjoin, rows);
            } else {
                t.UsePen(ch);
                DrawSegments(t.p, t.m, ch, g.i, g.end, t.xf[size_t(ch)], t.dx, t.marks);
            }
        }
    }
}

void DrawTracesWith(QPainter& p, const GraphModel& m, const AppSettings& s, bool decimate,
                    const std::array<RowSource, 2>& sources) {
    int64_t from = 0, to = 0;
    if (!SegmentRange(m, from, to))
        return;
    TraceJob t(p, m, s);
    if (t.nch == 0)
        return;
    // The columns are those of CH1's positions; both channels share them.
    t.decimate = decimate && t.xf[0] == t.xf[1];
    t.reduceMarks = t.marks && t.decimate && t.direct.ok;
    t.sources = sources;
    for (size_t ch = 0; ch < 2; ++ch) {
        const double scale = sources[ch].rows.scale;
        t.perRow[ch] = scale != 0 ? 1.0 / scale : 0.0;
    }
    // The rows of the channels drawn (the model fills a plane of rows on first use).
    for (int c = 0; c < t.nch; ++c) {
        const auto ch = size_t(t.channels[size_t(c)]);
        const RowSource& src = sources[ch];
        PointRows& rows = t.rows[ch];
        if (src.values) {
            rows = PointRows{nullptr, src.series, src.rows, src.envelope, t.perRow[ch]};
            SetValueBounds(rows, t.top, t.bottom);
        } else {
            rows.ys = m.YPlane(t.slot, int(ch));
        }
    }
    ColumnPlanner planner(t, from, to);
    DrawPlannedTraces(t, planner);
}

} // namespace

void DrawTraces(QPainter& p, const GraphModel& m, const AppSettings& s, bool decimate) {
    DrawTracesWith(p, m, s, decimate, {});
}

namespace {

// The envelope of channel ch's series, with value -> row of the current slot; none
// for a short series, or where the model's rows are not those computed here.
RowSource SourceOf(const GraphModel& m, const GraphInputs& in, int ch, bool lookUps, bool marks,
                   std::shared_ptr<const Envelope>& held) {
    RowSource src;
    if (m.RowsFromValues(m.Zoom().Slot(), ch, src.series, src.rows)) {
        // Stored data are replaced only as a whole, with a new generation.
        src.values = true;
        if ((lookUps || marks) && src.series.count >= kSummariseFrom) {
            held = EnvelopeCache::Shared().Get(src.series, in.set.StoredGeneration(), false);
            src.envelope = held.get();
            src.lookUps = lookUps && src.envelope;
        }
        return src;
    }
    if (!lookUps)
        return src;
    const bool product = m.Mode() == GraphMode::RealTimeApparentPower;
    // The series the model scaled this channel's rows from.
    src.series = m.SeriesOf(in, product ? 0 : ch);
    const int64_t f = int64_t(m.FirstPoint()) - 1;
    const int64_t last = std::min<int64_t>(src.series.count, m.LastPoint()) - 1;
    if (src.series.count < kSummariseFrom || f < 0 || last <= f || last >= m.WorkBufferPoints())
        return src;
    const int slot = m.Zoom().Slot();
    const std::array<float, kTicks>& t = m.Ticks(ch, slot);
    const double span = double(t[10]) - double(t[0]);
    src.rows.bottom = m.Layout().plotBottom;
    src.rows.t0 = t[0];
    src.rows.scale = span != 0 ? double(m.Layout().Hp()) / span : 0.0;
    const double* ys = m.YPlane(slot, ch);
    if (!src.Agrees(ys, f) || !src.Agrees(ys, (f + last) / 2) || !src.Agrees(ys, last))
        return src;
    // Stored data are replaced only as a whole, with a new generation; a live
    // series may start again in the same place, so its values are checked too.
    const bool stored = m.Mode() == GraphMode::StoreRms || m.Mode() == GraphMode::StoreTransient;
    held = EnvelopeCache::Shared().Get(src.series, stored ? in.set.StoredGeneration() : 0, !stored);
    src.envelope = held.get();
    src.lookUps = src.envelope != nullptr;
    return src;
}

} // namespace

void DrawTraces(QPainter& p, const GraphModel& m, const GraphInputs& in, bool decimate) {
    std::array<std::shared_ptr<const Envelope>, 2> held;
    std::array<RowSource, 2> sources{};
    // The envelope serves the rows of columns too long to walk, and tells which
    // points of a dense column need no mark of their own.
    const bool lookUps = m.PointDistance() * double(kLookUpFrom) <= 1.0;
    const bool marks =
        in.settings.m_showMarkPoints == 1 && m.PointDistance() * double(kMarkLeavesFrom) <= 1.0;
    for (int ch = 0; ch < 2 && decimate; ++ch)
        if (m.ChannelDrawn(in.settings, ch))
            sources[size_t(ch)] = SourceOf(m, in, ch, lookUps, marks, held[size_t(ch)]);
    DrawTracesWith(p, m, in.settings, decimate, sources);
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
    const bool power = IsSingleTraceMode(m.Mode());
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
    DrawTraces(p, m, in, o.decimate);
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
