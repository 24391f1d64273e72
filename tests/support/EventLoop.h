#pragma once
// The event loop for tests that talk to something the manual clock cannot move: a
// pseudo-terminal, a child process.

#include <functional>

class QCoreApplication;

// The application object of a test binary without widgets; created on first use.
QCoreApplication& CoreApp();

// Runs the event loop until `done` holds, for at most `timeoutMs` of wall clock.
// Returns whether `done` held. Wakes on every event and at least every few
// milliseconds, so it ends as soon as the condition is met rather than after a
// fixed slice.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs);
