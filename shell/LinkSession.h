#pragma once
// The logger link attached to the main frame's state: the link's timers run in the
// frame's timer table, its status texts go to the status bar, and a completed
// download hands the new stored set to the rest of the application (previous-
// measurement file, graph range, work buffers, the Store RMS mode, the views, the
// save flags and the zoom reset), and a download that failed says why. Also the
// decisions of the Download Data command and of its dialog's buttons, so that the
// widgets only forward.

#include "link/LinkController.h"

#include <QObject>

class AppShell;

class LinkSession final : public QObject {
    Q_OBJECT
public:
    LinkSession(AppShell& shell, SerialChannel& channel, QObject* parent = nullptr);

    LinkController& Link() { return m_link; }
    AppShell& Shell() { return m_shell; }

    // Download Data command up to the dialog: false while the loading dialog is
    // shown, or when the save prompt was taken back (the command then does
    // nothing). Otherwise offers to save the data shown and starts the search or
    // supervision; the caller then opens the dialog.
    bool BeginDownloadCommand();
    // "Download" pressed in the download dialog: true when the dialog closes (the
    // transfer has started).
    bool PressDownload();
    // The download dialog has closed, by any button or its close box.
    void DownloadDialogClosed();
    // Cancel (or Escape) in the loading dialog: the download stops as an interruption
    // would, without its message; the data shown and the previous-measurement file
    // stay as they were, and the port is closed.
    void CancelDownload();

signals:
    // A downloaded set was handed over and the views updated: the side windows
    // (data list, analysis panel, TR file list, information bar) refresh now.
    void downloadHandedOver();

private:
    void HandOverDownload();
    void OnDownloadFinished(DownloadOutcome outcome);

    AppShell& m_shell;
    SerialChannel& m_channel;
    LinkController m_link;
};
