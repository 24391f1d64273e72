#include "base/SafeFile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <atomic>
#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// Large enough to write at disk speed, small enough for a progress hook to land
// inside a large file.
constexpr qint64 kChunkBytes = 1 << 20;
// A journal entry of a process that still runs is left alone unless it is this old
// (the process id was reused).
constexpr qint64 kStaleJournalSecs = qint64(24) * 3600;
// Modification times on some file systems have a resolution of seconds.
constexpr qint64 kClockSlackMs = 2000;
const QString kJournalPrefix = QStringLiteral(".saving-");

WriteProgressHook g_progressHook = nullptr;
QString g_journalFolder;
std::atomic<int> g_journalSerial{0};

// Why the folder refuses a new file: a file is created and removed there.
int ProbeFolderErrno(const QString& folder) {
#ifdef Q_OS_UNIX
    const QByteArray dir = QFile::encodeName(folder.isEmpty() ? QStringLiteral(".") : folder);
    int fd = -1;
#ifdef O_TMPFILE
    fd = ::open(dir.constData(), O_TMPFILE | O_WRONLY, 0600);
    if (fd >= 0) {
        ::close(fd);
        return 0;
    }
    if (errno != EOPNOTSUPP && errno != EISDIR)
        return errno;
#endif
    QByteArray name = dir + "/.probe-XXXXXX";
    fd = ::mkstemp(name.data());
    if (fd < 0)
        return errno;
    ::close(fd);
    ::unlink(name.constData());
    return 0;
#else
    Q_UNUSED(folder);
    return 0;
#endif
}

bool ProcessRuns(qint64 pid) {
#ifdef Q_OS_UNIX
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
#else
    Q_UNUSED(pid);
    return false;
#endif
}

// The folder of a target is missing: either some folder on its way is missing, or
// a file stands where a folder is expected (/dev/null/x), which no new folder can
// mend. The first part of the path that exists tells which.
int MissingFolderErrno(const QString& folder) {
    QFileInfo part(folder);
    while (!part.exists()) {
        const QString up = part.absolutePath();
        if (up == part.absoluteFilePath())
            return ENOENT;
        part = QFileInfo(up);
    }
    return part.isDir() ? ENOENT : ENOTDIR;
}

} // namespace

QString FileErrorReason(int e) {
    switch (e) {
    case ENOSPC:
        return QStringLiteral("no space left on device (the disk is full)");
#ifdef EDQUOT
    case EDQUOT:
        return QStringLiteral("the disk quota is used up");
#endif
    case EROFS:
        return QStringLiteral("the folder is on a read-only file system");
    case EACCES:
    case EPERM:
        return QStringLiteral("permission denied (the folder or the file may not be written)");
    case ENOENT:
        return QStringLiteral("the folder does not exist");
    case ENOTDIR:
        return QStringLiteral("a part of the path is not a folder");
    case EISDIR:
        return QStringLiteral("a folder of that name is in the way");
    case ENAMETOOLONG:
        return QStringLiteral("the name is too long");
    case EIO:
        return QStringLiteral("the disk reported an input/output error");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("too many files are open");
    case EFBIG:
        return QStringLiteral("the file is too large for this file system");
    default:
        return QString::fromLocal8Bit(std::strerror(e));
    }
}

AtomicFile::AtomicFile(const QString& path) : m_path(path), m_file(path) {}

AtomicFile::~AtomicFile() {
    Cancel();
}

void AtomicFile::Fail(int errnoValue, const QString& fallback) {
    if (errnoValue != 0)
        m_error = FileErrorReason(errnoValue);
    else if (!fallback.isEmpty() && fallback != QLatin1String("Unknown error"))
        m_error = fallback;
    else
        m_error = QStringLiteral("the system gave no reason");
}

