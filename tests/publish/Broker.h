#pragma once
// A real mosquitto broker for the publisher's tests, on a free localhost port, and a
// subscriber that records every message it gets. The broker keeps its sessions in a
// folder of the test (so that a subscriber's session outlives a restart, as a
// dashboard's database would) and is stopped by the fixture, whatever the test did.

#include "support/EventLoop.h"

#include <mosquitto.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <mutex>
#include <vector>

namespace broker {

// A port nobody listens on now (the system's choice for a socket bound to port 0).
inline int FreePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(s);
    return port;
}

inline bool Accepts(int port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(uint16_t(port));
    const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(s);
    return ok;
}

// Bytes that arrived at the broker's port and that it has not read yet (Linux: the
// receive queues of the port's connections in /proc/net/tcp).
inline long UnreadBytesAt(int port) {
    QFile f(QStringLiteral("/proc/net/tcp"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    long total = 0;
    const QByteArray local =
        QByteArray(":") + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QList<QByteArray> f2 = line.simplified().split(' ');
        if (f2.size() > 4 && f2[1].endsWith(local))
            total += f2[4].split(':').value(1).toLong(nullptr, 16);
    }
    return total;
}

inline QString Program() {
    // Debian installs the broker in /usr/sbin, which an ordinary user's PATH lacks.
    return QStandardPaths::findExecutable(
        QStringLiteral("mosquitto"), {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")});
}

class Broker {
public:
    // `extraConfig` is appended to the configuration (further listeners, TLS).
    explicit Broker(QString folder, QString extraConfig = QString())
        : m_folder(std::move(folder)), m_extra(std::move(extraConfig)), m_port(FreePort()) {}
    ~Broker() { Stop(); }
    Broker(const Broker&) = delete;
    Broker& operator=(const Broker&) = delete;

    int Port() const { return m_port; }

    bool Start() {
        const passwd* me = ::getpwuid(::getuid());
        QFile conf(QDir(m_folder).filePath(QStringLiteral("mosquitto.conf")));
        if (!conf.open(QIODevice::WriteOnly))
            return false;
        conf.write(QStringLiteral("per_listener_settings false\n"
                                  "listener %1 127.0.0.1\n"
                                  "allow_anonymous true\n"
                                  "persistence true\n"
                                  "persistence_location %2/\n"
                                  // Saved at every change, so that a killed broker
                                  // still knows its subscribers.
                                  "autosave_interval 1\n"
                                  "autosave_on_changes true\n"
                                  "user %3\n"
                                  "log_dest file %2/broker.log\n"
                                  "%4\n")
                       .arg(m_port)
                       .arg(m_folder, QString::fromLocal8Bit(me ? me->pw_name : "root"), m_extra)
                       .toUtf8());
        conf.close();
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(Program(), {QStringLiteral("-c"), conf.fileName()});
        if (!m_process.waitForStarted(5000))
            return false;
        return PumpUntil(
                   [this] { return m_process.state() != QProcess::Running || Accepts(m_port); },
                   10000) &&
               m_process.state() == QProcess::Running;
    }

    // The broker stops reading and answering, as a hung machine would.
    void Freeze() { ::kill(pid_t(m_process.processId()), SIGSTOP); }
    // The broker dies at once (a crash, a power cut): what it had not read is gone.
    void Kill() {
        m_process.kill();
        m_process.waitForFinished(5000);
    }

    // Ends the broker as a service manager would (it writes its sessions first).
    void Stop() {
        if (m_process.state() == QProcess::NotRunning)
            return;
        ::kill(pid_t(m_process.processId()), SIGCONT); // a frozen broker ends too
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(2000);
        }
    }

private:
    QString m_folder;
    QString m_extra;
    int m_port;
    QProcess m_process;
};

struct Message {
    QByteArray topic;
    QByteArray payload;
    bool retained = false;
};

// Subscribes to `filters` at QoS 1 with a session the broker keeps (clean session
// off), and records every message; the library's own thread reconnects it.
class Subscriber {
public:
    Subscriber(const QString& id, QStringList filters) : m_filters(std::move(filters)) {
        mosquitto_lib_init();
        m_client = mosquitto_new(id.toUtf8().constData(), false, this);
        mosquitto_connect_callback_set(m_client, &Subscriber::OnConnect);
        mosquitto_subscribe_callback_set(m_client, &Subscriber::OnSubscribe);
        mosquitto_message_callback_set(m_client, &Subscriber::OnMessage);
        mosquitto_reconnect_delay_set(m_client, 1, 1, false);
    }
    ~Subscriber() {
        mosquitto_disconnect(m_client);
        mosquitto_loop_stop(m_client, true);
        mosquitto_destroy(m_client);
    }
    Subscriber(const Subscriber&) = delete;
    Subscriber& operator=(const Subscriber&) = delete;

    // Connects and waits until the broker confirmed every subscription.
    bool Connect(int port) {
        if (mosquitto_connect(m_client, "127.0.0.1", port, 30) != MOSQ_ERR_SUCCESS ||
            mosquitto_loop_start(m_client) != MOSQ_ERR_SUCCESS)
            return false;
        return PumpUntil([this] { return m_subscribed.load() >= int(m_filters.size()); }, 10000);
    }
    std::vector<Message> Messages() const {
        std::lock_guard lock(m_mutex);
        return m_messages;
    }
    std::vector<Message> On(const QByteArray& topic) const {
        std::vector<Message> out;
        for (const Message& m : Messages())
            if (m.topic == topic)
                out.push_back(m);
        return out;
    }

private:
    static void OnConnect(mosquitto* client, void* self, int rc) {
        if (rc != 0)
            return;
        for (const QString& f : static_cast<Subscriber*>(self)->m_filters)
            mosquitto_subscribe(client, nullptr, f.toUtf8().constData(), 1);
    }
    static void OnSubscribe(mosquitto*, void* self, int, int, const int*) {
        ++static_cast<Subscriber*>(self)->m_subscribed;
    }
    static void OnMessage(mosquitto*, void* self, const mosquitto_message* m) {
        auto* s = static_cast<Subscriber*>(self);
        std::lock_guard lock(s->m_mutex);
        s->m_messages.push_back({QByteArray(m->topic),
                                 QByteArray(static_cast<const char*>(m->payload), m->payloadlen),
                                 m->retain});
    }

    QStringList m_filters;
    mosquitto* m_client = nullptr;
    std::atomic<int> m_subscribed{0};
    mutable std::mutex m_mutex;
    std::vector<Message> m_messages;
};

} // namespace broker
