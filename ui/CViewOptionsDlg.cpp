#include "ui/CViewOptionsDlg.h"

#include "base/Settings.h"
#include "ui/DisplayDlgLook.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

struct Switch {
    int option;
    const char* text;
    const char* name;
    bool offered;
};
// Top to bottom as the dialog shows them; the hidden ones last.
constexpr Switch kSwitches[] = {
    {ViewOptions::Ch1, "CH1", "ch1", true},
    {ViewOptions::Ch2, "CH2", "ch2", true},
    {ViewOptions::MarkPoints, "Mark Points", "markPoints", true},
    {ViewOptions::XGrid, "X Axis", "xAxis", true},
    {ViewOptions::YGrid, "Y Axis", "yAxis", true},
    {ViewOptions::DetectionLevel, "CAP Detection level", "detectionLevel", false},
    {ViewOptions::Ch2Alarm, "CH2 Alarm", "ch2Alarm", false},
    {ViewOptions::Ch3, "CH3", "ch3", false},
    {ViewOptions::Ch3Alarm, "CH3 Alarm", "ch3Alarm", false},
};

} // namespace

CViewOptionsDlg::CViewOptionsDlg(AppSettings& settings, QWidget* parent)
    : QDialog(parent), m_settings(settings) {
    setObjectName(QStringLiteral("viewOptionsDlg"));
    setWindowTitle(QStringLiteral("View "));
    ApplyDisplayDlgLook(this, QStringLiteral("Tahoma"));

    const ViewOptions v = ViewOptionsOf(settings);
    auto* group = new QGroupBox(this);
    auto* column = new QVBoxLayout(group);
    column->setSpacing(8);
    for (const Switch& s : kSwitches) {
        auto* box = new QCheckBox(QString::fromLatin1(s.text), group);
        box->setObjectName(QString::fromLatin1(s.name));
        box->setChecked(v.on[size_t(s.option)] == 1);
        if (s.offered)
            column->addWidget(box);
        else
            box->hide();
        m_boxes[size_t(s.option)] = box;
    }

    const OkCancelRow row = MakeOkCancelRow(this);
    m_ok = row.ok;
    m_cancel = row.cancel;
    connect(m_ok, &QPushButton::clicked, this, &CViewOptionsDlg::OnOk);

    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(group);
    layout->addLayout(row.layout);
}

ViewOptions CViewOptionsDlg::Options() const {
    ViewOptions v;
    for (int i = 0; i < ViewOptions::kCount; ++i)
        v.on[size_t(i)] = m_boxes[size_t(i)]->isChecked() ? 1 : 0;
    return v;
}

void CViewOptionsDlg::OnOk() {
    ApplyViewOptions(m_settings, Options());
    accept();
}
