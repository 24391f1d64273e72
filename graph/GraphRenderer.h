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

// Paints the whole graph of a model laid out and scaled already
// (GraphModel::PrepareFrame) into its client area (the painter's coordinates are
// the view's client coordinates); the caller hands the result back to the model
// (GraphModel::FramePainted).
PaintedFrame PaintGraph(QPainter& p, const GraphModel& m, const GraphInputs& in,
                        const RenderOptions& o);

// The traces of every drawn channel (paint step "traces"). With the inputs, dense
// columns of a long series are reduced through its min/max envelope (kept between
// paints); without them, by walking every point of a column (the reference the
// envelope is held to).
void DrawTraces(QPainter& p, const GraphModel& m, const GraphInputs& in, bool decimate);
void DrawTraces(QPainter& p, const GraphModel& m, const AppSettings& s, bool decimate);

// Segment i (relative, 1-based end point) of channel ch: the line between points
// FirstPoint() + i - 2 and FirstPoint() + i - 1, skipped when both ends lie on the
// same side outside the plot. Mark points around both ends when `marks`.
void DrawSegment(QPainter& p, const GraphModel& m, int ch, int64_t i, const QColor& colour,
                 bool marks);

// The read-out strip under the plot alone: filled black, the model's read-out
// text in panel grey (a mouse move repaints only this and the cursor line).
void PaintReadout(QPainter& p, const GraphModel& m, const QColor& panelGrey);
