#include "graph/CDTView.h"

#include "app/AppShell.h"
#include "app/CButtonBar.h"

#include <QFontMetrics>
#include <QPainter>

namespace {

const QColor kWelcomeFill(200, 200, 200);
const QColor kWelcomeText(102, 122, 157);

QFont WelcomeFont() {
    QFont f;
    f.setFamilies({QStringLiteral("Arial Black"), QStringLiteral("Arial"),
                   QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    f.setPixelSize(90);
    f.setWeight(QFont::Thin);
    // The welcome lettering is 40 pixels per character on average.
    const int natural = QFontMetrics(f).averageCharWidth();
    if (natural > 0)
        f.setStretch(qBound(1, 100 * 40 / natural, 4000));
    return f;
}

} // namespace

CDTView::CDTView(AppShell& shell, QWidget* parent) : QWidget(parent), m_shell(shell) {
    setObjectName(QStringLiteral("graphView"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumWidth(10);
}

void CDTView::PaintWelcome(QPainter& p, const QRect& client) {
    const int top = client.top();
    const int left = client.left();
    const int height = client.height();
    p.fillRect(QRect(0, 0, client.width(), height), kWelcomeFill);
    p.setFont(WelcomeFont());
    p.setPen(kWelcomeText);
    const int y0 = top + (height - 350) / 2;
    const char* const words[] = {"ELECTRIC", "POWER", "TEST"};
    for (int i = 0; i < 3; ++i) {
        // Text positions name the top-left corner of the text cell.
        p.drawText(QRect(left + 280, y0 + 100 * i, 4000, 200), Qt::AlignLeft | Qt::AlignTop,
                   QString::fromLatin1(words[i]));
    }
}

void CDTView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (m_shell.m_graph.m_displayContent == 0) {
        PaintWelcome(p, rect());
        PlaceButtonBar();
        return;
    }
    if (m_buttonBar) {
        m_buttonBar->deleteLater();
        m_buttonBar = nullptr;
    }
    p.fillRect(rect(), palette().button());
}

void CDTView::resizeEvent(QResizeEvent*) {
    if (m_buttonBar)
        PlaceButtonBar();
}

void CDTView::PlaceButtonBar() {
    if (!m_buttonBar) {
        m_buttonBar = new CButtonBar(m_shell, this);
        m_buttonBar->show();
    }
    m_buttonBar->move(0, (height() - CButtonBar::kHeight) / 2);
}
