#pragma once
// Icons of the tool bar, the menus and the welcome screen's button bar: the
// desktop icon theme's where it has one, else our own, painted at whatever size
// and pixel ratio they are shown (sharp on a high-resolution screen), and drawn
// grey and faint when their command is unavailable.

#include <QIcon>

enum class CommandIconId {
    Save,
    Open,
    CorrectTime,
    Setup,
    Download,
    DataList,
    PrintGraph,
    PrintList,
    PrintPreview,
    Help,
};

// The theme names looked up, best first (freedesktop icon naming).
QStringList ThemeIconNames(CommandIconId id);
// The theme's icon when it has one of the names, else the painted one.
QIcon CommandIcon(CommandIconId id);
// Always the painted one.
QIcon PaintedCommandIcon(CommandIconId id);
