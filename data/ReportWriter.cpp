#include "data/ReportWriter.h"

#include "base/LocalTime.h"
#include "data/StdataFile.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string>

namespace {

constexpr char kTitleLine[] =
    "                         ELECTRIC POWER TEST REPORT(STORE RMS/TR)\r\n";
constexpr char kColumnNames[] = "NO.\tRMS/TR\tCH1\tCH2\tTIME\t";
constexpr char kAbsent[] = "----";

// Writes into a byte buffer through a raw pointer, growing it when a piece does not
// fit; numbers go through std::to_chars, which never consults the C locale.
class Out {
public:
    explicit Out(qsizetype expected)
        : m_buf(std::max<qsizetype>(expected, 256), Qt::Uninitialized) {
        m_p = m_buf.data();
        m_end = m_p + m_buf.size();
    }
    void Put(const char* s, size_t n) {
        Room(n);
        std::memcpy(m_p, s, n);
        m_p += n;
    }
    void Put(const std::string& s) { Put(s.data(), s.size()); }
    template <size_t N> void Lit(const char (&s)[N]) { Put(s, N - 1); }
    void Int(int64_t v) {
        Room(24);
        m_p = std::to_chars(m_p, m_end, v).ptr;
    }
    // "%.1f" / "%.0f": to_chars with fixed precision rounds the exact binary value
    // as printf does, and spells nan and inf the same way. A float has at most 39
    // integer digits.
    void Fixed(float v, int decimals) {
        Room(64);
        m_p = std::to_chars(m_p, m_end, double(v), std::chars_format::fixed, decimals).ptr;
    }
    QByteArray Take() {
        m_buf.truncate(m_p - m_buf.data());
        return std::move(m_buf);
    }

private:
    void Room(size_t n) {
        if (size_t(m_end - m_p) >= n)
            return;
        const qsizetype used = m_p - m_buf.data();
        m_buf.resize(std::max(m_buf.size() * 2, used + qsizetype(n)));
        m_p = m_buf.data() + used;
        m_end = m_buf.data() + m_buf.size();
    }
    QByteArray m_buf;
    char* m_p;
    char* m_end;
};

// "%d/%m/%y %H:%M:%S" of local time, remembered for the repeats of a TR record.
class TimeText {
public:
    const std::string& Of(TimeValue t) {
        if (!m_valid || t != m_last) {
            const CalendarFields f = ToLocalFields(t);
            char s[17];
            Two(s + 0, f.day);
            s[2] = '/';
            Two(s + 3, f.month);
            s[5] = '/';
            Two(s + 6, ((f.year % 100) + 100) % 100);
            s[8] = ' ';
            Two(s + 9, f.hour);
            s[11] = ':';
            Two(s + 12, f.minute);
            s[14] = ':';
            Two(s + 15, f.second);
            m_text.assign(s, sizeof s);
            m_last = t;
            m_valid = true;
        }
        return m_text;
    }

private:
    static void Two(char* p, int v) {
        p[0] = char('0' + (v / 10) % 10);
        p[1] = char('0' + v % 10);
    }
    TimeValue m_last = 0;
    bool m_valid = false;
    std::string m_text;
};

std::string Latin1(const QString& s) {
    return s.toLatin1().toStdString();
}

} // namespace

int64_t ReportEntryCount(const MeasurementSet& set) {
    return int64_t(set.m_rmsCount) + int64_t(kTrPoints) * set.m_trCount;
}

int64_t ReportEntriesPerLine(const MeasurementSet& set) {
    return ReportEntryCount(set) / kReportEntriesPerColumn + 1;
}

