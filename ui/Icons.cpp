#include "ui/Icons.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace {

const QColor kBlue(102, 122, 157);
const QColor kDarkBlue(52, 66, 96);
const QColor kYellow(255, 210, 80);
const QColor kGreen(60, 150, 70);
const QColor kPaper(250, 250, 250);
const QColor kGrey(120, 120, 120);

// Colours of one rendering: the icon's own, or greys for a disabled command, so
// that an unavailable button reads as unavailable even where the style does not
// dim its icon.
struct Ink {
    bool disabled = false;
    QColor operator()(const QColor& c) const {
        if (!disabled)
            return c;
        const int g = 150 + qGray(c.rgb()) * 90 / 255;
        return QColor(g, g, g);
    }
};

void Printer(QPainter& p, const Ink& ink, bool list) {
    // Paper going in, the body, the page coming out with a graph or lines on it.
    p.setPen(QPen(ink(kGrey), 1));
    p.setBrush(ink(kPaper));
    p.drawRect(QRectF(6.5, 2.5, 11, 6));
    p.setBrush(ink(QColor(90, 95, 105)));
    p.drawRoundedRect(QRectF(2.5, 8.5, 19, 9), 2, 2);
    p.setBrush(ink(kPaper));
    p.drawRect(QRectF(5.5, 14.5, 13, 7));
    p.setPen(QPen(ink(list ? kDarkBlue : QColor(200, 40, 40)), 1.2));
    if (list) {
        for (double y : {16.7, 18.5, 20.3})
            p.drawLine(QPointF(7.5, y), QPointF(16.5, y));
    } else {
        QPainterPath wave;
        wave.moveTo(7, 19);
        wave.cubicTo(9, 14.5, 11, 14.5, 12, 18);
        wave.cubicTo(13, 21, 15, 21, 17, 16);
        p.setBrush(Qt::NoBrush);
        p.drawPath(wave);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(ink(kYellow));
    p.drawEllipse(QPointF(18, 11), 1, 1);
}

void SaveIcon(QPainter& p, const Ink& ink) {
    p.setPen(QPen(ink(kDarkBlue), 1));
    p.setBrush(ink(kBlue));
    p.drawRoundedRect(QRectF(3.5, 3.5, 17, 17), 2, 2);
    p.setBrush(ink(kPaper));
    p.drawRect(QRectF(6.5, 3.5, 11, 6));
    p.setBrush(ink(kDarkBlue));
    p.drawRect(QRectF(7.5, 13.5, 9, 7));
}

void OpenIcon(QPainter& p, const Ink& ink) {
    p.setPen(QPen(ink(QColor(170, 125, 30)), 1));
    p.setBrush(ink(QColor(230, 180, 70)));
    p.drawRoundedRect(QRectF(2.5, 5.5, 8, 4), 1, 1);
    p.drawRoundedRect(QRectF(2.5, 7.5, 19, 13), 1.5, 1.5);
    p.setBrush(ink(kYellow));
    p.drawPolygon(QPolygonF(
        {QPointF(5.5, 11.5), QPointF(22.5, 11.5), QPointF(20.5, 20.5), QPointF(2.5, 20.5)}));
}

void ClockIcon(QPainter& p, const Ink& ink) {
    p.setPen(QPen(ink(kDarkBlue), 1.5));
    p.setBrush(ink(kPaper));
    p.drawEllipse(QPointF(12, 12), 9, 9);
    p.setPen(QPen(ink(kDarkBlue), 1.8, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(12, 12), QPointF(12, 6.5));
    p.drawLine(QPointF(12, 12), QPointF(16, 14));
}

void GearIcon(QPainter& p, const Ink& ink) {
    // A gear: eight teeth around a wheel with a hole.
    p.setPen(Qt::NoPen);
    p.setBrush(ink(kBlue));
    p.save();
    p.translate(12, 12);
    for (int i = 0; i < 8; ++i) {
        p.drawRect(QRectF(-2, -10.5, 4, 5));
        p.rotate(45);
    }
    p.restore();
    p.drawEllipse(QPointF(12, 12), 7.5, 7.5);
    p.setBrush(ink(kPaper));
    p.drawEllipse(QPointF(12, 12), 3, 3);
}

void DownloadIcon(QPainter& p, const Ink& ink) {
    p.setPen(Qt::NoPen);
    p.setBrush(ink(kGreen));
    p.drawPolygon(QPolygonF({QPointF(9, 2.5), QPointF(15, 2.5), QPointF(15, 10), QPointF(19.5, 10),
                             QPointF(12, 17.5), QPointF(4.5, 10), QPointF(9, 10)}));
    p.setBrush(ink(kDarkBlue));
    p.drawRect(QRectF(3, 19, 18, 2.5));
}

void ListIcon(QPainter& p, const Ink& ink) {
    p.setPen(QPen(ink(kGrey), 1));
    p.setBrush(ink(kPaper));
    p.drawRect(QRectF(3.5, 2.5, 17, 19));
    p.setBrush(ink(kBlue));
    p.drawRect(QRectF(3.5, 2.5, 17, 4));
    p.setPen(QPen(ink(kGrey), 1));
    for (double y : {10.5, 14.5, 18.5})
        p.drawLine(QPointF(3.5, y), QPointF(20.5, y));
    p.drawLine(QPointF(10.5, 6.5), QPointF(10.5, 21.5));
}

void PreviewIcon(QPainter& p, const Ink& ink) {
    p.setPen(QPen(ink(kGrey), 1));
    p.setBrush(ink(kPaper));
    p.drawRect(QRectF(3.5, 2.5, 13, 17));
    p.setPen(QPen(ink(kDarkBlue), 2.2, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(ink(QColor(210, 225, 245)));
    p.drawEllipse(QPointF(13.5, 12.5), 4.5, 4.5);
    p.drawLine(QPointF(16.8, 15.8), QPointF(21, 20));
}

void HelpIcon(QPainter& p, const Ink& ink) {
    p.setPen(Qt::NoPen);
    p.setBrush(ink(kBlue));
    p.drawEllipse(QPointF(12, 12), 10, 10);
    QPainterPath mark;
    mark.moveTo(8.6, 9.2);
    mark.cubicTo(8.6, 5.5, 15.4, 5.5, 15.4, 9.2);
    mark.cubicTo(15.4, 12, 12, 11.8, 12, 14.5);
    p.setPen(QPen(ink(Qt::white), 2.4, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(mark);
    p.setPen(Qt::NoPen);
    p.setBrush(ink(Qt::white));
    p.drawEllipse(QPointF(12, 18), 1.5, 1.5);
}

void Paint(QPainter& p, CommandIconId id, const Ink& ink) {
    switch (id) {
    case CommandIconId::Save:
        SaveIcon(p, ink);
        break;
    case CommandIconId::Open:
        OpenIcon(p, ink);
        break;
    case CommandIconId::CorrectTime:
        ClockIcon(p, ink);
        break;
    case CommandIconId::Setup:
        GearIcon(p, ink);
        break;
    case CommandIconId::Download:
        DownloadIcon(p, ink);
        break;
    case CommandIconId::DataList:
        ListIcon(p, ink);
        break;
    case CommandIconId::PrintGraph:
        Printer(p, ink, false);
        break;
    case CommandIconId::PrintList:
        Printer(p, ink, true);
        break;
    case CommandIconId::PrintPreview:
        PreviewIcon(p, ink);
        break;
    case CommandIconId::Help:
        HelpIcon(p, ink);
        break;
    }
}

// Paints on demand, so every size and device pixel ratio gets its own drawing.
class PaintedIconEngine : public QIconEngine {
public:
    explicit PaintedIconEngine(CommandIconId id) : m_id(id) {}
    void paint(QPainter* p, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
        p->save();
        p->setRenderHint(QPainter::Antialiasing);
        const qreal side = std::min(rect.width(), rect.height());
        p->translate(rect.x() + (rect.width() - side) / 2.0,
                     rect.y() + (rect.height() - side) / 2.0);
        p->scale(side / 24.0, side / 24.0);
        Ink ink;
        ink.disabled = mode == QIcon::Disabled;
        Paint(*p, m_id, ink);
        p->restore();
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1.0);
    }
    // `size` is in device pixels already; the pixmap is drawn at that size.
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override {
        QPixmap pm(size);
        pm.fill(Qt::transparent);
        {
            QPainter p(&pm);
            paint(&p, pm.rect(), mode, state);
        }
        pm.setDevicePixelRatio(scale);
        return pm;
    }
    QIconEngine* clone() const override { return new PaintedIconEngine(m_id); }
    QString key() const override { return QStringLiteral("orvex-painted"); }

private:
    CommandIconId m_id;
};

} // namespace

QStringList ThemeIconNames(CommandIconId id) {
    switch (id) {
    case CommandIconId::Save:
        return {QStringLiteral("document-save")};
    case CommandIconId::Open:
        return {QStringLiteral("document-open")};
    case CommandIconId::CorrectTime:
        return {QStringLiteral("preferences-system-time"), QStringLiteral("appointment-soon")};
    case CommandIconId::Setup:
        return {QStringLiteral("preferences-system"), QStringLiteral("preferences-other")};
    case CommandIconId::Download:
        return {QStringLiteral("go-down")};
    case CommandIconId::DataList:
        return {QStringLiteral("x-office-spreadsheet")};
    case CommandIconId::PrintGraph:
    case CommandIconId::PrintList:
        return {QStringLiteral("document-print")};
    case CommandIconId::PrintPreview:
        return {QStringLiteral("document-print-preview")};
    case CommandIconId::Help:
        return {QStringLiteral("help-contents"), QStringLiteral("help-browser")};
    }
    return {};
}

QIcon PaintedCommandIcon(CommandIconId id) {
    return QIcon(new PaintedIconEngine(id));
}

QIcon CommandIcon(CommandIconId id) {
    for (const QString& name : ThemeIconNames(id))
        if (QIcon::hasThemeIcon(name))
            return QIcon::fromTheme(name);
    return PaintedCommandIcon(id);
}
