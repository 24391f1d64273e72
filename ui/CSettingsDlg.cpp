#include "ui/CSettingsDlg.h"

#include "ui/DialogLook.h"
#include "ui/RunPublisher.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {
constexpr int kLargestPort = 65535;
} // namespace

CSettingsDlg::CSettingsDlg(const PublishSettings& settings, bool passwordFromEnvironment,
                           QWidget* parent)
    : QDialog(parent), m_passwordFromEnvironment(passwordFromEnvironment) {
    setWindowTitle(QStringLiteral("Settings"));
    setObjectName(QStringLiteral("settingsDlg"));
    ApplyDialogLook(this);
    m_pages = new QTabWidget(this);
    m_pages->addTab(MakePublishPage(), QStringLiteral("Publish"));
    m_problem = new QLabel(this);
    m_problem->setObjectName(QStringLiteral("problem"));
    m_problem->setStyleSheet(QStringLiteral("color: #c00000;"));
    m_problem->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &CSettingsDlg::OnOk);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    // A dialog of fixed size, as the other setup dialogs: the window manager then
    // draws no resize handle under its bottom edge.
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(m_pages);
    layout->addWidget(m_problem);
    layout->addWidget(buttons);
    Show(settings);
}

QWidget* CSettingsDlg::MakePublishPage() {
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("publishPage"));
    auto* form = new QFormLayout(page);
    m_form = form;
    m_enabled = new QCheckBox(QStringLiteral("Publish live samples to an MQTT broker"), page);
    form->addRow(m_enabled);
    m_host = new QLineEdit(page);
    m_host->setPlaceholderText(QStringLiteral("broker.example.org"));
    form->addRow(QStringLiteral("Broker:"), m_host);
    m_port = new QSpinBox(page);
    m_port->setRange(1, kLargestPort);
    form->addRow(QStringLiteral("Port:"), m_port);
    m_tls = new QCheckBox(QStringLiteral("TLS (mqtts)"), page);
    form->addRow(m_tls);
    auto* caRow = new QHBoxLayout;
    m_caRow = caRow;
    m_caFile = new QLineEdit(page);
    m_caFile->setPlaceholderText(QStringLiteral("system default"));
    m_browse = new QPushButton(QStringLiteral("Browse..."), page);
    m_browse->setObjectName(QStringLiteral("browse"));
    caRow->addWidget(m_caFile);
    caRow->addWidget(m_browse);
    form->addRow(QStringLiteral("CA file:"), caRow);
    m_user = new QLineEdit(page);
    form->addRow(QStringLiteral("User:"), m_user);
    m_password = new QLineEdit(page);
    m_password->setEchoMode(QLineEdit::Password);
    if (m_passwordFromEnvironment)
        m_password->setPlaceholderText(
            QStringLiteral("from %1").arg(QLatin1String(kMqttPasswordVariable)));
    form->addRow(QStringLiteral("Password:"), m_password);
    m_topic = new QLineEdit(page);
    m_topic->setPlaceholderText(
        DefaultTopicPrefix(QString::fromLatin1(RunPublisher::kDefaultPortName)));
    form->addRow(QStringLiteral("Topic prefix:"), m_topic);
    m_qos = new QComboBox(page);
    m_qos->addItems({QStringLiteral("0 (at most once)"), QStringLiteral("1 (at least once)"),
                     QStringLiteral("2 (exactly once)")});
    form->addRow(QStringLiteral("QoS:"), m_qos);
    m_discovery = new QCheckBox(QStringLiteral("Home Assistant discovery"), page);
    form->addRow(m_discovery);
    connect(m_enabled, &QCheckBox::toggled, this, &CSettingsDlg::UpdateEnabled);
    connect(m_tls, &QCheckBox::toggled, this, &CSettingsDlg::OnTlsToggled);
    connect(m_browse, &QPushButton::clicked, this, &CSettingsDlg::BrowseCaFile);
    return page;
}

