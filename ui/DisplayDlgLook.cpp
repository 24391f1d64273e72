#include "ui/DisplayDlgLook.h"

#include "base/Fonts.h"
#include "ui/CNumericEdit.h"
#include "ui/DialogLook.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

namespace {

// Paints on a 16 x 16 grid scaled to the requested size.
class DrawnIcon : public QIconEngine {
public:
    explicit DrawnIcon(bool ok) : m_ok(ok) {}
    QIconEngine* clone() const override { return new DrawnIcon(m_ok); }
    void paint(QPainter* p, const QRect& r, QIcon::Mode mode, QIcon::State) override {
        p->save();
        p->setRenderHint(QPainter::Antialiasing);
        p->translate(r.topLeft());
        p->scale(r.width() / 16.0, r.height() / 16.0);
        const bool off = mode == QIcon::Disabled;
        const QColor ink =
            off ? QColor(150, 150, 150) : (m_ok ? QColor(30, 140, 50) : QColor(200, 35, 35));
        QPen pen(ink, 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        p->setPen(pen);
        p->setBrush(Qt::NoBrush);
        if (m_ok) {
            QPainterPath tick;
            tick.moveTo(2.5, 8.5);
            tick.lineTo(6.5, 12.5);
            tick.lineTo(13.5, 3.5);
            p->drawPath(tick);
        } else {
            p->drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
            p->drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
        }
        p->restore();
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1.0);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override {
        QPixmap pm(size * scale);
        pm.setDevicePixelRatio(scale);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        paint(&p, QRect(QPoint(0, 0), size), mode, state);
        return pm;
    }

private:
    bool m_ok;
};

} // namespace

QIcon OkButtonIcon() {
    return QIcon(new DrawnIcon(true));
}

QIcon CancelButtonIcon() {
    return QIcon(new DrawnIcon(false));
}

void ApplyDisplayDlgLook(QDialog* dialog, const QString& face) {
    dialog->setModal(true);
    dialog->setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    dialog->setFont(DescribedFont(face, -14, 0, 400));
    ApplyDialogLook(dialog);
}

OkCancelRow MakeOkCancelRow(QDialog* dialog) {
    OkCancelRow r;
    r.ok = new QPushButton(OkButtonIcon(), QStringLiteral("OK"), dialog);
    r.ok->setObjectName(QStringLiteral("ok"));
    r.ok->setDefault(true);
    r.cancel = new QPushButton(CancelButtonIcon(), QStringLiteral("Cancel"), dialog);
    r.cancel->setObjectName(QStringLiteral("cancel"));
    r.cancel->setAutoDefault(false);
    for (QPushButton* b : {r.ok, r.cancel}) {
        b->setIconSize(QSize(16, 16));
        b->setMinimumWidth(90);
    }
    QObject::connect(r.cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    r.layout = new QHBoxLayout;
    r.layout->addStretch();
    r.layout->addWidget(r.ok);
    r.layout->addWidget(r.cancel);
    return r;
}

QWidget* EditWithSpin(QWidget* parent, CNumericEdit* edit, CSpinButton* spin) {
    auto* box = new QWidget(parent);
    auto* l = new QHBoxLayout(box);
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(0);
    edit->setParent(box);
    spin->setParent(box);
    spin->setFixedHeight(edit->sizeHint().height());
    l->addWidget(edit);
    l->addWidget(spin);
    return box;
}
