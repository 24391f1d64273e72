#include "ui/CNumericEdit.h"

#include <QKeyEvent>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

CNumericEdit::CNumericEdit(QWidget* parent) : QLineEdit(parent) {}

bool CNumericEdit::Accepts(const QString& typed) {
    if (typed.isEmpty())
        return true; // a key that types nothing
    for (QChar c : typed) {
        const bool ok = (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('.') ||
                        c == QLatin1Char('-') || c == QChar(0x08);
        if (!ok)
            return false;
    }
    return true;
}

void CNumericEdit::keyPressEvent(QKeyEvent* e) {
    // Control and Alt combinations are shortcuts (copy, paste, select all), not typing.
    const bool shortcut = e->modifiers() & (Qt::ControlModifier | Qt::AltModifier);
    const QString text = e->text();
    const bool printable = !text.isEmpty() && text.at(0).isPrint();
    if (!shortcut && printable && !Accepts(text)) {
        e->accept();
        return;
    }
    QLineEdit::keyPressEvent(e);
}

CSpinButton::CSpinButton(CNumericEdit* buddy, int minimum, int maximum, QWidget* parent)
    : QWidget(parent), m_buddy(buddy), m_up(new QToolButton(this)), m_down(new QToolButton(this)),
      m_min(std::min(minimum, maximum)), m_max(std::max(minimum, maximum)) {
    m_up->setArrowType(Qt::UpArrow);
    m_down->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {m_up, m_down}) {
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    }
    auto* l = new QVBoxLayout(this);
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(0);
    l->addWidget(m_up);
    l->addWidget(m_down);
    connect(m_up, &QToolButton::clicked, this, [this] { Step(+1); });
    connect(m_down, &QToolButton::clicked, this, [this] { Step(-1); });
    if (m_buddy)
        m_buddy->installEventFilter(this);
}

void CSpinButton::SetRange(int minimum, int maximum) {
    m_min = std::min(minimum, maximum);
    m_max = std::max(minimum, maximum);
}

void CSpinButton::Step(int direction) {
    if (!m_buddy)
        return;
    bool ok = false;
    const qlonglong v = m_buddy->text().trimmed().toLongLong(&ok);
    qlonglong next;
    if (!ok)
        next = direction > 0 ? m_min : m_max;
    else
        next = std::clamp<qlonglong>(v + direction, m_min, m_max);
    m_buddy->setText(QString::number(next)); // plain, no thousands separators
}

bool CSpinButton::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_buddy && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            Step(key == Qt::Key_Up ? +1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
