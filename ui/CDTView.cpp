#include "ui/CDTView.h"

#include "base/Timers.h"
#include "graph/DisplaySettings.h"
#include "graph/Zoom.h"
#include "shell/AppShell.h"
#include "ui/CAxisSetupDlg.h"
#include "ui/CButtonBar.h"
#include "ui/CColorSetupDlg.h"
#include "ui/CRecInfoDlg.h"
#include "ui/CViewOptionsDlg.h"

#include <QAction>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSplitter>
#include <QToolBar>
#include <QToolButton>
#include <QWheelEvent>

#include <cmath>

namespace {

struct ToolButton {
    int command;
    const char* text;
};
constexpr ToolButton kToolButtons[] = {
    {ViewCmd::ZoomOut, "ZoomOut"},
    {ViewCmd::AxisSetup, "Axis Setup"},
    {ViewCmd::ColorSetup, "Color Setup"},
    {ViewCmd::ViewOptions, "View"},
};

// The composed image is made at the screen's device pixel ratio, so that lines
// and text are drawn at the screen's own resolution instead of being enlarged.
QSize DevicePixels(const QWidget& w) {
    const qreal dpr = w.devicePixelRatioF();
    return QSize(int(std::ceil(w.width() * dpr)), int(std::ceil(w.height() * dpr)));
}

bool Fits(const QImage& image, const QWidget& w) {
    return image.size() == DevicePixels(w) && image.devicePixelRatio() == w.devicePixelRatioF();
}

// Inverts the device pixels of layout pixels (x, y). Inverting twice restores
// them, so the cursor line and the rubber band leave nothing behind, and on any
// background the line shows in the background's complement. The image is detached
// once, not for every pixel.
class Inverter {
public:
    explicit Inverter(QImage& img)
        : m_bits(img.bits()), m_stride(img.bytesPerLine()), m_w(img.width()), m_h(img.height()),
          m_dpr(img.devicePixelRatio()) {}
    void Pixel(int x, int y) {
        const int x0 = std::max(int(std::floor(x * m_dpr)), 0);
        const int x1 = std::min(int(std::floor((x + 1) * m_dpr)), m_w);
        const int y0 = std::max(int(std::floor(y * m_dpr)), 0);
        const int y1 = std::min(int(std::floor((y + 1) * m_dpr)), m_h);
        for (int yy = y0; yy < y1; ++yy) {
            auto* row = reinterpret_cast<QRgb*>(m_bits + qsizetype(yy) * m_stride);
            for (int xx = x0; xx < x1; ++xx)
                row[xx] ^= 0x00FFFFFFu;
        }
    }

private:
    uchar* m_bits;
    qsizetype m_stride;
    int m_w, m_h;
    qreal m_dpr;
};

ScrollCode CodeOf(int action) {
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
        return ScrollCode::LineLeft;
    case QAbstractSlider::SliderSingleStepAdd:
        return ScrollCode::LineRight;
    case QAbstractSlider::SliderPageStepSub:
        return ScrollCode::PageLeft;
    case QAbstractSlider::SliderPageStepAdd:
        return ScrollCode::PageRight;
    case QAbstractSlider::SliderMove:
        return ScrollCode::Thumb;
    default:
        return ScrollCode::Other;
    }
}

} // namespace

