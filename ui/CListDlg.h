#pragma once
// What the two list windows share: a modeless window in a face of its own, one
// virtual table filling it, and Escape, Enter and the close button ending it with
// the window's end code. The keys are looked at before the table uses them.

#include <QDialog>

class QAbstractItemModel;
class QTableView;

class CListDlg : public QDialog {
    Q_OBJECT
public:
    QTableView* Table() const { return m_table; }

protected:
    // `pointSize` of the Arial face, `size` the window's first size, `tableName`
    // the table's object name.
    CListDlg(QAbstractItemModel& model, int endCode, const char* objectName, int pointSize,
             QSize size, const char* tableName, QWidget* parent);

    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    QTableView* m_table = nullptr;
    int m_endCode;
};
