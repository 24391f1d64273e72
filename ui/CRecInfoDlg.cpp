#include "ui/CRecInfoDlg.h"

#include "base/Fonts.h"
#include "graph/GraphModel.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QScrollBar>

#include <cmath>

namespace {

void TextAt(QPainter& p, int x, int y, const QString& text) {
    p.drawText(QPoint(x, y + p.fontMetrics().ascent()), text);
}

QString Blanks(int n) {
    return QString(n, QLatin1Char(' '));
}

} // namespace

CRecInfoDlg::RowPositions CRecInfoDlg::LayoutRow(const QFont& font, const QString& label, int x,
                                                 const QString& first, int firstX,
                                                 const QString& /*second*/, int secondX) {
    const QFontMetricsF fm(font);
    const qreal gap = fm.horizontalAdvance(QStringLiteral("  "));
    RowPositions r;
    const qsizetype gapStart = label.indexOf(QStringLiteral("  "));
    qsizetype gapEnd = gapStart < 0 ? label.size() : gapStart;
    while (gapEnd < label.size() && label[gapEnd] == QLatin1Char(' '))
        ++gapEnd;
    r.head = label.left(gapStart < 0 ? label.size() : gapStart);
    r.tail = label.mid(gapEnd);
    r.headX = x;
    const qreal headEnd = x + fm.horizontalAdvance(r.head);
    // The values stand where they were drawn, unless a wider face than the one
    // the screen was drawn with would make a text run into the next one: then
    // the next one moves right, keeping a gap of two blanks.
    qreal firstAt = std::max<qreal>(firstX, headEnd + (first.isEmpty() ? 0 : gap));
    const qreal firstEnd = firstAt + fm.horizontalAdvance(first);
    const qreal tailWidth = fm.horizontalAdvance(r.tail);
    // The blanks were sized for Arial (0.278 em each); with another face the
    // second label goes where Arial's blanks would put it, ahead of its value.
    const qreal blank = font.pixelSize() * 0.2778;
    const qsizetype blanks = gapStart < 0 ? 0 : gapEnd - gapStart;
    qreal tailAt = std::min<qreal>(headEnd + blank * qreal(blanks), secondX - tailWidth - gap);
    tailAt = std::max(tailAt, first.isEmpty() ? headEnd + gap : firstEnd + gap);
    const qreal secondAt = std::max<qreal>(secondX, tailAt + tailWidth + gap);
    r.firstX = int(std::lround(firstAt));
    r.tailX = int(std::lround(tailAt));
    r.secondX = int(std::lround(secondAt));
    return r;
}

namespace {

// One line of the 120-pixel form: label with its two halves and the two values.
void Row(QPainter& p, int y, const QString& label, const QString& first, int firstX,
         const QString& second, int secondX) {
    const CRecInfoDlg::RowPositions r =
        CRecInfoDlg::LayoutRow(p.font(), label, 50, first, firstX, second, secondX);
    TextAt(p, r.headX, y, r.head);
    TextAt(p, r.firstX, y, first);
    TextAt(p, r.tailX, y, r.tail);
    TextAt(p, r.secondX, y, second);
}

} // namespace

