#pragma once
// The application object of a widget test binary: created on first use, kept to
// the end of the process (it must outlive every widget a test leaves behind), and
// shared by every test in the binary.

#include <QApplication>

inline QApplication& App() {
    static int argc = 1;
    static char name[] = "test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = QApplication::instance()
                                   ? static_cast<QApplication*>(QApplication::instance())
                                   : new QApplication(argc, argv);
    return *app;
}
