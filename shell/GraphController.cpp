#include "shell/GraphController.h"

#include "base/LocalTime.h"
#include "base/NumberText.h"
#include "data/RtdataFile.h"
#include "data/RunEnergy.h"
#include "graph/DisplaySettings.h"
#include "graph/PowerAnalysis.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr GraphMode kModes[] = {GraphMode::StoreRms,
                                GraphMode::StoreTransient,
                                GraphMode::RealTimeEpa,
                                GraphMode::RealTimeRms,
                                GraphMode::RealTimeFrequency,
                                GraphMode::RealTimeApparentPower,
                                GraphMode::RealTimeActivePower,
                                GraphMode::RealTimePowerFactor};

// The highest and lowest P or PF of the run with their times, in the CH1 fields as
// S(VA)'s; "--" without any figure.
void PowerExtremeTexts(const MeasurementSet& s, GraphMode mode, RecInfo& r) {
    const size_t c = mode == GraphMode::RealTimeActivePower ? 0 : 1;
    const std::vector<FloatPair>& v = s.Run().PowerPairs();
    int64_t hiAt = -1, loAt = -1;
    for (size_t i = 0; i < v.size(); ++i) {
        const float x = v[i][c];
        if (std::isnan(x))
            continue;
        // Ties move to the later sample, as the other running extremes do.
        if (hiAt < 0 || x >= v[size_t(hiAt)][c])
            hiAt = int64_t(i);
        if (loAt < 0 || x <= v[size_t(loAt)][c])
            loAt = int64_t(i);
    }
    if (hiAt < 0) {
        r.ch1Max = r.ch1Min = QStringLiteral("--");
        return;
    }
    auto text = [&](int64_t at) {
        const double x = double(v[size_t(at)][c]);
        const QString value = c == 0 ? Fixed0(x) + QStringLiteral(" W") : Fixed2(x);
        return value + QStringLiteral(" @") + FormatDateTime(s.Run().SampleTime(at));
    };
    r.ch1Max = text(hiAt);
    r.ch1Min = text(loAt);
}

const QString kVolts = QStringLiteral("V");
const QString kAmps = QStringLiteral("A");

} // namespace

GraphController::GraphController(AppShell& shell, QObject* parent)
    : QObject(parent), m_shell(shell) {
    for (GraphMode mode : kModes) {
        m_shell.RegisterCommand(
            ModeCommandId(mode), [this, mode] { EnterMode(mode); },
            [this, mode] { return ModeState(mode); });
    }
    m_shell.RegisterCommand(
        ViewCmd::ZoomOut, [this] { ResetScale(); },
        [this] {
            return CommandState{m_shell.Graph().ShowsGraph(), false};
        });
    m_shell.RegisterTimer(FrameTimer::ResetScale, [this] {
        m_shell.Timers().Kill(FrameTimer::ResetScale);
        ResetScale();
    });
    connect(&m_shell, &AppShell::workBuffersSized, this, [this](int64_t points) {
        Model().SizeWorkBuffers(points);
        Model().SetDataReplaced(true);
    });
}

GraphController::~GraphController() {
    for (GraphMode mode : kModes)
        m_shell.RegisterCommand(ModeCommandId(mode), {});
    m_shell.RegisterCommand(ViewCmd::ZoomOut, {});
    AppShell* shell = &m_shell;
    m_shell.RegisterTimer(FrameTimer::ResetScale,
                          [shell] { shell->Timers().Kill(FrameTimer::ResetScale); });
}

CommandState GraphController::ModeState(GraphMode mode) const {
    const MeasurementSet& s = m_shell.Set();
    bool enabled = false;
    switch (mode) {
    case GraphMode::StoreRms:
        enabled = s.RmsCount() != 0;
        break;
    case GraphMode::StoreTransient:
        enabled = s.TrCount() != 0;
        break;
    case GraphMode::RealTimeEpa:
        enabled = s.Run().CapturePoints() != 0;
        break;
    case GraphMode::RealTimeRms:
    case GraphMode::RealTimeFrequency:
        enabled = s.RtCount() != 0;
        break;
    case GraphMode::RealTimeApparentPower:
    case GraphMode::RealTimeActivePower:
    case GraphMode::RealTimePowerFactor:
        // S, P and PF need one channel in volts and the other in amperes.
        enabled = s.RtCount() != 0 && s.RtChannelPresent(0) && s.RtChannelPresent(1) &&
                  s.RtChannelUnit(0) != s.RtChannelUnit(1);
        break;
    case GraphMode::None:
        break;
    }
    return CommandState{enabled, m_shell.Graph().Mode() == mode && mode != GraphMode::None};
}

