#include "ui/CRealTimeDlg.h"

#include "base/Prompts.h"
#include "shell/RealTimeSession.h"
#include "ui/CNumericEdit.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {

QGroupBox* Group(const QString& title, QWidget* parent) {
    auto* g = new QGroupBox(title, parent);
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(14);
    f.setBold(true);
    g->setFont(f);
    return g;
}

// Plain font for what sits inside a bold group.
void Plain(QWidget* w) {
    QFont f = w->font();
    f.setBold(false);
    f.setPixelSize(13);
    w->setFont(f);
}

} // namespace

CRealTimeDlg::CRealTimeDlg(RealTimeSession& session, Prompts& prompts, int interval, int count,
                           QWidget* parent)
    : CLinkDlg(session.Link(), LinkDialog::RealTime, "realTimeDlg", Look::Background, 360, 2,
               parent),
      m_session(session), m_prompts(prompts), m_interval(interval), m_count(count) {
    QGroupBox* rate = Group(QStringLiteral("SAMPLING RATE"), this);
    m_intervalEdit = new CNumericEdit(rate);
    m_intervalEdit->setObjectName(QStringLiteral("interval"));
    m_intervalSpin = new CSpinButton(m_intervalEdit, kRtIntervalMin, kRtIntervalMax, rate);
    auto* secs = new QLabel(QStringLiteral("Secs"), rate);
    auto* rateRange = new QLabel(QStringLiteral("(2-3600) "), rate);
    auto* rl = new QHBoxLayout(rate);
    rl->addWidget(m_intervalEdit, 1);
    rl->addWidget(m_intervalSpin);
    rl->addWidget(secs);
    rl->addWidget(rateRange);

    QGroupBox* points = Group(QStringLiteral("SAMPLE DATA POINTS"), this);
    m_countEdit = new CNumericEdit(points);
    m_countEdit->setObjectName(QStringLiteral("count"));
    m_countSpin = new CSpinButton(m_countEdit, kRtPointsMin, kRtMaxPoints, points);
    auto* countRange = new QLabel(QStringLiteral("(1-100000)"), points);
    auto* pl = new QHBoxLayout(points);
    pl->addWidget(m_countEdit, 1);
    pl->addWidget(m_countSpin);
    pl->addWidget(countRange);
    for (QWidget* w :
         std::initializer_list<QWidget*>{m_intervalEdit, secs, rateRange, m_countEdit, countRange})
        Plain(w);

    m_run = Button(QStringLiteral("RUN"), "run", QStyle::SP_MediaPlay);
    m_cancel = Button(QStringLiteral("CANCEL"), "cancel", QStyle::SP_DialogCancelButton);
    // Enter never presses a button of its own accord: neither is the default.
    // On RUN or CANCEL itself, reached by Tab, it presses that one, as Space does.
    for (QPushButton* b : {m_run, m_cancel}) {
        b->setAutoDefault(false);
        b->setDefault(false);
        b->installEventFilter(this);
    }

    LayOut({rate, points}, {}, {m_run, m_cancel});

    m_intervalEdit->setText(QString::number(m_interval));
    m_countEdit->setText(QString::number(m_count));
    connect(m_intervalEdit, &QLineEdit::textChanged, this, [this] { Validate(); });
    connect(m_countEdit, &QLineEdit::textChanged, this, [this] { Validate(); });
    connect(m_run, &QPushButton::clicked, this, &CRealTimeDlg::OnRun);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);

    Attach([&session = m_session] { session.Link().OpenDialog(LinkDialog::RealTime); }, m_run,
           [&session = m_session] { session.RealTimeDialogClosed(); });
}

bool CRealTimeDlg::Validate() {
    if (m_validating)
        return false;
    m_validating = true;
    struct Field {
        CNumericEdit* edit;
        int lo, hi;
        int* value;
    };
    const Field fields[] = {{m_intervalEdit, kRtIntervalMin, kRtIntervalMax, &m_interval},
                            {m_countEdit, kRtPointsMin, kRtMaxPoints, &m_count}};
    bool ok = true;
    for (const Field& f : fields) {
        const QString text = f.edit->text().trimmed();
        bool isInt = false;
        const qlonglong v = text.toLongLong(&isInt);
        if (isInt && v >= f.lo && v <= f.hi) {
            *f.value = int(v);
            continue;
        }
        ok = false;
        // An edit emptied to type a new number is not yet a wrong number.
        if (!text.isEmpty()) {
            m_prompts.Message(
                QStringLiteral("Please enter an integer between %1 and %2.").arg(f.lo).arg(f.hi));
            // Focus back on the edit, the text left as typed so that typing on
            // completes the number (selecting it would make the next key replace it).
            f.edit->setFocus();
        }
        break;
    }
    m_validating = false;
    return ok;
}

void CRealTimeDlg::OnRun() {
    bool intervalOk = false, countOk = false;
    const int interval = m_intervalEdit->text().trimmed().toInt(&intervalOk);
    const int count = m_countEdit->text().trimmed().toInt(&countOk);
    if (!intervalOk || !countOk)
        return;
    if (m_session.PressRun(interval, count))
        accept();
}

bool CRealTimeDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && (watched == m_run || watched == m_cancel)) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            static_cast<QPushButton*>(watched)->click();
            return true;
        }
    }
    return CLinkDlg::eventFilter(watched, event);
}

void CRealTimeDlg::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        e->accept(); // swallowed: only RUN, CANCEL and the close box end the dialog
        return;
    default:
        QDialog::keyPressEvent(e);
    }
}
