#pragma once
// Settings: a dialog of pages, so far the Publish page, where the live samples'
// MQTT broker is set up: whether runs are published, the broker (host, port, TLS
// with an optional CA file), user and password, the topic prefix, the QoS and Home
// Assistant's discovery. OK is refused, with the reason shown, while the page
// holds something the publisher could not use.

#include "publish/PublishSettings.h"

#include <QDialog>
#include <QString>

class QCheckBox;
class QComboBox;
class QFormLayout;
class QLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;

class CSettingsDlg : public QDialog {
    Q_OBJECT
public:
    // `passwordFromEnvironment`: a password variable is set and takes the place of
    // the stored one (the field then says so and is not used).
    explicit CSettingsDlg(const PublishSettings& settings, bool passwordFromEnvironment = false,
                          QWidget* parent = nullptr);

    // What the page holds now.
    PublishSettings Settings() const;
    // Why the page cannot be stored as it is, or empty.
    QString Problem() const;

    QTabWidget* Pages() const { return m_pages; }
    QCheckBox* EnabledBox() const { return m_enabled; }
    QLineEdit* HostEdit() const { return m_host; }
    QSpinBox* PortBox() const { return m_port; }
    QCheckBox* TlsBox() const { return m_tls; }
    QLineEdit* CaFileEdit() const { return m_caFile; }
    QLineEdit* UserEdit() const { return m_user; }
    QLineEdit* PasswordEdit() const { return m_password; }
    QLineEdit* TopicEdit() const { return m_topic; }
    QComboBox* QosBox() const { return m_qos; }
    QCheckBox* DiscoveryBox() const { return m_discovery; }
    QLabel* ProblemLabel() const { return m_problem; }
    QPushButton* OkButton() const { return m_ok; }

private:
    QWidget* MakePublishPage();
    void Show(const PublishSettings& s);
    void OnTlsToggled(bool tls);
    void UpdateEnabled();
    // A field and the label of its row, so that a greyed row reads as one.
    void SetRowEnabled(QWidget* field, bool on);
    void BrowseCaFile();
    void OnOk();

    QTabWidget* m_pages = nullptr;
    QFormLayout* m_form = nullptr;
    QLayout* m_caRow = nullptr; // the CA file's field and its Browse button
    QCheckBox* m_enabled = nullptr;
    QLineEdit* m_host = nullptr;
    QSpinBox* m_port = nullptr;
    QCheckBox* m_tls = nullptr;
    QLineEdit* m_caFile = nullptr;
    QPushButton* m_browse = nullptr;
    QLineEdit* m_user = nullptr;
    QLineEdit* m_password = nullptr;
    QLineEdit* m_topic = nullptr;
    QComboBox* m_qos = nullptr;
    QCheckBox* m_discovery = nullptr;
    QLabel* m_problem = nullptr;
    QPushButton* m_ok = nullptr;
    bool m_passwordFromEnvironment = false;
    QString m_storedPassword; // kept when the environment's takes its place
    QString m_clientId;       // kept as stored; the page does not show it
};
