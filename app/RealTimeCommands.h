#pragma once
// The real-time acquisition in the main window: Run with its dialog, Stop, the
// four real-time graph modes on a "Real Time" tool bar and at the end of the
// Instrument menu, the analysis panel over the instrument pane, and the report of
// a run that did not end at the last start.

class AppShell;
class CMainFrame;
class RealTimeSession;

// Needs the link (InstallLinkCommands) first.
void InstallRealTimeCommands(CMainFrame& frame, AppShell& shell);
RealTimeSession* FrameRealTimeSession(CMainFrame& frame);