void GraphController::EnterMode(GraphMode mode) {
    if (mode == GraphMode::None)
        return;
    GraphModel& g = Model();
    // A mode already shown is only refreshed, unless the data were replaced since.
    if (g.Mode() == mode && !g.DataReplaced()) {
        if (IsRealTimeMode(mode))
            g.SetLastPoint(m_shell.Set().RtCount());
        FillRecInfo();
        RefreshInfoBar();
        return;
    }
    PrepareMode(mode);
}

// The channels and units a mode shows: the stored set's, the run's, or (transient
// records) the record's, set later.
void GraphController::ApplyModeChannels(GraphMode mode) {
    GraphModel& g = Model();
    const MeasurementSet& s = m_shell.Set();
    switch (mode) {
    case GraphMode::StoreRms:
        g.SetChannelsPresent(s.ChannelPresent(0), s.ChannelPresent(1));
        g.SetChannelUnits(s.ChannelUnit(0), s.ChannelUnit(1));
        break;
    case GraphMode::StoreTransient:
        break; // from the record, below
    default:
        g.SetChannelsPresent(s.RtChannelPresent(0) ? 1 : 0, s.RtChannelPresent(1) ? 1 : 0);
        g.SetChannelUnits(s.RtChannelUnit(0), s.RtChannelUnit(1));
        if (mode == GraphMode::RealTimeFrequency)
            g.SetChannelUnits(QStringLiteral("Hz"), QStringLiteral("Hz"));
        else if (mode == GraphMode::RealTimeApparentPower)
            g.SetChannelUnits(QStringLiteral("VA"), QStringLiteral("VA"));
        else if (mode == GraphMode::RealTimeActivePower)
            g.SetChannelUnits(QStringLiteral("W"), QStringLiteral("W"));
        else if (mode == GraphMode::RealTimePowerFactor)
            g.SetChannelUnits(QStringLiteral("PF"), QStringLiteral("PF"));
        break;
    }
}

// The points a mode shows at first.
void GraphController::ApplyModePointWindow(GraphMode mode) {
    GraphModel& g = Model();
    const MeasurementSet& s = m_shell.Set();
    switch (mode) {
    case GraphMode::StoreRms:
        g.SetPointWindow(1, s.RmsCount());
        break;
    case GraphMode::StoreTransient:
        g.SetTransientRecord(0);
        g.SetPointWindow(1, kTrPoints);
        break;
    case GraphMode::RealTimeEpa:
        g.SetPointWindow(1, kRtWavePoints);
        break;
    default:
        g.SetLastPoint(s.RtCount());
        if (m_shell.RealTimeRunning())
            g.RtCapacity().SelectLevelFor(g.PointCount());
        g.SetFirstPoint(1);
        break;
    }
}

