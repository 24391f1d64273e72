#include "link/HeadlessLink.h"

#include "link/QtSerialChannel.h"

#include <QCoreApplication>
#include <QTimer>

namespace {
// The longest a wait on the event loop sleeps before the caller checks its limits.
constexpr int kWaitSliceMs = 20;
// Virtual time per wait: finer than every link timer.
constexpr int kVirtualSliceMs = 10;
} // namespace

std::unique_ptr<HeadlessLink> HeadlessLink::OnDevice(const QString& device, Prompts& prompts,
                                                     MeasurementSet& set) {
    // The one device is port 1; the link searches it as it would search the map.
    qputenv("DATALOGGER_PORTS", device.toLocal8Bit());
    std::unique_ptr<HeadlessLink> h(new HeadlessLink);
    h->m_channel = std::make_unique<QtSerialChannel>();
    h->m_timers = std::make_unique<QtTimerTable>();
    h->Wire(prompts, set);
    h->m_tick = std::make_unique<QTimer>();
    h->m_tick->start(kWaitSliceMs);
    return h;
}

std::unique_ptr<HeadlessLink> HeadlessLink::OnChannel(const QString& device,
                                                      const PassThrough& passThrough,
                                                      Prompts& prompts, MeasurementSet& set) {
    qputenv("DATALOGGER_PORTS", device.toLocal8Bit());
    std::unique_ptr<HeadlessLink> h(new HeadlessLink);
    h->m_device = std::make_unique<QtSerialChannel>();
    h->m_channel = passThrough(*h->m_device);
    h->m_timers = std::make_unique<QtTimerTable>();
    h->Wire(prompts, set);
    h->m_tick = std::make_unique<QTimer>();
    h->m_tick->start(kWaitSliceMs);
    return h;
}

std::unique_ptr<HeadlessLink> HeadlessLink::Virtual(ManualClock& clock,
                                                    std::unique_ptr<SerialChannel> channel,
                                                    Prompts& prompts, MeasurementSet& set) {
    std::unique_ptr<HeadlessLink> h(new HeadlessLink);
    auto timers = std::make_unique<ManualTimerTable>(clock);
    h->m_manual = timers.get();
    h->m_channel = std::move(channel);
    h->m_timers = std::move(timers);
    h->m_clock = &clock;
    h->m_clockStart = clock.NowMs();
    h->Wire(prompts, set);
    h->m_link->SetSteadyClock([c = &clock] { return c->NowMs(); });
    return h;
}

HeadlessLink::~HeadlessLink() {
    if (m_channel)
        m_channel->Close();
    // The controller goes before the channel and timers it holds on to, a
    // pass-through channel before the device below it.
    m_link.reset();
    m_channel.reset();
}

void HeadlessLink::Wire(Prompts& prompts, MeasurementSet& set) {
    m_link = std::make_unique<LinkController>(*m_channel, *m_timers, prompts, set);
    m_timers->SetHandler([this](int id) { m_link->OnTimer(id); });
    // Without a window the prompts say what a download that failed owes the user.
    QObject::connect(&m_link->Download(), &DownloadTransfer::downloadFinished, m_link.get(),
                     [p = &prompts](DownloadOutcome o) {
                         const DownloadEndNotice n = DownloadEndMessage(o);
                         if (n.text)
                             p->Message(QString::fromLatin1(n.text), n.icon);
                     });
    m_elapsed.start();
}

void HeadlessLink::Wait() {
    if (m_clock)
        m_clock->Advance(kVirtualSliceMs);
    else
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

int64_t HeadlessLink::ElapsedMs() const {
    return m_clock ? m_clock->NowMs() - m_clockStart : m_elapsed.elapsed();
}
