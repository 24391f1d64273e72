#include "ui/CPrintPreviewDlg.h"

#include "ui/CNumericEdit.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPrinter>
#include <QScreen>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

#include <QShowEvent>
#include <QTimer>

#include <algorithm>

QRect CPrintPreviewDlg::FitInside(const QRect& available, QSize wanted, const QMargins& frame) {
    const QSize room(available.width() - frame.left() - frame.right(),
                     available.height() - frame.top() - frame.bottom());
    const QSize client = wanted.boundedTo(room).expandedTo(QSize(1, 1));
    const int outerW = client.width() + frame.left() + frame.right();
    const int outerH = client.height() + frame.top() + frame.bottom();
    const int x = available.x() + std::max(0, (available.width() - outerW) / 2) + frame.left();
    const int y = available.y() + std::max(0, (available.height() - outerH) / 2) + frame.top();
    return QRect(QPoint(x, y), client);
}

void CPrintPreviewDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Once framed, place it again with the frame it really has.
    QTimer::singleShot(50, this, [this] {
        const QScreen* s = screen();
        const QRect outer = frameGeometry();
        const QRect inner = geometry();
        if (!s || outer == inner)
            return;
        const QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(),
                             outer.right() - inner.right(), outer.bottom() - inner.bottom());
        const QRect fitted = FitInside(s->availableGeometry(), size(), frame);
        if (fitted != inner)
            setGeometry(fitted);
    });
}

CPrintPreviewDlg::CPrintPreviewDlg(QPrinter& printer, ReportPages pages, QWidget* parent)
    : QDialog(parent), m_printer(printer), m_pages(std::move(pages)) {
    setObjectName(QStringLiteral("printPreview"));
    setWindowTitle(QStringLiteral("Print Preview"));
    // Tall enough for a portrait page, but never beyond the screen's free area: a
    // preview whose buttons or page end below the screen cannot be used. The frame
    // is a guess until the window manager has framed the window.
    resize(900, 1000);
    if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        setGeometry(FitInside(screen->availableGeometry(), size(), QMargins(8, 40, 8, 8)));

    auto button = [this](const QString& text, const char* name) {
        auto* b = new QToolButton(this);
        b->setText(text);
        b->setObjectName(QString::fromLatin1(name));
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
        return b;
    };
    QToolButton* print = button(QStringLiteral("&Print..."), "previewPrint");
    m_next = button(QStringLiteral("&Next Page"), "previewNext");
    m_prev = button(QStringLiteral("Pre&v Page"), "previewPrev");
    QToolButton* zoomIn = button(QStringLiteral("Zoom &In"), "previewZoomIn");
    QToolButton* zoomOut = button(QStringLiteral("Zoom &Out"), "previewZoomOut");
    QToolButton* close = button(QStringLiteral("&Close"), "previewClose");
    m_pageEdit = new CNumericEdit(this);
    m_pageEdit->setObjectName(QStringLiteral("previewPage"));
    m_pageEdit->setFixedWidth(70);
    m_pageOf = new QLabel(this);

    auto* bar = new QHBoxLayout;
    bar->addWidget(print);
    bar->addWidget(m_next);
    bar->addWidget(m_prev);
    bar->addWidget(m_pageEdit);
    bar->addWidget(m_pageOf);
    bar->addWidget(zoomIn);
    bar->addWidget(zoomOut);
    bar->addStretch(1);
    bar->addWidget(close);

    m_sheet = new QLabel;
    m_sheet->setObjectName(QStringLiteral("previewSheet"));
    m_sheet->setAlignment(Qt::AlignCenter);
    m_scroll = new QScrollArea(this);
    m_scroll->setAlignment(Qt::AlignCenter);
    m_scroll->setBackgroundRole(QPalette::Dark);
    m_scroll->setWidget(m_sheet);
    m_scroll->setWidgetResizable(false);
    m_scroll->viewport()->installEventFilter(this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(bar);
    layout->addWidget(m_scroll, 1);

    connect(print, &QToolButton::clicked, this, &CPrintPreviewDlg::printRequested);
    connect(m_next, &QToolButton::clicked, this, [this] { ShowPage(m_page + 1); });
    connect(m_prev, &QToolButton::clicked, this, [this] { ShowPage(m_page - 1); });
    connect(zoomIn, &QToolButton::clicked, this, [this] { SetZoom(m_zoom * 1.25); });
    connect(zoomOut, &QToolButton::clicked, this, [this] { SetZoom(m_zoom / 1.25); });
    connect(close, &QToolButton::clicked, this, &QDialog::accept);
    connect(m_pageEdit, &QLineEdit::editingFinished, this, [this] {
        bool ok = false;
        const int page = m_pageEdit->text().toInt(&ok);
        ShowPage(ok ? page : m_page);
    });
    ShowPage(1);
}

QImage CPrintPreviewDlg::RenderPage(const QPrinter& printer, const ReportPages& pages, int page,
                                    double scale) {
    const int dpi = printer.resolution();
    const QRect sheet = printer.pageLayout().fullRectPixels(dpi);
    const QRect paint = printer.pageLayout().paintRectPixels(dpi);
    QImage image(std::max(1, int(sheet.width() * scale)), std::max(1, int(sheet.height() * scale)),
                 QImage::Format_RGB32);
    image.fill(Qt::white);
    if (page < 1 || page > pages.count || !pages.paint)
        return image;
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.scale(scale, scale);
    p.translate(paint.topLeft() - sheet.topLeft());
    pages.paint(p, paint.size(), page);
    return image;
}

double CPrintPreviewDlg::FitScale() const {
    const int dpi = m_printer.resolution();
    const QRect sheet = m_printer.pageLayout().fullRectPixels(dpi);
    const QSize room = m_scroll->viewport()->size() - QSize(20, 20);
    if (sheet.isEmpty() || room.isEmpty())
        return 96.0 / std::max(dpi, 1);
    return std::min(double(room.width()) / sheet.width(), double(room.height()) / sheet.height());
}

void CPrintPreviewDlg::ShowPage(int page) {
    m_page = std::clamp(page, 1, std::max(m_pages.count, 1));
    m_pageEdit->setText(QString::number(m_page));
    m_pageOf->setText(QStringLiteral("of %1").arg(m_pages.count));
    m_prev->setEnabled(m_page > 1);
    m_next->setEnabled(m_page < m_pages.count);
    Render();
}

void CPrintPreviewDlg::SetZoom(double zoom) {
    m_zoom = std::clamp(zoom, 0.2, 8.0);
    Render();
}

void CPrintPreviewDlg::Render() {
    m_image = RenderPage(m_printer, m_pages, m_page, FitScale() * m_zoom);
    m_sheet->setPixmap(QPixmap::fromImage(m_image));
    m_sheet->resize(m_image.size());
}

bool CPrintPreviewDlg::eventFilter(QObject* watched, QEvent* event) {
    // The page fits the room the scroll area has, once it knows it.
    if (watched == m_scroll->viewport() && event->type() == QEvent::Resize &&
        m_scroll->viewport()->size() != m_renderedFor) {
        m_renderedFor = m_scroll->viewport()->size();
        Render();
    }
    return QDialog::eventFilter(watched, event);
}