void GraphController::PrepareMode(GraphMode mode) {
    GraphModel& g = Model();
    MeasurementSet& s = m_shell.Set();
    const AppSettings& st = m_shell.Settings();

    // 1. Information bar.
    if (IsWaveformMode(mode))
        g.SetInfoBarHeight(kInfoBarSlim);
    else
        g.SetInfoBarHeight(m_shell.InfoBarShown() ? kInfoBarFull : 0);

    // 2. Axis ranges of this mode.
    if (mode == GraphMode::RealTimeActivePower && st.m_fitActivePowerAxis)
        FitActivePowerAxis();
    const size_t m = size_t(ModeNumber(mode) - 1);
    for (size_t c = 0; c < 2; ++c)
        g.SetAxisRange(int(c), st.m_yAxisLow[m][c], st.m_yAxisHigh[m][c]);

    // 3. Channels and units, 4. point window.
    ApplyModeChannels(mode);
    ApplyModePointWindow(mode);

    g.SetMode(mode);
    g.SetDataReplaced(false);
    // The read-out named a point of what was shown before.
    g.SetReadoutText(QString());
    if (mode == GraphMode::StoreTransient) {
        // The record's channel and unit, as when a record is picked from the list.
        ApplyTransientRecord(0);
    }
    FillRecInfo();

    // The analysis panel's RMS texts of the captured waveform on show, before the
    // panel opens with them: closing the panel emptied CH1's, so going back to EPA
    // after a run showed a blank box.
    if (mode == GraphMode::RealTimeEpa && s.RtCount() >= 1) {
        if (s.RtChannelPresent(0))
            AnalyseWaveformInto(s, 0, &m_epaTexts[0]);
        if (s.RtChannelPresent(1))
            AnalyseWaveformInto(s, 1, &m_epaTexts[1]);
    }

    // 5. Side windows and splitter.
    emit modeWindowsChanged(mode);

    // 6. Base scale and repaint.
    ResetScale();
    if (!g.Zoom().Dragging())
        Repaint();

    // 7. The panel's apparent power from the two RMS texts above, and the power
    // figures of the sample on show.
    if (mode == GraphMode::RealTimeEpa && s.RtCount() >= 1 && s.RtChannelPresent(0) &&
        s.RtChannelPresent(1) && s.RtChannelUnit(0) != s.RtChannelUnit(1) && m_epaPanelOpen)
        m_epaApparentPower = ApparentPowerText(m_epaTexts[0].rms, m_epaTexts[1].rms);
    if (mode != GraphMode::RealTimeEpa)
        return;
    if (s.Run().CaptureSample() >= 0)
        CapturePowerTexts(); // a kept waveform: its own figures, THD included
    else if (s.RtCount() >= 1 && !s.Run().Power().empty())
        m_epaPowerTexts =
            MakePowerTexts(s.Run().Power().back(), {RtChannelKind(s, 0), RtChannelKind(s, 1)});
    RefreshEnergyTexts();
    // The panel opened (step 5) before these texts were made: it shows them now, not
    // blank boxes until the next sample.
    emit panelTextsChanged();
}

void GraphController::CapturePowerTexts() {
    const MeasurementSet& s = m_shell.Set();
    std::array<WaveformResult, 2> results{};
    for (int ch = 0; ch < 2; ++ch) {
        if (s.RtChannelPresent(ch))
            results[size_t(ch)] = AnalyseWaveform(s.Run().Capture(), 0, kRtWavePoints, ch, nullptr);
    }
    const std::array<ChannelKind, 2> kinds{RtChannelKind(s, 0), RtChannelKind(s, 1)};
    m_epaPowerTexts =
        MakePowerTexts(MakePowerRow(PowerAnalysis(s.Run().Capture(), kinds, results)), kinds);
}

void GraphController::ClearEpaCh1Texts() {
    EpaTexts& t = m_epaTexts[0];
    t.f.clear();
    t.t.clear();
    t.rms.clear();
    t.vpp.clear();
}

void GraphController::RefreshEnergyTexts() {
    const std::optional<RunEnergy> e = EnergyOfRun(m_shell.Set().Run());
    const QString none = QStringLiteral("--");
    m_epaActiveEnergy = e && m_shell.Set().RtCount() > 0 ? ActiveEnergyText(*e) : none;
    m_epaApparentEnergy = e && m_shell.Set().RtCount() > 0 ? ApparentEnergyText(*e) : none;
}

// A settings file from before the P(W) graph holds no range for it: the first P(W)
// graph shows its run's figures whole, and the range is kept from then on.
void GraphController::FitActivePowerAxis() {
    const std::vector<FloatPair>& v = m_shell.Set().Run().PowerPairs();
    double lo = 0, hi = 0;
    bool any = false;
    for (const FloatPair& x : v) {
        if (std::isnan(x[0]))
            continue;
        lo = any ? std::min(lo, double(x[0])) : double(x[0]);
        hi = any ? std::max(hi, double(x[0])) : double(x[0]);
        any = true;
    }
    if (!any)
        return;
    const std::pair<int, int> r = FitRange(lo, hi);
    AppSettings& st = m_shell.Settings();
    const size_t m = size_t(ModeNo::RealTimeActivePower - 1);
    st.m_yAxisLow[m] = {r.first, r.first};
    st.m_yAxisHigh[m] = {r.second, r.second};
    st.m_fitActivePowerAxis = false;
}

void GraphController::SelectTransientRecord(int record) {
    if (!ApplyTransientRecord(record) || Model().Mode() != GraphMode::StoreTransient)
        return;
    ShowTransientRecord(record);
    Model().SetReadoutText(QString());
    Repaint();
    ResetScale();
}

