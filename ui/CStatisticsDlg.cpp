#include "ui/CStatisticsDlg.h"

#include "ui/CNumericEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

enum EventColumn { ColChannel, ColKind, ColStart, ColDuration, ColExtreme, ColCount };

// An event cell that sorts by a number (time, duration, value) rather than its text.
class SortedItem : public QTableWidgetItem {
public:
    SortedItem(const QString& text, double key, qint64 eventIndex)
        : QTableWidgetItem(text), m_key(key) {
        setData(Qt::UserRole, eventIndex);
        setFlags(flags() & ~Qt::ItemIsEditable);
    }
    bool operator<(const QTableWidgetItem& other) const override {
        const auto* o = dynamic_cast<const SortedItem*>(&other);
        return o ? m_key < o->m_key : QTableWidgetItem::operator<(other);
    }

private:
    double m_key;
};

QTableWidget* NewTable(QWidget* parent, const char* name) {
    auto* t = new QTableWidget(parent);
    t->setObjectName(QString::fromLatin1(name));
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->verticalHeader()->setVisible(false);
    t->verticalHeader()->setDefaultSectionSize(t->fontMetrics().height() + 6);
    t->horizontalHeader()->setStretchLastSection(true);
    // Tab leaves the table for the next control; the arrows move within it.
    t->setTabKeyNavigation(false);
    return t;
}

} // namespace

CStatisticsDlg::CStatisticsDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("statisticsWindow"));
    setWindowTitle(QStringLiteral("Statistics"));
    resize(760, 640);
    auto* layout = new QVBoxLayout(this);

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Nominal voltage (V):"), this));
    m_nominal = new CNumericEdit(this);
    m_nominal->setObjectName(QStringLiteral("nominalEdit"));
    m_nominal->setMaximumWidth(90);
    top->addWidget(m_nominal);
    m_note = new QLabel(this);
    m_note->setObjectName(QStringLiteral("nominalNote"));
    top->addWidget(m_note, 1);
    layout->addLayout(top);

    m_figures = NewTable(this, "figuresTable");
    layout->addWidget(m_figures, 3);

    layout->addWidget(
        new QLabel(QStringLiteral("Events (double-click to show one in the graph):"), this));
    m_events = NewTable(this, "eventsTable");
    m_events->setColumnCount(ColCount);
    m_events->setHorizontalHeaderLabels(::EventsTable({}).header);
    m_events->setSortingEnabled(true);
    layout->addWidget(m_events, 2);
    // Made after the tables: Tab goes the way the eye reads, top to bottom, then
    // along the buttons.
    auto* copyFigures = new QPushButton(QStringLiteral("Copy Figures"), this);
    copyFigures->setObjectName(QStringLiteral("copyFigures"));
    auto* copyEvents = new QPushButton(QStringLiteral("Copy Events"), this);
    copyEvents->setObjectName(QStringLiteral("copyEvents"));
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("close"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(copyFigures);
    buttons->addWidget(copyEvents);
    buttons->addStretch(1);
    buttons->addWidget(close);
    layout->addLayout(buttons);

    connect(m_nominal, &QLineEdit::editingFinished, this, &CStatisticsDlg::ApplyNominal);
    connect(copyFigures, &QPushButton::clicked, this,
            [this] { QApplication::clipboard()->setText(FiguresText()); });
    connect(copyEvents, &QPushButton::clicked, this,
            [this] { QApplication::clipboard()->setText(EventsText()); });
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    connect(m_events, &QTableWidget::cellDoubleClicked, this,
            [this](int row, int) { ChooseEvent(row); });
}

void CStatisticsDlg::ChooseEvent(int row) {
    const QTableWidgetItem* item = m_events->item(row, 0);
    if (!item)
        return;
    const auto k = size_t(item->data(Qt::UserRole).toLongLong());
    if (k < m_listed.size())
        emit eventChosen(m_listed[k].event.firstIndex, m_listed[k].event.samples);
}

