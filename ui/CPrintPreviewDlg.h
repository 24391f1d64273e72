#pragma once
// The print preview: one page of a report at a time, painted when it is shown.
// Qt's own preview dialog paints every page of the job before it shows the first,
// which takes far too long for a list report of a full logger memory (thousands of
// pages); this one costs the same for a one-page report and a 4,370-page one.

#include "graph/Report.h"

#include <QDialog>
#include <QImage>

class CNumericEdit;
class QLabel;
class QPrinter;
class QScrollArea;
class QToolButton;

class CPrintPreviewDlg : public QDialog {
    Q_OBJECT
public:
    CPrintPreviewDlg(QPrinter& printer, ReportPages pages, QWidget* parent = nullptr);

    int Page() const { return m_page; }
    int PageCount() const { return m_pages.count; }
    void ShowPage(int page);
    void SetZoom(double zoom);
    // The page as shown (painted on demand).
    const QImage& PageImage() const { return m_image; }
    // Paints page `page` of the report onto an image of the whole sheet, `scale`
    // image pixels per printer pixel.
    static QImage RenderPage(const QPrinter& printer, const ReportPages& pages, int page,
                             double scale);

    // The place of a window of client size `wanted` whose frame (title bar and
    // borders, `frame`) lies whole inside `available`, centred there; the client
    // shrinks when the screen is smaller.
    static QRect FitInside(const QRect& available, QSize wanted, const QMargins& frame);

signals:
    void printRequested(); // the Print button

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void Render();
    double FitScale() const;

    QPrinter& m_printer;
    ReportPages m_pages;
    int m_page = 1;
    double m_zoom = 1.0;
    QImage m_image;
    QSize m_renderedFor; // viewport size the page was fitted to
    QScrollArea* m_scroll = nullptr;
    QLabel* m_sheet = nullptr;
    CNumericEdit* m_pageEdit = nullptr;
    QLabel* m_pageOf = nullptr;
    QToolButton* m_prev = nullptr;
    QToolButton* m_next = nullptr;
};
