#include "shell/WaveformExport.h"

#include "graph/GraphModel.h"

#include <QDir>
#include <QFileInfo>

WaveformExport::WaveformExport(AppShell& shell) : m_shell(shell) {
    m_shell.RegisterCommand(
        Cmd::ExportComtrade, [this] { Export(); }, [this] { return State(); });
}

WaveformExport::~WaveformExport() {
    m_shell.RegisterCommand(Cmd::ExportComtrade, {});
}

const MeasurementSet& WaveformExport::Set() const {
    return m_shell.Set();
}

const GraphModel& WaveformExport::Graph() const {
    return m_shell.Graph();
}

WaveformExport::OnShow WaveformExport::Shown() const {
    const MeasurementSet& set = Set();
    switch (Graph().Mode()) {
    case GraphMode::RealTimeEpa:
        return set.Run().CapturePoints() > 0 ? OnShow::Capture : OnShow::Nothing;
    case GraphMode::StoreTransient: {
        const int k = Graph().TransientRecord();
        // A record whose values are not all there writes nothing.
        return k >= 0 && k < set.TrCount() && !TransientComtrade(set, k).channels.empty()
                   ? OnShow::TransientRecord
                   : OnShow::Nothing;
    }
    default:
        return OnShow::Nothing;
    }
}

ComtradeRecord WaveformExport::RecordOnShow(const QString& fallbackStation) const {
    ComtradeRecord r;
    switch (Shown()) {
    case OnShow::Capture:
        r = ShownCaptureComtrade(Set().Run());
        break;
    case OnShow::TransientRecord:
        r = TransientComtrade(Set(), Graph().TransientRecord());
        break;
    case OnShow::Nothing:
        return r;
    }
    NameComtrade(r, ComtradeStation(m_shell.ShownFile(), fallbackStation));
    return r;
}

QString WaveformExport::ProposedName() const {
    const QString file = QFileInfo(m_shell.ShownFile()).completeBaseName();
    const QString prefix = file.isEmpty() ? QString() : file + QLatin1Char('-');
    const RealTimeRun& run = Set().Run();
    switch (Shown()) {
    case OnShow::Capture: {
        const int n = run.CaptureSample() >= 0 ? run.CaptureSample() + 1 : run.Count();
        return n > 0 ? QStringLiteral("%1sample%2.cfg").arg(prefix).arg(n)
                     : QStringLiteral("%1waveform.cfg").arg(prefix);
    }
    case OnShow::TransientRecord:
        return QStringLiteral("%1tr%2.cfg").arg(prefix).arg(Graph().TransientRecord() + 1);
    case OnShow::Nothing:
        break;
    }
    return QStringLiteral("waveform.cfg");
}

bool WaveformExport::Export() {
    if (Shown() == OnShow::Nothing)
        return true;
    // What is on show now is written, even if a run takes its next sample or other
    // data come in while the chooser is open.
    ComtradeRecord record = RecordOnShow(QString());
    Prompts& prompts = m_shell.UserPrompts();
    // The question about replacing names both files a name stands for.
    const QString chosen = ChooseSavePathAsking(
        prompts, ProposedName(), QStringLiteral("COMTRADE Files (*.cfg)"), m_lastFolder,
        [](const QString& c) {
            const QString b = ComtradeBase(c);
            return QStringList{b + QStringLiteral(".cfg"), b + QStringLiteral(".dat")};
        });
    if (chosen.isEmpty())
        return true;
    const QString base = ComtradeBase(chosen);
    if (record.stationName.isEmpty())
        NameComtrade(record, QFileInfo(base).fileName());
    QString error;
    if (!WriteComtrade(base, record, &error)) {
        prompts.Message(QStringLiteral("The waveform could not be exported: %1").arg(error));
        return false;
    }
    m_shell.ShowStatus(QStringLiteral("Waveform exported to %1.cfg and %1.dat")
                           .arg(QDir::toNativeSeparators(base)));
    return true;
}
