#pragma once
// The file commands of the main window: File > Open, File > Save (data file and
// report), Instrument > Previous Measurement, the Ctrl+O / Ctrl+S / Ctrl+N
// accelerators, the command-line file and the save prompts before Open and before
// Download. Below the widgets: every prompt and file chooser goes through the
// shell's Prompts seam, the time through its Clock, the scale reset timer through its table.

#include "base/Prompts.h"
#include "shell/WorkNotices.h"

#include <QString>

#include <cstdint>

class AppShell;

class FileCommands {
public:
    // Registers the commands and answers the shell's open-document, save and
    // offer-to-save-before-download questions.
    explicit FileCommands(AppShell& shell);
    FileCommands(const FileCommands&) = delete;
    FileCommands& operator=(const FileCommands&) = delete;

    // Filters of the file choosers, as Qt name filters.
    static QString OpenFilter();      // "DataLogger Files (*.stdata *.rtdata)"
    static QString SaveFilter();      // "DataLogger Files (*.stdata *.xls)"
    static QString FrameworkFilter(); // "OrvexDatalogger Files (*.stdata )" (Ctrl+O, Ctrl+S)

    // Where Save puts its files for the name the user chose (the run file only when
    // the real-time run holds samples): all in the chosen folder, a ".stdata" or ".xls" extension
    // cut from the file name only ("run.xls" and "run" both give run.stdata and run.xls; a dot in a
    // folder name is left alone; the proposed "10-02-03  14.05.06" keeps its seconds).
    struct SaveTargets {
        QString dataPath;
        QString reportPath;
        QString runPath;
    };
    static SaveTargets TargetsFor(const QString& chosenPath);
    // "%y-%m-%d  %H.%M.%S" of the shell's current time.
    QString ProposedSaveName() const;

    // --- commands ---
    void Open();                // 32827: prompt, file dialog, load
    void PreviousMeasurement(); // 32882
    bool Save();                // 32814: data file and report; true when both were written
    void FrameworkOpen();       // Ctrl+O: dialog and load, no save prompt
    bool FrameworkSave();       // Ctrl+S: data file only, with the current tag
    void FrameworkNew();        // Ctrl+N

    // --- prompts ---
    // Before Open's file dialog: offer to save data that was downloaded or gathered
    // live and not saved yet. True when Open may go on (No, or Yes and saved); false
    // when the user took it back (Cancel, or Yes and then the file dialog cancelled
    // or the write failed): the data are still unsaved and the flags stay set.
    bool OfferSaveBeforeOpen();
    // Before a download, the same: false stops the Download command.
    bool OfferSaveBeforeDownload();

    // Outcome of reading one file.
    enum class LoadResult { NotOpened, Loaded, WrongTag, Damaged };
    // Who asked for the file: the menu commands say in the status bar that a file
    // cannot be opened, Ctrl+O in a message; a file from the command line was chosen
    // by nobody looking at the window, so its messages also name it.
    enum class LoadOrigin { Menu, FrameworkDialog, CommandLine };
    // Reads a measurement file into the shell's set as Open does (no prompt, no
    // dialog). A file that cannot be opened changes nothing.
    LoadResult LoadFile(const QString& path, LoadOrigin origin = LoadOrigin::Menu);
    // An .rtdata file into the real-time run (the stored set stays).
    LoadResult LoadRunFile(const QString& path, LoadOrigin origin);

    // The file the framework commands (Ctrl+O, Ctrl+S, command line) work on; empty
    // until one was opened or saved that way, again after Ctrl+N, and once other
    // data (a download, another file) replaced what that file holds.
    QString DocumentPath() const;

private:
    void Register();
    void SetDocument(const QString& path);
    // A file read by a command: it is the file shown, and the status bar says so.
    void ReportLoaded(WorkDone what, const QString& path);
    // Asks one of the save prompts; Yes runs Save. False when the user took the
    // question back (see OfferSaveBeforeOpen).
    bool AskToSave(const QString& text, PromptIcon icon);
    // Before files a chosen name stands for are replaced: one question naming every
    // file that is written, true when none exists or the user agreed.
    bool ConfirmReplace(const SaveTargets& targets);
    // NAME.rtdata beside the other two, when the run holds samples.
    bool WriteRunFile(const QString& path);
    bool ConfirmReplace(const QString& path);
    bool WriteBothFiles(const SaveTargets& targets);

    AppShell& m_shell;
    QString m_lastFolder;
    QString m_documentPath;
    uint64_t m_documentGeneration = 0; // stored-set generation the document file holds
};
