#include "ui/CPowerAnalysisDlg.h"

#include "shell/GraphController.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kEmptyPaneWidth = 385;
const QColor kFace(230, 230, 230);
const QColor kValueText(52, 72, 107);

QFont ValueFont() {
    QFont f(QStringLiteral("Arial Black"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(35);
    f.setWeight(QFont::Thin);
    return f;
}

// The rows below S(VA) are many: the same face, smaller, so that they fit the pane.
QFont RowFont() {
    QFont f = ValueFont();
    f.setPixelSize(20);
    return f;
}

QLineEdit* ValueField(QWidget* parent, const char* name, const QPalette& pal, const QFont& font) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setReadOnly(true);
    e->setFocusPolicy(Qt::NoFocus);
    e->setFont(font);
    e->setPalette(pal);
    e->setAlignment(Qt::AlignCenter);
    return e;
}

} // namespace

CPowerAnalysisDlg::CPowerAnalysisDlg(GraphController& graph, QWidget* graphView, QWidget* parent)
    : QDialog(parent, Qt::Tool), m_graph(graph), m_view(graphView) {
    setObjectName(QStringLiteral("powerAnalysisDlg"));
    setWindowTitle(QStringLiteral("Electric Power Analysis"));
    setModal(false);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kFace);
    pal.setColor(QPalette::Base, kFace);
    pal.setColor(QPalette::Text, kValueText);
    setPalette(pal);
    setAutoFillBackground(true);
    QFont face(QStringLiteral("Arial Black"));
    face.setPointSize(9);

    auto field = [&](const char* name) {
        QLineEdit* e = ValueField(this, name, pal, ValueFont());
        e->setMinimumSize(150, 48);
        return e;
    };
    auto group = [&](const QString& title, const QString& label, QLineEdit* value) {
        auto* g = new QGroupBox(title, this);
        g->setFont(face);
        auto* l = new QVBoxLayout(g);
        auto* name = new QLabel(label, g);
        l->addWidget(name);
        l->addWidget(value);
        return g;
    };
    m_ch1Rms = field("ch1Rms");
    m_ch2Rms = field("ch2Rms");
    m_power = field("apparentPower");

    auto* outer = new QGroupBox(QStringLiteral("BASIC POWER  ANALYSIS"), this);
    outer->setFont(face);
    auto* ol = new QVBoxLayout(outer);
    ol->addWidget(group(QStringLiteral("CH1"), QStringLiteral("RMS"), m_ch1Rms));
    ol->addWidget(group(QStringLiteral("CH2"), QStringLiteral("RMS"), m_ch2Rms));
    ol->addWidget(group(QStringLiteral("POWER FACTOR ANALYSIS"), QStringLiteral("S(VA)"), m_power));
    ol->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(outer);
    layout->addWidget(PowerRows(pal, face));
    // Spare height stays below the rows, which keep to their values' size.
    layout->addStretch(1);
    Refresh();
}

QWidget* CPowerAnalysisDlg::PowerRows(const QPalette& pal, const QFont& face) {
    auto* g = new QGroupBox(QStringLiteral("POWER ANALYSIS"), this);
    g->setFont(face);
    auto* grid = new QGridLayout(g);
    int row = 0;
    auto add = [&](const QString& label, const char* name) {
        auto* l = new QLabel(label, g);
        grid->addWidget(l, row, 0);
        QLineEdit* e = ValueField(g, name, pal, RowFont());
        e->setMinimumSize(120, 30);
        grid->addWidget(e, row, 1);
        ++row;
        return e;
    };
    m_p = add(QStringLiteral("P(W)"), "activePower");
    m_q = add(QStringLiteral("Q(var)"), "reactivePower");
    m_pf = add(QStringLiteral("PF"), "powerFactor");
    m_phi = add(QStringLiteral("\u03c6(\u00b0)"), "phaseAngle");
    m_thd1 = add(QStringLiteral("CH1 THD(%)"), "ch1Thd");
    m_thd2 = add(QStringLiteral("CH2 THD(%)"), "ch2Thd");
    // The run's energy so far, below the figures of the sample on show.
    m_activeEnergy = add(QStringLiteral("E(Wh)"), "activeEnergy");
    m_apparentEnergy = add(QStringLiteral("E(VAh)"), "apparentEnergy");
    grid->setColumnStretch(1, 1);
    return g;
}

void CPowerAnalysisDlg::Show(const QRect& paneRect) {
    if (m_open)
        return;
    QRect r = paneRect;
    if (r.width() <= 0)
        r.setWidth(kEmptyPaneWidth);
    m_open = true;
    m_graph.SetEpaPanelOpen(true);
    Refresh();
    resize(r.size());
    // The window manager adds its frame only once the window is mapped, which may
    // take longer than the first paint: until then the title bar would land over
    // whatever lies above the pane. Placed again as soon as the frame is known.
    m_pane = r;
    m_framePending = true;
    show();
    Place(r);
    PlaceOnceFramed();
    // A window manager that reports the frame without moving the window sends no
    // event for it: looked at again a few times while it settles.
    for (const int ms : {50, 200, 600}) {
        QTimer::singleShot(ms, this, [this, r] {
            if (m_open)
                Place(r);
        });
    }
}

void CPowerAnalysisDlg::PlaceOnceFramed() {
    if (!m_framePending || !m_open || frameGeometry().size() == size())
        return;
    m_framePending = false;
    Place(m_pane);
}

void CPowerAnalysisDlg::Place(const QRect& r) {
    // The whole window, title bar included, covers the pane and nothing beside it.
    const int decoW = frameGeometry().width() - width();
    const int decoH = frameGeometry().height() - height();
    move(r.topLeft());
    resize(std::max(r.width() - decoW, 100), std::max(r.height() - decoH, 100));
}

void CPowerAnalysisDlg::Close() {
    if (m_open)
        hide();
    m_open = false;
    m_graph.SetEpaPanelOpen(false);
    m_graph.ClearEpaCh1Texts();
    Refresh();
}

void CPowerAnalysisDlg::Refresh() {
    m_ch1Rms->setText(m_graph.EpaPanelTexts()[0].rms);
    m_ch2Rms->setText(m_graph.EpaPanelTexts()[1].rms);
    m_power->setText(m_graph.EpaApparentPower());
    m_activeEnergy->setText(m_graph.EpaActiveEnergy());
    m_apparentEnergy->setText(m_graph.EpaApparentEnergy());
    const PowerTexts& t = m_graph.EpaPowerTexts();
    m_p->setText(t.p);
    m_q->setText(t.q);
    m_pf->setText(t.pf);
    m_phi->setText(t.phi);
    m_thd1->setText(t.thd[0]);
    m_thd2->setText(t.thd[1]);
}

void CPowerAnalysisDlg::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    PlaceOnceFramed();
}

void CPowerAnalysisDlg::moveEvent(QMoveEvent* e) {
    QDialog::moveEvent(e);
    PlaceOnceFramed();
    // No stale image of the panel may stay on the graph.
    if (m_view)
        m_view->update();
}

void CPowerAnalysisDlg::closeEvent(QCloseEvent* e) {
    QDialog::closeEvent(e);
    // Closed by its own close box: the texts stay as they are.
    m_open = false;
    m_graph.SetEpaPanelOpen(false);
}
