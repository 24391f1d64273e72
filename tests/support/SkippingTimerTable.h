#pragma once
// Timers on the event loop, as the application runs them, on a clock a test can move
// ahead. Where the far end of a real line is known to stay silent from some point on
// (a logger that answers nothing more), waiting out the time-outs in real time tells
// nothing that the skip does not: SkipToNextDue() moves the clock to the earliest
// due timer and fires it at once, so the handlers see the same times and the same
// order as they would after the wait.

#include "base/Timers.h"

#include <QElapsedTimer>
#include <QTimer>

#include <cstdint>
#include <map>

class SkippingTimerTable : public TimerTable {
public:
    SkippingTimerTable();
    void Start(int id, int ms) override;
    void Kill(int id) override;
    bool IsActive(int id) const override;
    int64_t NowMs() const override { return m_steady.elapsed() + m_skippedMs; }

    // Moves the clock on to the earliest due timer, which then fires from the event
    // loop; returns how far the clock moved (0 when that timer was due already or
    // none is armed).
    int64_t SkipToNextDue();
    // All the time skipped so far.
    int64_t SkippedMs() const { return m_skippedMs; }

private:
    struct Entry {
        int periodMs;
        int64_t due;
        uint64_t sequence;
    };
    // The timer that fires next (the earliest due, ties in start order), or none.
    std::map<int, Entry>::iterator Earliest();
    void FireEarliestDue();
    void Arm();

    std::map<int, Entry> m_entries;
    QTimer m_wake;
    QElapsedTimer m_steady;
    int64_t m_skippedMs = 0;
    uint64_t m_sequence = 0;
};
