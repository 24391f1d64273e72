#pragma once
// What this test process itself holds open, for tests that check a port was closed.

#include <QString>

// Whether this process still holds a descriptor of `device` (also one whose device
// node went away with the program that served it).
bool ProcessHolds(const QString& device);
