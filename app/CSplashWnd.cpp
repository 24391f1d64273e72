#include "app/CSplashWnd.h"

#include <QApplication>
#include <QEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <QScreen>
#include <QTimer>
#include <cmath>

CSplashWnd::CSplashWnd(QWidget* owner)
    : QWidget(owner, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_pixmap(Artwork()) {
    setObjectName(QStringLiteral("splash"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedSize(m_pixmap.deviceIndependentSize().toSize());
    const QRect area = owner && owner->isVisible() ? owner->geometry()
                                                   : QGuiApplication::primaryScreen()->geometry();
    move(area.center() - rect().center());
    qApp->installEventFilter(this);
    QTimer::singleShot(1000, this, &CSplashWnd::Finish);
}

CSplashWnd::~CSplashWnd() {
    qApp->removeEventFilter(this);
}

QPixmap CSplashWnd::Artwork() {
    // Drawn at the screen's pixel ratio, so it is as sharp as the rest.
    constexpr int kWidth = 420, kHeight = 240;
    const qreal dpr = qApp ? qApp->devicePixelRatio() : 1.0;
    QPixmap pm(QSize(int(std::ceil(kWidth * dpr)), int(std::ceil(kHeight * dpr))));
    pm.setDevicePixelRatio(dpr);
    QPainter p(&pm);
    QLinearGradient g(0, 0, 0, kHeight);
    g.setColorAt(0, QColor(102, 122, 157));
    g.setColorAt(1, QColor(40, 52, 80));
    p.fillRect(QRect(0, 0, kWidth, kHeight), g);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(255, 210, 80), 3));
    QPainterPath wave;
    for (int x = 0; x <= kWidth; x += 2) {
        const double y = 170 + 28 * std::sin(x / 420.0 * 6 * 3.14159265);
        if (x == 0)
            wave.moveTo(x, y);
        else
            wave.lineTo(x, y);
    }
    p.drawPath(wave);
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setPixelSize(34);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRect(0, 40, kWidth, 50), Qt::AlignCenter, QStringLiteral("Orvex Datalogger"));
    f.setPixelSize(15);
    f.setBold(false);
    p.setFont(f);
    p.drawText(QRect(0, 92, kWidth, 24), Qt::AlignCenter,
               QStringLiteral("Two-channel electric power data logger"));
    return pm;
}

void CSplashWnd::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawPixmap(0, 0, m_pixmap);
}

bool CSplashWnd::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        // A key bound to a shortcut arrives here first; accepting the override keeps
        // the shortcut from running, and the key press that follows is swallowed.
        if (!m_finished || m_swallowKey) {
            Finish();
            m_swallowKey = true;
            event->accept();
            return true;
        }
        break;
    case QEvent::KeyPress:
        if (!m_finished || m_swallowKey) {
            Finish();
            m_swallowKey = false;
            return true;
        }
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
        if (!m_finished) {
            Finish();
            return true; // the press only closes the splash
        }
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void CSplashWnd::Finish() {
    if (m_finished)
        return;
    m_finished = true;
    close();
    // Give the keyboard back to the main window, so its shortcuts work at once.
    if (QWidget* owner = parentWidget()) {
        owner->activateWindow();
        owner->update();
    }
}
