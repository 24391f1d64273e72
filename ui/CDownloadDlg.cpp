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
    m_download = new QPushButton(QStringLiteral("Download"), this);
    m_download->setObjectName(QStringLiteral("download"));
    m_download->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    m_download->setDefault(true);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("cancel"));
    m_cancel->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_download);
    buttons->addWidget(m_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetMinimumSize);
    layout->addWidget(StateLabel());
    layout->addWidget(MessageLabel());
    layout->addLayout(buttons);

    connect(m_download, &QPushButton::clicked, this, &CDownloadDlg::OnDownload);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);

    Attach([this] { m_session.Link().OpenDialog(LinkDialog::Download); }, m_download,
           [this] { m_session.DownloadDialogClosed(); });
}

void CDownloadDlg::OnDownload() {
    if (m_session.PressDownload())
        accept();
}
