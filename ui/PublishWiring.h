#pragma once
// Publishing of the window's real-time runs, installed on the main window in one
// call: the Settings dialog behind a "Settings..." item of `menu`, the publisher's
// field in the status bar, and the publisher fed by the shell's run notices. The
// settings are read from the shell's settings file at start and after OK.

class AppShell;
class QMainWindow;
class QMenu;

void InstallPublishing(QMainWindow& frame, AppShell& shell, QMenu& menu);
