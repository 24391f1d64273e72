#include "support/SkippingTimerTable.h"

#include <algorithm>

SkippingTimerTable::SkippingTimerTable() {
    m_steady.start();
    m_wake.setSingleShot(true);
    m_wake.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_wake, &QTimer::timeout, [this] { FireEarliestDue(); });
}

void SkippingTimerTable::Start(int id, int ms) {
    const int period = std::max(ms, 1);
    m_entries[id] = Entry{period, NowMs() + period, m_sequence++};
    Arm();
}

void SkippingTimerTable::Kill(int id) {
    m_entries.erase(id);
    Arm();
}

bool SkippingTimerTable::IsActive(int id) const {
    return m_entries.count(id) != 0;
}

std::map<int, SkippingTimerTable::Entry>::iterator SkippingTimerTable::Earliest() {
    return std::min_element(m_entries.begin(), m_entries.end(), [](const auto& a, const auto& b) {
        return a.second.due < b.second.due ||
               (a.second.due == b.second.due && a.second.sequence < b.second.sequence);
    });
}

int64_t SkippingTimerTable::SkipToNextDue() {
    const auto next = Earliest();
    if (next == m_entries.end())
        return 0;
    const int64_t ahead = std::max<int64_t>(0, next->second.due - NowMs());
    m_skippedMs += ahead;
    Arm();
    return ahead;
}

void SkippingTimerTable::FireEarliestDue() {
    const auto next = Earliest();
    if (next == m_entries.end() || next->second.due > NowMs()) {
        Arm();
        return;
    }
    const int id = next->first;
    Entry& e = next->second;
    // Periodic as a platform timer is: a firing that came a period late or more is not
    // made up for, the next one comes a period after it.
    e.due += e.periodMs;
    if (e.due <= NowMs())
        e.due = NowMs() + e.periodMs;
    e.sequence = m_sequence++;
    // Armed before the handler runs, which may open a nested event loop.
    Arm();
    Fire(id);
}

void SkippingTimerTable::Arm() {
    const auto next = Earliest();
    if (next == m_entries.end()) {
        m_wake.stop();
        return;
    }
    m_wake.start(int(std::clamp<int64_t>(next->second.due - NowMs(), 0, 1 << 30)));
}
