#include "ui/CRecInfoDlg.h"

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

// A label whose blanks place its second half. The blanks were sized for Arial
// (0.278 em each); with a wider substitute face the second half is drawn where
// Arial's blanks would put it, and never onto the value drawn at `valueX`.
void Label(QPainter& p, int x, int y, const QString& label, int valueX) {
    const qsizetype gapStart = label.indexOf(QStringLiteral("  "));
    if (gapStart < 0) {
        TextAt(p, x, y, label);
        return;
    }
    qsizetype gapEnd = gapStart;
    while (gapEnd < label.size() && label[gapEnd] == QLatin1Char(' '))
        ++gapEnd;
    const QString head = label.left(gapStart);
    const QString tail = label.mid(gapEnd);
    const QFontMetricsF fm(p.font());
    const qreal blank = p.font().pixelSize() * 0.2778;
    qreal tailX = x + fm.horizontalAdvance(head) + blank * qreal(gapEnd - gapStart);
    tailX = std::min(tailX, valueX - fm.horizontalAdvance(tail) - 4);
    TextAt(p, x, y, head);
    TextAt(p, int(std::lround(tailX)), y, tail);
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
    static const QFont font = [] {
        QFont f;
        f.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                       QStringLiteral("DejaVu Sans")});
        f.setPixelSize(14);
        f.setWeight(QFont::Thin);
        f.setStyleHint(QFont::SansSerif);
        return f;
    }();
    return font;
}

QFont CRecInfoDlg::TitleFont() {
    QFont f;
    f.setFamilies({QStringLiteral("Arial Black"), QStringLiteral("Arial"),
                   QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    f.setPixelSize(12);
    f.setWeight(QFont::Thin);
    f.setStyleHint(QFont::SansSerif);
    return f;
}

QString CRecInfoDlg::ModeLabel() {
    return QStringLiteral(" MODE:") + Blanks(57) + QStringLiteral("SAMPLING RATE:");
}
QString CRecInfoDlg::StartLabel() {
    return QStringLiteral(" STARTTIME:") + Blanks(48) + QStringLiteral("DATANO:");
}
QString CRecInfoDlg::Ch1Label(bool apparentPower) {
    return apparentPower ? QStringLiteral(" S MAX:") + Blanks(57) + QStringLiteral("S MIN:")
                         : QStringLiteral(" CH1 MAX:") + Blanks(53) + QStringLiteral("CH1 MIN:");
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
    Label(p, 50, 25 - s, ModeLabel(), 490);
    TextAt(p, 150, 25 - s, r.title);
    TextAt(p, 490, 25 - s, r.rate);
    p.drawLine(0, 40 - s, width, 40 - s);
    Label(p, 50, 45 - s, StartLabel(), 425);
    TextAt(p, 150, 45 - s, r.start);
    TextAt(p, 425, 45 - s, r.count);
    const bool power = m.Mode() == GraphMode::RealTimeApparentPower;
    if (m.ChannelPresent(0) == 1) {
        Label(p, 50, 65 - s, Ch1Label(power), 400);
        TextAt(p, 125, 65 - s, r.ch1Max);
        TextAt(p, 400, 65 - s, r.ch1Min);
    }
    if (m.ChannelPresent(1) == 1 && !power) {
        Label(p, 50, 85 - s, Ch2Label(), 400);
        TextAt(p, 125, 85 - s, r.ch2Max);
        TextAt(p, 400, 85 - s, r.ch2Min);
    }
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
