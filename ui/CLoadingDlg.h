#pragma once
// The modeless "Loading..." dialog with one progress bar, shown while the stored
// recording comes in block by block.

#include <QDialog>

class QProgressBar;

class CLoadingDlg : public QDialog {
    Q_OBJECT
public:
    explicit CLoadingDlg(QWidget* parent = nullptr);
    // Shows the dialog with the range 0..range at position 1, centred horizontally
    // over `over` with its top four dialog heights below the top of `over`.
    void Open(int range, QWidget* over);
    void SetPosition(int position);
    int Position() const { return m_position; }
    QProgressBar* Bar() const { return m_bar; }

private:
    QProgressBar* m_bar = nullptr;
    int m_range = 1;
    int m_position = 0;
    int m_shownPercent = -1;
};
