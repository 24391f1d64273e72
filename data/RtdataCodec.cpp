#include "data/RtdataCodec.h"

#include <QDateTime>

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2 ? 1 : 0;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, int64_t& m, int64_t& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = yoe + era * 400 + (m <= 2 ? 1 : 0);
}

int64_t FloorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0);
}

bool IsLeap(int64_t y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int64_t DaysInMonth(int64_t y, int64_t m) {
    static constexpr std::array<int64_t, 12> kDays = {31, 28, 31, 30, 31, 30,
                                                      31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : kDays[size_t(m - 1)];
}

} // namespace

void RtCrc::Add(const char* data, int64_t n) {
    while (n > 0) {
        const uInt part = uInt(std::min<int64_t>(n, INT_MAX));
        m_crc = uint32_t(crc32(m_crc, reinterpret_cast<const Bytef*>(data), part));
        data += part;
        n -= part;
    }
}

uint32_t RtCrc32(const QByteArray& bytes) {
    RtCrc crc;
    crc.Add(bytes.constData(), bytes.size());
    return crc.Value();
}

std::array<int32_t, 6> RtTimeField(TimeValue t, int32_t utcOffset) {
    const int64_t local = std::clamp<int64_t>(t, kRtEarliestTime, kRtLatestTime) + utcOffset;
    const int64_t days = FloorDiv(local, 86400);
    const int64_t secs = local - days * 86400;
    int64_t y = 0, m = 0, d = 0;
    CivilFromDays(days, y, m, d);
    return {
        int32_t(y),        int32_t(m), int32_t(d), int32_t(secs / 3600), int32_t(secs / 60 % 60),
        int32_t(secs % 60)};
}

std::optional<TimeValue> RtTimeFromField(const std::array<int32_t, 6>& f, int32_t utcOffset) {
    const int64_t y = f[0], m = f[1], d = f[2];
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > DaysInMonth(y, m))
        return std::nullopt;
    if (f[3] < 0 || f[3] > 23 || f[4] < 0 || f[4] > 59 || f[5] < 0 || f[5] > 59)
        return std::nullopt;
    const int64_t t = DaysFromCivil(y, m, d) * 86400 + int64_t(f[3]) * 3600 + int64_t(f[4]) * 60 +
                      f[5] - utcOffset;
    if (t < kRtEarliestTime || t > kRtLatestTime)
        return std::nullopt;
    return t;
}

int32_t RtLocalUtcOffset(TimeValue t) {
    return int32_t(QDateTime::fromSecsSinceEpoch(t).offsetFromUtc());
}
