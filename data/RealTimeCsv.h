#pragma once
// The real-time samples as CSV text, shared by the file written beside a save, the
// crash journal of a running acquisition and `orvex-dl realtime`: one header line,
// then one line per sample with its local time (ISO 8601 with the UTC offset), the
// RMS, unit and frequency of each channel, the apparent power, and the power figures
// and THD of the sample. Numbers always carry a decimal point, whatever the locale.

#include "data/MeasurementSet.h"
#include "data/RtdataFile.h"

#include <QFile>
#include <QString>

// "time,ch1_rms,ch1_unit,ch1_hz,ch2_rms,ch2_unit,ch2_hz,s_va,p_w,q_var,pf,phi_deg,
// ch1_thd,ch2_thd"
QString RealTimeCsvHeader();
// Line of real-time sample n (0-based, below the count taken), without a line end. A
// field is empty where the channel is absent or its analysis found no usable
// signal (RMS 0, frequency 400); S(VA) only with both channels in different units;
// the power figures and THDs where the sample's power row holds them.
QString RealTimeCsvLine(const MeasurementSet& set, int n);
// The same line for sample n of a run read from a file (its own time); the power
// figures are computed again from the sample's waveform by the caller.
QString RealTimeCsvLine(const RtdataImage& run, int n, const RtPowerRow& row = {});
// Header and every sample of the run, each line ended by "\n".
QByteArray RealTimeCsvText(const RtdataImage& run);
// Local time as "2026-12-08T14:05:02+01:00".
QString IsoLocalTime(TimeValue t);

// Header and every sample taken, each line ended by "\n".
QByteArray RealTimeCsvText(const MeasurementSet& set);
// Writes RealTimeCsvText atomically: a failure leaves an existing file as it was.
bool WriteRealTimeCsv(const QString& path, const MeasurementSet& set, QString* error = nullptr);
// "<dir>/<base>-realtime.csv" beside a measurement file "<dir>/<base>.stdata".
QString RealTimeCsvPathBeside(const QString& stdataPath);

// The journal of a running acquisition: the header when it opens, then each sample
// as it is taken, flushed to the disk at once, so that a crash or a power cut keeps
// every sample already taken. A run that ends normally removes it.
class RealTimeJournal {
public:
    // The journal file in the data directory.
    static QString DefaultPath();
    explicit RealTimeJournal(QString path = DefaultPath()) : m_path(std::move(path)) {}
    ~RealTimeJournal();
    const QString& Path() const { return m_path; }
    // Another place for the journal; only while none is open.
    void SetPath(const QString& path) {
        if (!m_file.isOpen())
            m_path = path;
    }

    // Starts a new journal (an old one of a run that did not end is replaced only
    // after Recover has kept it).
    bool Begin();
    bool Append(const QString& line);
    // The run ended normally.
    void Finish();
    bool IsOpen() const { return m_file.isOpen(); }

    // At start-up: a journal left by a run that did not end is renamed to a CSV file
    // beside it; returns its new path and the number of samples it holds, or an
    // empty path when there was none.
    struct Recovered {
        QString path;
        int samples = 0;
    };
    static Recovered Recover(const QString& journalPath = DefaultPath());
    // The one message shown for a recovered journal.
    static QString RecoveredMessage(const Recovered& r);

private:
    QString m_path;
    QFile m_file;
};
