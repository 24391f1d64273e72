#pragma once
// What the main window tells in its status bar once a piece of work is done, and
// while a real-time run goes on: events with their figures. The window puts them
// into words; nothing below it handles a display text.

#include "base/LocalTime.h"

#include <QObject>
#include <QString>

enum class WorkDone {
    LoggerSetUp,      // the logger acknowledged the setup command
    LoggerClockSet,   // the logger acknowledged the set-clock command
    Downloaded,       // a download completed
    FileOpened,       // Open, Ctrl+O or the command line read a file
    PreviousRecalled, // Previous Measurement read the kept file
    RunEnded,         // a real-time run ended (by any path)
    GraphPrinted,     // the graph report went to the printer
    ListPrinted,      // the list report went to the printer
};

struct WorkReport {
    WorkDone what = WorkDone::Downloaded;
    int samples = 0;           // RMS samples; for RunEnded the samples taken
    int records = 0;           // TR records; for RunEnded the samples asked for
    CalendarFields clock;      // LoggerClockSet: the date and time sent
    QString path;              // FileOpened: the file read
    bool loggerSilent = false; // RunEnded: no frame came for 10 s (the logger went away)
};

// Work that holds the window for a moment, told while it goes on.
enum class WorkUnderWay {
    RunPowerFigures, // the power figures of a run read back from its file
};

class WorkNotices : public QObject {
    Q_OBJECT
public:
    void Report(const WorkReport& report) { emit workDone(report); }
    void RunProgress(int taken, int requested) { emit runProgress(taken, requested); }
    // `what` begins on `samples` samples; Finished follows once it is over.
    void Started(WorkUnderWay what, int samples) { emit workStarted(what, samples); }
    void Finished(WorkUnderWay what) { emit workFinished(what); }

signals:
    void workDone(const WorkReport& report);
    // A real-time sample was stored: `taken` of `requested`.
    void runProgress(int taken, int requested);
    // The window shows the first while the work goes on, without waiting for its
    // event loop, and takes it back with the second.
    void workStarted(WorkUnderWay what, int samples);
    void workFinished(WorkUnderWay what);
};