bool GraphController::ApplyTransientRecord(int record) {
    GraphModel& g = Model();
    const MeasurementSet& s = m_shell.Set();
    if (record < 0 || record >= s.TrCount() || size_t(record) >= s.TrChannelCodes().size() ||
        size_t(record) >= s.TrUnitCodes().size() ||
        size_t(record + 1) * kTrPoints > s.TrWave().size())
        return false;
    const uint8_t channel = s.TrChannelCodes()[size_t(record)];
    if (channel == kTrChannel1)
        g.SetChannelsPresent(1, 0);
    else if (channel == kTrChannel2)
        g.SetChannelsPresent(0, 1);
    const uint8_t unit = s.TrUnitCodes()[size_t(record)];
    if (unit == kTrUnitVolts)
        g.SetChannelUnits(kVolts, kVolts);
    else if (unit == kTrUnitAmps)
        g.SetChannelUnits(kAmps, kAmps);
    g.SetTransientRecord(record);
    g.SetPointWindow(kTrPoints * record + 1, kTrPoints * record + kTrPoints);
    return true;
}

void GraphController::ShowTransientRecord(int record) {
    GraphModel& g = Model();
    const MeasurementSet& s = m_shell.Set();
    RecInfo r = g.Info();
    r.title = ModeTitle(GraphMode::StoreTransient);
    r.rate = QStringLiteral("0.0874 ms");
    r.count = QString::number(kTrPoints);
    if (record >= 0 && size_t(record) < s.TrTimes().size())
        r.start = FormatDateTime(s.TrTimes()[size_t(record)]);

    // Extremes over the point window; later equal values win, as in the list.
    double maximum = -1000, minimum = 1000;
    const int64_t from = std::max<int64_t>(g.FirstPoint() - 1, 0);
    const int64_t to = std::min<int64_t>(g.LastPoint(), int64_t(s.TrWave().size()));
    for (int64_t i = from; i < to; ++i) {
        const double v = s.TrWave()[size_t(i)];
        if (v >= maximum)
            maximum = v;
        if (v <= minimum)
            minimum = v;
    }
    const QString* lastUnit = nullptr;
    if (g.ChannelPresent(0) == 1) {
        r.ch1Max = Fixed0(maximum) + QLatin1Char(' ') + g.ChannelUnit(0);
        r.ch1Min = Fixed0(minimum) + QLatin1Char(' ') + g.ChannelUnit(0);
        lastUnit = &g.ChannelUnit(0);
    }
    if (g.ChannelPresent(1) == 1) {
        r.ch2Max = Fixed0(maximum) + QLatin1Char(' ') + g.ChannelUnit(1);
        r.ch2Min = Fixed0(minimum) + QLatin1Char(' ') + g.ChannelUnit(1);
        lastUnit = &g.ChannelUnit(1);
    }
    if (lastUnit) {
        r.levelHigh = Fixed0(s.TrLevelHigh()) + *lastUnit;
        r.levelLow = Fixed0(s.TrLevelLow()) + *lastUnit;
    }
    g.SetInfo(std::move(r));
}

