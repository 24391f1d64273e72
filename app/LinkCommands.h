#pragma once
// The logger link's commands in the main window: Download Data with its dialog and
// the loading progress dialog, on the serial port of the port map.

class AppShell;
class CMainFrame;
class LinkSession;

// Creates the link (owned by the frame) and registers its commands.
void InstallLinkCommands(CMainFrame& frame, AppShell& shell);
// The frame's link session, or null before InstallLinkCommands.
LinkSession* FrameLinkSession(CMainFrame& frame);
