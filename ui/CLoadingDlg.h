#pragma once
// The modeless "Loading..." dialog shown while the stored recording comes in block by
// block: a progress bar, a line with blocks and bytes done and the time left, and a
// Cancel button (Escape does the same). The dialog only shows what the link reports
// and forwards Cancel; the link decides what stopping means.

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

class CLoadingDlg : public QDialog {
    Q_OBJECT
public:
    explicit CLoadingDlg(QWidget* parent = nullptr);
    // Shows the dialog with the range 0..range at position 1, centred horizontally
    // over `over` with its top four dialog heights below the top of `over`.
    void Open(int range, QWidget* over);
    void SetPosition(int position);
    void SetText(const QString& text);
    int Position() const { return m_position; }
    QProgressBar* Bar() const { return m_bar; }
    QLabel* Label() const { return m_label; }
    QPushButton* CancelButton() const { return m_cancel; }

    // Escape and the window manager's close come here.
    void reject() override;

signals:
    // Cancel or Escape; the link closes the dialog when the transfer has ended.
    void cancelRequested();

private:
    QProgressBar* m_bar = nullptr;
    QLabel* m_label = nullptr;
    QPushButton* m_cancel = nullptr;
    int m_range = 1;
    int m_position = 0;
    int m_shownPercent = -1;
};
