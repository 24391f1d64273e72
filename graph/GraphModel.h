#pragma once
// The graph model: which quantity the view shows (the graph mode), the display
// state of the view, the layout rectangles and the arithmetic that turns the
// measurement values into pixel positions, tick values and axis labels. Nothing
// here draws; the renderer (GraphRenderer.h) paints what this computes.

#include "base/Clock.h"
#include "base/Ids.h"

#include <QColor>
#include <QPointF>
#include <QRect>
#include <QString>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

struct AppSettings;
class MeasurementSet;

enum class GraphMode {
    None,
    StoreRms,
    StoreTransient,
    RealTimeEpa,
    RealTimeRms,
    RealTimeFrequency,
    RealTimeApparentPower,
    RealTimeActivePower,
    RealTimePowerFactor
};

// Settings number of a mode (1, 2, 3, 4, 6, 7, 10, 11); 0 for None. The per-mode axis
// ranges of the settings file are indexed by number - 1.
int ModeNumber(GraphMode mode);
// Command id of the mode's menu / tool-bar command; 0 for None.
int ModeCommandId(GraphMode mode);
// Information-bar title of the mode ("STORE RMS", ...); empty for None.
QString ModeTitle(GraphMode mode);
// The series of a run in time: RMS, F(Hz), S(VA), P(W) and PF.
bool IsRealTimeMode(GraphMode mode);
// The modes that draw one trace of the pair (S(VA), P(W), PF): no CH2 trace, legend
// or column.
inline bool IsSingleTraceMode(GraphMode m) {
    return m == GraphMode::RealTimeApparentPower || m == GraphMode::RealTimeActivePower ||
           m == GraphMode::RealTimePowerFactor;
}
// The modes whose points may hold no value (a sample without a power figure): NaN,
// drawn as a gap and read out as "LO".
inline bool HasValueGaps(GraphMode m) {
    return m == GraphMode::RealTimeActivePower || m == GraphMode::RealTimePowerFactor;
}
// The two modes that show one record of samples rather than a series in time.
inline bool IsWaveformMode(GraphMode m) {
    return m == GraphMode::StoreTransient || m == GraphMode::RealTimeEpa;
}

inline constexpr int kInfoBarFull = 120;
inline constexpr int kInfoBarSlim = 25;
inline constexpr int kRtLevels = 100;
inline constexpr int kTicks = 11;
inline constexpr int kXLabels = 10;

// The colour of a colour index: the fifteen named colours; any other value is
// taken as a colour itself (0x00BBGGRR, as the settings file stores it).
QColor ColourOf(uint32_t index);
const char* ColourName(int index); // "Red" ... "Grey"; nullptr beyond the table
inline constexpr int kColourCount = 15;

// Pixel geometry of the graph around its plot rectangle P and frame panel F.
namespace GraphGeometry {
// Plot rectangle: its left and right margins, its top below the info bar, its
// bottom margin (room for the X labels, the legends and the read-out line).
inline constexpr int kPlotSideMargin = 110;
inline constexpr int kPlotTopBelowInfoBar = 70;
inline constexpr int kPlotBottomMargin = 110;
// Frame panel: its inset from the client's left and right edges, how far it
// reaches above the plot's top and below the plot's bottom.
inline constexpr int kPanelInset = 20;
inline constexpr int kPanelAbovePlot = 18;
inline constexpr int kPanelBelowPlot = 55;
// Scroll bars: the horizontal one below the plot, the two vertical ones inside
// the panel's left and right edges; all of the same thickness.
inline constexpr int kBarThickness = 20;
inline constexpr int kHorizontalBarBelowPlot = 35;
// Tool bar: its top above the plot's top, and its height.
inline constexpr int kToolBarAbovePlot = 45;
inline constexpr int kToolBarHeight = 35;
} // namespace GraphGeometry

