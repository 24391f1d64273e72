#include "ui/CAxisSetupDlg.h"

#include "graph/DisplaySettings.h"
#include "shell/AppShell.h"
#include "ui/CNumericEdit.h"
#include "ui/DisplayDlgLook.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kYSpinLimit = 1000000;

const char* const kFieldNames[] = {"ch1From", "ch1To", "ch2From", "ch2To", "xFrom", "xTo"};

// An edit with its spin button, as one cell of the grid.
QWidget* EditCell(CNumericEdit* edit, CSpinButton* spin) {
    QWidget* box = EditWithSpin(nullptr, edit, spin);
    // Room for "-1000000" in the body face.
    edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("-10000000")) + 12);
    spin->setFixedWidth(18);
    return box;
}

} // namespace

CAxisSetupDlg::CAxisSetupDlg(AppShell& shell, QWidget* parent) : QDialog(parent), m_shell(shell) {
    setObjectName(QStringLiteral("axisSetupDlg"));
    setWindowTitle(QStringLiteral("Axis Setup"));
    ApplyDisplayDlgLook(this, QStringLiteral("Arial"));

    const AxisDialogSetup setup = AxisDialogSetupOf(shell.Graph(), shell.Set());
    m_points = setup.points;
    for (int f = 0; f < kFields; ++f) {
        auto* e = new CNumericEdit;
        e->setObjectName(QString::fromLatin1(kFieldNames[f]));
        const bool y = f < XFrom;
        m_edits[size_t(f)] = e;
        m_spins[size_t(f)] =
            new CSpinButton(e, y ? -kYSpinLimit : 0, y ? kYSpinLimit : std::max(m_points, 0));
    }

    auto row = [this](QGridLayout* g, int r, const QString& from, int fromField) {
        g->addWidget(new QLabel(from), r, 0, Qt::AlignRight | Qt::AlignVCenter);
        g->addWidget(EditCell(Edit(fromField), Spin(fromField)), r, 1);
        g->addWidget(new QLabel(QStringLiteral("To")), r, 2, Qt::AlignRight | Qt::AlignVCenter);
        g->addWidget(EditCell(Edit(fromField + 1), Spin(fromField + 1)), r, 3);
    };
    auto* yGroup = new QGroupBox(QStringLiteral("Y AXIS SETUP"), this);
    auto* yGrid = new QGridLayout(yGroup);
    yGrid->setHorizontalSpacing(10);
    row(yGrid, 0, QStringLiteral("CH1 From"), Ch1From);
    row(yGrid, 1, QStringLiteral("CH2 From"), Ch2From);
    m_fit = new QPushButton(QStringLiteral("Fit to Data"), yGroup);
    m_fit->setObjectName(QStringLiteral("fitToData"));
    m_fit->setAutoDefault(false);
    m_fit->setToolTip(QStringLiteral("Y ranges that show the data of the graph at once"));
    yGrid->addWidget(m_fit, 2, 3, Qt::AlignRight);

    auto* xGroup = new QGroupBox(QStringLiteral("X AXIS SETUP"), this);
    auto* xGrid = new QGridLayout(xGroup);
    xGrid->setHorizontalSpacing(10);
    row(xGrid, 0, QStringLiteral("From"), XFrom);
    // The label columns of both groups line up.
    const int labelWidth = fontMetrics().horizontalAdvance(QStringLiteral("CH1 From")) + 4;
    xGrid->setColumnMinimumWidth(0, labelWidth);
    yGrid->setColumnMinimumWidth(0, labelWidth);

    // The texts are pushed before the rules are connected: the window a transient
    // record opens with (points 252 to 502 of the second record) is kept as it is.
    for (int f = 0; f < kFields; ++f)
        Edit(f)->setText(setup.texts.value(f));
    for (int f : {XFrom, XTo}) {
        Edit(f)->setEnabled(setup.xEditable);
        Spin(f)->setEnabled(setup.xEditable);
    }
    for (int f = 0; f < kFields; ++f)
        connect(Edit(f), &QLineEdit::textChanged, this, [this, f] { OnTextChanged(f); });

    const OkCancelRow buttons = MakeOkCancelRow(this);
    m_ok = buttons.ok;
    m_cancel = buttons.cancel;
    connect(m_ok, &QPushButton::clicked, this, &CAxisSetupDlg::OnOk);
    connect(m_fit, &QPushButton::clicked, this, &CAxisSetupDlg::OnFit);

    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(yGroup);
    layout->addWidget(xGroup);
    layout->addLayout(buttons.layout);
}

QStringList CAxisSetupDlg::Texts() const {
    QStringList t;
    for (int f = 0; f < kFields; ++f)
        t << Edit(f)->text();
    return t;
}

void CAxisSetupDlg::OnTextChanged(int field) {
    if (m_rewriting)
        return;
    CNumericEdit* e = Edit(field);
    const QString typed = e->text();
    QString text;
    if (field == XFrom)
        text = XFromEditText(typed);
    else if (field == XTo)
        text = XToEditText(typed, m_points);
    else
        text = YEditText(typed);
    if (text == typed)
        return;
    m_rewriting = true;
    e->setText(text);
    m_rewriting = false;
}

void CAxisSetupDlg::OnFit() {
    QStringList t = Texts();
    FitYTexts(m_shell.Graph(),
              GraphInputs{m_shell.Set(), m_shell.Settings(), m_shell.RealTimeRunning()}, t);
    for (int f = Ch1From; f <= Ch2To; ++f)
        if (Edit(f)->text() != t[f])
            Edit(f)->setText(t[f]);
}

void CAxisSetupDlg::OnOk() {
    AxisRanges r = AxisRangesOf(Texts());
    const int rtCount = m_shell.Set().RtCount();
    const QStringList messages =
        AxisSetupMessages(r, m_shell.Graph().Mode(), m_shell.RealTimeRunning(), rtCount);
    for (const QString& m : messages)
        m_shell.UserPrompts().Message(m);
    if (!messages.isEmpty())
        return; // the dialog stays open with the texts as typed
    ApplyAxisRanges(m_shell.Graph(), m_shell.Settings(), r, rtCount);
    accept();
}
