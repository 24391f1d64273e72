#include "shell/ConfigSession.h"

#include "base/LocalTime.h"
#include "shell/AppShell.h"

namespace {
QString Number(int v) {
    return QString::number(v); // "%d"
}
} // namespace

ConfigSession::ConfigSession(AppShell& shell, LinkController& link, QObject* parent)
    : QObject(parent), m_shell(shell), m_link(link) {
    m_shell.RegisterTimer(FrameTimer::ClockFollow, [this] { OnClockFollow(); });
    connect(&m_link, &LinkController::acknowledged, this, &ConfigSession::OnAcknowledged);
}

ConfigSession::~ConfigSession() {
    m_shell.Timers().Kill(FrameTimer::ClockFollow);
    AppShell* shell = &m_shell;
    m_shell.RegisterTimer(FrameTimer::ClockFollow,
                          [shell] { shell->Timers().Kill(FrameTimer::ClockFollow); });
}

bool ConfigSession::Begin() {
    if (m_link.LoadingShown())
        return false;
    // A download shows its loading dialog until it ends, and a running acquisition
    // disables both commands. A stopped acquisition still holds the line: its
    // transfer would take the acknowledgement for a frame and answer with a stop.
    if (!m_link.EndStoppedTransfer())
        return false;
    m_link.OnDialogCommand();
    m_sent = false;
    m_pending = Pending::None;
    return true;
}

bool ConfigSession::BeginSetupCommand() {
    return Begin();
}

bool ConfigSession::BeginCorrectTimeCommand() {
    return Begin();
}

// ---------------------------------------------------------------------------
// Setup

SetupForm ConfigSession::SetupFromSettings() const {
    const AppSettings& s = m_shell.Settings();
    SetupForm f;
    f.interval = s.m_sampRate;
    f.unit = s.m_sampUnit >= 0 && s.m_sampUnit < Config::kUnitCount ? s.m_sampUnit : 0;
    f.autoOff = s.m_autoOff == Config::kAutoOffOn ? Config::kAutoOffOn : 0;
    f.recMode = s.m_recMode == Config::kCircularOn ? Config::kCircularOn : 0;
    f.riseLevel = s.m_tempHi;
    f.dropLevel = s.m_tempLow;
    f.riseKind = s.m_limit1Unit == 0 ? 0 : 1;
    f.dropKind = s.m_limit2Unit == 0 ? 0 : 1;
    return f;
}

SetupForm ConfigSession::DefaultSetup() {
    SetupForm f;
    f.interval = Number(Config::kDefaultInterval);
    f.unit = Config::kSecond;
    f.autoOff = 0;
    f.recMode = 0;
    f.riseLevel = Number(Config::kDefaultRiseLevel);
    f.dropLevel = Number(Config::kDefaultDropLevel);
    f.riseKind = Config::kDefaultLevelKind;
    f.dropKind = Config::kDefaultLevelKind;
    return f;
}

QString ConfigSession::IntervalEdited(const QString& text, int unit) {
    return Number(Config::ClampInterval(Config::TextValue(text), unit));
}

QString ConfigSession::UnitChanged(const QString& text, int unit) {
    const int v = Config::TextValue(text);
    const int clamped = Config::ClampIntervalOnUnitChange(v, unit);
    return clamped == v ? text : Number(clamped);
}

void ConfigSession::OpenSetupDialog() {
    m_sent = false;
    m_link.OpenDialog(LinkDialog::Setup);
}

QByteArray ConfigSession::SetupCommandOf(const SetupForm& f) {
    Config::SetupValues v;
    v.intervalCount = Config::TextValue(f.interval);
    v.unit = f.unit;
    v.autoOff = f.autoOff;
    v.recMode = f.recMode;
    v.riseLevel = Config::TextValue(f.riseLevel);
    v.dropLevel = Config::TextValue(f.dropLevel);
    return Config::BuildSetupCommand(v);
}

bool ConfigSession::PressSetup(const SetupForm& f) {
    if (!m_link.ActionAllowed(LinkDialog::Setup))
        return false;
    const QByteArray command = SetupCommandOf(f);
    // Kept before the command is written, so that they persist even if the write fails.
    AppSettings& s = m_shell.Settings();
    s.m_sampRate = f.interval;
    s.m_sampUnit = f.unit;
    s.m_autoOff = f.autoOff;
    s.m_recMode = f.recMode;
    s.m_tempHi = f.riseLevel;
    s.m_tempLow = f.dropLevel;
    s.m_limit1Unit = f.riseKind;
    s.m_limit2Unit = f.dropKind;
    Send(LinkDialog::Setup, command);
    m_pending = Pending::Setup;
    // The logger starts a new recording under these settings: the data shown may be
    // lost to the next download or Open unless the user is asked again.
    m_shell.SetPromptOnDownload(true);
    m_shell.SetPromptOnOpen(true);
    return true;
}