bool AtomicFile::Open() {
    m_error.clear();
    m_written = 0;
    m_synced = false;
    if (!g_journalFolder.isEmpty()) {
        // Best effort: a journal that cannot be written (its disk is full, say) must
        // not stop the save.
        const QString entry =
            QDir(g_journalFolder)
                .filePath(kJournalPrefix + QStringLiteral("%1-%2")
                                               .arg(QCoreApplication::applicationPid())
                                               .arg(g_journalSerial.fetch_add(1)));
        QFile f(entry);
        if (f.open(QIODevice::WriteOnly)) {
            const QByteArray line = QFile::encodeName(QFileInfo(m_path).absoluteFilePath()) + '\n';
            if (f.write(line) == line.size() && f.flush())
                m_journalEntry = entry;
            f.close();
            if (m_journalEntry.isEmpty())
                QFile::remove(entry);
        }
    }
    if (m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return true;
    const QString qtText = m_file.errorString();
    const QFileInfo target(m_path);
    int e = 0;
    if (target.isDir())
        e = EISDIR;
    else if (!target.absoluteDir().exists())
        e = MissingFolderErrno(target.absolutePath());
    else
        e = ProbeFolderErrno(target.absolutePath());
    Fail(e, qtText);
    EndJournal();
    return false;
}

bool AtomicFile::Write(const QByteArray& bytes) {
    if (!m_file.isOpen()) {
        if (m_error.isEmpty())
            m_error = QStringLiteral("the file is not open");
        return false;
    }
#ifdef Q_OS_UNIX
    const int fd = m_file.handle();
    const char* p = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const qint64 n = std::min(left, kChunkBytes);
        const ssize_t w = ::write(fd, p, size_t(n));
        if (w < 0) {
            if (errno == EINTR)
                continue;
            Fail(errno, QString());
            Cancel();
            return false;
        }
        if (w == 0) {
            Fail(ENOSPC, QString());
            Cancel();
            return false;
        }
        p += w;
        left -= w;
        m_written += w;
        if (g_progressHook)
            g_progressHook(m_written, m_written + left);
    }
    return true;
#else
    if (m_file.write(bytes) != bytes.size()) {
        Fail(0, m_file.errorString());
        Cancel();
        return false;
    }
    return true;
#endif
}

bool AtomicFile::Sync() {
    if (!m_file.isOpen()) {
        if (m_error.isEmpty())
            m_error = QStringLiteral("the file is not open");
        return false;
    }
#ifdef Q_OS_UNIX
    // Delayed allocation reports a full disk only when the data reach it.
    if (::fsync(m_file.handle()) != 0 && errno != EINVAL) {
        Fail(errno, QString());
        Cancel();
        return false;
    }
#endif
    m_synced = true;
    return true;
}

bool AtomicFile::Commit() {
    if (!m_synced && !Sync())
        return false;
    errno = 0;
    if (!m_file.commit()) {
        Fail(errno, m_file.errorString());
        EndJournal();
        return false;
    }
    EndJournal();
    return true;
}

void AtomicFile::Cancel() {
    if (m_file.isOpen()) {
        m_file.cancelWriting();
        // commit() after cancelWriting() closes the file and removes the temporary one.
        m_file.commit();
    }
    EndJournal();
}

void AtomicFile::EndJournal() {
    if (!m_journalEntry.isEmpty()) {
        QFile::remove(m_journalEntry);
        m_journalEntry.clear();
    }
}

bool WriteFileAtomically(const QString& path, const QByteArray& bytes, QString* error) {
    AtomicFile f(path);
    const bool ok = f.Open() && f.Write(bytes) && f.Commit();
    if (!ok && error)
        *error = f.Error();
    return ok;
}

int CleanUpInterruptedSaves(const QString& folder) {
    int removed = 0;
    const QDir dir(folder);
    const QFileInfoList entries =
        dir.entryInfoList({kJournalPrefix + QLatin1Char('*')}, QDir::Files | QDir::Hidden);
    // The six characters QSaveFile appends to the target's name.
    static const QRegularExpression suffix(QStringLiteral("^\\.[A-Za-z0-9]{6}$"));
    for (const QFileInfo& entry : entries) {
        const QString rest = entry.fileName().mid(kJournalPrefix.size());
        const qint64 pid = rest.section(QLatin1Char('-'), 0, 0).toLongLong();
        const QDateTime began = entry.lastModified();
        if (pid != QCoreApplication::applicationPid() && ProcessRuns(pid) &&
            began.secsTo(QDateTime::currentDateTime()) < kStaleJournalSecs)
            continue; // a write of another running instance
        QFile f(entry.absoluteFilePath());
        QString target;
        if (f.open(QIODevice::ReadOnly))
            target = QFile::decodeName(f.readLine(4096)).trimmed();
        f.close();
        if (!target.isEmpty()) {
            const QFileInfo t(target);
            const QDir targetDir = t.absoluteDir();
            const QString base = t.fileName();
            for (const QFileInfo& c : targetDir.entryInfoList(
                     {base + QStringLiteral(".*")}, QDir::Files | QDir::Hidden | QDir::System)) {
                // Only what that write can have made: the target's name with the
                // random suffix, created after the write began.
                if (!suffix.match(c.fileName().mid(base.size())).hasMatch())
                    continue;
                if (c.lastModified().msecsTo(began) > kClockSlackMs)
                    continue;
                if (QFile::remove(c.absoluteFilePath()))
                    ++removed;
            }
        }
        QFile::remove(entry.absoluteFilePath());
    }
    return removed;
}

int StartSaveJournal(const QString& folder) {
    if (folder.isEmpty()) {
        g_journalFolder.clear();
        return 0;
    }
    QDir().mkpath(folder);
    const int removed = CleanUpInterruptedSaves(folder);
    g_journalFolder = folder;
    return removed;
}

void SetWriteProgressHookForTests(WriteProgressHook hook) {
    g_progressHook = hook;
}