// Layout of the graph inside the view's client rectangle (L, T, R, B with R and B
// exclusive, i.e. the client width and height when L = T = 0).
struct GraphLayout {
    QRect client; // L, T, R, B as left/top/right/bottom (right, bottom exclusive)
    int infoBar = 0;
    int plotLeft = 0, plotTop = 0, plotRight = 0, plotBottom = 0;     // P
    int frameLeft = 0, frameTop = 0, frameRight = 0, frameBottom = 0; // F
    int W() const { return plotRight - plotLeft; }
    int Hp() const { return plotBottom - plotTop; }
    // Child windows of the view.
    QRect horizontalBar, ch1Bar, ch2Bar, toolBar, infoBarRect;
    // Whether a plot with positive width and height exists at all.
    bool HasPlot() const { return W() > 0 && Hp() > 0; }
};
GraphLayout ComputeLayout(int clientWidth, int clientHeight, int infoBarHeight);

// Recording information texts: held here, painted by the information bar and
// reused by printing.
struct RecInfo {
    QString title;
    QString rate;
    QString start;
    QString count;
    QString ch1Max, ch1Min;
    QString levelHigh, levelLow;
    QString ch2Max, ch2Min;
    // The run's energy so far (P(W) graph): active and apparent.
    QString energy;
};

// What the graph reads besides its own state.
struct GraphInputs {
    const MeasurementSet& set;
    const AppSettings& settings;
    bool realTimeRunning = false;
};

// Pixel coordinate of a computed position: truncated, with positions far outside
// any plot held at a bound (the drawn part of a line to such a point is hidden by
// the overpainting anyway) and a NaN at 0.
inline int PixelCoord(double v) {
    constexpr double kLimit = 1 << 22;
    if (!(v == v))
        return 0;
    return int(std::trunc(std::clamp(v, -kLimit, kLimit)));
}

// What a paint of the graph hands back for the model to remember.
struct PaintedFrame {
    QRect plot; // the plot rectangle painted (corners inclusive)
};

// The newest real-time segment after a sample was appended: what the view must do.
enum class AppendAction {
    Nothing,         // a zoom drag is in progress
    RepaintAll,      // the compression level changed, or too few points: repaint F
    RepaintFrame,    // the newest segment leaves the plot vertically: repaint F
    DrawNewest,      // draw segment `segment` of each drawn channel onto the last image
    ScrolledRepaint, // zoomed: followed the newest point, repaint F
};
struct AppendResult {
    AppendAction action = AppendAction::Nothing;
    int64_t segment = 0;
};

// The compression levels of a running real-time graph: level n holds how many
// points the plot shows before the graph is compressed to level n + 1.
class RtCapacityTable {
public:
    // Entry 0 holds 100 points; each next level about 12/11 as many, until an
    // entry of 100000 or more.
    void Build(int plotWidth);
    bool Built() const { return m_count != 0; }
    int LevelCount() const { return m_count; }
    int32_t Capacity(int level) const { return m_capacity[size_t(level)]; }
    int32_t Level() const { return m_level; }
    void SetLevel(int32_t level) { m_level = level; }
    // The lowest level that holds `shown` points; the level stays when none does.
    void SelectLevelFor(int32_t shown);
    // Keeps the level inside the table; moves one level up when `held` points
    // since the window's first no longer fit the current one (the new level's
    // capacity then follows the step of the level before on `plotWidth`).
    // Returns whether the level changed.
    bool Advance(int64_t held, int plotWidth);

private:
    std::array<int32_t, kRtLevels> m_capacity{};
    int m_count = 0; // entries built
    int32_t m_level = 0;
};

// Zoom and scroll state: which scale slot is shown (0 the base scale, 1 the
// zoomed one), how far the zoomed graph is scrolled and shifted, and the flags of
// a zoom in progress.
class ZoomState {
public:
    // Back to the base scale with no scroll and no shift (a drag in progress and
    // the scroll hold are left as they are).
    void Reset();

