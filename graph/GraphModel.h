#pragma once
// The graph model: which quantity the view shows (the graph mode), the display
// state of the view, the layout rectangles and the arithmetic that turns the
// measurement values into pixel positions, tick values and axis labels. Nothing
// here draws; the renderer (GraphRenderer.h) paints what this computes.

#include "base/Clock.h"
#include "base/Ids.h"

#include <QColor>
#include <QRect>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

struct AppSettings;
struct MeasurementSet;

enum class GraphMode {
    None,
    StoreRms,
    StoreTransient,
    RealTimeEpa,
    RealTimeRms,
    RealTimeFrequency,
    RealTimeApparentPower
};

// Settings number of a mode (1, 2, 3, 4, 6, 7); 0 for None. The per-mode axis
// ranges of the settings file are indexed by number - 1.
int ModeNumber(GraphMode mode);
// Command id of the mode's menu / tool-bar command; 0 for None.
int ModeCommandId(GraphMode mode);
// Information-bar title of the mode ("STORE RMS", ...); empty for None.
QString ModeTitle(GraphMode mode);
bool IsRealTimeMode(GraphMode mode); // RealTimeRms, RealTimeFrequency, RealTimeApparentPower
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
};

// What the graph reads besides its own state.
struct GraphInputs {
    const MeasurementSet& set;
    const AppSettings& settings;
    bool realTimeRunning = false;
};

struct GraphModel {
    // --- mode and content ---
    GraphMode m_mode = GraphMode::None;
    int32_t m_firstPoint = 0; // 1-based, inclusive
    int32_t m_lastPoint = 0;
    int32_t m_infoBarHeight = kInfoBarFull;
    // 0 nothing loaded (welcome screen), 1 graph, 2 list report.
    uint8_t m_displayContent = 0;
    // Set when the data were replaced: the next mode handler prepares the view
    // fully even if its mode is already shown.
    bool m_dataReplaced = false;
    int m_transientRecord = 0; // record shown in StoreTransient

    // --- channels ---
    uint8_t m_graphCh1Present = 0;
    uint8_t m_graphCh2Present = 0;
    QString m_graphCh1Unit;
    QString m_graphCh2Unit;
    std::array<int32_t, 2> m_yLow{};
    std::array<int32_t, 2> m_yHigh{};

    // --- scale ---
    std::array<int32_t, kRtLevels> m_rtCapacity{};
    int m_rtLevelCount = 0; // entries of m_rtCapacity built
    int32_t m_rtLevel = 0;
    float m_xStep = 0;
    // [slot][tick]; slot 0 base scale, slot 1 zoomed.
    std::array<std::array<float, kTicks>, 2> m_ch1Ticks{};
    std::array<std::array<float, kTicks>, 2> m_ch2Ticks{};
    // Pixel x and y of every point, per slot and channel: four planes of
    // WorkBufferPoints() values each, plane slot * 2 + channel.
    std::vector<double> m_xPix;
    std::vector<double> m_yPix;
    int64_t m_bufferPoints = 0;
    uint8_t m_zoomSlot = 0;
    uint8_t m_scaleFrozen = 0; // zoomed: the base scale is kept
    uint8_t m_zoomPending = 0;
    uint8_t m_scrollSetupDone = 0;
    uint8_t m_dragInProgress = 0;
    uint8_t m_scrollHold = 0;
    int32_t m_scrollIndex = 0;
    int32_t m_leftIndex = 0;
    std::array<int32_t, 2> m_ch1Shift{};
    std::array<int32_t, 2> m_ch2Shift{};
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
    // Real-time series: the scale (without the last point) and how far the pixel
    // arrays were computed under it.
    ScaleKey m_rtScaleKey{};
    bool m_rtScaleValid = false;
    int64_t m_rtComputedTo = 0;
    // Bumped whenever the data or the scale are replaced: the pixel arrays must be
    // recomputed.
    uint64_t m_scaleGeneration = 0;

    // --- labels ---
    std::array<int32_t, kXLabels> m_xLabelIndex{};
    std::array<int32_t, kXLabels> m_xLabelNumber{};
    std::array<TimeValue, kXLabels> m_xLabelTime{};
    std::array<double, kXLabels> m_xLabelX{};
    std::array<std::array<QString, kTicks>, 2> m_yLabelText;
    std::array<QString, kXLabels> m_xLabelText;
    std::array<QString, kXLabels> m_xLabelDate; // second line of time labels

    // --- layout ---
    GraphLayout m_layout;
    QRect m_prevPlot; // plot rectangle of the previous paint

    // --- texts ---
    RecInfo m_recInfo;
    QString m_readoutText; // the read-out line under the plot

    // ----- pixel arrays -----
    // Sizes the work buffers for `points` points (at least one).
    void SizeWorkBuffers(int64_t points);
    int64_t WorkBufferPoints() const { return m_bufferPoints; }
    size_t Plane(int slot, int ch) const { return size_t(slot * 2 + ch) * size_t(m_bufferPoints); }
    double& XPix(int64_t point, int slot, int ch) {
        return m_xPix[Plane(slot, ch) + size_t(point)];
    }
    double& YPix(int64_t point, int slot, int ch) {
        return m_yPix[Plane(slot, ch) + size_t(point)];
    }
    double XPix(int64_t point, int slot, int ch) const {
        return m_xPix[Plane(slot, ch) + size_t(point)];
    }
    double YPix(int64_t point, int slot, int ch) const {
        return m_yPix[Plane(slot, ch) + size_t(point)];
    }
    const std::array<float, kTicks>& Ticks(int ch, int slot) const {
        return ch == 0 ? m_ch1Ticks[size_t(slot)] : m_ch2Ticks[size_t(slot)];
    }

    // ----- layout and scale -----
    // Lays the graph out in a client area; builds the real-time capacity table the
    // first time a plot exists.
    void SetClient(int clientWidth, int clientHeight);
    // Capacity table: entry 0 holds 100 points; each next level about 12/11 as many,
    // until an entry of 100000 or more.
    void BuildCapacityTable(int plotWidth);
    // Back to the base scale with no scroll.
    void ResetScale();
    // Recomputes m_xStep, ticks and pixel arrays for the current mode.
    void ComputeScale(const GraphInputs& in);
    // Distance in pixels between neighbouring points in the current slot.
    double PointDistance() const;
    // Pixel x of the window's first point in the current slot.
    double FirstX(int ch) const;
    int32_t PointCount() const { return m_lastPoint - m_firstPoint + 1; }
    // Computes the X and Y label texts and positions (after ComputeScale).
    void ComputeLabels(const GraphInputs& in);

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
    };
    Series SeriesOf(const GraphInputs& in, int ch) const;
    // Number of points the current mode's data hold (the upper limit of a window).
    int64_t DataPoints(const GraphInputs& in) const;
    TimeValue PointTime(const GraphInputs& in, int64_t i) const;
    QString PointTimeText(const GraphInputs& in, int64_t i) const;
    // Whether channel ch is drawn in the current mode with the current view flags.
    bool ChannelDrawn(const AppSettings& s, int ch) const;
};
