#include "data/LineFormats.h"

#include "data/MeasurementSet.h"
#include "data/RealTimeCsv.h"
#include "data/RtdataFile.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Decimals of each quantity, as the panel and the CSV show them.
constexpr int kRmsDecimals = 1;
constexpr int kHzDecimals = 1;
constexpr int kThdDecimals = 1;
constexpr int kPowerDecimals = 0;
constexpr int kPfDecimals = 3;
constexpr int kPhiDecimals = 1;

bool Known(const std::optional<double>& v) {
    return v.has_value() && std::isfinite(*v);
}

// QString::asprintf formats the number itself: a decimal point whatever the locale.
QByteArray Fixed(double v, int decimals) {
    return QString::asprintf("%.*f", decimals, v).toLatin1();
}

// An interval of 2 s reads "2", one of 1.5 s "1.5".
QByteArray Compact(double v) {
    QByteArray b = Fixed(v, 3);
    while (b.endsWith('0'))
        b.chop(1);
    if (b.endsWith('.'))
        b.chop(1);
    return b;
}

QByteArray JsonString(const QString& text) {
    QByteArray out = "\"";
    for (const char c : text.toUtf8()) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            out += QString::asprintf("\\u%04x", unsigned(u)).toLatin1();
        } else {
            out += c;
        }
    }
    return out + '"';
}

// Collects "key": value pairs of one JSON object in the order they are added.
class JsonObject {
public:
    void Raw(const char* key, const QByteArray& value) {
        if (!m_body.isEmpty())
            m_body += ", ";
        m_body += '"';
        m_body += key;
        m_body += "\": ";
        m_body += value;
    }
    void Number(const char* key, const std::optional<double>& v, int decimals) {
        if (Known(v))
            Raw(key, Fixed(*v, decimals));
    }
    QByteArray Text() const { return '{' + m_body + '}'; }

private:
    QByteArray m_body;
};

QByteArray ChannelJson(const LineChannel& c) {
    JsonObject o;
    o.Number("rms", c.rms, kRmsDecimals);
    if (!c.unit.isEmpty())
        o.Raw("unit", JsonString(c.unit));
    o.Number("hz", c.hz, kHzDecimals);
    o.Number("thd", c.thd, kThdDecimals);
    return o.Text();
}

// Line protocol: a backslash before each character that would end the element. A
// line end cannot be written at all; it becomes a blank (escaped like any other).
QByteArray LineEscape(const QString& text, const char* special) {
    QByteArray out;
    for (char c : text.toUtf8()) {
        if (static_cast<unsigned char>(c) < 0x20)
            c = ' ';
        if (c == '\\' || std::strchr(special, c) != nullptr)
            out += '\\';
        out += c;
    }
    return out;
}

// Collects the field set "k=v,k=v" of one line.
class LineFields {
public:
    void Add(const char* key, const std::optional<double>& v, int decimals) {
        if (!Known(v))
            return;
        if (!m_text.isEmpty())
            m_text += ',';
        m_text += key;
        m_text += '=';
        m_text += decimals < 0 ? Compact(*v) : Fixed(*v, decimals);
    }
    const QByteArray& Text() const { return m_text; }

private:
    QByteArray m_text;
};

} // namespace

QByteArray SampleJson(const LineSample& s) {
    JsonObject o;
    o.Raw("time", JsonString(IsoLocalTime(s.time)));
    if (Known(s.intervalS))
        o.Raw("interval_s", Compact(*s.intervalS));
    for (size_t ch = 0; ch < s.ch.size(); ++ch)
        if (s.ch[ch].present)
            o.Raw(ch == 0 ? "ch1" : "ch2", ChannelJson(s.ch[ch]));
    o.Number("s_va", s.sVa, kPowerDecimals);
    o.Number("p_w", s.pW, kPowerDecimals);
    o.Number("q_var", s.qVar, kPowerDecimals);
    o.Number("pf", s.pf, kPfDecimals);
    o.Number("phi_deg", s.phiDeg, kPhiDecimals);
    return o.Text();
}

