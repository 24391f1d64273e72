#include "ui/CColorSetupDlg.h"

#include "base/Settings.h"
#include "ui/CColorComboBox.h"
#include "ui/DisplayDlgLook.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CColorSetupDlg::CColorSetupDlg(AppSettings& settings, QWidget* parent)
    : QDialog(parent), m_settings(settings) {
    setObjectName(QStringLiteral("colorSetupDlg"));
    setWindowTitle(QStringLiteral("Color Setup"));
    ApplyDisplayDlgLook(this, QStringLiteral("Arial"));

    const ColourChoice c = ColourChoiceOf(settings);
    auto* group = new QGroupBox(QStringLiteral("COLOR SETUP"), this);
    auto* form = new QFormLayout(group);
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    form->setHorizontalSpacing(12);
    auto combo = [&](const char* name, int position) {
        auto* box = new CColorComboBox(group);
        box->setObjectName(QString::fromLatin1(name));
        box->setMinimumWidth(110);
        box->Fill(position);
        return box;
    };
    m_ch1 = combo("ch1Colour", c.ch1);
    m_ch2 = combo("ch2Colour", c.ch2);
    m_background = combo("backgroundColour", c.background);
    m_grid = combo("gridColour", c.grid);
    m_ch3 = combo("ch3Colour", c.ch3);
    m_ch3->hide();
    form->addRow(QStringLiteral("CH1:"), m_ch1);
    form->addRow(QStringLiteral("CH2:"), m_ch2);
    form->addRow(QStringLiteral("Background:"), m_background);
    form->addRow(QStringLiteral("Grid:"), m_grid);

    const OkCancelRow row = MakeOkCancelRow(this);
    m_ok = row.ok;
    m_cancel = row.cancel;
    connect(m_ok, &QPushButton::clicked, this, &CColorSetupDlg::OnOk);

    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(group);
    layout->addLayout(row.layout);
}

ColourChoice CColorSetupDlg::Choice() const {
    return ColourChoice{m_background->Selected(), m_ch1->Selected(), m_ch2->Selected(),
                        m_ch3->Selected(), m_grid->Selected()};
}

void CColorSetupDlg::OnOk() {
    ApplyColourChoice(m_settings, Choice());
    accept();
}
