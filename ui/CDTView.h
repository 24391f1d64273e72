#pragma once
// The graph view: the right-hand pane of the main window. Before any data is
// loaded it shows the welcome screen with the button bar; afterwards the graph,
// composed off screen and copied in one step, with the information bar above it,
// three scroll bars and its own tool bar.

#include "graph/GraphRenderer.h"
#include "shell/GraphController.h"

#include <QImage>
#include <QWidget>

#include <memory>

class AppShell;
class CButtonBar;
class CRecInfoDlg;
class QScrollBar;
class QToolBar;
class TimerTable;

class CDTView : public QWidget {
    Q_OBJECT
public:
    // Without `timers` the view runs its timers on Qt timers.
    CDTView(AppShell& shell, QWidget* parent = nullptr, TimerTable* timers = nullptr);
    ~CDTView() override;
    AppShell& Shell() { return m_shell; }
    GraphController& Graph() { return *m_graph; }

    // Paints the welcome screen of a client area of the given size.
    static void PaintWelcome(QPainter& p, const QRect& client) { ::PaintWelcome(p, client); }

    // Paints the whole graph as the screen shows it onto any painter (printing).
    void RenderGraph(QPainter& p, QSize size, bool printing);
    // The graph as File > Export > Graph as Image writes it: the view's size, the
    // information bar at its top as the window shows it (from its first line), and
    // no read-out of the mouse.
    QImage ExportImage();
    // The last composed image of the graph.
    const QImage& Composed() const { return m_composed; }
    // After a real-time sample was stored: draws the newest segment, or repaints.
    void AppendRealTimePoint();

    CRecInfoDlg* InfoBar() const { return m_infoBar; }
    QScrollBar* HorizontalBar() const { return m_hBar; }
    QScrollBar* Ch1Bar() const { return m_ch1Bar; }
    QScrollBar* Ch2Bar() const { return m_ch2Bar; }
    QToolBar* ViewToolBar() const { return m_toolBar; }
    TimerTable& ViewTimers() { return *m_timers; }
    // Whole graph recomposed on the next paint.
    void RequestRepaint();
    void OnViewTimer(int id);

    // Whether the dotted cursor line is drawn on the composed image now.
    bool CursorShown() const { return m_cursorShown; }
    // Whether a rubber band is being dragged.
    bool DraggingBand() const { return m_dragging; }

    // The view tool bar's three dialogs, run modally; OK repaints the graph with
    // the new choices.
    void OpenAxisSetup();
    void OpenColorSetup();
    void OpenViewOptions();

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void focusInEvent(QFocusEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void mouseDoubleClickEvent(QMouseEvent*) override;
    void wheelEvent(QWheelEvent*) override;
    void keyPressEvent(QKeyEvent*) override;

private:
    void PlaceButtonBar();
    void EnsureChildren();
    void PlaceChildren();
    void ApplyModeWindows(GraphMode mode);
    void ResetScaleView();
    void UpdateToolBar();
    RenderOptions Options(bool printing) const;
    // Parts of the composed image changed in place and copied to the screen alone.
    void ShowChanged(const QRect& r);
    void InvertCursorLine(int x);
    void InvertBand(QPoint a, QPoint b);
    void MoveCursor(QPoint pos);
    void EraseCursor();
    void ShowReadout();
    void CancelDrag();
    // Enter, PageUp/PageDown, Home/End on the kept waveforms of a run.
    bool SampleKey(int key);
    void SetUpZoomedBars();
    void OnHorizontalAction(int action);
    void OnVerticalAction(int ch, QScrollBar* bar, int action);
    bool ComposedCurrent() const;

    AppShell& m_shell;
    std::unique_ptr<TimerTable> m_ownTimers;
    TimerTable* m_timers = nullptr;
    std::unique_ptr<GraphController> m_graph;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    CButtonBar* m_buttonBar = nullptr;
    CRecInfoDlg* m_infoBar = nullptr;
    QScrollBar* m_hBar = nullptr;
    QScrollBar* m_ch1Bar = nullptr;
    QScrollBar* m_ch2Bar = nullptr;
    QToolBar* m_toolBar = nullptr;
    QImage m_composed;
    QRect m_incrementalRect; // area the last incremental draw changed
    bool m_graphPainted = false;
    // Rubber band: where it began, its last corner, whether it moved and whether
    // it is drawn; the last cursor position the drag watchdog checks.
    bool m_dragging = false;
    bool m_dragUnmoved = true;
    bool m_bandShown = false;
    QPoint m_dragStart;
    QPoint m_lastCorner;
    QPoint m_lastMouse;
    // Cursor line and read-out.
    bool m_cursorShown = false;
    int m_cursorX = 0;
    int64_t m_readoutIndex = -1;
    // The bars were set up for the present zoom.
    bool m_barsLive = false;
};
