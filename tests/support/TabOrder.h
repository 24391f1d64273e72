#pragma once
// The keyboard's way through a window: Tab pressed from `first` on, as a user
// presses it, and every widget that takes the focus on the way, until the focus
// comes back to where it began (or stays put: a widget that keeps Tab for itself).

#include <QApplication>
#include <QTest>
#include <QWidget>

#include <string>
#include <vector>

inline std::vector<QWidget*> TabStops(QWidget* window, QWidget* first, int limit = 40) {
    window->show();
    window->activateWindow();
    first->setFocus(Qt::TabFocusReason);
    std::vector<QWidget*> stops{window->focusWidget()};
    for (int i = 0; i < limit; ++i) {
        QWidget* from = window->focusWidget();
        QTest::keyClick(from, Qt::Key_Tab);
        QWidget* now = window->focusWidget();
        if (now == stops.front() || now == from)
            break;
        stops.push_back(now);
    }
    return stops;
}

// Object names of `widgets`, so that a failed expectation says which stop is wrong.
inline std::vector<std::string> Names(const std::vector<QWidget*>& widgets) {
    std::vector<std::string> names;
    for (const QWidget* w : widgets)
        names.push_back(w ? w->objectName().toStdString() : std::string("(none)"));
    return names;
}