    int Slot() const { return m_slot; }
    bool Zoomed() const { return m_slot != 0; }
    void SetSlot(int slot) { m_slot = uint8_t(slot); }
    // Zoomed: the base scale is kept as it was when the zoom began.
    bool BaseScaleFrozen() const { return m_scaleFrozen != 0; }
    void SetBaseScaleFrozen(bool frozen) { m_scaleFrozen = frozen ? 1 : 0; }
    // A zoom waits for the next paint.
    bool Pending() const { return m_pending != 0; }
    void SetPending(bool pending) { m_pending = pending ? 1 : 0; }
    bool ScrollSetupDone() const { return m_scrollSetupDone != 0; }
    void SetScrollSetupDone(bool done) { m_scrollSetupDone = done ? 1 : 0; }
    bool Dragging() const { return m_dragInProgress != 0; }
    void SetDragging(bool dragging) { m_dragInProgress = dragging ? 1 : 0; }
    bool ScrollHeld() const { return m_scrollHold != 0; }
    void SetScrollHeld(bool held) { m_scrollHold = held ? 1 : 0; }

    // Scroll of the zoomed graph in points (0 or negative) and the index of the
    // leftmost point the plot shows.
    int32_t ScrollIndex() const { return m_scrollIndex; }
    void SetScrollIndex(int32_t index) { m_scrollIndex = index; }
    int32_t LeftIndex() const { return m_leftIndex; }
    void SetLeftIndex(int32_t index) { m_leftIndex = index; }
    // Vertical shift of channel ch in scale slot `slot`, in pixels.
    int32_t Shift(int ch, int slot) const {
        return ch == 0 ? m_ch1Shift[size_t(slot)] : m_ch2Shift[size_t(slot)];
    }
    void SetShift(int ch, int slot, int32_t shift) {
        (ch == 0 ? m_ch1Shift : m_ch2Shift)[size_t(slot)] = shift;
    }
    // A running real-time graph followed its newest point one step: a held
    // scroll is released instead.
    void FollowNewest();

    // The accepted rubber-band box (client pixels, start <= end in x and y); the
    // next paint derives the zoomed scale from it.
    QPointF DragStart() const { return m_dragStart; }
    QPointF DragEnd() const { return m_dragEnd; }
    void SetDragBox(QPointF start, QPointF end) {
        m_dragStart = start;
        m_dragEnd = end;
    }
    // Zoomed range of channel ch: the value at the box's bottom and one tenth of
    // the box above it (the first tick step), both truncated to hundredths.
    float ZoomLow(int ch) const { return m_zoomLow[size_t(ch)]; }
    float ZoomTick(int ch) const { return m_zoomTick[size_t(ch)]; }
    void SetZoomRange(int ch, float low, float tick) {
        m_zoomLow[size_t(ch)] = low;
        m_zoomTick[size_t(ch)] = tick;
    }
    // The plot rectangle the zoomed x positions were computed for: a resize
    // rescales them once, in proportion.
    const QRect& ZoomPlot() const { return m_zoomPlot; }
    void SetZoomPlot(const QRect& plot) { m_zoomPlot = plot; }

private:
    uint8_t m_slot = 0;
    uint8_t m_scaleFrozen = 0;
    uint8_t m_pending = 0;
    uint8_t m_scrollSetupDone = 0;
    uint8_t m_dragInProgress = 0;
    uint8_t m_scrollHold = 0;
    int32_t m_scrollIndex = 0;
    int32_t m_leftIndex = 0;
    std::array<int32_t, 2> m_ch1Shift{};
    std::array<int32_t, 2> m_ch2Shift{};
    QPointF m_dragStart;
    QPointF m_dragEnd;
    std::array<float, 2> m_zoomLow{};
    std::array<float, 2> m_zoomTick{};
    QRect m_zoomPlot;
};

class GraphModel {
public:
    // What the view shows: nothing loaded (the welcome screen), a graph, a list.
    static constexpr uint8_t kContentNone = 0;
    static constexpr uint8_t kContentGraph = 1;
    static constexpr uint8_t kContentList = 2;

