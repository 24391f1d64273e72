#pragma once
// The simulator helper lives with the shared test support; this name stays for the
// link tests and the benchmarks that include it.
#include "support/SimProcess.h"
