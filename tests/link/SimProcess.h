#pragma once
// The simulator helper moved to the shared test support; this name stays for the
// link tests that include it.
#include "support/Simulator.h"
