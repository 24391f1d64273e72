#include "graph/DisplaySettings.h"

#include "base/Settings.h"
#include "data/MeasurementSet.h"

#include <algorithm>
#include <cmath>
#include <limits>

bool DisplayDialogsEnabled(const GraphModel& m) {
    return m.ShowsGraph() && m.Mode() != GraphMode::None;
}

ViewOptions ViewOptionsOf(const AppSettings& s) {
    ViewOptions v;
    const uint8_t bytes[ViewOptions::kCount] = {
        s.m_showCh1,        s.m_showCh2,          s.m_viewOption3,
        s.m_viewOption4,    s.m_viewOption5,      s.m_viewOption6,
        s.m_showMarkPoints, s.m_showVerticalGrid, s.m_showHorizontalGrid};
    for (int i = 0; i < ViewOptions::kCount; ++i)
        v.on[size_t(i)] = bytes[i] != 0 ? 1 : 0;
    return v;
}

void ApplyViewOptions(AppSettings& s, const ViewOptions& v) {
    uint8_t* bytes[ViewOptions::kCount] = {
        &s.m_showCh1,        &s.m_showCh2,          &s.m_viewOption3,
        &s.m_viewOption4,    &s.m_viewOption5,      &s.m_viewOption6,
        &s.m_showMarkPoints, &s.m_showVerticalGrid, &s.m_showHorizontalGrid};
    for (int i = 0; i < ViewOptions::kCount; ++i)
        *bytes[i] = v.on[size_t(i)] != 0 ? 1 : 0;
}

int ColourPosition(uint8_t index) {
    return index < kColourCount ? int(index) : -1;
}

ColourChoice ColourChoiceOf(const AppSettings& s) {
    return ColourChoice{ColourPosition(s.m_bgColor), ColourPosition(s.m_ch1Color),
                        ColourPosition(s.m_ch2Color), ColourPosition(s.m_ch3Color),
                        ColourPosition(s.m_gridColor)};
}

void ApplyColourChoice(AppSettings& s, const ColourChoice& c) {
    // A combo box without a selection gives -1, held in the byte as 255.
    auto byte = [](int position) { return uint8_t(position); };
    s.m_bgColor = byte(c.background);
    s.m_ch1Color = byte(c.ch1);
    s.m_ch2Color = byte(c.ch2);
    s.m_ch3Color = byte(c.ch3);
    s.m_gridColor = byte(c.grid);
}

