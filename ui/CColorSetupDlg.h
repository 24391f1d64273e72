#pragma once
// Color Setup: the colours of the CH1 and CH2 traces, the background and the
// grid, each picked from the fifteen named colours. The third trace's colour is
// carried through in a hidden combo box. OK stores the choice in the settings;
// the decisions are in graph/DisplaySettings.

#include "graph/DisplaySettings.h"

#include <QDialog>

struct AppSettings;
class CColorComboBox;
class QPushButton;

class CColorSetupDlg : public QDialog {
    Q_OBJECT
public:
    CColorSetupDlg(AppSettings& settings, QWidget* parent = nullptr);

    CColorComboBox* Ch1Combo() const { return m_ch1; }
    CColorComboBox* Ch2Combo() const { return m_ch2; }
    CColorComboBox* Ch3Combo() const { return m_ch3; }
    CColorComboBox* BackgroundCombo() const { return m_background; }
    CColorComboBox* GridCombo() const { return m_grid; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }
    // What the combo boxes hold now.
    ColourChoice Choice() const;

private:
    void OnOk();

    AppSettings& m_settings;
    CColorComboBox* m_ch1 = nullptr;
    CColorComboBox* m_ch2 = nullptr;
    CColorComboBox* m_ch3 = nullptr;
    CColorComboBox* m_background = nullptr;
    CColorComboBox* m_grid = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};