void GraphController::FillRecInfo() {
    GraphModel& g = Model();
    const MeasurementSet& s = m_shell.Set();
    const GraphMode mode = g.Mode();
    if (mode == GraphMode::StoreTransient) {
        ShowTransientRecord(g.TransientRecord());
        return;
    }
    RecInfo r = g.Info();
    // A run read from a file has its own interval; a live one has the settings'.
    const int interval = s.Run().Count() > 0 ? s.Run().Interval() : m_shell.Settings().m_rtInterval;
    const QString rtRate = QString::number(interval);
    auto extremes = [&](int maxRow, int minRow) {
        if (g.ChannelPresent(0) == 1) {
            r.ch1Max = s.ExtremeText(maxRow, 0);
            r.ch1Min = s.ExtremeText(minRow, 0);
        }
        if (g.ChannelPresent(1) == 1) {
            r.ch2Max = s.ExtremeText(maxRow, 1);
            r.ch2Min = s.ExtremeText(minRow, 1);
        }
    };
    switch (mode) {
    case GraphMode::StoreRms:
        r.title = ModeTitle(mode);
        r.rate = Fixed0(s.RmsInterval()) + QStringLiteral(" s");
        r.start = FormatDateTime(s.StartTime());
        r.count = QString::number(s.RmsCount());
        extremes(0, 1);
        break;
    case GraphMode::RealTimeEpa:
        r.title = ModeTitle(mode);
        r.start = g.PointTimeText(Inputs(), int64_t(s.RtCount()) - 1);
        break;
    case GraphMode::RealTimeRms:
    case GraphMode::RealTimeFrequency:
    case GraphMode::RealTimeApparentPower:
    case GraphMode::RealTimeActivePower:
    case GraphMode::RealTimePowerFactor:
        r.title = ModeTitle(mode);
        r.rate = rtRate;
        r.start = FormatDateTime(s.RtStartTime());
        r.count = QString::number(s.RtCount());
        r.energy.clear();
        if (mode == GraphMode::RealTimeRms)
            extremes(8, 9);
        else if (mode == GraphMode::RealTimeFrequency)
            extremes(4, 5);
        else if (mode == GraphMode::RealTimeApparentPower) {
            r.ch1Max = s.PowerExtremeText(0);
            r.ch1Min = s.PowerExtremeText(1);
        } else {
            PowerExtremeTexts(s, mode, r);
            if (mode == GraphMode::RealTimeActivePower) {
                if (const std::optional<RunEnergy> e = EnergyOfRun(s.Run()))
                    r.energy =
                        ActiveEnergyText(*e) + QStringLiteral("   ") + ApparentEnergyText(*e);
            }
        }
        break;
    case GraphMode::StoreTransient: // above
    case GraphMode::None:
        break;
    }
    g.SetInfo(std::move(r));
}

void GraphController::ResetScale() {
    Model().ResetScale();
    emit scaleReset();
}

void GraphController::ApplyModeFromFile() {
    MeasurementSet& s = m_shell.Set();
    if (!s.ModeFromFile())
        return;
    GraphModel& g = Model();
    s.SetModeFromFile(false);
    // The loaded data replace what was shown even when the mode stays the same. A
    // file with any other tag was refused: the window shown stays as it is (from
    // point 1 it would run a transient record on into the records before it).
    if (s.FileTag() == QLatin1String(kTagRealTime)) {
        g.SetFirstPoint(1);
        g.SetDataReplaced(true);
        OnRealTimeRms();
    } else if (s.FileTag() == QLatin1String(kTagStored)) {
        g.SetFirstPoint(1);
        g.SetDataReplaced(true);
        OnStoreRms();
    }
    g.ResetScale();
}

bool GraphController::CanOpenSampleWaveform() const {
    const GraphMode mode = m_shell.Graph().Mode();
    return !m_shell.RealTimeRunning() && m_shell.Set().Run().KeepsWaveforms() &&
           (mode == GraphMode::RealTimeRms || mode == GraphMode::RealTimeFrequency ||
            mode == GraphMode::RealTimeApparentPower || mode == GraphMode::RealTimeActivePower ||
            mode == GraphMode::RealTimePowerFactor || mode == GraphMode::RealTimeEpa);
}

bool GraphController::OpenSampleWaveform(int n) {
    MeasurementSet& s = m_shell.Set();
    if (!CanOpenSampleWaveform() || !s.Run().ShowSample(n))
        return false;
    GraphModel& g = Model();
    g.SetDataReplaced(true);
    EnterMode(GraphMode::RealTimeEpa);
    // The panel's power figures of this waveform, whatever the run kept for it.
    CapturePowerTexts();
    m_shell.ShowStatus(QStringLiteral("Sample %1 of %2").arg(n + 1).arg(s.RtCount()));
    emit infoBarChanged();
    emit panelTextsChanged();
    return true;
}

bool GraphController::StepSampleWaveform(int delta) {
    const RealTimeRun& run = m_shell.Set().Run();
    if (m_shell.Graph().Mode() != GraphMode::RealTimeEpa || run.CaptureSample() < 0)
        return false;
    const int n = std::clamp(run.CaptureSample() + delta, 0, run.Count() - 1);
    return n != run.CaptureSample() && OpenSampleWaveform(n);
}

bool GraphController::OpenEdgeSampleWaveform(bool last) {
    const RealTimeRun& run = m_shell.Set().Run();
    if (m_shell.Graph().Mode() != GraphMode::RealTimeEpa || run.CaptureSample() < 0)
        return false;
    return OpenSampleWaveform(last ? run.Count() - 1 : 0);
}