void ConfigSession::SetupDialogClosed() {
    Closed(LinkDialog::Setup);
}

// ---------------------------------------------------------------------------
// Clock

ClockForm ConfigSession::ClockFromNow() const {
    const CalendarFields f = ToLocalFields(m_shell.Now().Now());
    return {Number(f.year), Number(f.month),  Number(f.day),
            Number(f.hour), Number(f.minute), Number(f.second)};
}

QString ConfigSession::ClockFieldEdited(Config::ClockField field, const QString& text) {
    return Number(Config::ClampClockField(field, Config::TextValue(text)));
}

void ConfigSession::OpenCorrectTimeDialog() {
    m_sent = false;
    m_clockEdited = false;
    m_link.OpenDialog(LinkDialog::CorrectTime);
    // The user reads and presses OK seconds later: the fields keep up until edited.
    m_shell.Timers().Start(FrameTimer::ClockFollow, 1000);
}

void ConfigSession::OnClockFollow() {
    if (m_clockEdited || !m_link.Dialog(LinkDialog::CorrectTime).open) {
        m_shell.Timers().Kill(FrameTimer::ClockFollow);
        return;
    }
    emit clockFollowed(ClockFromNow());
}

void ConfigSession::OnAcknowledged() {
    const Pending was = m_pending;
    m_pending = Pending::None;
    if (was == Pending::None)
        return;
    WorkReport r;
    r.what = was == Pending::Setup ? WorkDone::LoggerSetUp : WorkDone::LoggerClockSet;
    r.clock = m_clockSent;
    m_shell.Notices().Report(r);
}

QByteArray ConfigSession::ClockCommandOf(const ClockForm& f) {
    Config::ClockValues v;
    v.year = Config::TextValue(f[0]);
    v.month = Config::TextValue(f[1]);
    v.day = Config::TextValue(f[2]);
    v.hour = Config::TextValue(f[3]);
    v.minute = Config::TextValue(f[4]);
    v.second = Config::TextValue(f[5]);
    return Config::BuildSetClockCommand(v);
}

bool ConfigSession::PressCorrectTimeOk(const ClockForm& typed) {
    // The clock dialog's port check only sets its link state: "OK" acts whenever the
    // link is connected.
    if (m_link.Dialog(LinkDialog::CorrectTime).state != LinkState::Connected) {
        m_link.ActionAllowed(LinkDialog::CorrectTime); // the message line says why
        return false;
    }
    // Untouched fields: the time of this moment, shown as it is sent.
    const ClockForm f = m_clockEdited ? typed : ClockFromNow();
    if (!m_clockEdited)
        emit clockFollowed(f);
    m_shell.Timers().Kill(FrameTimer::ClockFollow);
    AppSettings& s = m_shell.Settings();
    s.m_timeYear = f[0];
    s.m_timeMonth = f[1];
    s.m_timeDay = f[2];
    s.m_timeHour = f[3];
    s.m_timeMinute = f[4];
    s.m_timeSecond = f[5];
    Send(LinkDialog::CorrectTime, ClockCommandOf(f));
    m_pending = Pending::Clock;
    m_clockSent = {Config::TextValue(f[0]), Config::TextValue(f[1]), Config::TextValue(f[2]),
                   Config::TextValue(f[3]), Config::TextValue(f[4]), Config::TextValue(f[5])};
    return true;
}

void ConfigSession::CorrectTimeDialogClosed() {
    m_shell.Timers().Kill(FrameTimer::ClockFollow);
    Closed(LinkDialog::CorrectTime);
}

// ---------------------------------------------------------------------------

void ConfigSession::Send(LinkDialog d, const QByteArray& command) {
    m_link.ConfigureChannel(); // receive threshold 1: the acknowledgement is one byte
    m_link.SendCommand(command);
    m_sent = true;
    m_link.CloseDialog(d);
    m_link.KillLinkTimers();
}

void ConfigSession::Closed(LinkDialog d) {
    if (m_link.Dialog(d).open)
        m_link.CloseDialog(d);
    m_link.KillLinkTimers();
    // Closed without a command: a probe may have left the port open, and an open port
    // is locked against every other program. After a command it stays open for the
    // acknowledgement, which closes it.
    if (!m_sent && !m_link.TransferMode())
        m_link.ConfigureChannel();
}
