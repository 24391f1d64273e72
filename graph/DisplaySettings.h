#pragma once
// What the View, Axis Setup and Color Setup dialogs decide, without a widget:
// the axis edits' text rules, the checks and the write-back of Axis Setup's OK,
// the ranges "Fit to Data" proposes, and the colour list of the colour combo box.

#include "graph/GraphModel.h"

#include <QString>
#include <QStringList>

#include <utility>

struct AppSettings;
struct MeasurementSet;

// The integer a typed text starts with ("12.5" 12, "-7x" -7, "abc" 0).
int LeadingInt(const QString& text);
// The axis edit's text after a change: "-" and empty stay as typed (a negative
// number is being typed); anything else becomes its integer, held in
// minimum ... maximum.
QString AxisEditText(const QString& text, int minimum = INT32_MIN, int maximum = INT32_MAX);
// Points of the data the X row may span in a mode.
int AxisPointCount(GraphMode mode, const MeasurementSet& set);

inline const char* const kYAxisOrderMessage =
    "The started Y Axis must be lower than the ended Y Axis";
inline const char* const kXAxisOrderMessage =
    "The started X Axis must be lower than the ended X Axis";

// The six texts of Axis Setup as integers.
struct AxisRanges {
    int ch1From = 0, ch1To = 0, ch2From = 0, ch2To = 0, xFrom = 0, xTo = 0;
};
AxisRanges AxisRangesOf(const QStringList& sixTexts);
// The messages OK shows, in order; none means the ranges are taken. While a
// real-time run is on (outside the waveform mode) the X range ends at the newest
// point, `xTo` replaced by the real-time count.
QStringList AxisSetupMessages(AxisRanges& r, GraphMode mode, bool realTimeRunning, int rtCount);
// Stores accepted ranges in the model, chooses the real-time level that shows
// them, and records the Y ranges as the current mode's in the settings.
void ApplyAxisRanges(GraphModel& m, AppSettings& s, const AxisRanges& r, int rtCount);

// A range that shows `low` ... `high` at once: widened by a tenth of the span on
// each side and rounded outward to a multiple of a 1-2-5 step.
std::pair<int, int> FitRange(double low, double high);
// Fit of channel ch over the shown window; false when it holds no value.
bool FitChannel(const GraphModel& m, const GraphInputs& in, int ch, std::pair<int, int>& range);
