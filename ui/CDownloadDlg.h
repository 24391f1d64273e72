#pragma once
// The modal download dialog: its title is the link state, its message line says
// what to do, and "Download" starts the transfer only while the title reads
// "Connected". The decisions are LinkSession's.

#include <QDialog>

class LinkSession;
class QLabel;
class QPushButton;

class CDownloadDlg : public QDialog {
    Q_OBJECT
public:
    CDownloadDlg(LinkSession& session, QWidget* parent = nullptr);
    ~CDownloadDlg() override;

    QPushButton* DownloadButton() const { return m_download; }
    QLabel* MessageLabel() const { return m_message; }

    void done(int r) override;

private:
    void Refresh();
    void OnDownload();

    LinkSession& m_session;
    QLabel* m_state = nullptr;
    QLabel* m_message = nullptr;
    QPushButton* m_download = nullptr;
    QPushButton* m_cancel = nullptr;
    bool m_closed = false;
};
