#include "ui/CDownloadDlg.h"

#include "shell/LinkSession.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

CDownloadDlg::CDownloadDlg(LinkSession& session, QWidget* parent)
    // Room for the longest message: three lines.
    : CLinkDlg(session.Link(), LinkDialog::Download, "downloadDlg", Look::Background, 440, 3,
               parent),
      m_session(session) {
    m_download = Button(QStringLiteral("Download"), "download", QStyle::SP_DialogOkButton);
    m_download->setDefault(true);
    m_cancel = Button(QStringLiteral("Cancel"), "cancel", QStyle::SP_DialogCancelButton);
    LayOut({}, {}, {m_download, m_cancel});

    connect(m_download, &QPushButton::clicked, this, &CDownloadDlg::OnDownload);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);

    Attach([&session = m_session] { session.Link().OpenDialog(LinkDialog::Download); }, m_download,
           [&session = m_session] { session.DownloadDialogClosed(); });
}

void CDownloadDlg::OnDownload() {
    if (m_session.PressDownload())
        accept();
}
