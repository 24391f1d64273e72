// File > Export > Waveform as COMTRADE through the shell: what is on show decides
// what is written (a browsed sample, the newest frame, a transient record) and
// whether the command is offered; the pair is read back by the tests' own reader.

#include "SampleSets.h"
#include "support/ComtradeReader.h"
#include "support/ShellFixture.h"

#include "data/RtdataFile.h"
#include "shell/WaveformExport.h"

#include <QDir>
#include <QFile>

#include <cmath>
#include <functional>
#include <memory>
#include <numbers>
#include <utility>
#include <vector>

namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A 50 Hz sine of `amplitude` counts, shifted by `phase`, at the capture's 54.71 us.
int16_t Wave(int i, double amplitude, double phase) {
    return int16_t(
        std::lround(amplitude * std::sin(2 * std::numbers::pi * 50 * i * 54.71e-6 + phase)));
}

class WaveformExportTest : public ShellFixture {
protected:
    void SetUp() override {
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
        QObject::connect(&shell, &AppShell::statusText,
                         [this](const QString& t) { status.push_back(t); });
    }

    // A run of three samples at 2 s from 8 December 2026 14:05:00, CH1 in volts and
    // CH2 in amps, sample n's waveform shifted by n radians and its CH1 frequency
    // 50.0 + 0.1 n Hz; shown in the EPA graph.
    void MakeRun() { MakeRun(shell); }
    void MakeRun(AppShell& into) {
        waves.clear();
        RealTimeRun& run = into.Set().Run();
        run.SetChannelKind(0, kChannelVolts);
        run.SetChannelKind(1, kChannelAmps);
        run.Begin(samples::At(2026, 12, 8, 14, 5, 0), 2, 3);
        for (int n = 0; n < 3; ++n) {
            RtWaveform w{};
            for (int i = 0; i < kRtWavePoints; ++i)
                w[size_t(i)] = {Wave(i, 3000, n), Wave(i, 1400, n - 0.5)};
            waves.push_back(w);
            RtSample s;
            s.rms = {2121.3f, 989.9f};
            s.freq = {50.0f + 0.1f * float(n), 400.0f};
            s.time = samples::At(2026, 12, 8, 14, 5, 2 * n);
            ASSERT_TRUE(run.Append(s));
        }
        run.SetWaveforms(std::make_shared<RtMemoryWaveforms>(waves));
        into.Graph().SetMode(GraphMode::RealTimeEpa);
    }

    // Two transient records, the second of CH2 in amps; shown in the stored TR graph.
    void MakeTransients(int shown) {
        MeasurementSet s = samples::WorkedExample();
        samples::AddTr(s, samples::At(2010, 2, 3, 14, 6, 0), kTrChannel1, kTrUnitVolts, 10.0f);
        samples::AddTr(s, samples::At(2010, 2, 3, 14, 7, 30), kTrChannel2, kTrUnitAmps, -50.0f);
        shell.Set().ReplaceStored(s.Stored());
        shell.Graph().SetMode(GraphMode::StoreTransient);
        shell.Graph().SetTransientRecord(shown);
    }

    QString Out(const QString& name) const { return QDir(out.path()).filePath(name); }

    comtrade::Record ReadBack(const QString& base) {
        QString why;
        const auto r = comtrade::Read(ReadAll(base + QStringLiteral(".cfg")),
                                      ReadAll(base + QStringLiteral(".dat")), why);
        EXPECT_TRUE(r.has_value()) << why.toStdString();
        return r.value_or(comtrade::Record{});
    }

    // Channel `ch` of sample n's waveform read back: every value as it was captured.
    void ExpectSample(const comtrade::Analog& a, int n, int ch) {
        ASSERT_EQ(a.values.size(), size_t(kRtWavePoints));
        int wrong = 0;
        for (size_t i = 0; i < a.values.size(); ++i)
            wrong += a.values[i] != std::optional<double>(double(waves[size_t(n)][i][size_t(ch)]));
        EXPECT_EQ(wrong, 0) << "channel " << ch << " is not sample " << n + 1;
    }

    WaveformExport exporter{shell};
    std::vector<RtWaveform> waves;
    std::vector<QString> status;
    QTemporaryDir out;
};

