#pragma once
// The Harmonics window in the main window: Window > Harmonics (Ctrl+H) and a button
// on the "Real Time" tool bar open it for the waveform the EPA graph shows; it follows
// every sample of a run and prints through the window's printer.

class AppShell;
class CHarmonicsDlg;
class CMainFrame;

// Needs the real-time tool bar (InstallRealTimeCommands) first.
void InstallHarmonicsWindow(CMainFrame& frame, AppShell& shell);
// The window once it was opened, else null.
CHarmonicsDlg* FrameHarmonicsWindow(CMainFrame& frame);
