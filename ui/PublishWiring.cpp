#include "ui/PublishWiring.h"

#include "base/DataDir.h"
#include "shell/AppShell.h"
#include "shell/WorkNotices.h"
#include "ui/CPublishIndicator.h"
#include "ui/CSettingsDlg.h"
#include "ui/RunPublisher.h"

#include <QAction>
#include <QDir>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QStatusBar>

#include <cstdlib>

void InstallPublishing(QMainWindow& frame, AppShell& shell, QMenu& menu) {
    auto* publisher = new RunPublisher(shell.Set(), &frame);
    publisher->setObjectName(QStringLiteral("runPublisher"));
    auto* field = new CPublishIndicator(&frame);
    frame.statusBar()->addPermanentWidget(field);
    QObject::connect(publisher, &RunPublisher::statusChanged, field,
                     &CPublishIndicator::ShowStatus);
    QObject::connect(&shell.Notices(), &WorkNotices::runProgress, publisher,
                     &RunPublisher::OnRunProgress);
    QObject::connect(&shell.Notices(), &WorkNotices::workDone, publisher,
                     &RunPublisher::OnWorkDone);

    const QString path = shell.SettingsPath();
    // A folder of the window's own: orvex-dl may publish another logger meanwhile.
    const QString queue = QDir(MeasurementDataDirectory()).filePath(QStringLiteral("publish"));
    const auto apply = [&frame, publisher, queue](const PublishSettings& s) {
        if (const auto why = publisher->Apply(s, queue))
            frame.statusBar()->showMessage(QStringLiteral("Cannot publish: %1").arg(*why));
    };
    apply(LoadPublishSettingsFile(path));

    QAction* settings = menu.addAction(QStringLiteral("Se&ttings..."));
    settings->setObjectName(QStringLiteral("settingsAction"));
    settings->setStatusTip(QStringLiteral("Publish live samples to an MQTT broker"));
    QObject::connect(settings, &QAction::triggered, &frame, [&frame, path, apply] {
        const char* password = std::getenv(kMqttPasswordVariable);
        CSettingsDlg dlg(LoadPublishSettingsFile(path), password && *password, &frame);
        if (dlg.exec() != QDialog::Accepted)
            return;
        QString error;
        if (!SavePublishSettingsFile(path, dlg.Settings(), &error))
            QMessageBox::warning(
                &frame, QStringLiteral("Settings"),
                QStringLiteral("The settings cannot be saved in %1: %2").arg(path, error));
        apply(dlg.Settings());
    });
}
