#pragma once
// A real-time run read from its file, made ready for the graph and list reports as
// the window shows a run in its real-time RMS mode: the values in the set's
// real-time half, the extremes with the times of their samples, the model's mode,
// channels, axes and information bar.

#include "graph/GraphModel.h"

struct AppSettings;
class MeasurementSet;
struct RtdataImage;

// False when the run holds no sample or is inconsistent.
bool PrepareRunGraph(GraphModel& g, MeasurementSet& s, AppSettings& st, const RtdataImage& run);
