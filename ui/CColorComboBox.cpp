#include "ui/CColorComboBox.h"

#include "graph/GraphModel.h"

#include <QAbstractItemView>
#include <QPainter>
#include <QStylePainter>
#include <QStyledItemDelegate>

namespace {

constexpr int kColourRole = Qt::UserRole;

// The swatch of one item: from (left + 1, top + 1) to (left + 51, bottom - 1),
// outlined in the text colour and filled with the item's colour (a disabled item
// shows the inactive caption text colour instead).
void PaintSwatch(QPainter& p, const QRect& item, const QColor& colour, bool enabled,
                 const QPalette& pal) {
    const QRect swatch(QPoint(item.left() + 1, item.top() + 1),
                       QPoint(item.left() + 1 + CColorComboBox::kSwatchWidth, item.bottom() - 1));
    p.setPen(pal.color(QPalette::Text));
    p.setBrush(enabled ? colour : pal.color(QPalette::Inactive, QPalette::PlaceholderText));
    p.drawRect(swatch.adjusted(0, 0, -1, -1));
}

class SwatchDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* p, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const bool focus = option.state & (QStyle::State_HasFocus | QStyle::State_Selected |
                                           QStyle::State_MouseOver);
        const QPalette& pal = option.palette;
        p->save();
        p->fillRect(option.rect,
                    focus ? pal.color(QPalette::Highlight) : pal.color(QPalette::Base));
        if (focus) {
            QPen dots(pal.color(QPalette::HighlightedText), 1, Qt::DotLine);
            p->setPen(dots);
            p->setBrush(Qt::NoBrush);
            p->drawRect(option.rect.adjusted(0, 0, -1, -1));
        }
        const QColor c = index.data(kColourRole).value<QColor>();
        PaintSwatch(*p, option.rect.adjusted(2, 2, 0, -2), c, option.state & QStyle::State_Enabled,
                    pal);
        p->restore();
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
        return QSize(CColorComboBox::kSwatchWidth + 8, option.fontMetrics.height() + 6);
    }
};

} // namespace

CColorComboBox::CColorComboBox(QWidget* parent) : QComboBox(parent) {
    setEditable(false);
    setItemDelegate(new SwatchDelegate(this));
    view()->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setMaxVisibleItems(8);
}

int CColorComboBox::AddColour(const QString& name, QColor colour) {
    for (int i = 0; i < count(); ++i)
        if (ColourAt(i).rgb() == colour.rgb())
            return -1;
    // The name is kept for screen readers and the tool tip only; nothing draws it.
    addItem(QString());
    const int at = count() - 1;
    setItemData(at, colour, kColourRole);
    setItemData(at, name, Qt::AccessibleTextRole);
    setItemData(at, name, Qt::ToolTipRole);
    return at;
}

void CColorComboBox::Fill(int position) {
    for (int i = 0; i < kColourCount; ++i)
        AddColour(QString::fromLatin1(ColourName(i)), ColourOf(uint32_t(i)));
    setCurrentIndex(position >= 0 && position < count() ? position : -1);
}

QColor CColorComboBox::ColourAt(int position) const {
    return itemData(position, kColourRole).value<QColor>();
}

QSize CColorComboBox::sizeHint() const {
    QStyleOptionComboBox opt;
    initStyleOption(&opt);
    const QSize content(kSwatchWidth + 6, fontMetrics().height() + 4);
    return style()->sizeFromContents(QStyle::CT_ComboBox, &opt, content, this);
}

QSize CColorComboBox::minimumSizeHint() const {
    return sizeHint();
}

void CColorComboBox::paintEvent(QPaintEvent*) {
    QStylePainter p(this);
    QStyleOptionComboBox opt;
    initStyleOption(&opt);
    opt.currentText.clear();
    opt.currentIcon = QIcon();
    p.drawComplexControl(QStyle::CC_ComboBox, opt);
    const QRect field =
        style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, this);
    if (currentIndex() >= 0)
        PaintSwatch(p, field.adjusted(1, 1, 0, -1), ColourAt(currentIndex()), isEnabled(),
                    palette());
}
