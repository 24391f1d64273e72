#pragma once
// One configuration command without windows, as the setup or clock dialog would
// send it: search the logger (or only check its port once it was found; a failed
// probe cycle is followed by a new scan, as behind the dialog), write the command
// once the link is Connected, and wait a bounded time for the logger's one-byte
// acknowledgement. The command-line tool runs it on its Qt event loop, the tests in
// virtual time.

#include "link/LinkController.h"

#include <QByteArray>
#include <QObject>

#include <cstdint>
#include <functional>

// A serial channel that passes everything on to another one and shows every read to
// a listener: the link keeps handling its replies as always (closing the port, the
// START-button message through its prompts) while the job learns which came.
class ReplyTapChannel final : public QObject, public SerialChannel {
    Q_OBJECT
public:
    explicit ReplyTapChannel(SerialChannel& inner, QObject* parent = nullptr);

    bool SelectPort(int n) override { return m_inner.SelectPort(n); }
    int CurrentPort() const override { return m_inner.CurrentPort(); }
    bool Open() override { return m_inner.Open(); }
    void Close() override { m_inner.Close(); }
    bool IsOpen() const override { return m_inner.IsOpen(); }
    void SetThreshold(int bytes) override { m_inner.SetThreshold(bytes); }
    bool Write(const QByteArray& bytes) override { return m_inner.Write(bytes); }
    QByteArray ReadAll() override;
    int BytesAvailable() const override { return m_inner.BytesAvailable(); }
    void ClearInput() override { m_inner.ClearInput(); }
    void ClearOutput() override { m_inner.ClearOutput(); }
    QString LastError() const override { return m_inner.LastError(); }
    OpenError LastOpenError() const override { return m_inner.LastOpenError(); }
    QString DeviceOf(int n) const override { return m_inner.DeviceOf(n); }
    QString DeniedGroup() const override { return m_inner.DeniedGroup(); }

signals:
    // Bytes the link read, before it handles them.
    void replyRead(const QByteArray& bytes);

private:
    SerialChannel& m_inner;
};

enum class ConfigResult {
    Acknowledged, // 0xEE
    NotLogging,   // 0x1E: acknowledged; the user must start logging on the logger
    NoAck,        // written, but nothing came back in time
    WriteFailed,  // the port no longer opened when the command was to be written
    NoLogger,     // no logger answered the probes
};

class ConfigJob final : public QObject {
    Q_OBJECT
public:
    // Synchronous seams, called at once: lets the link run for a while (the event
    // loop, or virtual time) ...
    using Wait = std::function<void()>;
    // ... and milliseconds on the clock the link runs on.
    using Elapsed = std::function<int64_t()>;

    // `link` must have been built on `tap`.
    ConfigJob(LinkController& link, ReplyTapChannel& tap, Wait wait, Elapsed elapsedMs,
              QObject* parent = nullptr);

    // `dialog` is LinkDialog::Setup or LinkDialog::CorrectTime. A logger not
    // connected within `searchMs` counts as none.
    ConfigResult Run(LinkDialog dialog, const QByteArray& command, int searchMs = 10000,
                     int ackMs = 2000);

private:
    LinkController& m_link;
    ReplyTapChannel& m_tap;
    Wait m_wait;
    Elapsed m_elapsed;
    bool m_sent = false;
    int m_ack = -1; // the first acknowledgement byte after the command
};