CDTView::CDTView(AppShell& shell, QWidget* parent, TimerTable* timers)
    : QWidget(parent), m_shell(shell) {
    setObjectName(QStringLiteral("graphView"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    setMinimumWidth(10);
    setMouseTracking(true);
    if (!timers) {
        m_ownTimers = std::make_unique<QtTimerTable>();
        timers = m_ownTimers.get();
    }
    m_timers = timers;
    m_timers->SetHandler([this](int id) { OnViewTimer(id); });

    m_graph = std::make_unique<GraphController>(shell);
    connect(m_graph.get(), &GraphController::repaintRequested, this, [this] {
        if (m_infoBar)
            m_infoBar->update();
        RequestRepaint();
    });
    connect(m_graph.get(), &GraphController::infoBarChanged, this, [this] {
        if (m_infoBar)
            m_infoBar->update();
    });
    connect(m_graph.get(), &GraphController::modeWindowsChanged, this, &CDTView::ApplyModeWindows);
    connect(m_graph.get(), &GraphController::scaleReset, this, &CDTView::ResetScaleView);
    connect(&shell, &AppShell::realTimePointAppended, this, &CDTView::AppendRealTimePoint);
    std::weak_ptr<bool> alive = m_alive;
    auto dialogsRule = [this] {
        return CommandState{DisplayDialogsEnabled(m_shell.Graph()), false};
    };
    shell.RegisterCommand(
        ViewCmd::AxisSetup, [this] { OpenAxisSetup(); }, dialogsRule);
    shell.RegisterCommand(
        ViewCmd::ColorSetup, [this] { OpenColorSetup(); }, dialogsRule);
    shell.RegisterCommand(
        ViewCmd::ViewOptions, [this] { OpenViewOptions(); }, dialogsRule);
    connect(&shell, &AppShell::viewsUpdated, this, [this, alive] {
        if (alive.expired())
            return;
        m_graph->FillRecInfo();
        if (m_infoBar)
            m_infoBar->update();
        RequestRepaint();
    });
}

CDTView::~CDTView() {
    m_alive.reset();
    for (int command : {ViewCmd::AxisSetup, ViewCmd::ColorSetup, ViewCmd::ViewOptions})
        m_shell.RegisterCommand(command, {});
    m_timers->SetHandler({});
    m_timers->Kill(ViewTimer::ResizeRepaint);
    m_timers->Kill(ViewTimer::FirstPaintReset);
    m_timers->Kill(ViewTimer::DragWatchdog);
}

RenderOptions CDTView::Options(bool printing) const {
    RenderOptions o;
    o.panelGrey = palette().color(QPalette::Button);
    o.printing = printing;
    return o;
}

void CDTView::RenderGraph(QPainter& p, QSize size, bool printing) {
    GraphModel& m = m_shell.Graph();
    const GraphInputs in = m_graph->Inputs();
    m.PrepareFrame(size.width(), size.height(), in);
    m.FramePainted(PaintGraph(p, m, in, Options(printing)));
}

QImage CDTView::ExportImage() {
    QImage image(size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    GraphModel& g = m_shell.Graph();
    const QString readout = g.ReadoutText();
    g.SetReadoutText(QString());
    {
        QPainter p(&image);
        RenderGraph(p, size(), false);
        // The plot leaves the information bar's band to the bar, a child window over
        // the view; a picture without it would start with an empty band and lose
        // what the graph shows (mode, start, extremes).
        const QRect bar = ComputeLayout(width(), height(), g.InfoBarHeight()).infoBarRect;
        if (!bar.isEmpty()) {
            p.save();
            p.translate(bar.topLeft());
            p.setClipRect(QRect(QPoint(0, 0), bar.size()));
            CRecInfoDlg::Paint(p, g, bar.width(), bar.height(), 0);
            p.restore();
        }
    }
    g.SetReadoutText(readout);
    return image;
}

void CDTView::RequestRepaint() {
    m_incrementalRect = QRect();
    update();
}

void CDTView::paintEvent(QPaintEvent* e) {
    QPainter p(this);
    GraphModel& g = m_shell.Graph();
    if (g.DisplayContent() == GraphModel::kContentNone) {
        PaintWelcome(p, rect());
        PlaceButtonBar();
        for (QWidget* w : {static_cast<QWidget*>(m_infoBar), static_cast<QWidget*>(m_hBar),
                           static_cast<QWidget*>(m_ch1Bar), static_cast<QWidget*>(m_ch2Bar),
                           static_cast<QWidget*>(m_toolBar)})
            if (w)
                w->hide();
        g.Zoom().SetPending(false);
        m_shell.Set().SetModeFromFile(false);
        return;
    }
    // Only the newest real-time segment changed: the composed image has it.
    if (!m_incrementalRect.isNull() && m_incrementalRect.contains(e->rect()) &&
        Fits(m_composed, *this)) {
        // Each changed part alone: a cursor line and the read-out strip far below it
        // would otherwise copy the whole plot between them.
        const qreal dpr = m_composed.devicePixelRatio();
        for (const QRect& r : e->region())
            p.drawImage(QRectF(r), m_composed,
                        QRectF(r.x() * dpr, r.y() * dpr, r.width() * dpr, r.height() * dpr));
        m_incrementalRect = QRect();
        return;
    }
    m_incrementalRect = QRect();
    // A full composition paints over the cursor line and the rubber band.
    m_cursorShown = false;
    m_bandShown = false;
    if (!m_graphPainted && g.ShowsGraph()) {
        m_graphPainted = true;
        m_timers->Start(ViewTimer::FirstPaintReset, 50);
    }
    m_graph->ApplyModeFromFile();
    if (m_buttonBar) {
        m_buttonBar->deleteLater();
        m_buttonBar = nullptr;
    }
    EnsureChildren();
    PlaceChildren();
    UpdateToolBar();

    if (!Fits(m_composed, *this)) {
        m_composed = QImage(DevicePixels(*this), QImage::Format_RGB32);
        m_composed.setDevicePixelRatio(devicePixelRatioF());
    }
    {
        QPainter ip(&m_composed);
        RenderGraph(ip, size(), false);
    }
    p.drawImage(0, 0, m_composed);
    if (g.Zoom().Zoomed() && !m_barsLive)
        SetUpZoomedBars();
}

void CDTView::resizeEvent(QResizeEvent*) {
    if (m_buttonBar)
        PlaceButtonBar();
    // The children keep the places the graph's layout gives them.
    const GraphLayout g = ComputeLayout(width(), height(), m_shell.Graph().InfoBarHeight());
    if (m_hBar)
        m_hBar->setGeometry(g.horizontalBar);
    if (m_ch1Bar)
        m_ch1Bar->setGeometry(g.ch1Bar);
    if (m_ch2Bar)
        m_ch2Bar->setGeometry(g.ch2Bar);
    if (m_toolBar)
        m_toolBar->setGeometry(g.toolBar);
    if (m_infoBar)
        m_infoBar->setGeometry(g.infoBarRect);
    m_timers->Start(ViewTimer::ResizeRepaint, 50);
}

void CDTView::focusInEvent(QFocusEvent* e) {
    QWidget::focusInEvent(e);
    if (m_shell.Graph().DisplayContent() == GraphModel::kContentNone)
        return;
    const GraphLayout& l = m_shell.Graph().Layout();
    m_incrementalRect = QRect();
    update(QRect(QPoint(l.frameLeft, l.frameTop), QPoint(l.frameRight - 1, l.frameBottom - 1)));
}

void CDTView::OnViewTimer(int id) {
    switch (id) {
    case ViewTimer::ResizeRepaint: {
        m_timers->Kill(id);
        const GraphLayout& g = m_shell.Graph().Layout();
        m_incrementalRect = QRect();
        update(QRect(QPoint(g.plotLeft, g.plotTop), QPoint(g.plotRight, g.plotBottom)));
        break;
    }
    case ViewTimer::FirstPaintReset:
        m_timers->Kill(id);
        m_graph->ResetScale();
        break;
    case ViewTimer::DragWatchdog:
        if (!m_dragging) {
            m_timers->Kill(id);
        } else if (!CursorInDragRegion(m_shell.Graph().Layout(), m_lastMouse)) {
            CancelDrag();
        }
        break;
    default:
        m_timers->Kill(id);
        break;
    }
}

void CDTView::PlaceButtonBar() {
    if (!m_buttonBar) {
        m_buttonBar = new CButtonBar(m_shell, this);
        m_buttonBar->show();
    }
    m_buttonBar->move(0, (height() - m_buttonBar->height()) / 2);
}

void CDTView::EnsureChildren() {
    if (!m_infoBar)
        m_infoBar = new CRecInfoDlg(m_shell.Graph(), this);
    auto bar = [this](Qt::Orientation o, const char* name) {
        auto* b = new QScrollBar(o, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setEnabled(false);
        b->setRange(0, 0);
        return b;
    };
    if (!m_hBar) {
        m_hBar = bar(Qt::Horizontal, "scroll100");
        connect(m_hBar, &QScrollBar::actionTriggered, this,
                [this](int action) { OnHorizontalAction(action); });
    }
    if (!m_ch1Bar) {
        m_ch1Bar = bar(Qt::Vertical, "scroll102");
        connect(m_ch1Bar, &QScrollBar::actionTriggered, this,
                [this](int action) { OnVerticalAction(0, m_ch1Bar, action); });
    }
    if (!m_ch2Bar) {
        m_ch2Bar = bar(Qt::Vertical, "scroll101");
        connect(m_ch2Bar, &QScrollBar::actionTriggered, this,
                [this](int action) { OnVerticalAction(1, m_ch2Bar, action); });
    }
    if (!m_toolBar) {
        m_toolBar = new QToolBar(this);
        m_toolBar->setObjectName(QStringLiteral("viewToolBar"));
        m_toolBar->setAutoFillBackground(true);
        for (const ToolButton& b : kToolButtons) {
            QAction* a = m_toolBar->addAction(QString::fromLatin1(b.text));
            a->setObjectName(QStringLiteral("cmd%1").arg(b.command));
            a->setToolTip(QString::fromLatin1(b.text));
            const int command = b.command;
            connect(a, &QAction::triggered, this, [this, command] {
                m_shell.Execute(command);
                UpdateToolBar();
            });
            if (auto* button = qobject_cast<QToolButton*>(m_toolBar->widgetForAction(a)))
                button->setFixedSize(109, 21);
            // The tool bar's buttons take no focus: the view's context menu (the
            // Menu key or Shift+F10) offers them to the keyboard too.
            addAction(a);
        }
    }
}

void CDTView::PlaceChildren() {
    const GraphModel& m = m_shell.Graph();
    const GraphLayout g = ComputeLayout(width(), height(), m.InfoBarHeight());
    m_infoBar->setGeometry(g.infoBarRect);
    m_infoBar->setVisible(m.InfoBarHeight() > 0);
    m_infoBar->raise();
    m_hBar->setGeometry(g.horizontalBar);
    m_ch1Bar->setGeometry(g.ch1Bar);
    m_ch2Bar->setGeometry(g.ch2Bar);
    m_toolBar->setGeometry(g.toolBar);
    for (QWidget* w : {static_cast<QWidget*>(m_hBar), static_cast<QWidget*>(m_ch1Bar),
                       static_cast<QWidget*>(m_ch2Bar), static_cast<QWidget*>(m_toolBar)})
        w->show();
}

void CDTView::UpdateToolBar() {
    if (!m_toolBar)
        return;
    for (QAction* a : m_toolBar->actions()) {
        const int command = a->objectName().mid(3).toInt();
        a->setEnabled(m_shell.StateOf(command).enabled);
    }
}

void CDTView::ResetScaleView() {
    m_barsLive = false;
    const int half = m_shell.Graph().Layout().Hp() / 2;
    // At the base scale there is nothing to scroll to: no thumb either.
    if (m_hBar) {
        m_hBar->setEnabled(false);
        m_hBar->setRange(0, 0);
        m_hBar->setValue(0);
    }
    for (QScrollBar* b : {m_ch1Bar, m_ch2Bar}) {
        if (!b)
            continue;
        b->setEnabled(false);
        b->setRange(-std::abs(half), std::abs(half));
        b->setValue(0);
    }
    m_incrementalRect = QRect();
    const int top = m_shell.Graph().InfoBarHeight() + 50;
    update(QRect(0, top, width(), std::max(height() - top, 0)));
}

void CDTView::ApplyModeWindows(GraphMode mode) {
    auto* splitter = qobject_cast<QSplitter*>(parentWidget());
    if (!splitter || splitter->count() < 2 || splitter->widget(1) != this)
        return;
    QList<int> sizes = splitter->sizes();
    const int total = sizes.value(0) + sizes.value(1);
    int left = sizes.value(0);
    if (mode == GraphMode::StoreTransient || mode == GraphMode::RealTimeEpa) {
        if (m_shell.InstrumentPaneShown())
            left = mode == GraphMode::StoreTransient ? 210 : 385;
    } else if (left > 150) {
        left = 150;
    }
    if (left != sizes.value(0))
        splitter->setSizes({left, std::max(total - left, 10)});
}

void CDTView::AppendRealTimePoint() {
    GraphModel& g = m_shell.Graph();
    const AppendResult r = g.AppendRealTimePoint(m_graph->Inputs());
    const GraphLayout& l = g.Layout();
    const QRect frame(QPoint(l.frameLeft, l.frameTop), QPoint(l.frameRight - 1, l.frameBottom - 1));
    switch (r.action) {
    case AppendAction::Nothing:
        return;
    case AppendAction::DrawNewest: {
        if (!Fits(m_composed, *this)) {
            RequestRepaint();
            return;
        }
        // The new segment is drawn under the cursor line, not into its inversion.
        const bool cursor = m_cursorShown;
        if (cursor)
            InvertCursorLine(m_cursorX);
        QPainter p(&m_composed);
        p.setClipRect(QRect(QPoint(l.plotLeft, l.plotTop), QPoint(l.plotRight, l.plotBottom)));
        const AppSettings& s = m_shell.Settings();
        QRect changed;
        for (int ch = 0; ch < 2; ++ch) {
            if (!g.ChannelDrawn(s, ch))
                continue;
            DrawSegment(p, g, ch, r.segment, ColourOf(ch == 0 ? s.m_ch1Color : s.m_ch2Color),
                        s.m_showMarkPoints == 1);
        }
        p.end();
        if (cursor)
            InvertCursorLine(m_cursorX);
        changed =
            QRect(QPoint(l.plotLeft - 1, l.plotTop - 1), QPoint(l.plotRight + 1, l.plotBottom + 1));
        m_incrementalRect = changed;
        update(changed);
        return;
    }
    case AppendAction::RepaintAll:
    case AppendAction::RepaintFrame:
    case AppendAction::ScrolledRepaint:
        m_incrementalRect = QRect();
        update(frame);
        return;
    }
}

// ----- the display settings dialogs -----

void CDTView::OpenAxisSetup() {
    CAxisSetupDlg dlg(m_shell, this);
    if (dlg.exec() != QDialog::Accepted)
        return;
    // The new ranges are the base scale; the settings hold them as this mode's.
    m_graph->ResetScale();
    RequestRepaint();
}

void CDTView::OpenColorSetup() {
    CColorSetupDlg dlg(m_shell.Settings(), this);
    if (dlg.exec() == QDialog::Accepted)
        RequestRepaint();
}

void CDTView::OpenViewOptions() {
    CViewOptionsDlg dlg(m_shell.Settings(), this);
    if (dlg.exec() == QDialog::Accepted)
        RequestRepaint();
}

// ----- zoom, scroll and read-out -----

bool CDTView::ComposedCurrent() const {
    return m_graphPainted && Fits(m_composed, *this) && m_shell.Graph().ShowsGraph() &&
           CanZoom(m_shell.Graph());
}

void CDTView::ShowChanged(const QRect& r) {
    m_incrementalRect = m_incrementalRect.isNull() ? r : m_incrementalRect.united(r);
    update(r);
}

void CDTView::InvertCursorLine(int x) {
    const GraphLayout& g = m_shell.Graph().Layout();
    // Dotted: every other pixel from the plot's top to its bottom.
    Inverter inv(m_composed);
    for (int y = g.plotTop; y <= g.plotBottom; y += 2)
        inv.Pixel(x, y);
}

void CDTView::InvertBand(QPoint a, QPoint b) {
    const int x0 = std::min(a.x(), b.x()), x1 = std::max(a.x(), b.x());
    const int y0 = std::min(a.y(), b.y()), y1 = std::max(a.y(), b.y());
    // A one-pixel halftone frame: each frame pixel once, every other one inverted.
    Inverter inv(m_composed);
    auto dot = [&inv](int x, int y) {
        if (((x + y) & 1) == 0)
            inv.Pixel(x, y);
    };
    for (int x = x0; x <= x1; ++x) {
        dot(x, y0);
        if (y1 != y0)
            dot(x, y1);
    }
    for (int y = y0 + 1; y < y1; ++y) {
        dot(x0, y);
        if (x1 != x0)
            dot(x1, y);
    }
}

void CDTView::EraseCursor() {
    if (!m_cursorShown)
        return;
    const GraphLayout& g = m_shell.Graph().Layout();
    InvertCursorLine(m_cursorX);
    m_cursorShown = false;
    ShowChanged(QRect(m_cursorX, g.plotTop, 1, g.Hp() + 1));
}

void CDTView::ShowReadout() {
    GraphModel& m = m_shell.Graph();
    {
        QPainter p(&m_composed);
        PaintReadout(p, m, Options(false).panelGrey);
    }
    ShowChanged(ReadoutStrip(m.Layout()));
}

void CDTView::MoveCursor(QPoint pos) {
    GraphModel& m = m_shell.Graph();
    const GraphLayout& g = m.Layout();
    const int x = pos.x(), y = pos.y();
    const bool inside =
        !(y > g.plotBottom || y < g.plotTop + 1 || x < g.plotLeft || x > g.plotRight);
    if (!inside) {
        EraseCursor();
    } else {
        const QRect line(0, g.plotTop, 1, g.Hp() + 1);
        if (m_cursorShown) {
            InvertCursorLine(m_cursorX);
            ShowChanged(line.translated(m_cursorX, 0));
        }
        m_readoutIndex = NearestPoint(m, x);
        InvertCursorLine(x);
        m_cursorX = x;
        m_cursorShown = true;
        ShowChanged(line.translated(x, 0));
    }
    if (m_readoutIndex >= 0 && m_readoutIndex < m.LastPoint() && g.plotTop + 1 <= y &&
        y <= g.plotBottom) {
        const QString text = ReadoutText(m, m_graph->Inputs(), m_readoutIndex);
        if (text != m.ReadoutText()) {
            m.SetReadoutText(text);
            ShowReadout();
        }
    }
}

void CDTView::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !ComposedCurrent()) {
        QWidget::mousePressEvent(e);
        return;
    }
    const QPoint p = ClampToPlot(m_shell.Graph().Layout(), e->position().toPoint());
    EraseCursor();
    m_dragStart = p;
    m_lastCorner = p;
    m_lastMouse = e->position().toPoint();
    m_dragging = true;
    m_dragUnmoved = true;
    m_bandShown = false;
    m_timers->Start(ViewTimer::DragWatchdog, 10);
}

void CDTView::mouseMoveEvent(QMouseEvent* e) {
    m_lastMouse = e->position().toPoint();
    if (!ComposedCurrent())
        return;
    GraphModel& m = m_shell.Graph();
    if (!m_dragging) {
        MoveCursor(m_lastMouse);
        return;
    }
    const QPoint p = ClampToPlot(m.Layout(), m_lastMouse);
    m.Zoom().SetDragging(true);
    if (p == m_lastCorner && m_bandShown)
        return;
    m_dragUnmoved = false;
    const QRect old = QRect(m_dragStart, m_lastCorner).normalized();
    if (m_bandShown)
        InvertBand(m_dragStart, m_lastCorner);
    InvertBand(m_dragStart, p);
    m_bandShown = true;
    m_lastCorner = p;
    ShowChanged(old.united(QRect(m_dragStart, p).normalized()).adjusted(-1, -1, 1, 1));
}

void CDTView::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !m_dragging) {
        QWidget::mouseReleaseEvent(e);
        return;
    }
    GraphModel& m = m_shell.Graph();
    const QPoint p = ClampToPlot(m.Layout(), e->position().toPoint());
    if (m_bandShown)
        InvertBand(m_dragStart, m_lastCorner);
    m_bandShown = false;
    m_dragging = false;
    m_timers->Kill(ViewTimer::DragWatchdog);
    if (FinishZoomDrag(m, m_dragStart, p, m_dragUnmoved) == ZoomVerdict::Accepted)
        m_barsLive = false;
    m_dragUnmoved = true;
    m.Zoom().SetDragging(false);
    RequestRepaint();
}

