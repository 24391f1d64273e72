#include "ui/CCorrectTimeDlg.h"

#include "ui/CNumericEdit.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {
using Config::ClockField;

struct FieldSpec {
    ClockField field;
    const char* name;
    int minimum;
    int maximum;
};
// The year's spin range is what the logger's two BCD year digits carry.
constexpr FieldSpec kFields[6] = {
    {ClockField::Year, "year", Config::kYearMin, Config::kYearMax},
    {ClockField::Month, "month", 1, 12},
    {ClockField::Day, "day", 1, 31},
    {ClockField::Hour, "hour", 0, 23},
    {ClockField::Minute, "minute", 0, 59},
    {ClockField::Second, "second", 0, 59},
};
} // namespace

CCorrectTimeDlg::CCorrectTimeDlg(ConfigSession& session, QWidget* parent)
    : CLinkDlg(session.Link(), LinkDialog::CorrectTime, "correctTimeDlg", Look::GroupTitles, 360, 2,
               parent),
      m_session(session) {
    auto* date = new QGroupBox(QStringLiteral("CORRECT DATE"), this);
    auto* time = new QGroupBox(QStringLiteral("CORRECT TIMEPIECE"), this);
    auto* dateRow = new QHBoxLayout(date);
    auto* timeRow = new QHBoxLayout(time);
    const char* const dateLabels[3] = {"Year", "Month", "Day"};
    for (int i = 0; i < 6; ++i) {
        const FieldSpec& f = kFields[i];
        QGroupBox* group = i < 3 ? date : time;
        QHBoxLayout* row = i < 3 ? dateRow : timeRow;
        if (i < 3)
            row->addWidget(new QLabel(QString::fromLatin1(dateLabels[i]), group));
        else if (i > 3)
            row->addWidget(new QLabel(QStringLiteral(":"), group));
        auto* edit = new CNumericEdit(group);
        edit->setObjectName(QString::fromLatin1(f.name));
        edit->setMaximumWidth(i == 0 ? 60 : 40);
        auto* spin = new CSpinButton(edit, f.minimum, f.maximum, group);
        spin->setFixedHeight(edit->sizeHint().height()); // one row with its edit
        auto* pair = new QHBoxLayout;
        pair->setSpacing(0);
        pair->addWidget(edit);
        pair->addWidget(spin);
        row->addLayout(pair);
        m_edits[size_t(i)] = edit;
        m_spins[size_t(i)] = spin;
    }
    dateRow->addStretch();
    timeRow->addStretch();

    m_ok = Button(QStringLiteral("OK"), "ok", QStyle::SP_DialogOkButton);
    m_ok->setDefault(true);
    m_cancel = Button(QStringLiteral("Cancel"), "cancel", QStyle::SP_DialogCancelButton);
    LayOut({date, time}, {}, {m_ok, m_cancel});

    const ClockForm now = m_session.ClockFromNow();
    for (int i = 0; i < 6; ++i) {
        m_edits[size_t(i)]->setText(now[size_t(i)]);
        connect(m_edits[size_t(i)], &QLineEdit::textChanged, this, [this, i] { OnEdited(i); });
    }
    connect(&m_session, &ConfigSession::clockFollowed, this, &CCorrectTimeDlg::ShowForm);
    connect(m_ok, &QPushButton::clicked, this, &CCorrectTimeDlg::OnOk);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);

    // OK stays enabled: pressed before "Connected" it says why nothing was sent.
    Attach([&session = m_session] { session.OpenCorrectTimeDialog(); }, nullptr,
           [&session = m_session] { session.CorrectTimeDialogClosed(); });
}

ClockForm CCorrectTimeDlg::Form() const {
    ClockForm f;
    for (size_t i = 0; i < f.size(); ++i)
        f[i] = m_edits[i]->text();
    return f;
}

void CCorrectTimeDlg::ShowForm(const ClockForm& form) {
    m_following = true;
    for (size_t i = 0; i < form.size(); ++i)
        m_edits[i]->setText(form[i]);
    m_following = false;
}

void CCorrectTimeDlg::OnEdited(int i) {
    if (m_following)
        return;
    // Typed, pasted or stepped by a spin button: the fields stop following the clock.
    m_session.ClockEditedByUser();
    CNumericEdit* edit = m_edits[size_t(i)];
    const QString clamped = ConfigSession::ClockFieldEdited(kFields[i].field, edit->text());
    if (clamped != edit->text())
        edit->setText(clamped);
}

void CCorrectTimeDlg::OnOk() {
    if (m_session.PressCorrectTimeOk(Form()))
        accept();
}
