#include "publish/PublishQueue.h"

#include "base/SafeFile.h"
#include "publish/PublishOptions.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <chrono>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

constexpr qint64 kHeadSaveEveryMs = 300;
// The outbox is rewritten without its acknowledged start once that start is this
// large and larger than what still waits.
constexpr qint64 kCompactAboveBytes = qint64(4) * 1024 * 1024;

qint64 NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

QByteArray Line(const QueuedMessage& m) {
    QJsonObject o;
    o[QStringLiteral("seq")] = QString::number(m.seq); // a double would round above 2^53
    o[QStringLiteral("topic")] = QString::fromUtf8(m.topic);
    o[QStringLiteral("retain")] = m.retain;
    o[QStringLiteral("payload")] = QString::fromUtf8(m.payload);
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<QueuedMessage> ParseLine(const QByteArray& line) {
    const QJsonObject o = QJsonDocument::fromJson(line).object();
    bool ok = false;
    QueuedMessage m;
    m.seq = o.value(QStringLiteral("seq")).toString().toULongLong(&ok);
    if (!ok || !o.value(QStringLiteral("topic")).isString() ||
        !o.value(QStringLiteral("payload")).isString())
        return std::nullopt;
    m.topic = o.value(QStringLiteral("topic")).toString().toUtf8();
    m.payload = o.value(QStringLiteral("payload")).toString().toUtf8();
    m.retain = o.value(QStringLiteral("retain")).toBool();
    return m;
}

bool SyncToDisk(QFile& f) {
    if (!f.flush())
        return false;
#ifndef _WIN32
    // Flushed to the disk, not only to the system's cache: a power cut keeps it.
    ::fdatasync(f.handle());
#endif
    return true;
}

} // namespace

PublishQueue::PublishQueue(QString folder, size_t capacity)
    : m_folder(std::move(folder)), m_capacity(capacity == 0 ? 1 : capacity) {}

QString PublishQueue::OutboxPath() const {
    return QDir(m_folder).filePath(QStringLiteral("mqtt-outbox.jsonl"));
}

QString PublishQueue::HeadPath() const {
    return QDir(m_folder).filePath(QStringLiteral("mqtt-outbox.head"));
}

bool PublishQueue::Open(QString* error) {
    std::lock_guard lock(m_mutex);
    if (!QDir().mkpath(m_folder)) {
        if (error)
            *error = QStringLiteral("cannot create the folder %1").arg(m_folder);
        return false;
    }
    LoadLocked();
    m_outbox.setFileName(OutboxPath());
    if (!m_outbox.open(QIODevice::WriteOnly | QIODevice::Append)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(OutboxPath(), m_outbox.errorString());
        return false;
    }
    return true;
}

void PublishQueue::LoadLocked() {
    uint64_t head = 0;
    QFile headFile(HeadPath());
    if (headFile.open(QIODevice::ReadOnly))
        head = headFile.readAll().trimmed().toULongLong();
    QFile f(OutboxPath());
    if (!f.open(QIODevice::ReadOnly))
        return;
    // Lines that do not parse (the end of one being written at a power cut) and
    // lines out of order are passed over.
    while (!f.atEnd()) {
        const QByteArray line = f.readLine();
        const auto m = ParseLine(line);
        const qint64 bytes = line.size();
        if (!m || m->seq < m_nextSeq || m->seq < head) {
            m_deadBytes += bytes;
            continue;
        }
        PushLocked(*m, bytes);
        m_nextSeq = m->seq + 1;
    }
    m_nextSeq = std::max(m_nextSeq, head);
    while (m_entries.size() > m_capacity) {
        PopFrontLocked();
        ++m_dropped;
    }
    m_savedHead = head;
}

qint64 PublishQueue::WriteLineLocked(const QueuedMessage& m) {
    const QByteArray line = Line(m);
    if (!m_outbox.isOpen() || m_outbox.write(line) != line.size() || !SyncToDisk(m_outbox))
        return -1;
    return line.size();
}

bool PublishQueue::Append(const QByteArray& topic, const QByteArray& payload, bool retain) {
    std::lock_guard lock(m_mutex);
    QueuedMessage m{m_nextSeq++, topic, payload, retain};
    const qint64 bytes = WriteLineLocked(m);
    PushLocked(std::move(m), std::max<qint64>(bytes, 0));
    while (m_entries.size() > m_capacity) {
        PopFrontLocked();
        ++m_dropped;
    }
    return bytes >= 0;
}