void CSettingsDlg::Show(const PublishSettings& s) {
    const PublishOptions& o = s.options;
    m_enabled->setChecked(s.enabled);
    m_host->setText(o.host);
    m_tls->blockSignals(true);
    m_tls->setChecked(o.tls);
    m_tls->blockSignals(false);
    m_port->setValue(o.port);
    m_caFile->setText(o.caFile);
    m_user->setText(o.user);
    // A password of the environment is used in place of the stored one, which stays
    // in the file as it was.
    m_storedPassword = o.password;
    if (!m_passwordFromEnvironment)
        m_password->setText(o.password);
    m_topic->setText(o.topicPrefix);
    m_qos->setCurrentIndex(std::clamp(o.qos, 0, 2));
    m_discovery->setChecked(o.haDiscovery);
    m_clientId = o.clientId;
    UpdateEnabled();
}

PublishSettings CSettingsDlg::Settings() const {
    PublishSettings s;
    PublishOptions& o = s.options;
    s.enabled = m_enabled->isChecked();
    o.host = m_host->text().trimmed();
    o.port = m_port->value();
    o.tls = m_tls->isChecked();
    o.caFile = m_caFile->text().trimmed();
    o.user = m_user->text();
    o.password = m_passwordFromEnvironment ? m_storedPassword : m_password->text();
    o.topicPrefix = m_topic->text().trimmed();
    o.qos = m_qos->currentIndex();
    o.clientId = m_clientId;
    o.haDiscovery = m_discovery->isChecked();
    return s;
}

QString CSettingsDlg::Problem() const {
    const PublishSettings s = Settings();
    if (!s.enabled)
        return {};
    PublishOptions o = s.options;
    // The checks of the publisher itself, on what it would be started with.
    CompleteOptions(o, QString::fromLatin1(RunPublisher::kDefaultPortName), QStringLiteral("."));
    if (const auto why = CheckOptions(o))
        return QStringLiteral("Cannot publish: %1.").arg(*why);
    if (o.host.contains(QLatin1String("://")))
        return QStringLiteral("Cannot publish: give the broker's host name only; TLS and the "
                              "port have fields of their own.");
    return {};
}

void CSettingsDlg::OnTlsToggled(bool tls) {
    // The usual port of the other kind follows the box; a port of one's own stays.
    if (m_port->value() == (tls ? kMqttPort : kMqttTlsPort))
        m_port->setValue(tls ? kMqttTlsPort : kMqttPort);
    UpdateEnabled();
}

void CSettingsDlg::UpdateEnabled() {
    const bool on = m_enabled->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{m_host, m_port, m_tls, m_user, m_topic, m_qos,
                                                      m_discovery})
        SetRowEnabled(w, on);
    const bool ca = on && m_tls->isChecked();
    m_caFile->setEnabled(ca);
    m_browse->setEnabled(ca);
    if (QWidget* label = m_form->labelForField(m_caRow))
        label->setEnabled(ca);
    // A password of the environment is not typed here; the row stays readable while
    // publishing is on, since its placeholder names the variable.
    m_password->setEnabled(on && !m_passwordFromEnvironment);
    if (QWidget* label = m_form->labelForField(m_password))
        label->setEnabled(on);
    m_problem->clear();
}

void CSettingsDlg::SetRowEnabled(QWidget* field, bool on) {
    field->setEnabled(on);
    if (QWidget* label = m_form->labelForField(field))
        label->setEnabled(on);
}

void CSettingsDlg::BrowseCaFile() {
    const QString file =
        QFileDialog::getOpenFileName(this, QStringLiteral("CA file"), m_caFile->text(),
                                     QStringLiteral("Certificates (*.pem *.crt);;All files (*)"));
    if (!file.isEmpty())
        m_caFile->setText(file);
}

void CSettingsDlg::OnOk() {
    const QString problem = Problem();
    m_problem->setText(problem);
    if (problem.isEmpty())
        accept();
}