int LeadingInt(const QString& text) {
    const QString t = text.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == u'-' || t[i] == u'+')) {
        negative = t[i] == u'-';
        ++i;
    }
    int64_t v = 0;
    for (; i < t.size() && t[i].isDigit(); ++i) {
        v = v * 10 + (t[i].unicode() - u'0');
        if (v > int64_t(INT32_MAX) + 1)
            v = int64_t(INT32_MAX) + 1;
    }
    v = negative ? -v : v;
    return int(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

QString AxisEditText(const QString& text, int minimum, int maximum) {
    if (text.isEmpty() || text == QStringLiteral("-"))
        return text;
    return QString::number(std::clamp(LeadingInt(text), minimum, std::max(minimum, maximum)));
}

int AxisPointCount(GraphMode mode, const MeasurementSet& set) {
    switch (mode) {
    case GraphMode::RealTimeEpa:
        return kRtWavePoints;
    case GraphMode::StoreTransient:
        return kTrPoints;
    case GraphMode::StoreRms:
        return set.RmsCount();
    default:
        return set.RtCount();
    }
}

AxisDialogSetup AxisDialogSetupOf(const GraphModel& m, const MeasurementSet& set) {
    AxisDialogSetup a;
    a.texts = {QString::number(m.AxisLow(0)),   QString::number(m.AxisHigh(0)),
               QString::number(m.AxisLow(1)),   QString::number(m.AxisHigh(1)),
               QString::number(m.FirstPoint()), QString::number(m.LastPoint())};
    a.points = AxisPointCount(m.Mode(), set);
    a.xEditable = m.Mode() != GraphMode::StoreTransient;
    return a;
}

QString YEditText(const QString& text) {
    return AxisEditText(text);
}

QString XFromEditText(const QString& text) {
    return AxisEditText(text, 1, INT32_MAX);
}

QString XToEditText(const QString& text, int points) {
    return AxisEditText(text, INT32_MIN, points);
}

AxisRanges AxisRangesOf(const QStringList& t) {
    auto at = [&](int i) { return i < t.size() ? LeadingInt(t[i]) : 0; };
    return AxisRanges{at(0), at(1), at(2), at(3), at(4), at(5)};
}

QStringList AxisSetupMessages(AxisRanges& r, GraphMode mode, bool running, int rtCount) {
    if (running && IsRealTimeMode(mode))
        r.xTo = rtCount;
    QStringList messages;
    if (r.ch1From >= r.ch1To || r.ch2From >= r.ch2To)
        messages << QString::fromLatin1(kYAxisOrderMessage);
    if (r.xFrom >= r.xTo)
        messages << QString::fromLatin1(kXAxisOrderMessage);
    return messages;
}

void ApplyAxisRanges(GraphModel& m, AppSettings& s, const AxisRanges& r, int rtCount) {
    m.SetAxisRange(0, r.ch1From, r.ch1To);
    m.SetAxisRange(1, r.ch2From, r.ch2To);
    m.SetPointWindow(r.xFrom, r.xTo);
    m.RtCapacity().SelectLevelFor(
        int32_t(std::clamp<int64_t>(int64_t(rtCount) - r.xFrom + 1, 0, INT32_MAX)));
    const int n = ModeNumber(m.Mode());
    if (n >= 1 && n <= kAxisModes) {
        s.m_yAxisLow[size_t(n - 1)] = {r.ch1From, r.ch2From};
        s.m_yAxisHigh[size_t(n - 1)] = {r.ch1To, r.ch2To};
    }
    if (n == ModeNo::RealTimeActivePower)
        s.m_fitActivePowerAxis = false;
}

std::pair<int, int> FitRange(double low, double high) {
    if (!(low <= high))
        std::swap(low, high);
    double span = high - low;
    if (!(span > 0))
        span = std::max(std::fabs(high), 1.0);
    low -= span * 0.1;
    high += span * 0.1;
    // The step of ten divisions: 1, 2 or 5 times a power of ten.
    const double raw = (high - low) / 10.0;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    double step = power;
    for (double f : {1.0, 2.0, 5.0, 10.0}) {
        step = f * power;
        if (step >= raw)
            break;
    }
    step = std::max(step, 1.0); // the edits hold integers
    const double lo = std::floor(low / step) * step;
    const double hi = std::ceil(high / step) * step;
    auto clampInt = [](double v) { return int(std::clamp(v, -1000000.0, 1000000.0)); };
    int a = clampInt(lo), b = clampInt(hi);
    if (a >= b)
        b = a + 1;
    return {a, b};
}

bool FitChannel(const GraphModel& m, const GraphInputs& in, int ch, std::pair<int, int>& range) {
    const int64_t from = std::max<int64_t>(m.FirstPoint() - 1, 0);
    const int64_t to = std::min<int64_t>(m.LastPoint(), m.DataPoints(in));
    double lo = std::numeric_limits<double>::infinity();
    double hi = -lo;
    for (int64_t i = from; i < to; ++i) {
        const double v = m.ValueOf(in, ch, i);
        if (!std::isfinite(v))
            continue;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    if (!(lo <= hi))
        return false;
    range = FitRange(lo, hi);
    return true;
}

void FitYTexts(const GraphModel& m, const GraphInputs& in, QStringList& t) {
    while (t.size() < 6)
        t << QString();
    for (int ch = 0; ch < 2; ++ch) {
        if (m.ChannelPresent(ch) != 1 || (ch == 1 && IsSingleTraceMode(m.Mode())))
            continue;
        std::pair<int, int> r;
        if (!FitChannel(m, in, ch, r))
            continue;
        const qsizetype low = qsizetype(2) * ch;
        t[low] = QString::number(r.first);
        t[low + 1] = QString::number(r.second);
    }
}
