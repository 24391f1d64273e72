#pragma once
// Datalogger Setup: the recording interval and its unit, auto power-off and
// circular logging, with the two detection levels carried through in hidden
// controls. Its title is the link state; "Setup" sends the settings once the title
// reads "Connected". The decisions are ConfigSession's.

#include "shell/ConfigSession.h"

#include "ui/CLinkDlg.h"

class CNumericEdit;
class CSpinButton;
class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;

class CSetupDlg : public CLinkDlg {
    Q_OBJECT
public:
    CSetupDlg(ConfigSession& session, QWidget* parent = nullptr);

    // What the controls hold now.
    SetupForm Form() const;

    CNumericEdit* IntervalEdit() const { return m_interval; }
    CSpinButton* IntervalSpin() const { return m_intervalSpin; }
    QComboBox* UnitList() const { return m_unit; }
    QRadioButton* AutoOffOn() const { return m_autoOffOn; }
    QRadioButton* AutoOffOff() const { return m_autoOffOff; }
    QRadioButton* CircularOn() const { return m_circularOn; }
    QRadioButton* CircularOff() const { return m_circularOff; }
    CNumericEdit* RiseEdit() const { return m_rise; }
    CNumericEdit* DropEdit() const { return m_drop; }
    QPushButton* DefaultButton() const { return m_default; }
    QPushButton* SetupButton() const { return m_setup; }
    QPushButton* CancelButton() const { return m_cancel; }

private:
    QWidget* CreateRateGroup();
    QWidget* CreateOnOffGroup(const QString& title, const char* onName, const char* offName,
                              QRadioButton*& on, QRadioButton*& off);
    QWidget* CreateLevels();
    void ConnectControls();
    void Fill(const SetupForm& f);
    void OnIntervalChanged();
    void OnUnitChanged();
    void OnSetup();

    ConfigSession& m_session;
    CNumericEdit* m_interval = nullptr;
    CSpinButton* m_intervalSpin = nullptr;
    QComboBox* m_unit = nullptr;
    QRadioButton* m_autoOffOn = nullptr;
    QRadioButton* m_autoOffOff = nullptr;
    QRadioButton* m_circularOn = nullptr;
    QRadioButton* m_circularOff = nullptr;
    CNumericEdit* m_rise = nullptr;
    CNumericEdit* m_drop = nullptr;
    QComboBox* m_riseKind = nullptr;
    QComboBox* m_dropKind = nullptr;
    QPushButton* m_default = nullptr;
    QPushButton* m_setup = nullptr;
    QPushButton* m_cancel = nullptr;
    uint8_t m_autoOff = 0;
    uint8_t m_recMode = 0;
};