std::optional<QueuedMessage> PublishQueue::NextFrom(uint64_t from) const {
    std::lock_guard lock(m_mutex);
    const auto it = LowerBoundLocked(from);
    if (it == m_entries.end())
        return std::nullopt;
    return it->message;
}

std::deque<PublishQueue::Entry>::const_iterator PublishQueue::LowerBoundLocked(uint64_t seq) const {
    // Ascending sequence numbers (with gaps only where a damaged line was passed over).
    return std::lower_bound(m_entries.begin(), m_entries.end(), seq,
                            [](const Entry& e, uint64_t s) { return e.message.seq < s; });
}

void PublishQueue::Acknowledge(uint64_t seq) {
    std::lock_guard lock(m_mutex);
    const auto it = LowerBoundLocked(seq);
    if (it == m_entries.end() || it->message.seq != seq)
        return; // given way to newer messages while it was on its way
    m_entries[size_t(it - m_entries.begin())].acknowledged = true;
    PopAcknowledgedLocked();
}

void PublishQueue::Discard(uint64_t seq) {
    std::lock_guard lock(m_mutex);
    const auto it = LowerBoundLocked(seq);
    if (it == m_entries.end() || it->message.seq != seq)
        return;
    m_entries[size_t(it - m_entries.begin())].acknowledged = true;
    ++m_dropped;
    PopAcknowledgedLocked();
}

void PublishQueue::PopAcknowledgedLocked() {
    while (!m_entries.empty() && m_entries.front().acknowledged)
        PopFrontLocked();
}

void PublishQueue::PushLocked(QueuedMessage m, qint64 bytes) {
    if (IsSample(m.topic))
        ++m_samples;
    m_entries.push_back({std::move(m), bytes, false});
    m_liveBytes += bytes;
}

void PublishQueue::PopFrontLocked() {
    const Entry& e = m_entries.front();
    if (IsSample(e.message.topic))
        --m_samples;
    m_deadBytes += e.bytes;
    m_liveBytes -= e.bytes;
    m_entries.pop_front();
}

uint64_t PublishQueue::HeadSeq() const {
    std::lock_guard lock(m_mutex);
    return m_entries.empty() ? m_nextSeq : m_entries.front().message.seq;
}

size_t PublishQueue::Waiting() const {
    std::lock_guard lock(m_mutex);
    return m_entries.size();
}

size_t PublishQueue::WaitingSamples() const {
    std::lock_guard lock(m_mutex);
    return m_samples;
}

bool PublishQueue::IsSample(const QByteArray& topic) {
    return topic.endsWith(kSampleTopicSuffix);
}

uint64_t PublishQueue::Dropped() const {
    std::lock_guard lock(m_mutex);
    return m_dropped;
}

void PublishQueue::SaveHead(bool force) {
    std::lock_guard lock(m_mutex);
    const uint64_t head = m_entries.empty() ? m_nextSeq : m_entries.front().message.seq;
    if (head == m_savedHead)
        return;
    if (!force && !m_entries.empty() && NowMs() - m_lastHeadSaveMs < kHeadSaveEveryMs)
        return;
    SaveHeadLocked();
    CompactLocked();
}

void PublishQueue::SaveHeadLocked() {
    const uint64_t head = m_entries.empty() ? m_nextSeq : m_entries.front().message.seq;
    QString error;
    if (WriteFileAtomically(HeadPath(), QByteArray::number(qulonglong(head)) + '\n', &error))
        m_savedHead = head;
    m_lastHeadSaveMs = NowMs();
}

void PublishQueue::CompactLocked() {
    if (m_savedHead != (m_entries.empty() ? m_nextSeq : m_entries.front().message.seq))
        return; // the head on the disk must cover what is dropped from the outbox
    if (m_entries.empty()) {
        if (m_outbox.isOpen() && m_outbox.size() > 0 && m_outbox.resize(0))
            m_deadBytes = 0;
        return;
    }
    if (m_deadBytes < kCompactAboveBytes || m_deadBytes < m_liveBytes)
        return;
    QByteArray live;
    live.reserve(m_liveBytes);
    for (const Entry& e : m_entries)
        live += Line(e.message);
    QString error;
    if (!WriteFileAtomically(OutboxPath(), live, &error))
        return;
    m_outbox.close();
    m_outbox.setFileName(OutboxPath());
    m_outbox.open(QIODevice::WriteOnly | QIODevice::Append);
    m_deadBytes = 0;
}
