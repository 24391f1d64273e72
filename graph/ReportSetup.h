#pragma once
// A graph model of a stored measurement prepared without the main window, as
// entering the stored RMS mode or picking transient record n shows it: for the
// command-line tool, which prints and exports from the same model and paint
// routine as the window.

#include "graph/GraphModel.h"

struct AppSettings;
class MeasurementSet;

// Stored RMS when `record` < 0, else transient record `record` (0-based). False
// when the set holds no such data.
bool PrepareStoredGraph(GraphModel& g, const MeasurementSet& s, const AppSettings& st, int record);
