#include "graph/DataList.h"

#include "base/LocalTime.h"
#include "base/Settings.h"
#include "data/MeasurementSet.h"

#include <QIODevice>
#include <QSaveFile>

#include <charconv>
#include <cmath>

namespace {

// The value of channel ch in row `row`; false when the data hold none there.
bool RowValue(const DataListView& v, int64_t row, int ch, double* out) {
    const MeasurementSet& s = *v.set;
    if (row < 0)
        return false;
    const size_t c = size_t(ch);
    switch (v.mode) {
    case GraphMode::StoreRms: {
        const std::vector<float>& values = s.ChannelRms(ch);
        if (row >= s.RmsCount() || size_t(row) >= values.size())
            return false;
        *out = values[size_t(row)];
        return true;
    }
    case GraphMode::StoreTransient: {
        const int64_t k = int64_t(v.firstPoint) - 1 + row;
        if (k < 0 || size_t(k) >= s.TrWave().size())
            return false;
        *out = s.TrWave()[size_t(k)];
        return true;
    }
    case GraphMode::RealTimeEpa:
        if (size_t(row) >= s.Run().Capture().size())
            return false;
        *out = s.Run().Capture()[size_t(row)][c];
        return true;
    case GraphMode::RealTimeRms:
    case GraphMode::RealTimeApparentPower: {
        if (row >= s.RtCount() || size_t(row) >= s.Run().Rms().size())
            return false;
        const FloatPair& p = s.Run().Rms()[size_t(row)];
        // The product is what the apparent-power graph draws, in single precision.
        *out = v.mode == GraphMode::RealTimeRms ? double(p[c]) : double(p[0] * p[1]);
        return true;
    }
    case GraphMode::RealTimeFrequency:
        if (row >= s.RtCount() || size_t(row) >= s.Run().Freq().size())
            return false;
        *out = s.Run().Freq()[size_t(row)][c];
        return true;
    case GraphMode::RealTimeActivePower:
    case GraphMode::RealTimePowerFactor: {
        // NaN where the sample has no such figure: the cell reads "LO".
        if (row >= s.RtCount() || size_t(row) >= s.Run().PowerPairs().size())
            return false;
        const FloatPair& p = s.Run().PowerPairs()[size_t(row)];
        *out = v.mode == GraphMode::RealTimeActivePower ? double(p[0]) : double(p[1]);
        return true;
    }
    case GraphMode::None:
        break;
    }
    return false;
}

// Whether column 2 + ch carries a value at all in this mode.
bool ColumnShown(const DataListView& v, int ch) {
    if (ch == 1 && IsSingleTraceMode(v.mode))
        return false;
    return ch == 0 ? v.ch1 : v.ch2;
}

bool RowTime(const DataListView& v, int64_t row, TimeValue* out) {
    const MeasurementSet& s = *v.set;
    switch (v.mode) {
    case GraphMode::StoreRms:
        *out = s.RmsSampleTime(row);
        return true;
    case GraphMode::StoreTransient: {
        const int64_t k = int64_t(v.firstPoint) - 1 + row;
        const int64_t record = k / kTrPoints;
        if (k < 0 || size_t(record) >= s.TrTimes().size())
            return false;
        *out = s.TrTimes()[size_t(record)];
        return true;
    }
    case GraphMode::RealTimeEpa:
        // One captured waveform: every row carries the time of the capture.
        *out = s.Run().CaptureTime();
        return true;
    case GraphMode::RealTimeRms:
    case GraphMode::RealTimeFrequency:
    case GraphMode::RealTimeApparentPower:
    case GraphMode::RealTimeActivePower:
    case GraphMode::RealTimePowerFactor:
        *out = s.Run().SampleTime(row);
        return true;
    case GraphMode::None:
        break;
    }
    return false;
}

QString ValueText(const DataListView& v, double value, const QString& unit) {
    if (HasValueGaps(v.mode)) {
        // A power figure of 0 is a figure; a sample without one reads "LO".
        if (std::isnan(value))
            return QStringLiteral("LO");
        return v.mode == GraphMode::RealTimePowerFactor
                   ? QString::asprintf("%.2f", value)
                   : QString::asprintf("%.0f", value) + QLatin1Char(' ') + unit;
    }
    const QString number = QString::asprintf("%.1f", value);
    // A stored or live value too small to show one decimal reads "LO"; a waveform
    // sample of 0 is a real zero crossing and keeps its number.
    if (!IsWaveformMode(v.mode)) {
        bool ok = false;
        const double back = number.toDouble(&ok);
        if (!ok || back == 0)
            return QStringLiteral("LO");
    }
    return number + QLatin1Char(' ') + unit;
}

// Every value is single precision (the product of two as well): the shortest text
// that reads back to it, never a locale's decimal comma.
QByteArray NumberField(double value) {
    if (!std::isfinite(value))
        return {};
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, float(value));
    return QByteArray(buf, int(r.ptr - buf));
}

// Quotes a field that holds a separator, a quote or a line end.
QByteArray CsvField(const QString& text) {
    QByteArray b = text.toUtf8();
    if (b.contains(',') || b.contains('"') || b.contains('\n') || b.contains('\r')) {
        b.replace("\"", "\"\"");
        b = '"' + b + '"';
    }
    return b;
}

} // namespace

