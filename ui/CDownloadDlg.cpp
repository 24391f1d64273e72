#include "ui/CDownloadDlg.h"

#include "shell/LinkSession.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

CDownloadDlg::CDownloadDlg(LinkSession& session, QWidget* parent)
    : QDialog(parent), m_session(session) {
    setObjectName(QStringLiteral("downloadDlg"));
    setModal(true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(225, 225, 225));
    setPalette(pal);
    setAutoFillBackground(true);

    // The link state is the window title; it is repeated in the dialog itself because
    // some window managers shorten or hide the titles of small dialogs.
    m_state = new QLabel(this);
    m_state->setObjectName(QStringLiteral("state"));
    QFont bold = m_state->font();
    bold.setBold(true);
    m_state->setFont(bold);
    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("message"));
    m_message->setWordWrap(true);
    m_message->setMinimumWidth(440);
    // Room for the longest message, so the dialog does not jump or clip as it changes.
    m_message->setMinimumHeight(3 * m_message->fontMetrics().lineSpacing());
    m_message->setAlignment(Qt::AlignLeft | Qt::AlignTop);
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
    layout->addWidget(m_state);
    layout->addWidget(m_message);
    layout->addLayout(buttons);

    connect(m_download, &QPushButton::clicked, this, &CDownloadDlg::OnDownload);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);

    LinkController& link = m_session.Link();
    link.onDialogChanged = [this](LinkDialog d) {
        if (d == LinkDialog::Download)
            Refresh();
    };
    link.OpenDialog(LinkDialog::Download);
    Refresh();
}

CDownloadDlg::~CDownloadDlg() {
    if (!m_closed)
        done(QDialog::Rejected);
}

void CDownloadDlg::Refresh() {
    const LinkDialogState& s = m_session.Link().Dialog(LinkDialog::Download);
    setWindowTitle(s.title);
    m_state->setText(s.title);
    m_message->setText(s.message);
    m_download->setEnabled(s.actionEnabled);
}

void CDownloadDlg::OnDownload() {
    if (m_session.PressDownload())
        accept();
}

void CDownloadDlg::done(int r) {
    if (!m_closed) {
        m_closed = true;
        m_session.Link().onDialogChanged = nullptr;
        m_session.DownloadDialogClosed();
    }
    QDialog::done(r);
}