    // ----- mode and content -----
    GraphMode Mode() const { return m_mode; }
    void SetMode(GraphMode mode) { m_mode = mode; }
    // The window of points shown: 1-based, inclusive.
    int32_t FirstPoint() const { return m_firstPoint; }
    int32_t LastPoint() const { return m_lastPoint; }
    void SetFirstPoint(int32_t point) { m_firstPoint = point; }
    void SetLastPoint(int32_t point) { m_lastPoint = point; }
    void SetPointWindow(int32_t first, int32_t last) {
        m_firstPoint = first;
        m_lastPoint = last;
    }
    int32_t PointCount() const { return m_lastPoint - m_firstPoint + 1; }
    int32_t InfoBarHeight() const { return m_infoBarHeight; }
    void SetInfoBarHeight(int32_t height) { m_infoBarHeight = height; }
    uint8_t DisplayContent() const { return m_displayContent; }
    void SetDisplayContent(uint8_t content) { m_displayContent = content; }
    // Whether the screen shows the graph: the content only says which report the
    // next print job makes, and the screen shows the graph for either.
    bool ShowsGraph() const { return m_displayContent != kContentNone; }
    // The first data shown turn the welcome screen into the graph.
    void ShowGraphIfWelcome() {
        if (m_displayContent == kContentNone)
            m_displayContent = kContentGraph;
    }
    // Set when the data were replaced: the next mode handler prepares the view
    // fully even if its mode is already shown.
    bool DataReplaced() const { return m_dataReplaced; }
    void SetDataReplaced(bool replaced) { m_dataReplaced = replaced; }
    int TransientRecord() const { return m_transientRecord; } // shown in StoreTransient
    void SetTransientRecord(int record) { m_transientRecord = record; }

    // ----- channels -----
    // Whether channel ch (0 or 1) is present in the graph (1) and its unit.
    uint8_t ChannelPresent(int ch) const { return ch == 0 ? m_ch1Present : m_ch2Present; }
    const QString& ChannelUnit(int ch) const { return ch == 0 ? m_ch1Unit : m_ch2Unit; }
    void SetChannelsPresent(uint8_t ch1, uint8_t ch2) {
        m_ch1Present = ch1;
        m_ch2Present = ch2;
    }
    void SetChannelUnits(const QString& ch1, const QString& ch2) {
        m_ch1Unit = ch1;
        m_ch2Unit = ch2;
    }
    // The Y axis range of channel ch.
    int32_t AxisLow(int ch) const { return m_yLow[size_t(ch)]; }
    int32_t AxisHigh(int ch) const { return m_yHigh[size_t(ch)]; }
    void SetAxisRange(int ch, int32_t low, int32_t high) {
        m_yLow[size_t(ch)] = low;
        m_yHigh[size_t(ch)] = high;
    }
    // Whether channel ch is drawn in the current mode with the current view flags.
    bool ChannelDrawn(const AppSettings& s, int ch) const;

    // ----- scale -----
    // Distance in pixels between neighbouring points of the base scale.
    float XStep() const { return m_xStep; }
    // Tick values of channel ch in scale slot `slot` (0 base, 1 zoomed).
    const std::array<float, kTicks>& Ticks(int ch, int slot) const {
        return ch == 0 ? m_ch1Ticks[size_t(slot)] : m_ch2Ticks[size_t(slot)];
    }
    void SetTicks(int ch, int slot, const std::array<float, kTicks>& ticks) {
        (ch == 0 ? m_ch1Ticks : m_ch2Ticks)[size_t(slot)] = ticks;
    }
    // Set when a real-time graph moved to another compression level; the next
    // appended point asks for a full repaint and clears it.
    bool FullRepaintRequested() const { return m_fullRepaintRequested; }
    const RtCapacityTable& RtCapacity() const { return m_rtCapacity; }
    RtCapacityTable& RtCapacity() { return m_rtCapacity; }
    void BuildCapacityTable(int plotWidth) { m_rtCapacity.Build(plotWidth); }

