#include "link/ConfigCommands.h"

#include "link/LoggerProtocol.h"

#include <QDate>
#include <QRegularExpression>

#include <algorithm>
#include <climits>

namespace Config {

namespace {
constexpr uint8_t kSetupBase = 0x10;
constexpr uint8_t kAutoOffBit = 1u << kAutoOffOn;   // 0x04
constexpr uint8_t kCircularBit = 1u << kCircularOn; // 0x08
constexpr uint8_t kClockEnd = 0xFF;
constexpr int kMaxCountSecondsMinutes = 60;
constexpr int kMaxCountHours = 24;

uint8_t UnitCode(int unit) {
    switch (unit) {
    case kMinute:
        return Logger::kUnitMinutes;
    case kHour:
        return Logger::kUnitHours;
    default:
        return Logger::kUnitSeconds;
    }
}
} // namespace

const char* UnitName(int unit) {
    switch (unit) {
    case kMinute:
        return "Minute";
    case kHour:
        return "Hour";
    default:
        return "Second";
    }
}

int TextValue(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+')))
        negative = text[i++] == QLatin1Char('-');
    long long v = 0;
    for (; i < text.size() && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'); ++i) {
        v = v * 10 + (text[i].unicode() - '0');
        if (v > INT_MAX)
            return negative ? INT_MIN : INT_MAX; // long digit strings saturate
    }
    return int(negative ? -v : v);
}

int ClampInterval(int count, int unit) {
    const int max = unit == kHour ? kMaxCountHours : kMaxCountSecondsMinutes;
    if (count > max)
        return max;
    if (count <= 0)
        return 1;
    return count;
}

int ClampIntervalOnUnitChange(int count, int unit) {
    return unit == kHour && count > kMaxCountHours ? kMaxCountHours : count;
}

QByteArray BuildSetupCommand(const SetupValues& v) {
    uint8_t mode = kSetupBase;
    if (v.autoOff == kAutoOffOn)
        mode |= kAutoOffBit;
    if (v.recMode == kCircularOn)
        mode |= kCircularBit;
    const int rise = std::clamp(v.riseLevel, kLevelMin, kLevelMax);
    const int drop = std::clamp(v.dropLevel, kLevelMin, kLevelMax);
    QByteArray c(Logger::kCommandBytes, '\0');
    c[0] = char(Logger::kSetup);
    c[1] = char(mode);
    c[2] = char(UnitCode(v.unit));
    c[3] = char(uint8_t(v.intervalCount & 0xFF));
    c[4] = char(rise / 256);
    c[5] = char(rise % 256);
    c[6] = char(drop / 256);
    c[7] = char(drop % 256);
    return c;
}

int ClampClockField(ClockField f, int value) {
    switch (f) {
    case ClockField::Year:
        return std::clamp(value, kYearMin, kYearMax);
    case ClockField::Month:
        return std::min(value, 12);
    case ClockField::Day:
        return std::min(value, 31);
    case ClockField::Hour:
        return std::min(value, 23);
    case ClockField::Minute:
    case ClockField::Second:
        return std::min(value, 59);
    }
    return value;
}

uint8_t PackedBcd(int v) {
    v = std::clamp(v, 0, 99);
    return uint8_t(v + (v / 10) * 6);
}

QByteArray BuildSetClockCommand(const ClockValues& v) {
    QByteArray c(Logger::kCommandBytes, '\0');
    c[0] = char(Logger::kSetClock);
    c[1] = char(PackedBcd(v.year - 2000));
    c[2] = char(PackedBcd(v.month));
    c[3] = char(PackedBcd(v.day));
    c[4] = char(PackedBcd(v.hour));
    c[5] = char(PackedBcd(v.minute));
    c[6] = char(PackedBcd(v.second));
    c[7] = char(kClockEnd);
    return c;
}

std::optional<ClockValues> ParseClockText(const QString& text, QString* error) {
    static const QRegularExpression re(QStringLiteral(
        "^\\s*(\\d{4})-(\\d{1,2})-(\\d{1,2})[ T]+(\\d{1,2}):(\\d{1,2}):(\\d{1,2})\\s*$"));
    const QRegularExpressionMatch m = re.match(text);
    auto fail = [&](const QString& why) -> std::optional<ClockValues> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (!m.hasMatch())
        return fail(QStringLiteral("'%1' is not a date and time of the form "
                                   "\"YYYY-MM-DD HH:MM:SS\"")
                        .arg(text));
    ClockValues v;
    v.year = m.captured(1).toInt();
    v.month = m.captured(2).toInt();
    v.day = m.captured(3).toInt();
    v.hour = m.captured(4).toInt();
    v.minute = m.captured(5).toInt();
    v.second = m.captured(6).toInt();
    if (v.year < kYearMin || v.year > kYearMax)
        return fail(QStringLiteral("the year %1 is outside %2 to %3, the years the logger's "
                                   "clock can hold")
                        .arg(v.year)
                        .arg(kYearMin)
                        .arg(kYearMax));
    if (!QDate::isValid(v.year, v.month, v.day))
        return fail(QStringLiteral("%1-%2-%3 is not a date of the calendar")
                        .arg(m.captured(1), m.captured(2), m.captured(3)));
    if (v.hour > 23 || v.minute > 59 || v.second > 59)
        return fail(QStringLiteral("%1:%2:%3 is not a time of day")
                        .arg(m.captured(4), m.captured(5), m.captured(6)));
    return v;
}

} // namespace Config
