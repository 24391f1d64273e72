// The painted fallback icons: drawn at the pixel ratio asked for, and grey when
// their command is unavailable.

#include "ui/Icons.h"

#include <QApplication>
#include <QImage>
#include <QPixmap>

#include <gtest/gtest.h>

namespace {

constexpr CommandIconId kAll[] = {
    CommandIconId::Save,       CommandIconId::Open,      CommandIconId::CorrectTime,
    CommandIconId::Setup,      CommandIconId::Download,  CommandIconId::DataList,
    CommandIconId::PrintGraph, CommandIconId::PrintList, CommandIconId::PrintPreview,
    CommandIconId::Help,
};

struct Ink {
    int opaque = 0;
    int coloured = 0; // clearly saturated pixels
};
Ink Measure(const QPixmap& pm) {
    const QImage img = pm.toImage().convertToFormat(QImage::Format_ARGB32);
    Ink ink;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QColor c = img.pixelColor(x, y);
            if (c.alpha() < 128)
                continue;
            ++ink.opaque;
            ink.coloured += c.hsvSaturation() > 60;
        }
    return ink;
}

TEST(Icons, PaintedAtThePixelRatioAndGreyWhenDisabled) {
    if (!qApp) {
        static int argc = 1;
        static char name[] = "test_icons";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv);
    }
    for (CommandIconId id : kAll) {
        const QIcon icon = PaintedCommandIcon(id);
        EXPECT_FALSE(ThemeIconNames(id).isEmpty());
        const QPixmap sharp = icon.pixmap(QSize(24, 24), 2.0);
        // Drawn for 48 x 48 device pixels, not a 24-pixel drawing stretched.
        EXPECT_EQ(sharp.size(), QSize(48, 48)) << int(id);
        EXPECT_DOUBLE_EQ(sharp.devicePixelRatio(), 2.0);
        const Ink normal = Measure(sharp);
        EXPECT_GT(normal.opaque, 48 * 48 / 8) << int(id);
        EXPECT_GT(normal.coloured, 0) << int(id);
        const Ink disabled = Measure(icon.pixmap(QSize(24, 24), 2.0, QIcon::Disabled));
        EXPECT_GT(disabled.opaque, 0) << int(id);
        EXPECT_EQ(disabled.coloured, 0) << int(id);
    }
    // The two print buttons tell graph from list.
    EXPECT_NE(PaintedCommandIcon(CommandIconId::PrintGraph).pixmap(32).toImage(),
              PaintedCommandIcon(CommandIconId::PrintList).pixmap(32).toImage());
}

} // namespace