    // ----- pixel arrays -----
    // Pixel x and y of every point, per scale slot and channel.
    // Sizes the work buffers for `points` points (at least one). The data are
    // replaced only together with this, so the values a stored graph's rows are
    // taken from lazily are forgotten here.
    void SizeWorkBuffers(int64_t points);
    int64_t WorkBufferPoints() const { return m_bufferPoints; }
    double XPix(int64_t point, int slot, int ch) const {
        const LazyColumns& l = m_lazyX[SlotIndex(slot, ch)];
        return l.pending ? l.X(point) : m_xPix[Plane(slot, ch) + size_t(point)];
    }
    double YPix(int64_t point, int slot, int ch) const {
        LazyRows& l = m_lazyY[SlotIndex(slot, ch)];
        if (!l.pending)
            return m_yPix[Plane(slot, ch) + size_t(point)];
        FollowStoredData(l);
        return l.Y(point);
    }
    // The y pixels of channel ch in slot `slot`, indexed by point (0-based); rows
    // not computed yet are computed first.
    const double* YPlane(int slot, int ch) const;
    // Places point `point` of channel ch in slot `slot` (the zoomed scale's own).
    void SetPixel(int64_t point, int slot, int ch, double x, double y);

    // Value -> pixel row of one slot and channel: bottom - (value - t0) * scale.
    struct RowScale {
        double bottom = 0, t0 = 0, scale = 0;
        double Y(double v) const { return bottom - (v - t0) * scale; }
    };

    // ----- zoom and scroll -----
    const ZoomState& Zoom() const { return m_zoom; }
    ZoomState& Zoom() { return m_zoom; }
    // Back to the base scale with no scroll.
    void ResetScale();

    // ----- layout -----
    const GraphLayout& Layout() const { return m_layout; }
    // Lays the graph out in a client area; builds the real-time capacity table the
    // first time a plot exists.
    void SetClient(int clientWidth, int clientHeight);
    // The plot rectangle of the previous paint.
    const QRect& PreviousPlot() const { return m_prevPlot; }

    // ----- labels (after ComputeLabels) -----
    const QString& YLabelText(int ch, int tick) const {
        return m_yLabelText[size_t(ch)][size_t(tick)];
    }
    const QString& XLabelText(int i) const { return m_xLabelText[size_t(i)]; }
    const QString& XLabelDate(int i) const { return m_xLabelDate[size_t(i)]; } // second line
    double XLabelX(int i) const { return m_xLabelX[size_t(i)]; }
    int32_t XLabelIndex(int i) const { return m_xLabelIndex[size_t(i)]; }
    int32_t XLabelNumber(int i) const { return m_xLabelNumber[size_t(i)]; }
    TimeValue XLabelTime(int i) const { return m_xLabelTime[size_t(i)]; }

    // ----- texts -----
    // The recording information texts of the info bar.
    const RecInfo& Info() const { return m_recInfo; }
    void SetInfo(RecInfo info) { m_recInfo = std::move(info); }
    // The read-out line under the plot.
    const QString& ReadoutText() const { return m_readoutText; }
    void SetReadoutText(const QString& text) { m_readoutText = text; }

    // ----- computing -----
    // Recomputes the base step, ticks and pixel arrays for the current mode.
    void ComputeScale(const GraphInputs& in);
    // Zoomed: the slot-1 ticks and pixel arrays from the accepted box, the
    // shifts and a changed plot (graph/Zoom.cpp); ComputeScale calls it.
    void ComputeZoomedScale(const GraphInputs& in);
    // Zoom within a zoom: the zoomed scale becomes the base the next box is taken
    // from (its ticks and positions, the scroll folded into the positions).
    void ZoomedSlotBecomesBase();
    // Computes the X and Y label texts and positions (after ComputeScale).
    void ComputeLabels(const GraphInputs& in);
    // Everything a paint of a client area reads: layout, scale and labels.
    void PrepareFrame(int clientWidth, int clientHeight, const GraphInputs& in) {
        SetClient(clientWidth, clientHeight);
        ComputeScale(in);
        ComputeLabels(in);
    }
    // What a paint handed back: the plot it painted; a pending zoom is shown now.
    void FramePainted(const PaintedFrame& frame);
    // A real-time sample was appended: rescales and says what the view must paint.
    AppendResult AppendRealTimePoint(const GraphInputs& in);
    // Distance in pixels between neighbouring points in the current slot.
    double PointDistance() const;
    // Pixel x of the window's first point in the current slot.
    double FirstX(int ch) const;

