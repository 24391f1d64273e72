#pragma once
// The Statistics window: the figures of the data on show, the supply-voltage
// summary against a nominal voltage the user types, and the voltage events, sortable
// (longest first at the start). Both tables copy as tab-separated text; a
// double-click on an event, or Enter on it, asks for the graph to be zoomed around
// it.

#include "data/RecordingStatistics.h"
#include "data/StatisticsText.h"

#include <QDialog>

#include <functional>

class CNumericEdit;
class QLabel;
class QTableWidget;

class CStatisticsDlg : public QDialog {
    Q_OBJECT
public:
    explicit CStatisticsDlg(QWidget* parent = nullptr);

    // Where the data on show come from, asked at every recomputation (the values
    // of a view are only valid until the data are replaced).
    void SetSource(std::function<StatisticsView()> source) { m_source = std::move(source); }
    // The nominal voltage as the settings keep it ("230"); a text out of range or
    // no number gives 230 V.
    void SetNominalText(const QString& nominal);
    // Recomputes from the source, for the data on show now.
    void Refresh();
    const RecordingStatistics& Statistics() const { return m_stats; }

    CNumericEdit* NominalEdit() const { return m_nominal; }
    QTableWidget* FiguresTable() const { return m_figures; }
    QTableWidget* EventsTable() const { return m_events; }
    QLabel* NominalNote() const { return m_note; }
    // The tables as the window shows them (events in their shown order).
    QString FiguresText() const;
    QString EventsText() const;

signals:
    // A nominal voltage in range was typed (its text, as the settings keep it).
    void nominalChanged(const QString& text);
    // An event was double-clicked: its first sample (0-based) and its length.
    void eventChosen(qint64 firstSample, qint64 samples);

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    void ApplyNominal();
    void ChooseEvent(int row);
    void FillFigures();
    void FillEvents();
    static QString TableText(const QTableWidget& t);

    std::function<StatisticsView()> m_source;
    RecordingStatistics m_stats;
    std::vector<ListedEvent> m_listed;
    double m_nominalValue = kNominalDefault;
    CNumericEdit* m_nominal = nullptr;
    QLabel* m_note = nullptr;
    QTableWidget* m_figures = nullptr;
    QTableWidget* m_events = nullptr;
};
