#pragma once
// The information bar along the top of the graph view: mode, sampling rate, start
// time, number of points and the extremes of each channel (120 pixels), or only
// the time of the record shown (25 pixels, waveform modes). It paints the texts
// the graph modes keep in the graph model.

#include "graph/GraphModel.h"

#include <QFont>
#include <QWidget>

class QScrollBar;

class CRecInfoDlg : public QWidget {
    Q_OBJECT
public:
    CRecInfoDlg(const GraphModel& model, QWidget* parent = nullptr);

    static const QColor& Fill();
    static QFont TextFont();
    static QFont TitleFont();
    // Label strings; their blanks leave room for the values drawn over them.
    static QString ModeLabel();
    static QString StartLabel();
    // The first extremes row's label: CH1's, or the one trace's of S(VA), P(W), PF.
    static QString Ch1Label(GraphMode mode);
    static QString Ch2Label();
    static QString EnergyLabel();

    // Where one line of the 120-pixel form puts its texts: the label's first
    // half at `headX`, the first value, the label's second half, the second value.
    // The values keep their drawn positions unless a text would run into the next.
    struct RowPositions {
        QString head, tail;
        int headX = 0, firstX = 0, tailX = 0, secondX = 0;
    };
    static RowPositions LayoutRow(const QFont& font, const QString& label, int x,
                                  const QString& first, int firstX, const QString& second,
                                  int secondX);

    // Scroll codes of the vertical bar.
    enum class Scroll { LineUp, LineDown, PageUp, PageDown, ThumbTrack, Other };
    void OnVScroll(Scroll code, int thumb = 0);
    int ScrollOffset() const { return m_offset; }
    QScrollBar* VerticalBar() const { return m_bar; }
    // Width of the area the texts are painted in (without the scroll bar).
    int ClientWidth() const;

    // Paints the bar's content for a client area of `width` x `height`.
    static void Paint(QPainter& p, const GraphModel& model, int width, int height, int offset);

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;

private:
    const GraphModel& m_model;
    QScrollBar* m_bar = nullptr;
    int m_offset = 0;
};