QByteArray BuildReport(const MeasurementSet& set, QString* error) {
    if (!set.StoredIsConsistent()) {
        if (error)
            *error =
                QStringLiteral("The measurement in memory is inconsistent; no report was written.");
        return {};
    }
    const int64_t total = ReportEntryCount(set);
    const int64_t perLine = ReportEntriesPerLine(set);
    // About 45 bytes an entry; the hint is capped, growth takes care of the rest.
    Out out(qsizetype(std::min<int64_t>(total * 48 + 256, int64_t(64) << 20)));

    out.Lit(kTitleLine);
    for (int64_t b = 0; b < perLine; ++b)
        out.Lit(kColumnNames);
    out.Lit("\r\n");

    const bool ch1 = set.m_ch1Present == 1;
    const bool ch2 = set.m_ch2Present == 1;
    const std::string unit1 = Latin1(set.m_ch1Unit);
    const std::string unit2 = Latin1(set.m_ch2Unit);
    const int64_t rmsCount = set.m_rmsCount;
    const int64_t trCount = set.m_trCount;
    const int64_t intervalWhole = int64_t(set.m_rmsInterval); // trunc towards zero

    TimeText time;
    int64_t x = 0; // next RMS sample
    int64_t y = 0; // next TR record
    int64_t z = 0; // next TR waveform value
    // The unit of a record with an unknown unit code is that of the record before
    // it; a continuation row of a record with an unknown channel code goes to the
    // column of the last record whose channel was known, CH2 if there was none.
    const char* trUnit = "";
    int lastKnownColumn = 1;

    auto head = [&](int64_t n, const char* kind, size_t kindLen) {
        out.Int(n);
        out.Lit("\t");
        out.Put(kind, kindLen);
        out.Lit("\t");
    };
    auto tail = [&](TimeValue t) {
        out.Lit(" ");
        out.Put(time.Of(t));
        out.Lit(" \t");
    };
    auto rmsRow = [&](int64_t n, TimeValue t) {
        head(n, "RMS", 3);
        if (ch1) {
            out.Fixed(set.m_ch1Rms[size_t(x)], 1);
            out.Put(unit1);
        } else {
            out.Lit(kAbsent);
        }
        out.Lit("\t");
        if (ch2) {
            out.Fixed(set.m_ch2Rms[size_t(x)], 1);
            out.Put(unit2);
        } else {
            out.Lit(kAbsent);
        }
        out.Lit("\t");
        tail(t);
    };
    // column: 0 CH1, 1 CH2, -1 neither.
    auto trRow = [&](int64_t n, int column, float value, TimeValue t) {
        head(n, "TR", 2);
        for (int c = 0; c < 2; ++c) {
            if (column == c) {
                out.Fixed(value, 0);
                out.Put(trUnit, std::strlen(trUnit));
            } else {
                out.Lit(kAbsent);
            }
            out.Lit("\t");
        }
        tail(t);
    };

    int64_t n = 1;
    bool stuck = false;
    while (n <= total && !stuck) {
        for (int64_t b = 0; b < perLine && n <= total; ++b, ++n) {
            if (z % kTrPoints != 0) {
                // Continuation of the record whose header was the last TR row.
                const size_t k = size_t(y - 1);
                const uint8_t code = set.m_trChannelCode[k];
                const int column = code == kTrChannel1   ? 0
                                   : code == kTrChannel2 ? 1
                                                         : lastKnownColumn;
                trRow(n, column, set.m_trWave[size_t(z)], set.m_trTime[k]);
                ++z;
                continue;
            }
            const TimeValue t0 = set.RmsSampleTime(x);
            const TimeValue t1 = t0 + intervalWhole;
            // Absolute times decide where a record goes: in the hour that repeats
            // when summer time ends, local calendar fields would misplace it.
            if (x < rmsCount &&
                (y == trCount || set.m_trTime[size_t(y)] < t0 || set.m_trTime[size_t(y)] >= t1)) {
                rmsRow(n, t0);
                ++x;
                continue;
            }
            if (y < trCount) {
                const size_t k = size_t(y);
                const uint8_t unitCode = set.m_trUnitCode[k];
                if (unitCode == kTrUnitVolts)
                    trUnit = "V";
                else if (unitCode == kTrUnitAmps)
                    trUnit = "A";
                const uint8_t code = set.m_trChannelCode[k];
                int column = -1; // the header row of an unknown channel shows no value
                if (code == kTrChannel1)
                    column = lastKnownColumn = 0;
                else if (code == kTrChannel2)
                    column = lastKnownColumn = 1;
                trRow(n, column, set.m_trWave[size_t(z)], set.m_trTime[k]);
                ++y;
                ++z;
                continue;
            }
            // Unreachable with consistent counts (every entry consumes one value);
            // stop rather than loop.
            stuck = true;
            break;
        }
        out.Lit("\r\n");
    }
    return out.Take();
}

bool WriteReportFile(const QString& path, const MeasurementSet& set, QString* error) {
    const QByteArray bytes = BuildReport(set, error);
    if (bytes.isEmpty())
        return false;
    return WriteFileAtomically(path, bytes, error);
}
