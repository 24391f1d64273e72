#pragma once
// Writing a file so that a failure can neither lose the old file nor pass unnoticed.
//
// The bytes go to a temporary file beside the target (QSaveFile), written through
// its descriptor so that the system's own reason for a failure is kept: a full disk
// during a large buffered write otherwise reaches the user as "Unknown error". The
// temporary file is flushed to the disk before it replaces the target, since some
// file systems report a full disk only then.
//
// A process killed in the middle leaves nothing behind where the system supports
// unnamed temporary files; elsewhere (and for the instant in which an existing
// target is replaced) a named one "<target>.XXXXXX" may stay. Each write is noted
// in the save journal while it runs, and the next start removes what such an
// interrupted write left.

#include <QByteArray>
#include <QSaveFile>
#include <QString>

// A short text for the user for a system error number: "no space left on device
// (the disk is full)", "the folder is on a read-only file system", ...
QString FileErrorReason(int errnoValue);

class AtomicFile {
public:
    explicit AtomicFile(const QString& path);
    ~AtomicFile(); // abandons an uncommitted write: the target stays as it was
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    bool Open();
    bool Write(const QByteArray& bytes);
    // Flushes what was written to the disk (where a full disk may show only now).
    bool Sync();
    // Syncs unless done and replaces the target.
    bool Commit();
    void Cancel();

    // Why the last step failed, for the user (the file is not named in it).
    QString Error() const { return m_error; }
    QString Path() const { return m_path; }

private:
    void Fail(int errnoValue, const QString& fallback);
    void EndJournal();

    QString m_path;
    QSaveFile m_file;
    QString m_journalEntry;
    QString m_error;
    qint64 m_written = 0;
    bool m_synced = false;
};

// Writes `bytes` to `path` through AtomicFile. On failure the old file is untouched
// and `error` says why.
bool WriteFileAtomically(const QString& path, const QByteArray& bytes, QString* error);

// The save journal: a folder (the data directory) in which each running write notes
// its target. Called once at start: removes what writes interrupted in an earlier
// run left beside their targets, then keeps the journal in `folder` for this run.
// Returns how many left-over temporary files were removed.
int StartSaveJournal(const QString& folder);
// Only the clean-up part; the journal itself stays where it is.
int CleanUpInterruptedSaves(const QString& folder);

// For tests only: called after each chunk a write has passed to the system, with the
// bytes written so far and the total (a test kills the process there).
using WriteProgressHook = void (*)(qint64 written, qint64 total);
void SetWriteProgressHookForTests(WriteProgressHook hook);
