#pragma once
// Pieces shared by the real-time file and the journal of a running acquisition:
// little-endian fields, the CRC-32 both end their records with, and the time field
// (six int32 local calendar fields) turned into UTC with the offset stored beside
// it, so that a file reads back to the same instant in any time zone.

#include "base/Clock.h"

#include <QByteArray>

#include <array>
#include <cstdint>
#include <cstring>
#include <optional>

inline constexpr const char* kInvalidFormatText = "Invalid Format!";

// 0001-01-01 00:00:00 and 9999-12-31 23:59:59 UTC: the dates a time field can carry.
inline constexpr TimeValue kRtEarliestTime = -62135596800;
inline constexpr TimeValue kRtLatestTime = 253402300799;

namespace RtLe {
template <typename T> void Append(QByteArray& out, T v) {
    char b[sizeof(T)];
    for (size_t i = 0; i < sizeof(T); ++i)
        b[i] = char(uint8_t(v >> (8 * i)));
    out.append(b, qsizetype(sizeof(T)));
}
template <typename T> T Read(const char* p) {
    T v = 0;
    for (size_t i = 0; i < sizeof(T); ++i)
        v = T(v | T(T(uint8_t(p[i])) << (8 * i)));
    return v;
}
inline uint16_t U16(const char* p) {
    return Read<uint16_t>(p);
}
inline uint32_t U32(const char* p) {
    return Read<uint32_t>(p);
}
inline uint64_t U64(const char* p) {
    return Read<uint64_t>(p);
}
} // namespace RtLe

// CRC-32 with the common IEEE polynomial, as zlib computes it.
class RtCrc {
public:
    void Add(const char* data, int64_t n);
    uint32_t Value() const { return m_crc; }

private:
    uint32_t m_crc = 0;
};
uint32_t RtCrc32(const QByteArray& bytes);

// Local calendar fields (year, month, day, hour, minute, second) of `t` at a UTC
// offset of `utcOffset` seconds.
std::array<int32_t, 6> RtTimeField(TimeValue t, int32_t utcOffset);
// The instant of such fields, or nothing when they are not a date and time.
std::optional<TimeValue> RtTimeFromField(const std::array<int32_t, 6>& f, int32_t utcOffset);
// Local time minus UTC at `t`, in seconds, as the system's time zone has it.
int32_t RtLocalUtcOffset(TimeValue t);
