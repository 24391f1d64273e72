#pragma once
// View: which channels are drawn, mark points, and the grid lines of the X and
// Y axes. Four further switches are carried through in hidden check boxes. OK
// stores the switches in the settings; the decisions are in
// graph/DisplaySettings.

#include "graph/DisplaySettings.h"

#include <QDialog>

#include <array>

struct AppSettings;
class QCheckBox;
class QPushButton;

class CViewOptionsDlg : public QDialog {
    Q_OBJECT
public:
    CViewOptionsDlg(AppSettings& settings, QWidget* parent = nullptr);

    // The check box of a switch (ViewOptions::Index).
    QCheckBox* Box(int option) const { return m_boxes[size_t(option)]; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }
    ViewOptions Options() const;

private:
    void OnOk();

    AppSettings& m_settings;
    std::array<QCheckBox*, ViewOptions::kCount> m_boxes{};
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};
