#include "base/LocalTime.h"

#include <ctime>

namespace {

std::tm LocalTm(TimeValue t) {
    std::tm tm{};
#ifdef _WIN32
    __time64_t v = t;
    _localtime64_s(&tm, &v);
#else
    time_t v = static_cast<time_t>(t);
    localtime_r(&v, &tm);
#endif
    return tm;
}

} // namespace

CalendarFields ToLocalFields(TimeValue t) {
    const std::tm tm = LocalTm(t);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

TimeValue FromLocalFields(const CalendarFields& f) {
    std::tm tm{};
    tm.tm_year = f.year - 1900;
    tm.tm_mon = f.month - 1;
    tm.tm_mday = f.day;
    tm.tm_hour = f.hour;
    tm.tm_min = f.minute;
    tm.tm_sec = f.second;
    tm.tm_isdst = -1;
#ifdef _WIN32
    return _mktime64(&tm);
#else
    return static_cast<TimeValue>(mktime(&tm));
#endif
}

QString FormatLocal(TimeValue t, const char* pattern) {
    const CalendarFields f = ToLocalFields(t);
    QString out;
    for (const char* p = pattern; *p; ++p) {
        if (*p != '%' || !p[1]) {
            out += QLatin1Char(*p);
            continue;
        }
        ++p;
        switch (*p) {
        case 'y':
            out += QString::asprintf("%02d", ((f.year % 100) + 100) % 100);
            break;
        case 'Y':
            out += QString::number(f.year);
            break;
        case 'm':
            out += QString::asprintf("%02d", f.month);
            break;
        case 'd':
            out += QString::asprintf("%02d", f.day);
            break;
        case 'H':
            out += QString::asprintf("%02d", f.hour);
            break;
        case 'M':
            out += QString::asprintf("%02d", f.minute);
            break;
        case 'S':
            out += QString::asprintf("%02d", f.second);
            break;
        case '%':
            out += QLatin1Char('%');
            break;
        default:
            out += QLatin1Char('%');
            out += QLatin1Char(*p);
            break;
        }
    }
    return out;
}

QString FormatDateTime(TimeValue t) {
    return FormatLocal(t, "%d/%m/%y %H:%M:%S");
}
QString FormatTimeOfDay(TimeValue t) {
    return FormatLocal(t, "%H:%M:%S");
}
QString FormatDate(TimeValue t) {
    return FormatLocal(t, "%d/%m/%y");
}

TimeValue SystemClock::Now() const {
    return static_cast<TimeValue>(std::time(nullptr));
}
