#pragma once
// A whole download without windows, as the download dialog would run it: search
// the logger, press "Download" once the link is Connected, and wait for the
// end. The search goes on as the dialog's does, a new scan after every failed probe
// cycle, and the download ends as the window's does (a silent start command is a
// communication interruption after the 5 s watchdog). Used by the command-line
// tool, the end-to-end tests and the benchmark, on the headless link's clock.

#include "link/HeadlessLink.h"

#include <QObject>

enum class DownloadResult {
    Completed,
    NoLogger,      // no logger answered the probes within the search limit
    LoggingNow,    // the logger is recording
    NoData,        // nothing recorded
    DamagedHeader, // the header was out of range
    Interrupted,   // the header or a block did not arrive
    TimedOut,      // the caller's overall limit, with the transfer under way
    Cancelled,     // stopped by the caller
};

class DownloadJob final : public QObject {
    Q_OBJECT
public:
    explicit DownloadJob(HeadlessLink& link, QObject* parent = nullptr);

    // Runs the link until the download has ended or `limitMs` has passed. A logger
    // not connected within `searchMs` (or within the limit, if that is shorter)
    // counts as none.
    DownloadResult Run(int limitMs, int searchMs = 10000);
    // Milliseconds from pressing "Download" to the end of the transfer.
    int64_t TransferMs() const { return m_transferMs; }

signals:
    // Block progress while loading: position and range of the loading dialog.
    void progress(int position, int range);
    // The loading dialog's line: blocks and bytes done, time left.
    void loadingText(const QString& text);

private:
    bool PressDownloadWhenConnected();
    DownloadResult ResultOf(DownloadOutcome o) const;

    HeadlessLink& m_host;
    LinkController& m_link;
    bool m_ended = false;
    DownloadOutcome m_outcome = DownloadOutcome::Completed;
    int m_range = 0;
    int64_t m_transferMs = 0;
};