    // ----- values and times -----
    // Value of point i (0-based, absolute) on channel ch in the current mode; 0 when
    // the set has no such value.
    double ValueOf(const GraphInputs& in, int ch, int64_t i) const;
    // The values of channel ch in the current mode as strided floats (a product of
    // two when q is set); count = how many the data hold.
    struct Series {
        const float* p = nullptr;
        const float* q = nullptr;
        size_t stride = 1;
        int64_t count = 0;
        // Value k (below count) as the graph scales it: a product in single
        // precision, as the model multiplies it.
        float At(int64_t k) const {
            const size_t i = size_t(k) * stride;
            return q ? p[i] * q[i] : p[i];
        }
    };
    // A stored graph's rows of slot `slot`, channel ch, when they are still to be
    // computed from the values: the series and value -> row (points at or past its
    // count are at value 0). False once the rows lie in the pixel arrays (a live
    // series, or after YPlane).
    bool RowsFromValues(int slot, int ch, Series& series, RowScale& rows) const {
        LazyRows& l = m_lazyY[SlotIndex(slot, ch)];
        FollowStoredData(l);
        series = l.series;
        rows = l.rows;
        return l.pending;
    }
    Series SeriesOf(const GraphInputs& in, int ch) const;
    // Number of points the current mode's data hold (the upper limit of a window).
    int64_t DataPoints(const GraphInputs& in) const;
    TimeValue PointTime(const GraphInputs& in, int64_t i) const;
    QString PointTimeText(const GraphInputs& in, int64_t i) const;

private:
    // The steps of ComputeZoomedScale: the slot-1 range and columns of the box just
    // drawn over `before`, and the slot-1 rows of points from..to.
    void TakeZoomBox(const QRect& before, int64_t from, int64_t to);
    void ComputeZoomedRows(const GraphInputs& in, int64_t from, int64_t to);
    // Four planes of WorkBufferPoints() values each, plane slot * 2 + channel.
    size_t Plane(int slot, int ch) const { return SlotIndex(slot, ch) * size_t(m_bufferPoints); }
    // Index of a slot's channel in the per-plane records.
    static size_t SlotIndex(int slot, int ch) { return size_t(slot) * 2 + size_t(ch); }

    // A stored graph's pixel positions are a function of the point (x) and of its
    // value (y): a new scale or a zoom records that function, and the arrays are
    // filled only where a reader asks for a whole plane. A paint reads only the
    // points it shows, so a new scale costs no pass over the whole memory.
    struct LazyRows {
        Series series;
        RowScale rows;
        int64_t from = 0, to = 0;
        bool pending = false;
        int ch = 0;
        // The set the series points into, and its stored generation when recorded.
        const MeasurementSet* set = nullptr;
        uint64_t generation = 0;
        double Y(int64_t k) const { return rows.Y(k < series.count ? double(series.At(k)) : 0.0); }
    };
    struct LazyColumns {
        int64_t from = 0, to = 0;
        double step = 0, left = 0;
        bool pending = false;
        double X(int64_t k) const { return double(k - from) * step + left; }
    };
    // A pending record whose set has since been given other stored data points into
    // freed memory: it takes the series anew from the data the set holds now (every
    // real replacement also sizes the work buffers, which forgets the record).
    void FollowStoredData(LazyRows& l) const;
    Series SeriesOfSet(const MeasurementSet& s, int ch) const;
    // Fills plane slot * 2 + ch of the arrays from its lazy function, if any.
    void FillY(int plane) const;
    void FillX(int plane) const;

