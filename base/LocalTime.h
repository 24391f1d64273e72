#pragma once
// Conversion between time values and local calendar fields, and the display
// format used for every time text of the application.

#include "base/Clock.h"

#include <QString>

struct CalendarFields {
    int year = 1970;
    int month = 1; // 1-12
    int day = 1;   // 1-31
    int hour = 0;
    int minute = 0;
    int second = 0;
    bool operator==(const CalendarFields&) const = default;
};

// Local calendar fields of `t`; the platform's rules decide daylight saving time.
CalendarFields ToLocalFields(TimeValue t);
// Time value of local calendar fields, daylight saving decided by the platform.
// Out-of-range fields are normalised as mktime does (month 13 is January next year).
TimeValue FromLocalFields(const CalendarFields& f);
// "%d/%m/%y %H:%M:%S", e.g. "03/02/10 14:05:00".
QString FormatDateTime(TimeValue t);
// "%H:%M:%S" and "%d/%m/%y" separately (axis labels put them on two lines).
QString FormatTimeOfDay(TimeValue t);
QString FormatDate(TimeValue t);
// strftime-like formatting of local time with %y %m %d %H %M %S %Y only.
QString FormatLocal(TimeValue t, const char* pattern);
