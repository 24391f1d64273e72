#pragma once
// Paints the graph of a GraphModel onto any QPainter: a QImage for the screen's
// off-screen composition, a printer later. Integer coordinates, aliased opaque
// pens, in the paint order fills, grid, traces, overpainting, labels and ticks,
// frame, legends.

#include "graph/GraphModel.h"

#include <QColor>
#include <QFont>

class QPainter;

struct RenderOptions {
    QColor panelGrey = QColor(240, 240, 240); // the button-face colour of the platform
    bool printing = false;
    // Dense traces are reduced to one vertical stroke per pixel column where that
    // gives exactly the pixels of drawing every segment; off draws every segment.
    bool decimate = true;
};

QFont WelcomeFont();
QFont AxisFont();
QFont LegendFont();

// The welcome screen of a client area (fill and the three words).
void PaintWelcome(QPainter& p, const QRect& client);

// Lays out, scales and paints the whole graph into a client area of `size`
// (the painter's coordinates are the view's client coordinates).
void PaintGraph(QPainter& p, GraphModel& m, const GraphInputs& in, QSize size,
                const RenderOptions& o);

// The traces of every drawn channel (paint step "traces").
void DrawTraces(QPainter& p, const GraphModel& m, const AppSettings& s, bool decimate);

// Segment i (relative, 1-based end point) of channel ch: the line between points
// m_firstPoint + i - 2 and m_firstPoint + i - 1, skipped when both ends lie on the
// same side outside the plot. Mark points around both ends when `marks`.
void DrawSegment(QPainter& p, const GraphModel& m, int ch, int64_t i, const QColor& colour,
                 bool marks);

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
AppendResult AppendRealTimePoint(GraphModel& m, const GraphInputs& in);