    // --- mode and content ---
    GraphMode m_mode = GraphMode::None;
    int32_t m_firstPoint = 0;
    int32_t m_lastPoint = 0;
    int32_t m_infoBarHeight = kInfoBarFull;
    uint8_t m_displayContent = kContentNone;
    bool m_dataReplaced = false;
    int m_transientRecord = 0;

    // --- channels ---
    uint8_t m_ch1Present = 0;
    uint8_t m_ch2Present = 0;
    QString m_ch1Unit;
    QString m_ch2Unit;
    std::array<int32_t, 2> m_yLow{};
    std::array<int32_t, 2> m_yHigh{};

    // --- scale ---
    RtCapacityTable m_rtCapacity;
    float m_xStep = 0;
    // [slot][tick]; slot 0 base scale, slot 1 zoomed.
    std::array<std::array<float, kTicks>, 2> m_ch1Ticks{};
    std::array<std::array<float, kTicks>, 2> m_ch2Ticks{};
    mutable std::vector<double> m_xPix;
    mutable std::vector<double> m_yPix;
    mutable std::array<LazyColumns, 4> m_lazyX{};
    mutable std::array<LazyRows, 4> m_lazyY{};
    int64_t m_bufferPoints = 0;
    bool m_fullRepaintRequested = false;
    // What the pixel arrays were last computed from (stored modes only).
    struct ScaleKey {
        GraphMode mode;
        int32_t first, last;
        int left, top, right, bottom;
        std::array<int32_t, 2> low, high;
        float step;
        uint64_t generation;
        bool operator==(const ScaleKey&) const = default;
    };
    ScaleKey m_scaleKey{};
    bool m_scaleKeyValid = false;
    // The steps of ComputeScale: the real-time capacity grown to the samples taken,
    // the step between points, from which point on the pixels must be computed (a
    // growing real-time series keeps those already computed), and the pixels.
    void GrowRealTimeCapacity(const GraphInputs& in, int W);
    void ComputeXStep(const GraphInputs& in, bool running, int W);
    int64_t FirstPointToCompute(const GraphInputs& in, const ScaleKey& key, int64_t from,
                                int64_t to);
    void ComputeXPixels(int64_t begin, int64_t from, int64_t to);
    void ComputeYPixels(const GraphInputs& in, int64_t begin, int64_t from, int64_t to);
    RowScale RowScaleOf(int slot, int ch) const;
    // A stored graph: records how slot `slot`'s rows of points from..to-1 follow
    // from the values (true); a live one: forgets any such record (false).
    bool RowsLater(const GraphInputs& in, int slot, int64_t from, int64_t to);
    // Real-time series: the scale (without the last point) and how far the pixel
    // arrays were computed under it.
    ScaleKey m_rtScaleKey{};
    bool m_rtScaleValid = false;
    int64_t m_rtComputedTo = 0;
    // Bumped whenever the data or the scale are replaced: the pixel arrays must be
    // recomputed.
    uint64_t m_scaleGeneration = 0;

    // --- zoom and scroll ---
    ZoomState m_zoom;

    // --- labels ---
    std::array<int32_t, kXLabels> m_xLabelIndex{};
    std::array<int32_t, kXLabels> m_xLabelNumber{};
    std::array<TimeValue, kXLabels> m_xLabelTime{};
    std::array<double, kXLabels> m_xLabelX{};
    std::array<std::array<QString, kTicks>, 2> m_yLabelText;
    std::array<QString, kXLabels> m_xLabelText;
    std::array<QString, kXLabels> m_xLabelDate;

    // --- layout ---
    GraphLayout m_layout;
    QRect m_prevPlot;

    // --- texts ---
    RecInfo m_recInfo;
    QString m_readoutText;
};
