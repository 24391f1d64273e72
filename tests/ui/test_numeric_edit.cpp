#include "support/TestApp.h"
#include "ui/CNumericEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

TEST(NumericEdit, TypedLettersAndSpacesAreDroppedDigitsPointAndMinusPass) {
    App();
    CNumericEdit e;
    QTest::keyClicks(&e, "1a2 .b-3x");
    EXPECT_EQ(e.text(), QString("12.-3"));
    QTest::keyClick(&e, Qt::Key_Backspace);
    EXPECT_EQ(e.text(), QString("12.-"));
    QTest::keyClicks(&e, "+,e");
    EXPECT_EQ(e.text(), QString("12.-"));
}

TEST(NumericEdit, PastedTextIsNotFiltered) {
    App();
    CNumericEdit e;
    e.insert(QStringLiteral("ab1")); // what a paste does to the edit
    EXPECT_EQ(e.text(), QString("ab1"));
}

TEST(NumericEdit, SpinButtonStepsWithinItsRangeAsAPlainInteger) {
    App();
    CNumericEdit e;
    CSpinButton spin(&e, 2, 3600);
    e.setText("3599");
    spin.UpButton()->click();
    EXPECT_EQ(e.text(), QString("3600"));
    spin.UpButton()->click();
    EXPECT_EQ(e.text(), QString("3600"));
    e.setText("2");
    QTest::keyClick(&e, Qt::Key_Down);
    EXPECT_EQ(e.text(), QString("2"));
    QTest::keyClick(&e, Qt::Key_Up);
    EXPECT_EQ(e.text(), QString("3"));
    e.setText("-");
    spin.Step(+1);
    EXPECT_EQ(e.text(), QString("2"));
    CSpinButton big(&e, 1, 100000);
    e.setText("99999");
    big.Step(+1);
    EXPECT_EQ(e.text(), QString("100000")); // no "100,000"
}

} // namespace
