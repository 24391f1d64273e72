#include "ui/CHarmonicsDlg.h"

#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

CHarmonicsChart::CHarmonicsChart(QWidget* parent) : QWidget(parent) {
    setMinimumHeight(150);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void CHarmonicsChart::SetSpectrum(const std::optional<HarmonicSpectrum>& s) {
    m_spectrum = s;
    update();
}

void CHarmonicsChart::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().base());
    p.setPen(palette().text().color());
    if (m_spectrum)
        PaintHarmonicsChart(p, rect(), *m_spectrum, palette().highlight().color());
    else
        p.drawText(rect(), Qt::AlignCenter, QStringLiteral("--"));
}

CHarmonicsDlg::CHarmonicsDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("harmonicsWindow"));
    setWindowTitle(QStringLiteral("Harmonics"));
    resize(960, 680);
    auto* layout = new QVBoxLayout(this);
    m_heading = new QLabel(this);
    m_heading->setObjectName(QStringLiteral("harmonicsHeading"));
    layout->addWidget(m_heading);

    auto* channels = new QHBoxLayout;
    for (int k = 0; k < 2; ++k) {
        m_slots[size_t(k)] = NewSlot(k);
        channels->addWidget(m_slots[size_t(k)].box, 1);
    }
    layout->addLayout(channels, 1);

    m_copy = new QPushButton(QStringLiteral("&Copy"), this);
    m_copy->setObjectName(QStringLiteral("copyHarmonics"));
    m_copy->setToolTip(QStringLiteral("Copy the tables as tab-separated text (Ctrl+C)"));
    m_print = new QPushButton(QStringLiteral("&Print..."), this);
    m_print->setObjectName(QStringLiteral("printHarmonics"));
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_copy);
    buttons->addWidget(m_print);
    buttons->addStretch(1);
    buttons->addWidget(close);
    layout->addLayout(buttons);

    connect(m_copy, &QPushButton::clicked, this, &CHarmonicsDlg::CopyText);
    connect(m_print, &QPushButton::clicked, this, &CHarmonicsDlg::printRequested);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    ShowHarmonics({});
}

CHarmonicsDlg::Slot CHarmonicsDlg::NewSlot(int index) {
    Slot s;
    s.box = new QGroupBox(this);
    s.box->setObjectName(QStringLiteral("harmonicsChannel%1").arg(index + 1));
    auto* v = new QVBoxLayout(s.box);
    s.thd = new QLabel(s.box);
    s.thd->setObjectName(QStringLiteral("harmonicsThd%1").arg(index + 1));
    v->addWidget(s.thd);
    s.chart = new CHarmonicsChart(s.box);
    v->addWidget(s.chart, 2);
    s.table = new QTableWidget(s.box);
    s.table->setObjectName(QStringLiteral("harmonicsTable%1").arg(index + 1));
    s.table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    s.table->setSelectionBehavior(QAbstractItemView::SelectRows);
    s.table->verticalHeader()->setVisible(false);
    s.table->verticalHeader()->setDefaultSectionSize(s.table->fontMetrics().height() + 6);
    s.table->horizontalHeader()->setStretchLastSection(true);
    s.table->installEventFilter(this);
    v->addWidget(s.table, 3);
    return s;
}

void CHarmonicsDlg::FillSlot(const Slot& s, const HarmonicsChannel& c) {
    s.box->setTitle(ChannelTitle(c));
    s.thd->setText(QStringLiteral("THD: %1 %").arg(ThdText(c.spectrum)));
    s.chart->SetSpectrum(c.spectrum);
    const TextTable t = OrdersTable(c);
    s.table->clear();
    s.table->setColumnCount(int(t.header.size()));
    s.table->setHorizontalHeaderLabels(t.header);
    s.table->setRowCount(int(t.rows.size()));
    for (size_t r = 0; r < t.rows.size(); ++r)
        for (qsizetype k = 0; k < t.rows[r].size(); ++k) {
            auto* item = new QTableWidgetItem(t.rows[r][k]);
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            s.table->setItem(int(r), int(k), item);
        }
    s.table->resizeColumnsToContents();
}

void CHarmonicsDlg::ShowHarmonics(SampleHarmonics h) {
    m_shown = std::move(h);
    if (!m_shown.captured)
        m_heading->setText(QStringLiteral("No waveform has been captured: --"));
    else if (m_shown.channels.empty())
        m_heading->setText(QStringLiteral("No channel is present: --"));
    else
        m_heading->setText(m_shown.heading);
    for (size_t k = 0; k < m_slots.size(); ++k) {
        const bool shown = k < m_shown.channels.size();
        m_slots[k].box->setVisible(shown);
        if (shown)
            FillSlot(m_slots[k], m_shown.channels[k]);
    }
    const bool any = !m_shown.channels.empty();
    m_copy->setEnabled(any);
    m_print->setEnabled(any);
}

// Ctrl+C copies the whole window wherever the focus is: the key comes here from the
// buttons, and the tables, which would copy only their current cell, pass it on.
void CHarmonicsDlg::keyPressEvent(QKeyEvent* e) {
    if (e->matches(QKeySequence::Copy)) {
        CopyText();
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

bool CHarmonicsDlg::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->matches(QKeySequence::Copy)) {
        CopyText();
        return true;
    }
    return QDialog::eventFilter(watched, e);
}

void CHarmonicsDlg::CopyText() {
    if (!m_shown.channels.empty())
        QApplication::clipboard()->setText(Text());
}
