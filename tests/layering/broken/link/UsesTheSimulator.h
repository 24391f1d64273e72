#pragma once
// The link must not depend on the simulated logger built on top of it.
#include "sim/LoggerModel.h"
