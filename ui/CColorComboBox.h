#pragma once
// The colour combo box: a drop-down list of colour swatches without text. Its
// item positions are the positions of the colour table, each item holding its
// colour; a colour already listed is not added again.

#include <QComboBox>

class CColorComboBox : public QComboBox {
    Q_OBJECT
public:
    // The width of a swatch, in pixels.
    static constexpr int kSwatchWidth = 50;

    explicit CColorComboBox(QWidget* parent = nullptr);

    // Adds the colours of the table in table order, then selects the item at
    // `position`; a position outside the list selects nothing.
    void Fill(int position);
    // Adds a colour unless an item of the same colour exists: the new item's
    // position, or -1 when it was not added.
    int AddColour(const QString& name, QColor colour);
    QColor ColourAt(int position) const;
    // The selected position, -1 when nothing is selected.
    int Selected() const { return currentIndex(); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;
};
