#pragma once
// The logger's two configuration commands, setup and set clock, as pure functions:
// the values a user chose in, eight bytes out. The setup and clock dialogs and the
// command-line tool call the same ones, and so do the clamps the dialogs apply while
// the user types, so a script and a click send the same bytes.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace Config {

// Recording interval units as the setup dialog lists them (the settings file keeps
// this index under SAMPUNIT).
enum IntervalUnit : int { kSecond = 0, kMinute = 1, kHour = 2 };
inline constexpr int kUnitCount = 3;
const char* UnitName(int unit); // "Second", "Minute", "Hour"

// The logger's on-values of the two switches: the bit numbers byte 1 of the setup
// command sets (0x04 and 0x08); off is 0.
inline constexpr uint8_t kAutoOffOn = 2;
inline constexpr uint8_t kCircularOn = 3;

// The detection levels a user may set, and the defaults of the setup dialog's "Default".
inline constexpr int kLevelMin = 0;
inline constexpr int kLevelMax = 1000;
inline constexpr int kDefaultInterval = 10;
inline constexpr int kDefaultRiseLevel = 500;
inline constexpr int kDefaultDropLevel = 100;
inline constexpr int kDefaultLevelKind = 1; // "A"

// The clock's year range: the logger keeps two BCD digits of 20yy.
inline constexpr int kYearMin = 2000;
inline constexpr int kYearMax = 2099;

// An edit's text as the dialogs read it: its leading integer, 0 when it has none
// ("" or "-" or "abc"), as the C library's atoi would read it.
int TextValue(const QString& text);

// The interval count as the setup dialog keeps it after every change of the edit:
// above 60 (Second, Minute) or 24 (Hour) becomes that limit, 0 or below becomes 1.
int ClampInterval(int count, int unit);
// After a change of the unit only an hour count is cut, from above, to 24.
int ClampIntervalOnUnitChange(int count, int unit);

struct SetupValues {
    int intervalCount = kDefaultInterval; // as clamped above; its low byte is sent
    int unit = kSecond;
    uint8_t autoOff = 0; // kAutoOffOn or 0
    uint8_t recMode = 0; // kCircularOn or 0
    int riseLevel = kDefaultRiseLevel;
    int dropLevel = kDefaultDropLevel;
};

// AA, 0x10 (+0x04 auto power-off, +0x08 circular logging), unit 0x10/0x20/0x30,
// count, rise level and drop level big-endian. A level outside 0 to 1000 (a hand-
// edited settings file) is sent as the nearest end of that range rather than as
// whatever its low bytes happen to be.
QByteArray BuildSetupCommand(const SetupValues& v);

// The six fields of the clock edits.
enum class ClockField { Year, Month, Day, Hour, Minute, Second };
struct ClockValues {
    int year = kYearMin;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};
// The clamp the clock dialog applies on every change of an edit: month, day, hour,
// minute and second are cut from above only (12, 31, 23, 59, 59); the year is kept in
// 2000 to 2099 from both sides. No calendar check: the 31st of a 30-day month stays.
int ClampClockField(ClockField f, int value);

// Packed BCD of 0 to 99 (v + (v / 10) * 6); a value outside that range, which two
// digits cannot carry, is taken as the nearest end.
uint8_t PackedBcd(int v);
// AC, year - 2000, month, day, hour, minute, second in packed BCD, FF.
QByteArray BuildSetClockCommand(const ClockValues& v);

// The command line's date: "YYYY-MM-DD HH:MM:SS" (a "T" between date and time is
// taken as well). Nothing when it is malformed, not a date of the calendar, or its
// year lies outside 2000 to 2099; `error` then says which.
std::optional<ClockValues> ParseClockText(const QString& text, QString* error);

} // namespace Config
