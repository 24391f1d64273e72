#pragma once
// The button bar of the welcome screen: five large buttons that reach the main
// window's handlers directly (the menu's enable rules do not apply to them).

#include <QWidget>

class AppShell;

class CButtonBar : public QWidget {
    Q_OBJECT
public:
    CButtonBar(AppShell& shell, QWidget* parent);
    // The bar's usual size; it is wider when its captions need more room.
    static constexpr int kWidth = 220;
    static constexpr int kHeight = 380;
};
