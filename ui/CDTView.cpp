#include "ui/CDTView.h"

#include "base/Timers.h"
#include "shell/AppShell.h"
#include "ui/CButtonBar.h"
#include "ui/CRecInfoDlg.h"

#include <QAction>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSplitter>
#include <QToolBar>
#include <QToolButton>

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

} // namespace

CDTView::CDTView(AppShell& shell, QWidget* parent, TimerTable* timers)
    : QWidget(parent), m_shell(shell) {
    setObjectName(QStringLiteral("graphView"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumWidth(10);
    if (!timers) {
        m_ownTimers = std::make_unique<QtTimerTable>();
        timers = m_ownTimers.get();
    }
    m_timers = timers;
    m_timers->SetHandler([this](int id) { OnViewTimer(id); });

    m_graph = std::make_unique<GraphController>(shell);
    m_graph->onRepaint = [this] {
        if (m_infoBar)
            m_infoBar->update();
        RequestRepaint();
    };
    m_graph->onInfoBar = [this] {
        if (m_infoBar)
            m_infoBar->update();
    };
    m_graph->onModeWindows = [this](GraphMode mode) { ApplyModeWindows(mode); };
    m_graph->onScaleReset = [this] { ResetScaleView(); };
    shell.onAppendRealTimePoint = [this] { AppendRealTimePoint(); };
    std::weak_ptr<bool> alive = m_alive;
    shell.AddViewListener([this, alive] {
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
    m_shell.onAppendRealTimePoint = nullptr;
    m_timers->SetHandler({});
    m_timers->Kill(ViewTimer::ResizeRepaint);
    m_timers->Kill(ViewTimer::FirstPaintReset);
}

RenderOptions CDTView::Options(bool printing) const {
    RenderOptions o;
    o.panelGrey = palette().color(QPalette::Button);
    o.printing = printing;
    return o;
}

void CDTView::RenderGraph(QPainter& p, QSize size, bool printing) {
    GraphModel& m = m_shell.m_graph;
    const GraphInputs in = m_graph->Inputs();
    m.PrepareFrame(size.width(), size.height(), in);
    m.FramePainted(PaintGraph(p, m, in, Options(printing)));
}

void CDTView::RequestRepaint() {
    m_incrementalRect = QRect();
    update();
}

void CDTView::paintEvent(QPaintEvent* e) {
    QPainter p(this);
    GraphModel& g = m_shell.m_graph;
    if (g.DisplayContent() == GraphModel::kContentNone) {
        PaintWelcome(p, rect());
        PlaceButtonBar();
        for (QWidget* w : {static_cast<QWidget*>(m_infoBar), static_cast<QWidget*>(m_hBar),
                           static_cast<QWidget*>(m_ch1Bar), static_cast<QWidget*>(m_ch2Bar),
                           static_cast<QWidget*>(m_toolBar)})
            if (w)
                w->hide();
        g.Zoom().SetPending(false);
        m_shell.m_set.m_modeFromFile = 0;
        return;
    }
    // Only the newest real-time segment changed: the composed image has it.
    if (!m_incrementalRect.isNull() && m_incrementalRect.contains(e->rect()) &&
        Fits(m_composed, *this)) {
        const qreal dpr = m_composed.devicePixelRatio();
        const QRect r = e->rect();
        p.drawImage(QRectF(r), m_composed,
                    QRectF(r.x() * dpr, r.y() * dpr, r.width() * dpr, r.height() * dpr));
        m_incrementalRect = QRect();
        return;
    }
    m_incrementalRect = QRect();
    if (!m_graphPainted && g.DisplayContent() == GraphModel::kContentGraph) {
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
}

void CDTView::resizeEvent(QResizeEvent*) {
    if (m_buttonBar)
        PlaceButtonBar();
    const int cx = width(), cy = height();
    const int H = m_shell.m_graph.InfoBarHeight();
    if (m_hBar)
        m_hBar->setGeometry(100, cy - 75, std::max(cx - 200, 0), 20);
    if (m_ch1Bar)
        m_ch1Bar->setGeometry(20, H + 70, 20, std::max(cy - H - 175, 0));
    if (m_ch2Bar)
        m_ch2Bar->setGeometry(cx - 40, H + 70, 20, std::max(cy - H - 175, 0));
    if (m_toolBar)
        m_toolBar->setGeometry(20, H + 30, std::max(cx - 40, 0), 35);
    if (m_infoBar)
        m_infoBar->setGeometry(0, 0, cx, H);
    m_timers->Start(ViewTimer::ResizeRepaint, 50);
}

void CDTView::focusInEvent(QFocusEvent* e) {
    QWidget::focusInEvent(e);
    if (m_shell.m_graph.DisplayContent() == GraphModel::kContentNone)
        return;
    const GraphLayout& l = m_shell.m_graph.Layout();
    m_incrementalRect = QRect();
    update(QRect(QPoint(l.frameLeft, l.frameTop), QPoint(l.frameRight - 1, l.frameBottom - 1)));
}

void CDTView::OnViewTimer(int id) {
    switch (id) {
    case ViewTimer::ResizeRepaint: {
        m_timers->Kill(id);
        const GraphLayout& g = m_shell.m_graph.Layout();
        m_incrementalRect = QRect();
        update(QRect(QPoint(g.plotLeft, g.plotTop), QPoint(g.plotRight, g.plotBottom)));
        break;
    }
    case ViewTimer::FirstPaintReset:
        m_timers->Kill(id);
        m_graph->ResetScale();
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
    m_buttonBar->move(0, (height() - CButtonBar::kHeight) / 2);
}

void CDTView::EnsureChildren() {
    if (!m_infoBar)
        m_infoBar = new CRecInfoDlg(m_shell.m_graph, this);
    auto bar = [this](Qt::Orientation o, const char* name) {
        auto* b = new QScrollBar(o, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setEnabled(false);
        b->setRange(0, 0);
        return b;
    };
    if (!m_hBar)
        m_hBar = bar(Qt::Horizontal, "scroll100");
    if (!m_ch1Bar)
        m_ch1Bar = bar(Qt::Vertical, "scroll102");
    if (!m_ch2Bar)
        m_ch2Bar = bar(Qt::Vertical, "scroll101");
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
        }
    }
}

void CDTView::PlaceChildren() {
    const GraphModel& m = m_shell.m_graph;
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
    const int half = m_shell.m_graph.Layout().Hp() / 2;
    if (m_hBar)
        m_hBar->setEnabled(false);
    for (QScrollBar* b : {m_ch1Bar, m_ch2Bar}) {
        if (!b)
            continue;
        b->setEnabled(false);
        b->setRange(-std::abs(half), std::abs(half));
        b->setValue(0);
    }
    m_incrementalRect = QRect();
    const int top = m_shell.m_graph.InfoBarHeight() + 50;
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
        if (m_shell.m_instrumentPaneShown == 1)
            left = mode == GraphMode::StoreTransient ? 210 : 385;
    } else if (left > 150) {
        left = 150;
    }
    if (left != sizes.value(0))
        splitter->setSizes({left, std::max(total - left, 10)});
}

void CDTView::AppendRealTimePoint() {
    GraphModel& g = m_shell.m_graph;
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
        QPainter p(&m_composed);
        p.setClipRect(QRect(QPoint(l.plotLeft, l.plotTop), QPoint(l.plotRight, l.plotBottom)));
        const AppSettings& s = m_shell.m_settings;
        QRect changed;
        for (int ch = 0; ch < 2; ++ch) {
            if (!g.ChannelDrawn(s, ch))
                continue;
            DrawSegment(p, g, ch, r.segment, ColourOf(ch == 0 ? s.m_ch1Color : s.m_ch2Color),
                        s.m_showMarkPoints == 1);
        }
        p.end();
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