void CStatisticsDlg::keyPressEvent(QKeyEvent* e) {
    const bool enter = e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
    // A focused button takes Enter itself. Anywhere else Enter pressed the first
    // button, copying over the clipboard: in the nominal voltage the edit has taken
    // the value, and on an event Enter shows it as a double-click does.
    if (enter && !qobject_cast<QPushButton*>(focusWidget())) {
        if (focusWidget() == m_events && m_events->currentRow() >= 0)
            ChooseEvent(m_events->currentRow());
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

void CStatisticsDlg::SetNominalText(const QString& nominal) {
    bool ok = false;
    const double value = nominal.toDouble(&ok);
    m_nominalValue = ok ? AcceptedNominal(value) : kNominalDefault;
    m_nominal->setText(QString::number(m_nominalValue));
    m_note->clear();
}

void CStatisticsDlg::ApplyNominal() {
    bool ok = false;
    const double value = m_nominal->text().trimmed().toDouble(&ok);
    if (!ok || value < kNominalLowest || value > kNominalHighest) {
        m_note->setText(QStringLiteral("The nominal voltage must be 100 to 1000 V."));
        return;
    }
    m_note->clear();
    if (value == m_nominalValue)
        return;
    m_nominalValue = value;
    emit nominalChanged(QString::number(value));
    Refresh();
}

void CStatisticsDlg::Refresh() {
    m_stats = ComputeStatistics(m_source ? m_source() : StatisticsView{}, m_nominalValue);
    m_listed = ListedEvents(m_stats);
    FillFigures();
    FillEvents();
}

void CStatisticsDlg::FillFigures() {
    const TextTable t = ::FiguresTable(m_stats);
    m_figures->clear();
    m_figures->setColumnCount(int(t.header.size()));
    m_figures->setHorizontalHeaderLabels(t.header);
    m_figures->setRowCount(int(t.rows.size()));
    for (size_t r = 0; r < t.rows.size(); ++r)
        for (qsizetype c = 0; c < t.rows[r].size(); ++c)
            m_figures->setItem(int(r), int(c), new QTableWidgetItem(t.rows[r][c]));
    m_figures->resizeColumnsToContents();
}

void CStatisticsDlg::FillEvents() {
    const TextTable t = ::EventsTable(m_listed);
    const int sortColumn = m_events->horizontalHeader()->sortIndicatorSection();
    const Qt::SortOrder order = m_events->horizontalHeader()->sortIndicatorOrder();
    const bool first = m_events->rowCount() == 0 && sortColumn < 0;
    m_events->setSortingEnabled(false);
    m_events->clearContents();
    m_events->setRowCount(int(t.rows.size()));
    for (size_t r = 0; r < t.rows.size(); ++r) {
        const VoltageEvent& e = m_listed[r].event;
        const double keys[ColCount] = {double(m_listed[r].channel), double(e.kind), double(e.start),
                                       e.durationS, e.extreme};
        for (int c = 0; c < ColCount; ++c)
            m_events->setItem(int(r), c, new SortedItem(t.rows[r][c], keys[c], qint64(r)));
    }
    m_events->setSortingEnabled(true);
    // Longest first until the user sorts otherwise.
    if (first || sortColumn < 0 || sortColumn >= ColCount)
        m_events->sortByColumn(ColDuration, Qt::DescendingOrder);
    else
        m_events->sortByColumn(sortColumn, order);
    m_events->resizeColumnsToContents();
}

QString CStatisticsDlg::TableText(const QTableWidget& t) {
    TextTable out;
    for (int c = 0; c < t.columnCount(); ++c)
        out.header << (t.horizontalHeaderItem(c) ? t.horizontalHeaderItem(c)->text() : QString());
    for (int r = 0; r < t.rowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < t.columnCount(); ++c)
            row << (t.item(r, c) ? t.item(r, c)->text() : QString());
        out.rows.push_back(row);
    }
    return out.ToTabSeparated();
}

QString CStatisticsDlg::FiguresText() const {
    return TableText(*m_figures);
}

QString CStatisticsDlg::EventsText() const {
    return TableText(*m_events);
}
