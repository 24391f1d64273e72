#include "data/Comtrade.h"

#include "base/LocalTime.h"
#include "base/SafeFile.h"
#include "data/MeasurementSet.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

// The ASCII data file of this revision holds integers of at most six characters;
// 99999 marks a missing value.
constexpr double kLargestExactValue = 99998.0;
constexpr double kScaledRange = 32767.0; // 16-bit resolution for values that need scaling
constexpr long kMissingValue = 99999;

// A field of the configuration file ends at a comma or a line end: neither may stand
// inside a name.
QByteArray CfgText(const QString& text) {
    QByteArray b = text.toUtf8();
    for (char& c : b)
        if (c == ',' || static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    return b.trimmed();
}

QByteArray Num(double v, int decimals) {
    // QString::number always writes a decimal point, whatever the locale.
    return QString::number(v, 'f', decimals).toLatin1();
}

QByteArray General(double v) {
    return QString::number(v, 'g', 12).toLatin1();
}

// Multiplier of a channel: 1 when every value is a whole number that fits the file
// as it is (a TR record's raw samples), else what maps the largest magnitude onto
// the 16-bit range.
double Multiplier(const std::vector<double>& values) {
    double largest = 0;
    bool whole = true;
    for (const double v : values) {
        if (!std::isfinite(v))
            continue;
        largest = std::max(largest, std::fabs(v));
        whole = whole && v == std::trunc(v);
    }
    if (largest == 0 || (whole && largest <= kLargestExactValue))
        return 1.0;
    return largest / kScaledRange;
}

long Encoded(double v, double a) {
    return std::isfinite(v) ? std::lround(v / a) : kMissingValue;
}

// "dd/mm/yyyy,hh:mm:ss.ssssss" in local time.
QByteArray Stamp(TimeValue t) {
    const CalendarFields f = ToLocalFields(t);
    return QString::asprintf("%02d/%02d/%04d,%02d:%02d:%02d.000000", f.day, f.month, f.year, f.hour,
                             f.minute, f.second)
        .toLatin1();
}

bool Writable(const ComtradeRecord& r) {
    if (r.channels.empty() || r.channels.front().values.empty() || !(r.samplePeriodUs > 0) ||
        !std::isfinite(r.samplePeriodUs))
        return false;
    const size_t n = r.channels.front().values.size();
    return std::all_of(r.channels.begin(), r.channels.end(),
                       [n](const ComtradeChannel& c) { return c.values.size() == n; });
}

} // namespace

ComtradeText ComtradeFiles(const ComtradeRecord& r) {
    if (!Writable(r))
        return {};
    const QByteArray eol = "\r\n";
    const size_t samples = r.channels.front().values.size();
    const size_t count = r.channels.size();
    const double lf = std::isfinite(r.lineFrequencyHz) && r.lineFrequencyHz > 0
                          ? r.lineFrequencyHz
                          : kDefaultLineFrequencyHz;

    ComtradeText out;
    QByteArray& cfg = out.cfg;
    cfg += CfgText(r.stationName) + ',' + CfgText(r.deviceId) + ",1999" + eol;
    cfg += QByteArray::number(qulonglong(count)) + ',' + QByteArray::number(qulonglong(count)) +
           "A,0D" + eol;
    std::vector<double> multiplier(count);
    for (size_t i = 0; i < count; ++i) {
        const ComtradeChannel& c = r.channels[i];
        multiplier[i] = Multiplier(c.values);
        long lo = 0;
        long hi = 0;
        bool any = false;
        for (const double v : c.values) {
            if (!std::isfinite(v))
                continue;
            const long x = Encoded(v, multiplier[i]);
            lo = any ? std::min(lo, x) : x;
            hi = any ? std::max(hi, x) : x;
            any = true;
        }
        // index,id,phase,circuit,unit,a,b,skew,min,max,primary,secondary,P|S
        cfg += QByteArray::number(qulonglong(i) + 1) + ',' + CfgText(c.id) + ',' +
               CfgText(c.phase) + ",," + CfgText(c.unit) + ',' + General(multiplier[i]) + ",0,0," +
               QByteArray::number(qlonglong(lo)) + ',' + QByteArray::number(qlonglong(hi)) +
               ",1,1,P" + eol;
    }
    cfg += Num(lf, 3) + eol;
    cfg += "1" + eol;
    cfg += Num(1e6 / r.samplePeriodUs, 3) + ',' + QByteArray::number(qulonglong(samples)) + eol;
    // First sample and trigger: the record starts at its trigger.
    cfg += Stamp(r.start) + eol + Stamp(r.start) + eol;
    cfg += "ASCII" + eol + "1" + eol;

    QByteArray& dat = out.dat;
    dat.reserve(qsizetype(samples) * (16 + 8 * qsizetype(count)));
    for (size_t n = 0; n < samples; ++n) {
        dat += QByteArray::number(qulonglong(n) + 1) + ',' +
               QByteArray::number(qlonglong(std::llround(double(n) * r.samplePeriodUs)));
        for (size_t i = 0; i < count; ++i)
            dat += ',' +
                   QByteArray::number(qlonglong(Encoded(r.channels[i].values[n], multiplier[i])));
        dat += eol;
    }
    return out;
}

bool WriteComtrade(const QString& base, const ComtradeRecord& record, QString* error) {
    const ComtradeText text = ComtradeFiles(record);
    if (text.cfg.isEmpty()) {
        if (error)
            *error = QStringLiteral("the waveform holds no samples");
        return false;
    }
    // The data first: a configuration file never names data that is not there.
    for (const auto& [suffix, bytes] :
         {std::pair{".dat", &text.dat}, std::pair{".cfg", &text.cfg}}) {
        const QString path = base + QString::fromLatin1(suffix);
        QString why;
        if (!WriteFileAtomically(path, *bytes, &why)) {
            if (error)
                *error = QStringLiteral("%1: %2").arg(path, why);
            return false;
        }
    }
    return true;
}