void CDTView::CancelDrag() {
    GraphModel& m = m_shell.Graph();
    m.Zoom().SetPending(false);
    m.Zoom().SetDragging(false);
    m_dragging = false;
    m_dragUnmoved = true;
    m_bandShown = false;
    m_timers->Kill(ViewTimer::DragWatchdog);
    RequestRepaint();
}

void CDTView::SetUpZoomedBars() {
    GraphModel& m = m_shell.Graph();
    if (!m_hBar || !m.Zoom().ScrollSetupDone())
        return;
    m_barsLive = true;
    const HorizontalScroll h = HorizontalScrollOf(m);
    m_hBar->setRange(0, h.maximum);
    m_hBar->setPageStep(std::max(HorizontalPage(m), 1));
    m_hBar->setSingleStep(1);
    m_hBar->setValue(h.position);
    m_hBar->setEnabled(h.enabled);
    const int half = VerticalHalfRange(m);
    for (QScrollBar* b : {m_ch1Bar, m_ch2Bar}) {
        b->setRange(-half, half);
        b->setPageStep(std::max(half, 1));
        b->setValue(0);
        b->setEnabled(half > 0);
    }
}

void CDTView::OnHorizontalAction(int action) {
    GraphModel& m = m_shell.Graph();
    if (!m.Zoom().Zoomed())
        return;
    const int32_t p = ScrollHorizontally(m, CodeOf(action), m_hBar->sliderPosition(),
                                         mapFromGlobal(QCursor::pos()).x());
    m_hBar->setSliderPosition(p);
    RequestRepaint();
}