TEST_F(WaveformExportTest, BrowsedSampleIsWrittenWithItsChannelsTimeAndLineFrequency) {
    MakeRun();
    ASSERT_TRUE(shell.Set().Run().ShowSample(1));
    shell.SetShownFile(QStringLiteral("/data/site 4.rtdata"));
    ASSERT_TRUE(shell.StateOf(Cmd::ExportComtrade).enabled);
    prompts.QueueFile(Out(QStringLiteral("browsed.cfg")));
    ASSERT_TRUE(shell.Execute(Cmd::ExportComtrade));

    ASSERT_EQ(prompts.proposedNames.size(), 1u);
    EXPECT_EQ(prompts.proposedNames[0], QStringLiteral("site 4-sample2.cfg"));
    const comtrade::Record r = ReadBack(Out(QStringLiteral("browsed")));
    EXPECT_EQ(r.station, QStringLiteral("site 4"));
    EXPECT_EQ(r.device, QStringLiteral("Orvex DATA LOGGER"));
    EXPECT_EQ(r.revision, 1999);
    ASSERT_EQ(r.analog.size(), 2u);
    EXPECT_EQ(r.analog[0].unit, QStringLiteral("V"));
    EXPECT_EQ(r.analog[1].unit, QStringLiteral("A"));
    ExpectSample(r.analog[0], 1, 0);
    ExpectSample(r.analog[1], 1, 1);
    ASSERT_EQ(r.rates.size(), 1u);
    EXPECT_NEAR(r.rates[0].first, 18278.194, 0.001); // 1 / 54.71 us
    EXPECT_EQ(r.rates[0].second, 590);
    EXPECT_NEAR(r.lineFrequency, 50.1, 1e-6);
    EXPECT_EQ(r.firstDate, QStringLiteral("08/12/2026"));
    EXPECT_EQ(r.firstTime, QStringLiteral("14:05:02.000000"));
    ASSERT_FALSE(status.empty());
    EXPECT_EQ(status.back(),
              QStringLiteral("Waveform exported to %1 and %2")
                  .arg(QDir::toNativeSeparators(Out(QStringLiteral("browsed.cfg"))),
                       QDir::toNativeSeparators(Out(QStringLiteral("browsed.dat")))));
}

// During a run the newest frame is on show; it is told with the newest sample, and
// data from no file are named after the pair itself.
TEST_F(WaveformExportTest, NewestFrameGoesWithTheNewestSample) {
    MakeRun();
    RtWaveform frame{};
    for (int i = 0; i < kRtWavePoints; ++i)
        frame[size_t(i)] = {Wave(i, 2500, 0.25), Wave(i, 700, 0.0)};
    shell.Set().Run().SetCapture(frame);
    waves.push_back(frame); // index 3: what the frame holds
    prompts.QueueFile(Out(QStringLiteral("live")));
    ASSERT_TRUE(shell.Execute(Cmd::ExportComtrade));

    EXPECT_EQ(prompts.proposedNames.at(0), QStringLiteral("sample3.cfg"));
    const comtrade::Record r = ReadBack(Out(QStringLiteral("live")));
    EXPECT_EQ(r.station, QStringLiteral("live"));
    ASSERT_EQ(r.analog.size(), 2u);
    ExpectSample(r.analog[0], 3, 0);
    ExpectSample(r.analog[1], 3, 1);
    EXPECT_NEAR(r.lineFrequency, 50.2, 1e-6);
    EXPECT_EQ(r.firstTime, QStringLiteral("14:05:04.000000"));
}

TEST_F(WaveformExportTest, TransientRecordOnShowIsWrittenAtItsOwnRate) {
    MakeTransients(1);
    shell.SetShownFile(QStringLiteral("/data/feeder.stdata"));
    prompts.QueueFile(Out(QStringLiteral("record.dat"))); // either name of the pair will do
    ASSERT_TRUE(shell.Execute(Cmd::ExportComtrade));

    EXPECT_EQ(prompts.proposedNames.at(0), QStringLiteral("feeder-tr2.cfg"));
    const comtrade::Record r = ReadBack(Out(QStringLiteral("record")));
    EXPECT_EQ(r.station, QStringLiteral("feeder"));
    ASSERT_EQ(r.analog.size(), 1u);
    EXPECT_EQ(r.analog[0].id, QStringLiteral("CH2"));
    EXPECT_EQ(r.analog[0].unit, QStringLiteral("A"));
    ASSERT_EQ(r.analog[0].values.size(), 251u);
    EXPECT_EQ(r.analog[0].values.front(), -50.0);
    EXPECT_EQ(r.analog[0].values.back(), 200.0);
    EXPECT_NEAR(r.rates.at(0).first, 11441.648, 0.001); // 1 / 0.0874 ms
    EXPECT_EQ(r.lineFrequency, 50.0);
    EXPECT_EQ(r.firstDate, QStringLiteral("03/02/2010"));
    EXPECT_EQ(r.firstTime, QStringLiteral("14:07:30.000000"));
}

