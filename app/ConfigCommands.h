#pragma once
// The logger configuration commands in the main window: Datalogger Setup and Correct
// Time with their dialogs, on the link of the frame's link commands.

class AppShell;
class CMainFrame;
class ConfigSession;

// Registers Setup and Correct Time; needs InstallLinkCommands first (the frame's link).
void InstallConfigCommands(CMainFrame& frame, AppShell& shell);
// The frame's configuration session, or null before InstallConfigCommands.
ConfigSession* FrameConfigSession(CMainFrame& frame);