DataListView DataListViewOf(const GraphModel& g, const GraphInputs& in) {
    DataListView v;
    v.set = &in.set;
    v.mode = g.Mode();
    v.firstPoint = g.FirstPoint();
    v.ch1 = g.ChannelPresent(0) == 1;
    v.ch2 = g.ChannelPresent(1) == 1;
    v.ch1Unit = g.ChannelUnit(0);
    v.ch2Unit = g.ChannelUnit(1);
    v.rtInterval = in.settings.m_rtInterval;
    v.realTimeRunning = in.realTimeRunning;
    return v;
}

QString DataListInitialCaption() {
    return QStringLiteral("AC Voltage/Current Data List");
}

QString DataListCaption(GraphMode mode) {
    return ModeTitle(mode) + QStringLiteral(" Data List");
}

std::array<ListColumn, kDataListColumns> DataListColumnsOf(GraphMode mode) {
    if (IsSingleTraceMode(mode)) {
        const QString heading = mode == GraphMode::RealTimeApparentPower ? QStringLiteral("S(VA)")
                                : mode == GraphMode::RealTimeActivePower ? QStringLiteral("P(W)")
                                                                         : QStringLiteral("PF");
        return {{{QStringLiteral("No."), 50},
                 {QStringLiteral("Time"), 180},
                 {heading, 130},
                 {QString(), 0}}};
    }
    return {{{QStringLiteral("No."), 50},
             {QStringLiteral("Time"), 180},
             {QStringLiteral("CH1"), 130},
             {QStringLiteral("CH2"), 130}}};
}

int64_t DataListRowCount(const DataListView& v) {
    if (!v.set)
        return 0;
    const MeasurementSet& s = *v.set;
    switch (v.mode) {
    case GraphMode::StoreRms:
        return s.RmsCount();
    case GraphMode::StoreTransient:
        // One record; none at all when the set holds no record.
        return s.TrWave().size() >= size_t(kTrPoints) ? kTrPoints : 0;
    case GraphMode::RealTimeEpa:
        return kRtWavePoints;
    case GraphMode::RealTimeRms:
    case GraphMode::RealTimeFrequency:
    case GraphMode::RealTimeApparentPower:
    case GraphMode::RealTimeActivePower:
    case GraphMode::RealTimePowerFactor:
        return std::max(s.RtCount(), 0);
    case GraphMode::None:
        break;
    }
    return 0;
}

QString DataListCell(const DataListView& v, int64_t row, int col) {
    if (!v.set || row < 0 || row >= DataListRowCount(v))
        return {};
    switch (col) {
    case 0:
        return QString::number(row + 1);
    case 1: {
        TimeValue t = 0;
        return RowTime(v, row, &t) ? FormatDateTime(t) : QString();
    }
    case 2:
    case 3: {
        const int ch = col - 2;
        double value = 0;
        if (!ColumnShown(v, ch) || !RowValue(v, row, ch, &value))
            return {};
        return ValueText(v, value, ch == 0 ? v.ch1Unit : v.ch2Unit);
    }
    default:
        return {};
    }
}

bool DataListFollowsNewest(const DataListView& v) {
    return IsRealTimeMode(v.mode) && v.realTimeRunning;
}

QString TrFileListCaption() {
    return QStringLiteral("TR File List");
}

std::array<ListColumn, kTrListColumns> TrFileListColumns() {
    return {{{QStringLiteral("File No."), 62}, {QStringLiteral("Time"), 160}, {QString(), 160}}};
}

int TrFileListRowCount(const MeasurementSet& s) {
    // Only records whose time and samples are all there.
    const size_t whole = s.TrWave().size() / size_t(kTrPoints);
    return int(std::min({size_t(std::max(s.TrCount(), 0)), s.TrTimes().size(), whole}));
}

QString TrFileListCell(const MeasurementSet& s, int row, int col) {
    if (row < 0 || row >= TrFileListRowCount(s))
        return {};
    if (col == 0)
        return QString::number(row + 1);
    if (col == 1)
        return FormatDateTime(s.TrTimes()[size_t(row)]);
    return {};
}

bool WriteDataListCsv(const DataListView& v, QIODevice& out) {
    if (!v.set)
        return false;
    QByteArray chunk = "no,time,ch1,ch1_unit,ch2,ch2_unit\r\n";
    const int64_t rows = DataListRowCount(v);
    for (int64_t r = 0; r < rows; ++r) {
        chunk += QByteArray::number(r + 1);
        chunk += ',';
        TimeValue t = 0;
        if (RowTime(v, r, &t))
            chunk += IsoLocalTime(t).toLatin1();
        for (int ch = 0; ch < 2; ++ch) {
            double value = 0;
            // A sample without a power figure leaves both fields empty.
            const bool has = ColumnShown(v, ch) && RowValue(v, r, ch, &value) && !std::isnan(value);
            chunk += ',';
            if (has)
                chunk += NumberField(value);
            chunk += ',';
            if (has)
                chunk += CsvField(ch == 0 ? v.ch1Unit : v.ch2Unit);
        }
        chunk += "\r\n";
        if (chunk.size() > (1 << 16)) {
            if (out.write(chunk) != chunk.size())
                return false;
            chunk.clear();
        }
    }
    return out.write(chunk) == chunk.size();
}

bool SaveDataListCsv(const DataListView& v, const QString& path, QString* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    if (!WriteDataListCsv(v, file)) {
        if (error)
            *error =
                file.errorString().isEmpty() ? QStringLiteral("write failed") : file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}
