#include "base/Timers.h"

#include <algorithm>
#include <limits>

void QtTimerTable::Start(int id, int ms) {
    QTimer*& timer = m_timers[id];
    if (!timer) {
        timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this, id] { Fire(id); });
    }
    // Short periods (probes, block repeats) need their timing; a coarse timer may
    // fire up to 5 % late.
    timer->setTimerType(ms < 1000 ? Qt::PreciseTimer : Qt::CoarseTimer);
    timer->start(std::max(ms, 1));
}

void QtTimerTable::Kill(int id) {
    auto it = m_timers.find(id);
    if (it != m_timers.end())
        it->second->stop();
}

bool QtTimerTable::IsActive(int id) const {
    auto it = m_timers.find(id);
    return it != m_timers.end() && it->second->isActive();
}

ManualTimerTable::ManualTimerTable(ManualClock& clock) : m_clock(clock) {
    m_clock.m_tables.push_back(this);
}

ManualTimerTable::~ManualTimerTable() {
    auto& tables = m_clock.m_tables;
    tables.erase(std::remove(tables.begin(), tables.end(), this), tables.end());
}

void ManualTimerTable::Start(int id, int ms) {
    // A zero period would fire forever within one Advance; the platform's own
    // timers have a minimum period too.
    const int period = std::max(ms, 1);
    m_entries[id] = Entry{period, m_clock.m_now + period, m_clock.m_sequence++};
    m_startLog.emplace_back(id, ms);
}

void ManualTimerTable::Kill(int id) {
    m_entries.erase(id);
}

bool ManualTimerTable::IsActive(int id) const {
    return m_entries.count(id) != 0;
}

int64_t ManualTimerTable::NowMs() const {
    return m_clock.NowMs();
}

int ManualTimerTable::PeriodOf(int id) const {
    auto it = m_entries.find(id);
    return it == m_entries.end() ? 0 : it->second.periodMs;
}

void ManualClock::Advance(int64_t ms) {
    AdvanceUntil([] { return false; }, ms);
}

bool ManualClock::AdvanceUntil(const std::function<bool()>& done, int64_t limitMs) {
    const int64_t target = m_now + limitMs;
    for (;;) {
        if (done())
            return true;
        // Pick the earliest due timer across all tables; handlers may start or kill
        // timers, so the choice is made afresh after every firing.
        ManualTimerTable* table = nullptr;
        int id = 0;
        int64_t due = std::numeric_limits<int64_t>::max();
        uint64_t sequence = std::numeric_limits<uint64_t>::max();
        for (ManualTimerTable* t : m_tables) {
            for (const auto& [tid, e] : t->m_entries) {
                if (e.due < due || (e.due == due && e.sequence < sequence)) {
                    table = t;
                    id = tid;
                    due = e.due;
                    sequence = e.sequence;
                }
            }
        }
        if (!table || due > target) {
            m_now = target;
            return done();
        }
        m_now = due;
        ManualTimerTable::Entry& e = table->m_entries[id];
        e.due = due + e.periodMs;
        e.sequence = m_sequence++;
        table->Fire(id);
    }
}
