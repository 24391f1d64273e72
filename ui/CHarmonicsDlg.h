#pragma once
// The Harmonics window: for the sample on show, per present channel a bar chart of
// the orders 1 to 50 in % of the fundamental, its THD and a table of order,
// amplitude, % and phase. Copy (Ctrl+C) puts the tables on the clipboard as
// tab-separated text; Print... asks the main window to print them. Without a
// waveform, or for a channel without a usable window, it shows "--".

#include "graph/HarmonicsReport.h"

#include <QDialog>

#include <array>

class QGroupBox;
class QLabel;
class QPushButton;
class QTableWidget;

// The bar chart of one channel's orders (empty without a spectrum).
class CHarmonicsChart : public QWidget {
    Q_OBJECT
public:
    explicit CHarmonicsChart(QWidget* parent = nullptr);
    void SetSpectrum(const std::optional<HarmonicSpectrum>& s);
    QSize sizeHint() const override { return {420, 200}; }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    std::optional<HarmonicSpectrum> m_spectrum;
};

class CHarmonicsDlg : public QDialog {
    Q_OBJECT
public:
    explicit CHarmonicsDlg(QWidget* parent = nullptr);

    // Shows `h` in place of what was shown.
    void ShowHarmonics(SampleHarmonics h);
    const SampleHarmonics& Shown() const { return m_shown; }
    // What Copy puts on the clipboard.
    QString Text() const { return HarmonicsText(m_shown); }

    QLabel* Heading() const { return m_heading; }
    // Slot 0 shows the first present channel, slot 1 the second.
    QGroupBox* ChannelBox(int slot) const { return m_slots[size_t(slot)].box; }
    QLabel* ThdLabel(int slot) const { return m_slots[size_t(slot)].thd; }
    QTableWidget* Table(int slot) const { return m_slots[size_t(slot)].table; }
    QPushButton* CopyButton() const { return m_copy; }
    QPushButton* PrintButton() const { return m_print; }

signals:
    // The user asked to print what is shown.
    void printRequested();

protected:
    void keyPressEvent(QKeyEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    struct Slot {
        QGroupBox* box = nullptr;
        QLabel* thd = nullptr;
        CHarmonicsChart* chart = nullptr;
        QTableWidget* table = nullptr;
    };
    Slot NewSlot(int index);
    void FillSlot(const Slot& s, const HarmonicsChannel& c);
    void CopyText();

    SampleHarmonics m_shown;
    QLabel* m_heading = nullptr;
    std::array<Slot, 2> m_slots{};
    QPushButton* m_copy = nullptr;
    QPushButton* m_print = nullptr;
};
