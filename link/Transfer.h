#pragma once
// A transfer is one exchange that runs with the transfer-mode flag on: it begins with a
// start command, takes every reply the channel delivers until it ends, and owns the
// frame timers it arms. The download of the stored recording is one; the real-time
// acquisition is the other (a stream of 2365-byte frames, watched by the real-time
// watchdog, sampled by the sample tick, restarted by the restart timer). The link
// controller routes replies and timer ticks to the transfer that runs and knows nothing
// of either's protocol. A transfer tells how things went through its signals and shows
// no message itself.

#include "base/Timers.h"
#include "link/SerialChannel.h"

#include <QByteArray>

#include <span>

enum class TransferKind { None, Download, RealTime };

// What a transfer may use of the link around it.
class TransferHost {
public:
    virtual SerialChannel& Channel() = 0;
    virtual TimerTable& Timers() = 0;
    // The port the search found; a transfer reopens it after a hiccup.
    virtual int CurrentPort() const = 0;
    // Writes a command, opening the port if it is closed; false when the port is gone.
    virtual bool SendCommand(const QByteArray& bytes) = 0;
    // Back to the idle line: port closed and reselected, threshold 1, buffers empty.
    virtual void ConfigureChannel() = 0;
    // The transfer is over: the transfer-mode flag goes off and replies go to the
    // search's reply table again.
    virtual void TransferEnded() = 0;
    // The transfer-mode flag: on from the start command until TransferEnded.
    virtual bool TransferRunning() const = 0;

protected:
    ~TransferHost() = default;
};

class Transfer {
public:
    virtual ~Transfer() = default;
    virtual TransferKind Kind() const = 0;
    // The frame timers this transfer arms. Their ticks reach OnTimer while this is the
    // last transfer started, also after it ended (a tick may already be due).
    virtual std::span<const int> TimerIds() const = 0;
    // Resets the per-transfer state, sets the reply threshold, sends the start command
    // and arms the start timers. The host has set the transfer-mode flag; a start that
    // fails at once ends the transfer through TransferEnded.
    virtual void Start() = 0;
    // Bytes the channel delivered (at least the threshold) while the transfer runs.
    virtual void OnReply(const QByteArray& bytes) = 0;
    virtual void OnTimer(int id) = 0;
};
