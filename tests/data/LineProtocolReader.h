#pragma once
// A reader of InfluxDB line protocol written from the protocol's grammar, to check
// our lines the way a database would take them:
//   measurement[,tag_key=tag_value...] field_key=field_value[,...] [timestamp]
// Measurement: commas and blanks escaped by a backslash; tag keys, tag values and
// field keys: commas, equals signs and blanks escaped; a backslash escapes itself.
// Field values: floats, integers with a trailing i, strings in double quotes,
// booleans.

#include <QByteArray>
#include <QString>

#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <string>

namespace lineprotocol {

struct Line {
    std::string measurement;
    std::map<std::string, std::string> tags;
    std::map<std::string, double> numbers; // float and integer fields
    std::map<std::string, std::string> strings;
    std::optional<int64_t> timestamp;
};

class Reader {
public:
    explicit Reader(const QByteArray& text) : m_s(text.toStdString()) {}

    // The line, or nothing with the reason in Error().
    std::optional<Line> Parse() {
        Line l;
        if (!Element(l.measurement, ", ") || l.measurement.empty())
            return Fail("measurement");
        while (Peek(',')) {
            ++m_i;
            std::string k, v;
            if (!Element(k, ",= ") || k.empty() || !Peek('='))
                return Fail("tag key");
            ++m_i;
            if (!Element(v, ",= ") || v.empty())
                return Fail("tag value");
            l.tags[k] = v;
        }
        if (!Peek(' '))
            return Fail("blank before the fields");
        ++m_i;
        do {
            if (Peek(','))
                ++m_i;
            std::string k;
            if (!Element(k, ",= ") || k.empty() || !Peek('='))
                return Fail("field key");
            ++m_i;
            if (!FieldValue(k, l))
                return Fail("field value");
        } while (Peek(','));
        if (Peek(' ')) {
            ++m_i;
            const size_t start = m_i;
            if (Peek('-'))
                ++m_i;
            while (m_i < m_s.size() && std::isdigit(static_cast<unsigned char>(m_s[m_i])))
                ++m_i;
            if (m_i == start)
                return Fail("timestamp");
            l.timestamp = std::stoll(m_s.substr(start, m_i - start));
        }
        if (m_i != m_s.size())
            return Fail("end of line");
        return l;
    }
    const std::string& Error() const { return m_error; }

private:
    bool Peek(char c) const { return m_i < m_s.size() && m_s[m_i] == c; }

    std::nullopt_t Fail(const char* what) {
        m_error = std::string("bad ") + what + " at " + std::to_string(m_i) + " in: " + m_s;
        return std::nullopt;
    }

    // Reads up to an unescaped character of `stops`; no control character allowed.
    bool Element(std::string& out, const char* stops) {
        while (m_i < m_s.size()) {
            const char c = m_s[m_i];
            if (static_cast<unsigned char>(c) < 0x20)
                return false;
            if (c == '\\' && m_i + 1 < m_s.size() &&
                (std::strchr(stops, m_s[m_i + 1]) || m_s[m_i + 1] == '\\')) {
                out += m_s[m_i + 1];
                m_i += 2;
                continue;
            }
            if (std::strchr(stops, c))
                return true;
            out += c;
            ++m_i;
        }
        return true;
    }

    bool FieldValue(const std::string& key, Line& l) {
        const size_t start = m_i;
        if (Peek('"')) {
            std::string v;
            for (++m_i; m_i < m_s.size() && m_s[m_i] != '"'; ++m_i) {
                if (m_s[m_i] == '\\' && m_i + 1 < m_s.size())
                    ++m_i;
                v += m_s[m_i];
            }
            if (!Peek('"'))
                return false;
            ++m_i;
            l.strings[key] = v;
            return true;
        }
        while (m_i < m_s.size() && m_s[m_i] != ',' && m_s[m_i] != ' ')
            ++m_i;
        std::string v = m_s.substr(start, m_i - start);
        if (v == "t" || v == "true" || v == "f" || v == "false" || v == "T" || v == "F") {
            l.strings[key] = v;
            return true;
        }
        const bool integer = !v.empty() && v.back() == 'i';
        if (integer)
            v.pop_back();
        // Float: [-+]digits[.digits][e[-+]digits], or .digits
        size_t p = 0;
        if (p < v.size() && v[p] == '-')
            ++p;
        size_t digits = 0;
        while (p < v.size() && std::isdigit(static_cast<unsigned char>(v[p])))
            ++p, ++digits;
        if (!integer && p < v.size() && v[p] == '.') {
            ++p;
            while (p < v.size() && std::isdigit(static_cast<unsigned char>(v[p])))
                ++p, ++digits;
        }
        if (!integer && digits > 0 && p < v.size() && (v[p] == 'e' || v[p] == 'E')) {
            ++p;
            if (p < v.size() && (v[p] == '-' || v[p] == '+'))
                ++p;
            size_t exp = 0;
            while (p < v.size() && std::isdigit(static_cast<unsigned char>(v[p])))
                ++p, ++exp;
            if (exp == 0)
                return false;
        }
        if (digits == 0 || p != v.size())
            return false;
        double number = 0; // from_chars: never a locale's decimal comma
        const auto r = std::from_chars(v.data(), v.data() + v.size(), number);
        if (r.ec != std::errc() || r.ptr != v.data() + v.size())
            return false;
        l.numbers[key] = number;
        return true;
    }

    std::string m_s;
    size_t m_i = 0;
    std::string m_error;
};

} // namespace lineprotocol
