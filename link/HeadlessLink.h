#pragma once
// The link without windows, built in one place: channel, timer table and controller
// wired together. The command-line tool, the benchmark and the end-to-end tests run
// it on a serial device with Qt timers on the caller's event loop; tests in virtual
// time run the same wiring on the fake channel and a manual clock. Without a window,
// the messages a failed download owes the user go to the prompts given here.

#include "base/Prompts.h"
#include "base/Timers.h"
#include "data/MeasurementSet.h"
#include "link/LinkController.h"
#include "link/SerialChannel.h"

#include <QElapsedTimer>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class QTimer;

class HeadlessLink {
public:
    // `device` becomes port 1 of the port map, the one port the search scans. Needs
    // a QCoreApplication.
    static std::unique_ptr<HeadlessLink> OnDevice(const QString& device, Prompts& prompts,
                                                  MeasurementSet& set);
    // As OnDevice, but the link runs on a channel that passes everything on to the
    // device's (a tap that shows a job every reply, say), built by `passThrough` around
    // it (called once, at once); the headless link owns both.
    using PassThrough = std::function<std::unique_ptr<SerialChannel>(SerialChannel& device)>;
    static std::unique_ptr<HeadlessLink> OnChannel(const QString& device,
                                                   const PassThrough& passThrough, Prompts& prompts,
                                                   MeasurementSet& set);
    // In virtual time on `clock`, over a scripted channel the caller builds (the
    // simulator's fake channel, say); the headless link owns it.
    static std::unique_ptr<HeadlessLink> Virtual(ManualClock& clock,
                                                 std::unique_ptr<SerialChannel> channel,
                                                 Prompts& prompts, MeasurementSet& set);
    ~HeadlessLink();

    LinkController& Link() { return *m_link; }
    // The channel the link runs on, and the device's own below a pass-through.
    SerialChannel& Channel() { return *m_channel; }
    SerialChannel& Device() { return m_device ? *m_device : *m_channel; }
    TimerTable& Timers() { return *m_timers; }
    // Only for a virtual link.
    ManualTimerTable& ManualTimers() { return *m_manual; }

    // Lets the link run until something happens or a short slice has passed: the
    // event loop on a device, 10 ms of virtual time otherwise.
    void Wait();
    // Milliseconds since the link was built, on the clock it runs on.
    int64_t ElapsedMs() const;

private:
    HeadlessLink() = default;
    void Wire(Prompts& prompts, MeasurementSet& set);

    std::unique_ptr<SerialChannel> m_device; // below a pass-through channel, else empty
    std::unique_ptr<SerialChannel> m_channel;
    std::unique_ptr<TimerTable> m_timers;
    std::unique_ptr<LinkController> m_link;
    ManualTimerTable* m_manual = nullptr;
    ManualClock* m_clock = nullptr;
    int64_t m_clockStart = 0;
    QElapsedTimer m_elapsed;
    std::unique_ptr<QTimer> m_tick; // bounds each wait of the event loop
};
