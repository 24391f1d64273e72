#pragma once
// The modal download dialog: its title is the link state, its message line says
// what to do, and "Download" starts the transfer only while the title reads
// "Connected". The decisions are LinkSession's.

#include "ui/CLinkDlg.h"

class LinkSession;
class QPushButton;

class CDownloadDlg : public CLinkDlg {
    Q_OBJECT
public:
    CDownloadDlg(LinkSession& session, QWidget* parent = nullptr);

    QPushButton* DownloadButton() const { return m_download; }

private:
    void OnDownload();

    LinkSession& m_session;
    QPushButton* m_download = nullptr;
    QPushButton* m_cancel = nullptr;
};
