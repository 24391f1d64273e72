#pragma once
// Axis Setup: the Y range of each channel and the X range in points, in numeric
// edits with spin buttons that keep their text an integer as it is typed, and
// "Fit to Data", which proposes Y ranges that show the data at once. OK checks
// the ranges (with the two order messages), stores them in the graph and as the
// current mode's ranges in the settings. The decisions are in
// graph/DisplaySettings.

#include <QDialog>

#include <array>

class AppShell;
class CNumericEdit;
class CSpinButton;
class QPushButton;

class CAxisSetupDlg : public QDialog {
    Q_OBJECT
public:
    enum Field { Ch1From, Ch1To, Ch2From, Ch2To, XFrom, XTo, kFields };

    CAxisSetupDlg(AppShell& shell, QWidget* parent = nullptr);

    CNumericEdit* Edit(int field) const { return m_edits[size_t(field)]; }
    CSpinButton* Spin(int field) const { return m_spins[size_t(field)]; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }
    QPushButton* FitButton() const { return m_fit; }
    // The number of points the X row may reach.
    int Points() const { return m_points; }

private:
    void OnTextChanged(int field);
    void OnFit();
    void OnOk();
    QStringList Texts() const;

    AppShell& m_shell;
    int m_points = 0;
    std::array<CNumericEdit*, kFields> m_edits{};
    std::array<CSpinButton*, kFields> m_spins{};
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_fit = nullptr;
    bool m_rewriting = false;
};
