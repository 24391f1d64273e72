// The logger model's side of the two configuration commands: a setup sets the
// interval and the detection levels of the recording it serves next, a set-clock
// the start of that recording, and both are acknowledged with one byte.

#include "sim/LoggerModel.h"

#include "link/LoggerProtocol.h"

namespace {
// Packed BCD of 0 to 99, or -1 for a byte that is not one.
int FromBcd(uint8_t b) {
    const int hi = b >> 4, lo = b & 0x0F;
    return hi > 9 || lo > 9 ? -1 : hi * 10 + lo;
}
} // namespace

QByteArray LoggerModel::TakeConfigCommand(const QByteArray& cmd) {
    const auto* b = reinterpret_cast<const uint8_t*>(cmd.constData());
    if (b[0] == Logger::kSetup) {
        m_lastSetup = cmd;
        m_header.intervalUnit = b[2];
        m_header.intervalCount = b[3];
        m_header.riseLevel = int16_t((b[4] << 8) | b[5]);
        m_header.dropLevel = int16_t((b[6] << 8) | b[7]);
    } else {
        m_lastClock = cmd;
        const CalendarFields f{2000 + FromBcd(b[1]), FromBcd(b[2]), FromBcd(b[3]),
                               FromBcd(b[4]),        FromBcd(b[5]), FromBcd(b[6])};
        // A clock the logger could not run (a BCD digit above 9, month 13) keeps the
        // old one; the 31st of a 30-day month is taken as sent, as the host sends it.
        const bool valid = f.year >= 2000 && f.month >= 1 && f.month <= 12 && f.day >= 1 &&
                           f.day <= 31 && f.hour >= 0 && f.hour <= 23 && f.minute >= 0 &&
                           f.minute <= 59 && f.second >= 0 && f.second <= 59;
        if (valid)
            m_header.start = f;
    }
    if (m_configObserver)
        m_configObserver(cmd);
    if (m_faults.noAck)
        return {};
    return QByteArray(1, char(m_faults.notLogging ? Logger::kAckNotLogging : Logger::kAck));
}
