#include "ui/CLoadingDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

CLoadingDlg::CLoadingDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("loadingDlg"));
    setWindowTitle(QStringLiteral("Loading..."));
    setModal(false);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::WindowCloseButtonHint, false);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(225, 225, 225));
    setPalette(pal);
    setAutoFillBackground(true);
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("progress"));
    m_bar->setMinimumWidth(260);
    m_label = new QLabel(this);
    m_label->setObjectName(QStringLiteral("progressText"));
    // Two lines from the start, so that the dialog does not grow under the pointer.
    m_label->setText(QStringLiteral("\n"));
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("cancel"));
    m_cancel->setAutoDefault(false);
    connect(m_cancel, &QPushButton::clicked, this, [this] { reject(); });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_bar);
    layout->addWidget(m_label);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cancel);
    layout->addLayout(buttons);
    adjustSize();
}

void CLoadingDlg::reject() {
    // The dialog stays until the link has ended the transfer and closes it.
    emit cancelRequested();
}

void CLoadingDlg::SetText(const QString& text) {
    m_label->setText(text);
}

void CLoadingDlg::Open(int range, QWidget* over) {
    m_range = range < 1 ? 1 : range;
    m_position = 1;
    m_shownPercent = -1;
    m_bar->setRange(0, m_range);
    m_bar->setValue(1);
    m_label->setText(QStringLiteral("\n"));
    if (over) {
        const QPoint top = over->mapToGlobal(QPoint(0, 0));
        const QSize size = sizeHint();
        move(top.x() + (over->width() - size.width()) / 2, top.y() + 4 * size.height());
    }
    show();
}

void CLoadingDlg::SetPosition(int position) {
    m_position = position;
    // The download runs on this thread: the bar is redrawn only when its percentage
    // changes, not once per block.
    const int percent = int(int64_t(position) * 100 / m_range);
    if (percent == m_shownPercent && position != m_range)
        return;
    m_shownPercent = percent;
    m_bar->setValue(position);
}
