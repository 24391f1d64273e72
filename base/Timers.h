#pragma once
// Window-timer table: the one mechanism behind every time-out, retry, poll and
// deferred step of the application. Production runs on QTimer; tests run on a
// ManualClock so that a whole exchange with the logger plays out in virtual time.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

class TimerTable {
public:
    using Handler = std::function<void(int id)>;

    virtual ~TimerTable() = default;
    // Starts timer `id` with period `ms`; restarting a running id replaces its period
    // and phase. Timers are periodic until killed.
    virtual void Start(int id, int ms) = 0;
    virtual void Kill(int id) = 0;
    virtual bool IsActive(int id) const = 0;
    // Milliseconds on the steady clock these timers run on (virtual time for a manual
    // table), for a handler that measures how long ago something happened.
    virtual int64_t NowMs() const = 0;

    void SetHandler(Handler handler) { m_handler = std::move(handler); }

protected:
    void Fire(int id) {
        if (m_handler)
            m_handler(id);
    }

private:
    Handler m_handler;
};

class QtTimerTable : public QObject, public TimerTable {
    Q_OBJECT
public:
    explicit QtTimerTable(QObject* parent = nullptr) : QObject(parent) { m_steady.start(); }
    void Start(int id, int ms) override;
    void Kill(int id) override;
    bool IsActive(int id) const override;
    int64_t NowMs() const override { return m_steady.elapsed(); }

private:
    std::map<int, QTimer*> m_timers;
    QElapsedTimer m_steady;
};

class ManualTimerTable;

// Virtual time shared by any number of manual timer tables; Advance fires every
// due timer of every attached table in time order (ties in start order).
class ManualClock {
public:
    int64_t NowMs() const { return m_now; }
    void Advance(int64_t ms);
    // Runs until no timer is due before NowMs() + limitMs or `done` returns true.
    bool AdvanceUntil(const std::function<bool()>& done, int64_t limitMs);

private:
    friend class ManualTimerTable;
    int64_t m_now = 0;
    uint64_t m_sequence = 0;
    std::vector<ManualTimerTable*> m_tables;
};

class ManualTimerTable : public TimerTable {
public:
    explicit ManualTimerTable(ManualClock& clock);
    ~ManualTimerTable() override;
    void Start(int id, int ms) override;
    void Kill(int id) override;
    bool IsActive(int id) const override;
    int64_t NowMs() const override;
    int PeriodOf(int id) const;
    // Every Start call in order, for tests that check what was armed.
    const std::vector<std::pair<int, int>>& StartLog() const { return m_startLog; }

private:
    friend class ManualClock;
    struct Entry {
        int periodMs;
        int64_t due;
        uint64_t sequence;
    };
    ManualClock& m_clock;
    std::map<int, Entry> m_entries;
    std::vector<std::pair<int, int>> m_startLog;
};
