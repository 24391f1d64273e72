#include "data/ReportWriter.h"

#include "base/LocalTime.h"
#include "data/StdataFile.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string>
#include <vector>

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
    return int64_t(set.RmsCount()) + int64_t(kTrPoints) * set.TrCount();
}

int64_t ReportEntriesPerLine(const MeasurementSet& set) {
    return ReportEntryCount(set) / kReportEntriesPerColumn + 1;
}

namespace {

// Walks the entries of a consistent set in report order: the RMS samples in time,
// each transient record placed before the first sample whose interval it falls
// past, its header row and then its continuation rows.
class ReportBuilder {
public:
    explicit ReportBuilder(const MeasurementSet& set)
        : m_set(set),
          // About 45 bytes an entry; the hint is capped, growth takes care of the rest.
          m_out(qsizetype(std::min<int64_t>(ReportEntryCount(set) * 48 + 256, int64_t(64) << 20))),
          m_ch1(set.ChannelPresent(0) == 1), m_ch2(set.ChannelPresent(1) == 1),
          m_unit1(Latin1(set.ChannelUnit(0))), m_unit2(Latin1(set.ChannelUnit(1))),
          m_intervalWhole(int64_t(set.RmsInterval())) // trunc towards zero
    {}

    QByteArray Build() {
        const int64_t total = ReportEntryCount(m_set);
        const int64_t perLine = ReportEntriesPerLine(m_set);
        m_out.Lit(kTitleLine);
        for (int64_t b = 0; b < perLine; ++b)
            m_out.Lit(kColumnNames);
        m_out.Lit("\r\n");
        int64_t n = 1;
        bool stuck = false;
        while (n <= total && !stuck) {
            for (int64_t b = 0; b < perLine && n <= total; ++b, ++n) {
                if (!Entry(n)) {
                    stuck = true;
                    break;
                }
            }
            m_out.Lit("\r\n");
        }
        return m_out.Take();
    }

private:
    // Entry number n: false when no value is left for it, which consistent counts
    // never allow (every entry takes one value); the caller stops rather than loop.
    bool Entry(int64_t n) {
        if (m_z % kTrPoints != 0) {
            ContinuationRow(n);
            return true;
        }
        const TimeValue t0 = m_set.RmsSampleTime(m_x);
        if (m_x < m_set.RmsCount() && !RecordWithin(t0, t0 + m_intervalWhole)) {
            RmsRow(n, t0);
            ++m_x;
            return true;
        }
        if (m_y < m_set.TrCount()) {
            RecordHeaderRow(n);
            return true;
        }
        return false;
    }

    // Whether the next transient record falls in [t0, t1). Absolute times decide
    // where a record goes: in the hour that repeats when summer time ends, local
    // calendar fields would misplace it.
    bool RecordWithin(TimeValue t0, TimeValue t1) const {
        if (m_y == m_set.TrCount())
            return false;
        const TimeValue t = m_set.TrTimes()[size_t(m_y)];
        return t >= t0 && t < t1;
    }

    void Head(int64_t n, const char* kind, size_t kindLen) {
        m_out.Int(n);
        m_out.Lit("\t");
        m_out.Put(kind, kindLen);
        m_out.Lit("\t");
    }
    void Tail(TimeValue t) {
        m_out.Lit(" ");
        m_out.Put(m_time.Of(t));
        m_out.Lit(" \t");
    }
    void RmsValue(bool present, const std::vector<float>& values, const std::string& unit) {
        if (present) {
            m_out.Fixed(values[size_t(m_x)], 1);
            m_out.Put(unit);
        } else {
            m_out.Lit(kAbsent);
        }
        m_out.Lit("\t");
    }
    void RmsRow(int64_t n, TimeValue t) {
        Head(n, "RMS", 3);
        RmsValue(m_ch1, m_set.ChannelRms(0), m_unit1);
        RmsValue(m_ch2, m_set.ChannelRms(1), m_unit2);
        Tail(t);
    }
    // column: 0 CH1, 1 CH2, -1 neither.
    void TrRow(int64_t n, int column, float value, TimeValue t) {
        Head(n, "TR", 2);
        for (int c = 0; c < 2; ++c) {
            if (column == c) {
                m_out.Fixed(value, 0);
                m_out.Put(m_trUnit, std::strlen(m_trUnit));
            } else {
                m_out.Lit(kAbsent);
            }
            m_out.Lit("\t");
        }
        Tail(t);
    }
    // The first row of the next record; it sets the unit and column its
    // continuation rows use.
    void RecordHeaderRow(int64_t n) {
        const size_t k = size_t(m_y);
        const uint8_t unitCode = m_set.TrUnitCodes()[k];
        if (unitCode == kTrUnitVolts)
            m_trUnit = "V";
        else if (unitCode == kTrUnitAmps)
            m_trUnit = "A";
        const uint8_t code = m_set.TrChannelCodes()[k];
        int column = -1; // the header row of an unknown channel shows no value
        if (code == kTrChannel1)
            column = m_lastKnownColumn = 0;
        else if (code == kTrChannel2)
            column = m_lastKnownColumn = 1;
        TrRow(n, column, m_set.TrWave()[size_t(m_z)], m_set.TrTimes()[k]);
        ++m_y;
        ++m_z;
    }
    // A further value of the record whose header was the last TR row.
    void ContinuationRow(int64_t n) {
        const size_t k = size_t(m_y - 1);
        const uint8_t code = m_set.TrChannelCodes()[k];
        const int column = code == kTrChannel1 ? 0 : code == kTrChannel2 ? 1 : m_lastKnownColumn;
        TrRow(n, column, m_set.TrWave()[size_t(m_z)], m_set.TrTimes()[k]);
        ++m_z;
    }

    const MeasurementSet& m_set;
    Out m_out;
    const bool m_ch1;
    const bool m_ch2;
    const std::string m_unit1;
    const std::string m_unit2;
    const int64_t m_intervalWhole;
    TimeText m_time;
    int64_t m_x = 0; // next RMS sample
    int64_t m_y = 0; // next TR record
    int64_t m_z = 0; // next TR waveform value
    // The unit of a record with an unknown unit code is that of the record before
    // it; a continuation row of a record with an unknown channel code goes to the
    // column of the last record whose channel was known, CH2 if there was none.
    const char* m_trUnit = "";
    int m_lastKnownColumn = 1;
};

} // namespace

QByteArray BuildReport(const MeasurementSet& set, QString* error) {
    if (!set.StoredIsConsistent()) {
        if (error)
            *error =
                QStringLiteral("The measurement in memory is inconsistent; no report was written.");
        return {};
    }
    return ReportBuilder(set).Build();
}

bool WriteReportFile(const QString& path, const MeasurementSet& set, QString* error) {
    const QByteArray bytes = BuildReport(set, error);
    if (bytes.isEmpty())
        return false;
    return WriteFileAtomically(path, bytes, error);
}