QByteArray SampleLineProtocol(const LineSample& s, const LineTags& tags) {
    LineFields f;
    static const char* const kKeys[2][3] = {{"ch1_rms", "ch1_hz", "ch1_thd"},
                                            {"ch2_rms", "ch2_hz", "ch2_thd"}};
    LineTags allTags = tags;
    for (size_t ch = 0; ch < s.ch.size(); ++ch) {
        const LineChannel& c = s.ch[ch];
        if (!c.present)
            continue;
        f.Add(kKeys[ch][0], c.rms, kRmsDecimals);
        f.Add(kKeys[ch][1], c.hz, kHzDecimals);
        f.Add(kKeys[ch][2], c.thd, kThdDecimals);
        allTags.emplace_back(ch == 0 ? QStringLiteral("ch1_unit") : QStringLiteral("ch2_unit"),
                             c.unit);
    }
    f.Add("s_va", s.sVa, kPowerDecimals);
    f.Add("p_w", s.pW, kPowerDecimals);
    f.Add("q_var", s.qVar, kPowerDecimals);
    f.Add("pf", s.pf, kPfDecimals);
    f.Add("phi_deg", s.phiDeg, kPhiDecimals);
    f.Add("interval_s", s.intervalS, -1);
    if (f.Text().isEmpty())
        return {};

    std::stable_sort(allTags.begin(), allTags.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    QByteArray line = LineEscape(QString::fromLatin1(kLineMeasurement), ", ");
    for (const auto& [key, value] : allTags) {
        if (key.isEmpty() || value.isEmpty())
            continue;
        line += ',' + LineEscape(key, ",= ") + '=' + LineEscape(value, ",= ");
    }
    // Seconds to nanoseconds, InfluxDB's default precision.
    line += ' ' + f.Text() + ' ' + QByteArray::number(qint64(s.time) * 1000000000LL);
    return line;
}

LineSample StoredRmsSample(const MeasurementSet& set, int i) {
    LineSample s;
    s.time = set.RmsSampleTime(i);
    s.intervalS = double(set.RmsInterval());
    for (int ch = 0; ch < 2; ++ch) {
        LineChannel& c = s.ch[size_t(ch)];
        c.present = set.ChannelPresent(ch);
        if (!c.present)
            continue;
        c.unit = set.ChannelUnit(ch);
        const std::vector<float>& rms = set.ChannelRms(ch);
        if (i >= 0 && size_t(i) < rms.size())
            c.rms = double(rms[size_t(i)]);
    }
    const LineChannel& a = s.ch[0];
    const LineChannel& b = s.ch[1];
    const auto isVa = [](const QString& u) {
        return u == QLatin1String("V") || u == QLatin1String("A");
    };
    if (a.present && b.present && isVa(a.unit) && isVa(b.unit) && a.unit != b.unit &&
        Known(a.rms) && Known(b.rms))
        s.sVa = *a.rms * *b.rms;
    return s;
}

namespace {

constexpr float kNoFrequency = 400.0f; // what the analysis gives for no frequency

// One real-time channel as its CSV field shows it: RMS 0 is no usable signal.
LineChannel RealTimeChannel(bool present, const QString& unit, float rms, float hz) {
    LineChannel c;
    c.present = present;
    if (!present)
        return c;
    c.unit = unit;
    if (rms != 0.0f)
        c.rms = double(rms);
    if (hz < kNoFrequency)
        c.hz = double(hz);
    return c;
}

std::optional<double> Widened(const std::optional<float>& v) {
    return v ? std::optional<double>(double(*v)) : std::nullopt;
}

// S(VA) and the power row's figures on top of the channels.
void AddPower(LineSample& s, const RtPowerRow& row) {
    const LineChannel& a = s.ch[0];
    const LineChannel& b = s.ch[1];
    if (a.present && b.present && a.unit != b.unit && a.rms && b.rms)
        s.sVa = *a.rms * *b.rms;
    s.pW = Widened(row.p);
    s.qVar = Widened(row.q);
    s.pf = Widened(row.pf);
    s.phiDeg = Widened(row.phiDeg);
    for (size_t ch = 0; ch < 2; ++ch)
        if (s.ch[ch].present)
            s.ch[ch].thd = Widened(row.thd[ch]);
}

} // namespace

LineSample RealTimeLineSample(const MeasurementSet& set, int n) {
    const RealTimeRun& run = set.Run();
    LineSample s;
    s.time = run.SampleTime(n);
    s.intervalS = double(run.Interval());
    const bool inRange = n >= 0 && size_t(n) < run.Rms().size() && size_t(n) < run.Freq().size();
    for (int ch = 0; ch < 2; ++ch) {
        const float rms = inRange ? run.Rms()[size_t(n)][size_t(ch)] : 0.0f;
        const float hz = inRange ? run.Freq()[size_t(n)][size_t(ch)] : kNoFrequency;
        s.ch[size_t(ch)] =
            RealTimeChannel(set.RtChannelPresent(ch), set.RtChannelUnit(ch), rms, hz);
    }
    const bool rowKnown = inRange && size_t(n) < run.Power().size();
    AddPower(s, rowKnown ? run.Power()[size_t(n)] : RtPowerRow{});
    return s;
}

LineSample RunLineSample(const RtdataImage& run, int n, const RtPowerRow& row) {
    LineSample s;
    const bool inRange = n >= 0 && n < run.Count() && run.IsConsistent();
    s.time = inRange ? run.times[size_t(n)] : run.startTime;
    s.intervalS = double(run.interval);
    for (int ch = 0; ch < 2; ++ch) {
        const bool present = run.ChannelPresent(ch);
        const float rms = present && inRange ? run.rms[size_t(ch)][size_t(n)] : 0.0f;
        const float hz = present && inRange ? run.freq[size_t(ch)][size_t(n)] : kNoFrequency;
        s.ch[size_t(ch)] = RealTimeChannel(present, run.ChannelUnit(ch), rms, hz);
    }
    AddPower(s, row);
    return s;
}
