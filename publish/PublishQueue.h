#pragma once
// The messages waiting for the broker, kept on the disk so that neither an
// unreachable broker nor a crash of the program loses one: each message is appended
// (and flushed to the disk) before anything is sent, and leaves the queue only when
// the broker has acknowledged it. Messages keep their order; after a restart the
// ones not acknowledged are sent again (at QoS 1 a repeat is allowed, a loss not).
//
// Files in the queue's folder: "mqtt-outbox.jsonl", one message a line with its
// sequence number, and "mqtt-outbox.head", the first sequence number not yet
// acknowledged. The head is written now and then, not at each acknowledgement: a
// head left behind by a crash only repeats messages.
//
// Used from two threads (the program's, which appends, and the network thread, which
// sends and acknowledges); every member function takes the lock.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>

struct QueuedMessage {
    uint64_t seq = 0;
    QByteArray topic;
    QByteArray payload;
    bool retain = false;
};

class PublishQueue {
public:
    static constexpr size_t kDefaultCapacity = 100000;

    explicit PublishQueue(QString folder, size_t capacity = kDefaultCapacity);
    PublishQueue(const PublishQueue&) = delete;
    PublishQueue& operator=(const PublishQueue&) = delete;

    // Reads what an earlier run left; false (with `error`) when the folder or the file
    // cannot be used, in which case messages are still queued, in memory only.
    bool Open(QString* error = nullptr);
    // Appends a message; when the queue is full the oldest message gives way (counted
    // in Dropped). False when the disk refused it (it is still queued in memory).
    bool Append(const QByteArray& topic, const QByteArray& payload, bool retain);

    // The first message from sequence number `from` on, if any.
    std::optional<QueuedMessage> NextFrom(uint64_t from) const;
    // The broker has the message: it leaves the queue once every one before it has.
    void Acknowledge(uint64_t seq);
    // The broker refused the message for good (too large, say): it leaves the queue as
    // if acknowledged and is counted in Dropped, so that it cannot hold up the rest.
    void Discard(uint64_t seq);
    // Sequence number of the oldest message waiting (or of the next one appended).
    uint64_t HeadSeq() const;

    size_t Waiting() const;
    // Of those, the measured samples (topic "<prefix>/sample"): the run's state and
    // the discovery messages wait too, but a user counts samples.
    size_t WaitingSamples() const;
    static bool IsSample(const QByteArray& topic);
    uint64_t Dropped() const;
    size_t Capacity() const { return m_capacity; }

    // Writes the head if it moved; with `force` at once, else at most every few
    // hundred milliseconds. Empties the files once nothing waits.
    void SaveHead(bool force = false);

    QString OutboxPath() const;
    QString HeadPath() const;

private:
    struct Entry {
        QueuedMessage message;
        qint64 bytes = 0; // its line in the outbox
        bool acknowledged = false;
    };
    std::deque<Entry>::const_iterator LowerBoundLocked(uint64_t seq) const;
    void LoadLocked();
    void PopAcknowledgedLocked();
    void PushLocked(QueuedMessage m, qint64 bytes);
    void PopFrontLocked();
    void SaveHeadLocked();
    void CompactLocked();
    qint64 WriteLineLocked(const QueuedMessage& m);

    mutable std::mutex m_mutex;
    QString m_folder;
    size_t m_capacity;
    std::deque<Entry> m_entries;
    uint64_t m_nextSeq = 1;
    uint64_t m_dropped = 0;
    size_t m_samples = 0; // entries holding a sample
    uint64_t m_savedHead = 0;
    qint64 m_lastHeadSaveMs = 0;
    qint64 m_deadBytes = 0; // bytes of the outbox before the head
    qint64 m_liveBytes = 0;
    QFile m_outbox;
};
