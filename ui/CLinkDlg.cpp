#include "ui/CLinkDlg.h"

#include "link/LinkController.h"
#include "ui/DialogLook.h"
#include "ui/LinkTexts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CLinkDlg::CLinkDlg(LinkController& link, LinkDialog which, const char* objectName, Look look,
                   int messageWidth, int messageLines, QWidget* parent)
    : QDialog(parent), m_link(link), m_which(which) {
    setObjectName(QString::fromLatin1(objectName));
    setModal(true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    if (look == Look::GroupTitles) {
        ApplyDialogLook(this);
    } else {
        QPalette pal = palette();
        pal.setColor(QPalette::Window, QColor(225, 225, 225));
        setPalette(pal);
        setAutoFillBackground(true);
    }

    m_state = new QLabel(this);
    m_state->setObjectName(QStringLiteral("state"));
    QFont bold = m_state->font();
    bold.setBold(true);
    m_state->setFont(bold);
    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("message"));
    m_message->setWordWrap(true);
    m_message->setMinimumWidth(messageWidth);
    m_message->setMinimumHeight(messageLines * m_message->fontMetrics().lineSpacing());
    m_message->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

QPushButton* CLinkDlg::Button(const QString& text, const char* name) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

QPushButton* CLinkDlg::Button(const QString& text, const char* name, QStyle::StandardPixmap icon) {
    QPushButton* b = Button(text, name);
    b->setIcon(style()->standardIcon(icon));
    return b;
}

void CLinkDlg::LayOut(std::initializer_list<QWidget*> body,
                      std::initializer_list<QPushButton*> left,
                      std::initializer_list<QPushButton*> right) {
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : left)
        buttons->addWidget(b);
    buttons->addStretch();
    for (QPushButton* b : right)
        buttons->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetMinimumSize);
    layout->addWidget(m_state);
    for (QWidget* w : body)
        layout->addWidget(w);
    layout->addWidget(m_message);
    layout->addLayout(buttons);
}

CLinkDlg::~CLinkDlg() {
    if (!m_done)
        done(QDialog::Rejected);
}

void CLinkDlg::Attach(const std::function<void()>& open, QPushButton* action,
                      std::function<void()> closed) {
    m_action = action;
    m_closed = std::move(closed);
    m_attached = true;
    m_changes = connect(&m_link.Search(), &PortSearch::dialogChanged, this, [this](LinkDialog d) {
        if (d == m_which)
            Refresh();
    });
    open();
    Refresh();
}

void CLinkDlg::Refresh() {
    const LinkDialogState& s = m_link.Dialog(m_which);
    const QString title = LinkStateTitle(s.state);
    setWindowTitle(title);
    m_state->setText(title);
    m_message->setText(LinkLineText(m_which, s));
    if (m_action)
        m_action->setEnabled(s.actionEnabled);
}

void CLinkDlg::done(int r) {
    if (!m_done) {
        m_done = true;
        if (m_attached) {
            disconnect(m_changes);
            if (m_closed)
                m_closed();
        }
    }
    QDialog::done(r);
}
