#pragma once
// "Now" as seconds since 1970-01-01 00:00:00 UTC, 64-bit (a 32-bit count ends in
// January 2038 while the logger's calendar runs to 2099).

#include <cstdint>

using TimeValue = int64_t;

class Clock {
public:
    virtual ~Clock() = default;
    virtual TimeValue Now() const = 0;
};

class SystemClock : public Clock {
public:
    TimeValue Now() const override;
};

class FixedClock : public Clock {
public:
    explicit FixedClock(TimeValue t = 0) : m_t(t) {}
    TimeValue Now() const override { return m_t; }
    void Set(TimeValue t) { m_t = t; }

private:
    TimeValue m_t;
};
