#pragma once
// The modal real-time dialog: its title is the link state, its two numeric edits
// with spin buttons hold the sampling interval (2 to 3600 s) and the number of
// samples (1 to 100000), and RUN starts the acquisition while the title reads
// "Connected". Enter in a field and Escape do not close it; Enter on RUN or CANCEL
// presses that button. The decisions are RealTimeSession's.

#include "ui/CLinkDlg.h"

class CNumericEdit;
class CSpinButton;
class Prompts;
class QLabel;
class QPushButton;
class RealTimeSession;

class CRealTimeDlg : public CLinkDlg {
    Q_OBJECT
public:
    CRealTimeDlg(RealTimeSession& session, Prompts& prompts, int interval, int count,
                 QWidget* parent = nullptr);

    CNumericEdit* IntervalEdit() const { return m_intervalEdit; }
    CNumericEdit* CountEdit() const { return m_countEdit; }
    CSpinButton* IntervalSpin() const { return m_intervalSpin; }
    CSpinButton* CountSpin() const { return m_countSpin; }
    QPushButton* RunButton() const { return m_run; }
    QPushButton* CancelButton() const { return m_cancel; }
    // The values last copied from the edits.
    int Interval() const { return m_interval; }
    int Count() const { return m_count; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void OnRun();
    // Checks both edits as a change of either does; false after the range message.
    bool Validate();

    RealTimeSession& m_session;
    Prompts& m_prompts;
    int m_interval;
    int m_count;
    CNumericEdit* m_intervalEdit = nullptr;
    CNumericEdit* m_countEdit = nullptr;
    CSpinButton* m_intervalSpin = nullptr;
    CSpinButton* m_countSpin = nullptr;
    QPushButton* m_run = nullptr;
    QPushButton* m_cancel = nullptr;
    bool m_validating = false;
};
