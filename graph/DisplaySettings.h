#pragma once
// What the View, Axis Setup and Color Setup dialogs decide, without a widget:
// the axis edits' text rules, the checks and the write-back of Axis Setup's OK,
// the ranges "Fit to Data" proposes, and the colour list of the colour combo box.

#include "graph/GraphModel.h"

#include <QString>
#include <QStringList>

#include <array>
#include <utility>

struct AppSettings;
class MeasurementSet;

// The three dialogs are offered while a graph is shown.
bool DisplayDialogsEnabled(const GraphModel& m);

// ----- View -----
// The nine view switches in settings order (VIEW1 ... VIEW9), each 0 or 1. The
// dialog offers CH1, CH2, mark points and the two grid switches and carries the
// other four through.
struct ViewOptions {
    enum Index { Ch1, Ch2, Ch3, DetectionLevel, Ch2Alarm, Ch3Alarm, MarkPoints, YGrid, XGrid };
    static constexpr int kCount = 9;
    std::array<int, kCount> on{};
};
ViewOptions ViewOptionsOf(const AppSettings& s);
void ApplyViewOptions(AppSettings& s, const ViewOptions& v);

// ----- Color Setup -----
// The colour of each combo box as a position in the colour table; -1 is a combo
// box with nothing selected (an index outside the table was read from the
// settings file). Stored back as a byte, -1 becomes 255.
struct ColourChoice {
    int background = -1, ch1 = -1, ch2 = -1, ch3 = -1, grid = -1;
};
ColourChoice ColourChoiceOf(const AppSettings& s);
void ApplyColourChoice(AppSettings& s, const ColourChoice& c);
// The table position a stored colour index selects: -1 outside the table.
int ColourPosition(uint8_t index);

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

// What Axis Setup opens with: the six texts of the current ranges, the number
// of points the X row may reach, and whether the X row may be edited (a
// transient record keeps its own window).
struct AxisDialogSetup {
    QStringList texts; // CH1 from, CH1 to, CH2 from, CH2 to, X from, X to
    int points = 0;
    bool xEditable = true;
};
AxisDialogSetup AxisDialogSetupOf(const GraphModel& m, const MeasurementSet& set);
// The text rules of the three kinds of axis edit while typing.
QString YEditText(const QString& text);
QString XFromEditText(const QString& text);
QString XToEditText(const QString& text, int points);

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
// Axis Setup's "Fit to Data": the four Y texts (CH1 from, CH1 to, CH2 from, CH2
// to) replaced by the fitted ranges of the channels the graph draws data for; a
// channel without data keeps its texts.
void FitYTexts(const GraphModel& m, const GraphInputs& in, QStringList& sixTexts);
