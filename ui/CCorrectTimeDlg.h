#pragma once
// Correct Time: the logger's date and time in six edits with spin buttons, opened
// with today's date and time, which follow the computer's clock until the user
// edits a field. Its title is the link state; "OK" sets the logger's clock once the
// title reads "Connected". The decisions are ConfigSession's.

#include "shell/ConfigSession.h"

#include "ui/CLinkDlg.h"

#include <array>

class CNumericEdit;
class CSpinButton;
class QLabel;
class QPushButton;

class CCorrectTimeDlg : public CLinkDlg {
    Q_OBJECT
public:
    CCorrectTimeDlg(ConfigSession& session, QWidget* parent = nullptr);

    ClockForm Form() const;

    // 0 year, 1 month, 2 day, 3 hour, 4 minute, 5 second.
    CNumericEdit* Edit(int i) const { return m_edits[size_t(i)]; }
    CSpinButton* Spin(int i) const { return m_spins[size_t(i)]; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }

private:
    void OnEdited(int i);
    void ShowForm(const ClockForm& form);
    void OnOk();

    ConfigSession& m_session;
    std::array<CNumericEdit*, 6> m_edits{};
    std::array<CSpinButton*, 6> m_spins{};
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
    bool m_following = false; // the fields are being set to the clock's time
};
