#pragma once
// What the View, Axis Setup and Color Setup dialogs share: the dialog look of
// every logger dialog, a body face of their own, and OK and Cancel buttons that
// show a drawn picture beside their text.

#include <QIcon>
#include <QString>

class CNumericEdit;
class CSpinButton;
class QDialog;
class QHBoxLayout;
class QPushButton;
class QWidget;

// The pictures of the two buttons: a green tick and a red cross, drawn at any
// size and pixel ratio.
QIcon OkButtonIcon();
QIcon CancelButtonIcon();

// Applies the shared dialog look and the body face (`face` at 14 pixels, or what
// is installed in its place).
void ApplyDisplayDlgLook(QDialog* dialog, const QString& face);

// An edit with its spin button right beside it, as one widget without margins
// (one cell of a grid or a row); the spin button is as tall as the edit.
QWidget* EditWithSpin(QWidget* parent, CNumericEdit* edit, CSpinButton* spin);

// OK and Cancel, right-aligned in a row; OK is the default button.
struct OkCancelRow {
    QHBoxLayout* layout = nullptr;
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;
};
OkCancelRow MakeOkCancelRow(QDialog* dialog);