void CDTView::OnVerticalAction(int ch, QScrollBar* bar, int action) {
    GraphModel& m = m_shell.Graph();
    if (!m.Zoom().Zoomed())
        return;
    bar->setSliderPosition(ScrollVertically(m, ch, CodeOf(action), bar->sliderPosition()));
    RequestRepaint();
}

void CDTView::wheelEvent(QWheelEvent* e) {
    GraphModel& m = m_shell.Graph();
    if (!m.Zoom().Zoomed() || !m_hBar) {
        QWidget::wheelEvent(e);
        return;
    }
    // A wheel turned away from the user, or pushed left, goes back in time.
    const QPoint d = e->angleDelta();
    const int delta = d.y() != 0 ? d.y() : d.x();
    if (delta == 0)
        return;
    const int steps = std::max(std::abs(delta) / 120, 1);
    const ScrollCode code = delta > 0 ? ScrollCode::LineLeft : ScrollCode::LineRight;
    int32_t p = HorizontalPosition(m);
    for (int i = 0; i < steps; ++i)
        p = ScrollHorizontally(m, code, 0, 0);
    m_hBar->setValue(p);
    e->accept();
    RequestRepaint();
}

void CDTView::mouseDoubleClickEvent(QMouseEvent* e) {
    GraphModel& m = m_shell.Graph();
    if (e->button() != Qt::LeftButton || m.Mode() == GraphMode::RealTimeEpa ||
        !m_graph->CanOpenSampleWaveform()) {
        QWidget::mouseDoubleClickEvent(e);
        return;
    }
    // The point under the read-out: the one nearest the click.
    const QPoint p = ClampToPlot(m.Layout(), e->position().toPoint());
    const int64_t n = NearestPoint(m, p.x());
    if (n >= 0 && m_graph->OpenSampleWaveform(int(n))) {
        EraseCursor();
        RequestRepaint();
    }
    e->accept();
}

bool CDTView::SampleKey(int key) {
    if (!m_graph->CanOpenSampleWaveform())
        return false;
    const bool epa = m_shell.Graph().Mode() == GraphMode::RealTimeEpa;
    bool shown = false;
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        shown = !epa && m_readoutIndex >= 0 && m_graph->OpenSampleWaveform(int(m_readoutIndex));
        break;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        shown = epa && m_graph->StepSampleWaveform(key == Qt::Key_PageUp ? -1 : +1);
        break;
    case Qt::Key_Home:
    case Qt::Key_End:
        shown = epa && m_graph->OpenEdgeSampleWaveform(key == Qt::Key_End);
        break;
    default:
        return false;
    }
    if (shown)
        RequestRepaint();
    return true;
}

void CDTView::keyPressEvent(QKeyEvent* e) {
    if (SampleKey(e->key())) {
        e->accept();
        return;
    }
    if (e->key() != Qt::Key_Escape) {
        QWidget::keyPressEvent(e);
        return;
    }
    if (m_dragging)
        CancelDrag();
    if (m_shell.Graph().Zoom().Zoomed())
        m_shell.Execute(ViewCmd::ZoomOut);
}
