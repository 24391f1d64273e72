#include "ui/CSetupDlg.h"

#include "ui/CNumericEdit.h"
#include "ui/DisplayDlgLook.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QVBoxLayout>

namespace {
constexpr int kIntervalSpinMin = 0;
constexpr int kIntervalSpinMax = 60;

QRadioButton* Radio(const char* name, QWidget* parent) {
    auto* r = new QRadioButton(QStringLiteral("ON"), parent);
    r->setObjectName(QString::fromLatin1(name));
    return r;
}
} // namespace

CSetupDlg::CSetupDlg(ConfigSession& session, QWidget* parent)
    : CLinkDlg(session.Link(), LinkDialog::Setup, "setupDlg", Look::GroupTitles, 360, 2, parent),
      m_session(session) {
    // Tab follows the order in which the controls join the dialog: the groups are
    // made top to bottom, the buttons last.
    QWidget* rate = CreateRateGroup();
    QWidget* autoOff = CreateOnOffGroup(QStringLiteral("LOGGER AUTO POWER OFF SETUP"), "autoOffOn",
                                        "autoOffOff", m_autoOffOn, m_autoOffOff);
    QWidget* circular = CreateOnOffGroup(QStringLiteral("LOGGER CIRCULATE LOGGING SETUP"),
                                         "circularOn", "circularOff", m_circularOn, m_circularOff);
    QWidget* levels = CreateLevels();

    m_default = Button(QStringLiteral("Default"), "default");
    m_setup = Button(QStringLiteral("Setup"), "setup", QStyle::SP_DialogOkButton);
    m_setup->setDefault(true);
    m_cancel = Button(QStringLiteral("Cancel"), "cancel", QStyle::SP_DialogCancelButton);
    LayOut({rate, autoOff, circular, levels}, {m_default}, {m_setup, m_cancel});

    Fill(m_session.SetupFromSettings());
    ConnectControls();
    Attach([&session = m_session] { session.OpenSetupDialog(); }, m_setup,
           [&session = m_session] { session.SetupDialogClosed(); });
}

QWidget* CSetupDlg::CreateRateGroup() {
    auto* rate = new QGroupBox(QStringLiteral("LOGGER RMS SAMPING RATE SETUP"), this);
    m_interval = new CNumericEdit;
    m_interval->setObjectName(QStringLiteral("interval"));
    m_interval->setMaximumWidth(70);
    m_intervalSpin = new CSpinButton(m_interval, kIntervalSpinMin, kIntervalSpinMax);
    // The edit's box before the unit list: the row reads count first, and Tab too.
    QWidget* intervalBox = EditWithSpin(rate, m_interval, m_intervalSpin);
    m_unit = new QComboBox(rate);
    m_unit->setObjectName(QStringLiteral("unit"));
    for (int u = 0; u < Config::kUnitCount; ++u)
        m_unit->addItem(QString::fromLatin1(Config::UnitName(u)));
    auto* rateRow = new QHBoxLayout(rate);
    rateRow->addWidget(intervalBox);
    rateRow->addWidget(m_unit);
    rateRow->addStretch();
    return rate;
}

QWidget* CSetupDlg::CreateOnOffGroup(const QString& title, const char* onName, const char* offName,
                                     QRadioButton*& on, QRadioButton*& off) {
    auto* group = new QGroupBox(title, this);
    on = Radio(onName, group);
    off = Radio(offName, group);
    off->setText(QStringLiteral("OFF"));
    auto* row = new QHBoxLayout(group);
    row->addWidget(on);
    row->addWidget(off);
    row->addStretch();
    return group;
}

QWidget* CSetupDlg::CreateLevels() {
    // The detection levels: the logger takes them with the setup command, but no
    // control offers them; they keep what the settings hold.
    auto* levels = new QWidget(this);
    levels->setObjectName(QStringLiteral("detectionLevels"));
    auto* levelGrid = new QVBoxLayout(levels);
    auto levelRow = [&](const char* caption, const char* name, CNumericEdit*& edit,
                        QComboBox*& kind) {
        auto* row = new QHBoxLayout;
        row->addWidget(new QLabel(QString::fromLatin1(caption), levels));
        edit = new CNumericEdit;
        edit->setObjectName(QString::fromLatin1(name));
        row->addWidget(EditWithSpin(levels, edit,
                                    new CSpinButton(edit, Config::kLevelMin, Config::kLevelMax)));
        kind = new QComboBox(levels);
        kind->addItems({QStringLiteral("V"), QStringLiteral("A")});
        row->addWidget(kind);
        levelGrid->addLayout(row);
    };
    levelRow("Sudden Rise Detection Level Setup", "riseLevel", m_rise, m_riseKind);
    levelRow("Sudden Drop Detection Level Setup", "dropLevel", m_drop, m_dropKind);
    levels->setEnabled(false);
    levels->hide();
    return levels;
}

void CSetupDlg::ConnectControls() {
    connect(m_interval, &QLineEdit::textChanged, this, &CSetupDlg::OnIntervalChanged);
    connect(m_unit, &QComboBox::currentIndexChanged, this, &CSetupDlg::OnUnitChanged);
    connect(m_autoOffOn, &QRadioButton::clicked, this, [this] { m_autoOff = Config::kAutoOffOn; });
    connect(m_autoOffOff, &QRadioButton::clicked, this, [this] { m_autoOff = 0; });
    connect(m_circularOn, &QRadioButton::clicked, this,
            [this] { m_recMode = Config::kCircularOn; });
    connect(m_circularOff, &QRadioButton::clicked, this, [this] { m_recMode = 0; });
    connect(m_default, &QPushButton::clicked, this,
            [this] { Fill(ConfigSession::DefaultSetup()); });
    connect(m_setup, &QPushButton::clicked, this, &CSetupDlg::OnSetup);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CSetupDlg::Fill(const SetupForm& f) {
    {
        const QSignalBlocker block(m_unit);
        m_unit->setCurrentIndex(f.unit);
    }
    m_interval->setText(f.interval);
    OnIntervalChanged(); // a stored count out of range is shown as it will be sent
    m_autoOff = f.autoOff;
    m_recMode = f.recMode;
    (f.autoOff == Config::kAutoOffOn ? m_autoOffOn : m_autoOffOff)->setChecked(true);
    (f.recMode == Config::kCircularOn ? m_circularOn : m_circularOff)->setChecked(true);
    m_rise->setText(f.riseLevel);
    m_drop->setText(f.dropLevel);
    m_riseKind->setCurrentIndex(f.riseKind);
    m_dropKind->setCurrentIndex(f.dropKind);
}

SetupForm CSetupDlg::Form() const {
    SetupForm f;
    f.interval = m_interval->text();
    f.unit = m_unit->currentIndex();
    f.autoOff = m_autoOff;
    f.recMode = m_recMode;
    f.riseLevel = m_rise->text();
    f.dropLevel = m_drop->text();
    f.riseKind = m_riseKind->currentIndex();
    f.dropKind = m_dropKind->currentIndex();
    return f;
}

void CSetupDlg::OnIntervalChanged() {
    const QString clamped =
        ConfigSession::IntervalEdited(m_interval->text(), m_unit->currentIndex());
    if (clamped != m_interval->text())
        m_interval->setText(clamped);
}

void CSetupDlg::OnUnitChanged() {
    const QString text = ConfigSession::UnitChanged(m_interval->text(), m_unit->currentIndex());
    if (text != m_interval->text())
        m_interval->setText(text);
}

void CSetupDlg::OnSetup() {
    if (m_session.PressSetup(Form()))
        accept();
}
