#pragma once
// Working with the graph below the widgets: the rubber band that zooms into a box
// and the rules that refuse a box, the scroll bars of the zoomed graph (sideways
// through the points, up and down per channel), and the read-out of the point
// nearest the mouse. The view forwards its mouse and scroll-bar events here and
// draws what these functions decide.

#include "graph/GraphModel.h"

#include <QPoint>
#include <QString>

// The point clamped into the plot rectangle (corners inclusive).
QPoint ClampToPlot(const GraphLayout& g, QPoint p);

// Whether a drag may begin at all: data shown and at least one point.
bool CanZoom(const GraphModel& m);

// While a drag is on, the watchdog cancels it once the cursor leaves the region
// around the plot it watches (a little wider than the plot on every side but the
// top, so that a box can be dragged to the plot's very edge).
bool CursorInDragRegion(const GraphLayout& g, QPoint cursor);

enum class ZoomVerdict {
    Unmoved,   // a click, or a box at most 3 pixels wide
    TooLow,    // a tenth of the box spans less than 0.1 CH1 units
    TooNarrow, // the box is not wider than one point interval
    Accepted,
};

// Button up after a drag from `start` to `end` (both clamped into the plot):
// orders the box, copies a zoomed scale into the base when zooming within a zoom,
// and zooms when the box is accepted (the next paint computes the zoomed scale).
ZoomVerdict FinishZoomDrag(GraphModel& m, QPoint start, QPoint end, bool unmoved);

// Scroll-bar actions, named for the horizontal bar; on a vertical bar LineLeft is
// line up and PageLeft page up.
// Zooms into points first .. first + count - 1 (0-based) with as many again on either
// side (at least 5), over the plot's full height and at least 8 pixels wide, as a
// box dragged there would. The base scale must be laid out (the graph painted
// unzoomed since the data or the size last changed).
ZoomVerdict ZoomAroundPoints(GraphModel& m, int64_t first, int64_t count);

enum class ScrollCode { LineLeft, LineRight, PageLeft, PageRight, Thumb, Other };

// The horizontal bar's state: range 0 ... maximum, page 1.
struct HorizontalScroll {
    int32_t maximum = 0;
    int32_t position = 0;
    bool enabled = false;
};
// Position of the horizontal bar: the leftmost shown point's number minus the scroll.
int32_t HorizontalPosition(const GraphModel& m);
HorizontalScroll HorizontalScrollOf(const GraphModel& m);
// Points one page moves: those across the plot and a margin.
int32_t HorizontalPage(const GraphModel& m);
// Applies a horizontal bar action and returns the new position. `thumb` is the
// bar's thumb position; `cursorX` the cursor's client x, which takes over from
// the thumb above 32767 points (where a 16-bit thumb position cannot reach).
int32_t ScrollHorizontally(GraphModel& m, ScrollCode code, int32_t thumb, int cursorX);
// Applies a vertical bar action to channel ch's shift (pixels, +-Hp/2) and returns
// the new shift; a positive shift lowers the ticks, so the traces move up.
int32_t ScrollVertically(GraphModel& m, int ch, ScrollCode code, int32_t thumb);
// Half the plot height: the vertical bars run from -half to half.
int32_t VerticalHalfRange(const GraphModel& m);

// Index (0-based, absolute) of the point nearest client x, computed from the
// first point's position and the point distance; -1 without points.
int64_t NearestPoint(const GraphModel& m, double x);
// The read-out line of point i ("Data Point No.:1  Time:... CH1: ...").
QString ReadoutText(const GraphModel& m, const GraphInputs& in, int64_t i);
// One channel value as the read-out shows it, "LO" and "OL" rules included.
QString ReadoutValue(GraphMode mode, double value, const QString& unit);

// The read-out strip under the plot: filled black, the text in panel grey.
QRect ReadoutStrip(const GraphLayout& g);