// Nothing to export: the command is greyed and asks for no name.
TEST_F(WaveformExportTest, GreyedWithoutAWaveformOnShow) {
    struct Case {
        const char* what;
        std::function<void()> arrange;
    };
    const std::vector<Case> cases = {
        {"nothing shown", [] {}},
        {"a run without a capture, in EPA",
         [this] {
             MakeRun();
             shell.Set().Run().ClearCapture();
         }},
        {"a run browsed, in the RMS graph",
         [this] {
             MakeRun();
             shell.Set().Run().ShowSample(0);
             shell.Graph().SetMode(GraphMode::RealTimeRms);
         }},
        {"stored TR graph without records",
         [this] {
             shell.Set().ReplaceStored(samples::WorkedExample().Stored());
             shell.Graph().SetMode(GraphMode::StoreTransient);
         }},
        {"stored TR graph past the last record", [this] { MakeTransients(2); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        shell.Set().Run().Clear();
        shell.Set().ClearStored();
        shell.Graph().SetMode(GraphMode::None);
        c.arrange();
        EXPECT_FALSE(shell.StateOf(Cmd::ExportComtrade).enabled);
        EXPECT_FALSE(shell.Execute(Cmd::ExportComtrade));
    }
    EXPECT_EQ(prompts.fileChoosersShown, 0);
}

TEST_F(WaveformExportTest, UnwritableFolderGetsAMessageAndNoStatusWord) {
    MakeRun();
    shell.Set().Run().ShowSample(0);
    const QString base = Out(QStringLiteral("no such folder/x"));
    prompts.QueueFile(base + QStringLiteral(".cfg"));
    EXPECT_FALSE(exporter.Export());
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_TRUE(prompts.shown[0].text.startsWith(
        QStringLiteral("The waveform could not be exported: %1").arg(base)))
        << prompts.shown[0].text.toStdString();
    EXPECT_TRUE(status.empty());
    EXPECT_FALSE(QFile::exists(base + QStringLiteral(".cfg")));
}

// The chooser does not ask about files already there: one question names them, No
// goes back to the chooser and leaves them, Yes replaces both.
TEST_F(WaveformExportTest, ExistingPairIsReplacedOnlyWhenTheUserAgrees) {
    MakeRun();
    shell.Set().Run().ShowSample(2);
    const QString cfg = Out(QStringLiteral("old.cfg"));
    const QString dat = Out(QStringLiteral("old.dat"));
    for (const QString& p : {cfg, dat}) {
        QFile f(p);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("kept");
    }
    prompts.QueueFile(cfg);
    prompts.QueueAnswer(PromptAnswer::No); // then the chooser is cancelled
    ASSERT_TRUE(shell.Execute(Cmd::ExportComtrade));
    EXPECT_EQ(prompts.fileChoosersShown, 2);
    EXPECT_EQ(prompts.proposedNames.at(1), QStringLiteral("old.cfg"));
    EXPECT_EQ(prompts.LastText(),
              QStringLiteral("The files %1 and %2 already exist.\nDo you want to replace them?")
                  .arg(QDir::toNativeSeparators(cfg), QDir::toNativeSeparators(dat)));
    EXPECT_EQ(ReadAll(cfg), QByteArray("kept"));
    EXPECT_EQ(ReadAll(dat), QByteArray("kept"));

    prompts.QueueFile(cfg);
    prompts.QueueAnswer(PromptAnswer::Yes);
    ASSERT_TRUE(shell.Execute(Cmd::ExportComtrade));
    const comtrade::Record r = ReadBack(Out(QStringLiteral("old")));
    ASSERT_EQ(r.analog.size(), 2u);
    ExpectSample(r.analog[0], 2, 0);
}

// Prompts whose file chooser lets something happen while it is open, as the
// event loop of a real one does (a run takes its next sample).
class BusyChooser final : public FakePrompts {
public:
    void WhileOpen(std::function<void()> f) { m_whileOpen = std::move(f); }
    QString ChooseSaveFile(const QString& proposedName, const QString& filter,
                           const QString& folder) override {
        if (m_whileOpen)
            m_whileOpen();
        return FakePrompts::ChooseSaveFile(proposedName, filter, folder);
    }

private:
    std::function<void()> m_whileOpen;
};

// The sample on show when the command was chosen is written, not the one a run
// brought in while the chooser was open (the name proposed says which it is).
TEST_F(WaveformExportTest, WhatWasOnShowWhenAskedIsWrittenWhateverComesWhileTheChooserIsOpen) {
    BusyChooser busy;
    AppShell own{timers, busy, now, SettingsFilePath()};
    WaveformExport ownExport{own};
    MakeRun(own);
    RealTimeRun& run = own.Set().Run();
    ASSERT_TRUE(run.ShowSample(0));
    busy.WhileOpen([&run] { run.ShowSample(2); });
    busy.QueueFile(Out(QStringLiteral("asked")));
    ASSERT_TRUE(ownExport.Export());

    EXPECT_EQ(busy.proposedNames.at(0), QStringLiteral("sample1.cfg"));
    const comtrade::Record r = ReadBack(Out(QStringLiteral("asked")));
    ASSERT_EQ(r.analog.size(), 2u);
    ExpectSample(r.analog[0], 0, 0);
    EXPECT_EQ(r.firstTime, QStringLiteral("14:05:00.000000"));
    EXPECT_NEAR(r.lineFrequency, 50.0, 1e-6);
}

} // namespace
