#pragma once
// Number texts shown, printed and stored by the application. They always use a
// decimal point: the Qt application adopts the environment's locale for the C
// library, so printf-style formatting would write "230,4" under a German locale.
// QString::asprintf formats numbers itself, independent of setlocale.

#include <QString>

inline QString Fixed1(double v) {
    return QString::asprintf("%.1f", v);
}
inline QString Fixed0(double v) {
    return QString::asprintf("%.0f", v);
}
inline QString Fixed2(double v) {
    return QString::asprintf("%.2f", v);
}
