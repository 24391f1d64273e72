#pragma once
// The electric power analysis panel: a modeless tool window over the instrument
// pane while the graph shows the real-time waveform. It shows the RMS of CH1 and
// CH2 and the apparent power S(VA), and below them active and reactive power, power
// factor, phase angle and THD per channel and the run's energy so far, as the waveform analysis and
// the real-time session wrote them into the graph controller's panel texts.

#include <QDialog>

class GraphController;
class QLineEdit;

class CPowerAnalysisDlg : public QDialog {
    Q_OBJECT
public:
    // `graphView` is repainted when the panel moves over it.
    CPowerAnalysisDlg(GraphController& graph, QWidget* graphView, QWidget* parent = nullptr);

    // Opens the panel over `paneRect` (screen coordinates; 385 pixels wide when the
    // pane has no width) unless it is open already.
    void Show(const QRect& paneRect);
    // Closes the panel; channel 1's frequency, period, RMS and peak-to-peak texts are
    // cleared, channel 2 keeps its own.
    void Close();
    bool IsOpen() const { return m_open; }
    // Pushes the texts to the fields.
    void Refresh();

    QLineEdit* Ch1Rms() const { return m_ch1Rms; }
    QLineEdit* Ch2Rms() const { return m_ch2Rms; }
    QLineEdit* ApparentPower() const { return m_power; }
    QLineEdit* ActivePower() const { return m_p; }
    QLineEdit* ReactivePower() const { return m_q; }
    QLineEdit* PowerFactor() const { return m_pf; }
    QLineEdit* PhaseAngle() const { return m_phi; }
    QLineEdit* Thd(int ch) const { return ch == 0 ? m_thd1 : m_thd2; }
    QLineEdit* ActiveEnergy() const { return m_activeEnergy; }
    QLineEdit* ApparentEnergy() const { return m_apparentEnergy; }

protected:
    void moveEvent(QMoveEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void Place(const QRect& paneRect);
    // Places the panel again once the window manager's frame is known.
    void PlaceOnceFramed();
    QWidget* PowerRows(const QPalette& pal, const QFont& face);

    GraphController& m_graph;
    QWidget* m_view;
    QLineEdit* m_ch1Rms = nullptr;
    QLineEdit* m_ch2Rms = nullptr;
    QLineEdit* m_power = nullptr;
    QLineEdit* m_p = nullptr;
    QLineEdit* m_q = nullptr;
    QLineEdit* m_pf = nullptr;
    QLineEdit* m_phi = nullptr;
    QLineEdit* m_thd1 = nullptr;
    QLineEdit* m_thd2 = nullptr;
    QLineEdit* m_activeEnergy = nullptr;
    QLineEdit* m_apparentEnergy = nullptr;
    bool m_open = false;
    // The pane the panel covers, while it waits for its frame to be placed by.
    QRect m_pane;
    bool m_framePending = false;
};
