#pragma once
// A whole download without windows, as the download dialog would run it: search
// the logger, press "Download" once the link reads "Connected", and wait for the
// end. Used by the command-line tool, the end-to-end tests and the benchmark; the
// link runs on the caller's Qt event loop with a real timer table.

#include "link/LinkController.h"

#include <QElapsedTimer>

#include <functional>

enum class DownloadResult {
    Completed,
    NoLogger,      // no logger answered the probes
    LoggingNow,    // the logger is recording
    NoData,        // nothing recorded
    DamagedHeader, // the header was out of range
    Interrupted,   // a block did not arrive
    NoAnswer,      // the start command got no answer
    TimedOut,      // the caller's overall limit
};

class DownloadJob {
public:
    explicit DownloadJob(LinkController& link);

    // Runs the event loop until the download has ended or `limitMs` has passed. A
    // logger not connected within `searchMs` (no port opens, say) counts as none.
    DownloadResult Run(int limitMs, int searchMs = 10000);
    // Block progress while loading: position and range of the loading dialog.
    std::function<void(int position, int range)> onProgress;
    // Milliseconds from pressing "Download" to the end of the transfer.
    qint64 TransferMs() const { return m_transferMs; }

private:
    LinkController& m_link;
    bool m_ended = false;
    DownloadOutcome m_outcome = DownloadOutcome::Completed;
    int m_range = 0;
    qint64 m_transferMs = 0;
};