CRecInfoDlg::CRecInfoDlg(const GraphModel& model, QWidget* parent)
    : QWidget(parent), m_model(model) {
    setObjectName(QStringLiteral("recInfo"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_bar = new QScrollBar(Qt::Vertical, this);
    m_bar->setObjectName(QStringLiteral("recInfoScroll"));
    // The content always fits: the bar is shown, without range, disabled.
    m_bar->setRange(0, 0);
    m_bar->setPageStep(2);
    m_bar->setEnabled(false);
    connect(m_bar, &QScrollBar::actionTriggered, this, [this](int action) {
        switch (action) {
        case QAbstractSlider::SliderSingleStepSub:
            OnVScroll(Scroll::LineUp);
            break;
        case QAbstractSlider::SliderSingleStepAdd:
            OnVScroll(Scroll::LineDown);
            break;
        case QAbstractSlider::SliderPageStepSub:
            OnVScroll(Scroll::PageUp);
            break;
        case QAbstractSlider::SliderPageStepAdd:
            OnVScroll(Scroll::PageDown);
            break;
        case QAbstractSlider::SliderMove:
            OnVScroll(Scroll::ThumbTrack, m_bar->sliderPosition());
            break;
        default:
            OnVScroll(Scroll::Other);
            break;
        }
    });
}

const QColor& CRecInfoDlg::Fill() {
    static const QColor c(230, 230, 230);
    return c;
}

QFont CRecInfoDlg::TextFont() {
    static const QFont font = DescribedFont(QStringLiteral("Arial"), -14, 0, 100);
    return font;
}

QFont CRecInfoDlg::TitleFont() {
    static const QFont font = DescribedFont(QStringLiteral("Arial black"), -12, 0, 100);
    return font;
}

QString CRecInfoDlg::ModeLabel() {
    return QStringLiteral(" MODE:") + Blanks(57) + QStringLiteral("SAMPLING RATE:");
}
QString CRecInfoDlg::StartLabel() {
    return QStringLiteral(" STARTTIME:") + Blanks(48) + QStringLiteral("DATANO:");
}
QString CRecInfoDlg::Ch1Label(GraphMode mode) {
    switch (mode) {
    case GraphMode::RealTimeApparentPower:
        return QStringLiteral(" S MAX:") + Blanks(57) + QStringLiteral("S MIN:");
    case GraphMode::RealTimeActivePower:
        return QStringLiteral(" P MAX:") + Blanks(57) + QStringLiteral("P MIN:");
    case GraphMode::RealTimePowerFactor:
        return QStringLiteral(" PF MAX:") + Blanks(55) + QStringLiteral("PF MIN:");
    default:
        return QStringLiteral(" CH1 MAX:") + Blanks(53) + QStringLiteral("CH1 MIN:");
    }
}

QString CRecInfoDlg::EnergyLabel() {
    return QStringLiteral(" ENERGY:");
}
QString CRecInfoDlg::Ch2Label() {
    return QStringLiteral(" CH2 MAX:") + Blanks(53) + QStringLiteral("CH2 MIN:");
}

int CRecInfoDlg::ClientWidth() const {
    return std::max(0, width() - m_bar->width());
}

void CRecInfoDlg::OnVScroll(Scroll code, int thumb) {
    const int maximum = m_bar->maximum();
    switch (code) {
    case Scroll::LineUp:
        if (m_offset >= 20)
            m_offset -= 20;
        break;
    case Scroll::LineDown:
        if (maximum >= m_offset)
            m_offset += 20;
        break;
    case Scroll::PageUp:
        m_offset = 0;
        break;
    case Scroll::PageDown:
        m_offset = maximum;
        break;
    case Scroll::ThumbTrack:
        m_offset = thumb;
        break;
    case Scroll::Other:
        break;
    }
    m_bar->setValue(m_offset);
    update();
}

void CRecInfoDlg::Paint(QPainter& p, const GraphModel& m, int width, int height, int s) {
    p.fillRect(QRect(0, 0, width, height), Fill());
    p.setPen(Qt::black);
    const RecInfo& r = m.Info();
    if (IsWaveformMode(m.Mode())) {
        p.setFont(TitleFont());
        TextAt(p, width / 2 - 4 * int(r.start.size()), 0, r.start);
        return;
    }
    p.setFont(TextFont());
    Row(p, 25 - s, ModeLabel(), r.title, 150, r.rate, 490);
    p.drawLine(0, 40 - s, width, 40 - s);
    Row(p, 45 - s, StartLabel(), r.start, 150, r.count, 425);
    const bool power = IsSingleTraceMode(m.Mode());
    if (m.ChannelPresent(0) == 1)
        Row(p, 65 - s, Ch1Label(m.Mode()), r.ch1Max, 125, r.ch1Min, 400);
    if (m.ChannelPresent(1) == 1 && !power)
        Row(p, 85 - s, Ch2Label(), r.ch2Max, 125, r.ch2Min, 400);
    // The P(W) graph's second row holds the run's energy so far.
    if (m.Mode() == GraphMode::RealTimeActivePower && !r.energy.isEmpty())
        Row(p, 85 - s, EnergyLabel(), r.energy, 125, QString(), 400);
    // The title band stays in place while the content scrolls.
    p.fillRect(QRect(0, 0, width, 20), Fill());
    p.setFont(TitleFont());
    TextAt(p, width / 2 - 60, 0, QStringLiteral(" REC INFO "));
    p.drawLine(0, 19, width, 19);
    p.drawLine(0, 20, width, 20);
}

void CRecInfoDlg::paintEvent(QPaintEvent*) {
    QPainter p(this);
    Paint(p, m_model, ClientWidth(), height(), m_offset);
}

void CRecInfoDlg::resizeEvent(QResizeEvent*) {
    const int w = m_bar->sizeHint().width();
    m_bar->setGeometry(width() - w, 0, w, height());
}
