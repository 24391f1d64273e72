#include "data/RealTimeCsv.h"

#include "base/DataDir.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <cstdlib>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

QString Number(double v, int decimals) {
    // asprintf formats the number itself: always a decimal point.
    return QString::asprintf("%.*f", decimals, v);
}

QString Optional(const std::optional<float>& v, int decimals) {
    return v ? Number(double(*v), decimals) : QString();
}

} // namespace

QString RealTimeCsvHeader() {
    return QStringLiteral("time,ch1_rms,ch1_unit,ch1_hz,ch2_rms,ch2_unit,ch2_hz,s_va,"
                          "p_w,q_var,pf,phi_deg,ch1_thd,ch2_thd");
}

QString IsoLocalTime(TimeValue t) {
    const QDateTime local = QDateTime::fromSecsSinceEpoch(t);
    // The offset in force at that moment, always written out ("+00:00", never "Z").
    const int offset = local.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return local.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
           QString::asprintf("%c%02d:%02d", offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
}

namespace {

// One channel of one sample as the line shows it.
struct CsvChannel {
    bool present = false;
    QString unit;
    float rms = 0;
    float hz = 400;
};

QString CsvLine(TimeValue t, const std::array<CsvChannel, 2>& c, const RtPowerRow& row) {
    QStringList f;
    f << IsoLocalTime(t);
    bool usable[2] = {false, false};
    for (size_t ch = 0; ch < 2; ++ch) {
        usable[ch] = c[ch].present && c[ch].rms != 0.0f;
        f << (usable[ch] ? Number(double(c[ch].rms), 1) : QString());
        f << (c[ch].present ? c[ch].unit : QString());
        f << (c[ch].present && c[ch].hz < 400.0f ? Number(double(c[ch].hz), 1) : QString());
    }
    const bool power =
        c[0].present && c[1].present && c[0].unit != c[1].unit && usable[0] && usable[1];
    f << (power ? Number(double(c[0].rms) * double(c[1].rms), 0) : QString());
    f << Optional(row.p, 0) << Optional(row.q, 0) << Optional(row.pf, 3) << Optional(row.phiDeg, 1);
    for (size_t ch = 0; ch < 2; ++ch)
        f << (c[ch].present ? Optional(row.thd[ch], 2) : QString());
    return f.join(QLatin1Char(','));
}

} // namespace

QString RealTimeCsvLine(const MeasurementSet& s, int n) {
    const bool inRange =
        n >= 0 && size_t(n) < s.Run().Rms().size() && size_t(n) < s.Run().Freq().size();
    std::array<CsvChannel, 2> c;
    for (size_t ch = 0; ch < 2; ++ch) {
        c[ch].present = s.RtChannelPresent(int(ch));
        c[ch].unit = s.RtChannelUnit(int(ch));
        // Beyond the arrays a sample reads as one without a usable signal.
        if (inRange) {
            c[ch].rms = s.Run().Rms()[size_t(n)][ch];
            c[ch].hz = s.Run().Freq()[size_t(n)][ch];
        }
    }
    const RtPowerRow row =
        inRange && size_t(n) < s.Run().Power().size() ? s.Run().Power()[size_t(n)] : RtPowerRow{};
    return CsvLine(s.Run().SampleTime(n), c, row);
}

QString RealTimeCsvLine(const RtdataImage& run, int n, const RtPowerRow& row) {
    std::array<CsvChannel, 2> c;
    const bool inRange = n >= 0 && n < run.Count() && run.IsConsistent();
    for (size_t ch = 0; ch < 2; ++ch) {
        c[ch].present = run.ChannelPresent(int(ch));
        c[ch].unit = run.ChannelUnit(int(ch));
        if (c[ch].present && inRange) {
            c[ch].rms = run.rms[ch][size_t(n)];
            c[ch].hz = run.freq[ch][size_t(n)];
        }
    }
    return CsvLine(inRange ? run.times[size_t(n)] : run.startTime, c, row);
}

QByteArray RealTimeCsvText(const RtdataImage& run) {
    QByteArray out = RealTimeCsvHeader().toUtf8() + '\n';
    for (int i = 0; i < run.Count(); ++i)
        out += RealTimeCsvLine(run, i).toUtf8() + '\n';
    return out;
}

QByteArray RealTimeCsvText(const MeasurementSet& s) {
    QByteArray out = RealTimeCsvHeader().toUtf8() + '\n';
    const int n =
        std::min<int>(s.RtCount(), int(std::min(s.Run().Rms().size(), s.Run().Freq().size())));
    for (int i = 0; i < n; ++i)
        out += RealTimeCsvLine(s, i).toUtf8() + '\n';
    return out;
}

bool WriteRealTimeCsv(const QString& path, const MeasurementSet& s, QString* error) {
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) {
        if (error)
            *error = f.errorString();
        return false;
    }
    const QByteArray text = RealTimeCsvText(s);
    if (f.write(text) != text.size() || !f.commit()) {
        if (error)
            *error = f.errorString();
        f.cancelWriting();
        return false;
    }
    return true;
}

QString RealTimeCsvPathBeside(const QString& stdataPath) {
    const QFileInfo fi(stdataPath);
    QString base = fi.fileName();
    if (base.endsWith(QLatin1String(".stdata"), Qt::CaseInsensitive))
        base.chop(7);
    return fi.dir().filePath(base + QStringLiteral("-realtime.csv"));
}

// ---------------------------------------------------------------------------
// Journal

QString RealTimeJournal::DefaultPath() {
    return DataFilePath(QStringLiteral("realtime-journal.csv"));
}

RealTimeJournal::~RealTimeJournal() {
    // Destroyed while a run is on (the process ends): the journal stays for the
    // next start to recover.
    if (m_file.isOpen())
        m_file.close();
}

bool RealTimeJournal::Begin() {
    if (m_file.isOpen())
        m_file.close();
    m_file.setFileName(m_path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return Append(RealTimeCsvHeader());
}

bool RealTimeJournal::Append(const QString& line) {
    if (!m_file.isOpen())
        return false;
    const QByteArray b = line.toUtf8() + '\n';
    if (m_file.write(b) != b.size() || !m_file.flush())
        return false;
#ifndef _WIN32
    // Flushed to the disk, not only to the system's cache: a power cut keeps it.
    ::fdatasync(m_file.handle());
#endif
    return true;
}

void RealTimeJournal::Finish() {
    if (m_file.isOpen())
        m_file.close();
    QFile::remove(m_path);
}

RealTimeJournal::Recovered RealTimeJournal::Recover(const QString& journalPath) {
    Recovered r;
    QFile f(journalPath);
    if (!f.exists() || !f.open(QIODevice::ReadOnly))
        return r;
    const QByteArray text = f.readAll();
    f.close();
    int lines = 0;
    for (const QByteArray& l : text.split('\n'))
        if (!l.trimmed().isEmpty())
            ++lines;
    r.samples = std::max(lines - 1, 0);
    const QFileInfo fi(journalPath);
    const QString stamp = fi.lastModified().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString target = fi.dir().filePath(QStringLiteral("realtime-unfinished-%1.csv").arg(stamp));
    for (int k = 2; QFile::exists(target); ++k)
        target =
            fi.dir().filePath(QStringLiteral("realtime-unfinished-%1-%2.csv").arg(stamp).arg(k));
    if (!QFile::rename(journalPath, target))
        return Recovered{};
    r.path = target;
    return r;
}

QString RealTimeJournal::RecoveredMessage(const Recovered& r) {
    return QStringLiteral("The last real-time run did not end normally; its %1 samples were kept "
                          "in %2.")
        .arg(r.samples)
        .arg(r.path);
}
