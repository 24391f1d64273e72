#pragma once
// Display state of the graph view that the rest of the application consults.
// (The graph model proper grows here: modes, scales, ticks and labels.)

#include <cstdint>

enum class GraphMode {
    None,
    StoreRms,
    StoreTransient,
    RealTimeEpa,
    RealTimeRms,
    RealTimeFrequency,
    RealTimeApparentPower
};

// Settings number of a mode (1, 2, 3, 4, 6, 7); 0 for None.
int ModeNumber(GraphMode mode);

struct GraphModel {
    GraphMode m_mode = GraphMode::None;
    int32_t m_firstPoint = 0;
    int32_t m_lastPoint = 0;
    int32_t m_infoBarHeight = 120;
    // 0 nothing loaded (welcome screen), 1 graph, 2 list report.
    uint8_t m_displayContent = 0;
};
