#include "graph/GraphModel.h"

int ModeNumber(GraphMode mode) {
    switch (mode) {
    case GraphMode::StoreRms: return 1;
    case GraphMode::StoreTransient: return 2;
    case GraphMode::RealTimeEpa: return 3;
    case GraphMode::RealTimeRms: return 4;
    case GraphMode::RealTimeFrequency: return 6;
    case GraphMode::RealTimeApparentPower: return 7;
    case GraphMode::None: break;
    }
    return 0;
}