ComtradeRecord TransientComtrade(const MeasurementSet& set, int k) {
    ComtradeRecord r;
    r.samplePeriodUs = kTransientSamplePeriodUs;
    if (k < 0 || k >= set.TrCount() || size_t(k) >= set.TrTimes().size() ||
        set.TrWave().size() < size_t(k + 1) * size_t(kTrPoints))
        return r;
    r.start = set.TrTimes()[size_t(k)];
    ComtradeChannel c;
    const uint8_t channel =
        size_t(k) < set.TrChannelCodes().size() ? set.TrChannelCodes()[size_t(k)] : 0;
    c.id = channel == kTrChannel1   ? QStringLiteral("CH1")
           : channel == kTrChannel2 ? QStringLiteral("CH2")
                                    : QStringLiteral("TR");
    // A record with an unknown unit code has the unit of the record before it, as
    // the report and the graph show it.
    for (int j = std::min<int>(k, int(set.TrUnitCodes().size()) - 1); j >= 0 && c.unit.isEmpty();
         --j) {
        if (set.TrUnitCodes()[size_t(j)] == kTrUnitVolts)
            c.unit = QStringLiteral("V");
        else if (set.TrUnitCodes()[size_t(j)] == kTrUnitAmps)
            c.unit = QStringLiteral("A");
    }
    if (c.unit.isEmpty())
        c.unit = QStringLiteral("-"); // the field may not stay empty
    const auto first = set.TrWave().begin() + std::ptrdiff_t(k) * kTrPoints;
    c.values.assign(first, first + kTrPoints);
    r.channels.push_back(std::move(c));
    return r;
}

QString ComtradeStation(const QString& measurementFile, const QString& fallback) {
    const QString name = QFileInfo(measurementFile).completeBaseName();
    return name.isEmpty() ? fallback : name;
}

QString ComtradeBase(const QString& named) {
    QString base = named;
    if (base.endsWith(QLatin1String(".cfg"), Qt::CaseInsensitive) ||
        base.endsWith(QLatin1String(".dat"), Qt::CaseInsensitive))
        base.chop(4);
    return base;
}

void NameComtrade(ComtradeRecord& record, const QString& station) {
    record.stationName = station;
    record.deviceId = QString::fromLatin1(kComtradeDeviceId);
}

namespace {

// Frequencies the analysis reports where it found none (400) or cannot have found.
constexpr float kNoLineFrequencyHz = 400.0f;

bool KindPresent(uint8_t kind) {
    return kind == kChannelAmps || kind == kChannelVolts;
}

// The voltage channel's frequency, else the other present channel's; none where
// neither had one.
std::optional<double> LineFrequency(const CaptureFacts& f) {
    std::optional<double> found;
    for (int ch = 1; ch >= 0; --ch) {
        const uint8_t kind = f.kind[size_t(ch)];
        const float hz = f.frequency[size_t(ch)];
        if (KindPresent(kind) && hz > 0.0f && hz < kNoLineFrequencyHz &&
            (!found || kind == kChannelVolts))
            found = double(hz);
    }
    return found;
}

} // namespace

ComtradeRecord CaptureComtrade(std::span<const FloatPair> wave, const CaptureFacts& facts) {
    ComtradeRecord r;
    r.samplePeriodUs = kCapturedSamplePeriodUs;
    r.start = facts.time;
    r.lineFrequencyHz = LineFrequency(facts).value_or(kDefaultLineFrequencyHz);
    for (int ch = 0; ch < 2; ++ch) {
        const uint8_t kind = facts.kind[size_t(ch)];
        if (!KindPresent(kind))
            continue;
        ComtradeChannel c;
        c.id = ch == 0 ? QStringLiteral("CH1") : QStringLiteral("CH2");
        c.unit = kind == kChannelVolts ? QStringLiteral("V") : QStringLiteral("A");
        c.values.reserve(wave.size());
        for (const FloatPair& pair : wave)
            c.values.push_back(double(pair[size_t(ch)]));
        r.channels.push_back(std::move(c));
    }
    return r;
}

ComtradeRecord RunSampleComtrade(const RtdataImage& run, int n, const RtWaveform& wave) {
    CaptureFacts facts;
    facts.kind = run.kind;
    if (n >= 0 && n < run.Count())
        facts.time = run.times[size_t(n)];
    for (size_t ch = 0; ch < 2; ++ch) {
        if (n >= 0 && size_t(n) < run.freq[ch].size())
            facts.frequency[ch] = run.freq[ch][size_t(n)];
    }
    std::array<FloatPair, kRtWavePoints> values{};
    for (size_t i = 0; i < wave.size(); ++i)
        values[i] = {float(wave[i][0]), float(wave[i][1])};
    return CaptureComtrade(values, facts);
}

ComtradeRecord ShownCaptureComtrade(const RealTimeRun& run) {
    if (run.CapturePoints() <= 0)
        return {};
    const int n = run.CaptureSample() >= 0 ? run.CaptureSample() : run.Count() - 1;
    CaptureFacts facts;
    facts.kind = {run.ChannelKind(0), run.ChannelKind(1)};
    facts.time = n >= 0 ? run.SampleTime(n) : run.StartTime();
    if (n >= 0 && size_t(n) < run.Freq().size())
        facts.frequency = run.Freq()[size_t(n)];
    return CaptureComtrade(std::span<const FloatPair>(run.Capture())
                               .first(size_t(std::min(run.CapturePoints(), kRtWavePoints))),
                           facts);
}
