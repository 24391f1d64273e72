// Saves that meet a full disk, a read-only folder or a process killed half-way.
// Every write the program makes (Save, Ctrl+S, the previous-measurement file, the
// settings file, orvex-dl export) must keep the old file byte for byte, leave no
// temporary file behind once the program starts again, and name the file and the
// reason.
//
// The file systems are small tmpfs mounts inside a mount namespace of this test
// process alone, so they vanish with it even when a test fails half-way. The
// read-only case remounts such a tmpfs read-only, since permission bits do not stop
// root.

#include "SampleSets.h"

#include "base/IniFile.h"
#include "base/SafeFile.h"
#include "base/Settings.h"
#include "data/PreviousMeasurement.h"
#include "data/StdataFile.h"
#include "shell/AppShell.h"
#include "shell/FileCommands.h"

#include <QDir>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace samples;

namespace {

// Entered before main, while the process has one thread.
struct PrivateMounts {
    QString whyNot;
    PrivateMounts() {
        if (::unshare(CLONE_NEWNS) != 0)
            whyNot = QStringLiteral("no mount namespace (%1)")
                         .arg(QString::fromLocal8Bit(strerror(errno)));
        else if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            whyNot = QStringLiteral("mounts not private (%1)")
                         .arg(QString::fromLocal8Bit(strerror(errno)));
    }
};
const PrivateMounts g_mounts;

bool MountTmpfs(const QString& path, const char* options, QString* why) {
    QDir().mkpath(path);
    if (::mount("tmpfs", QFile::encodeName(path).constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                options) == 0)
        return true;
    *why = QStringLiteral("mounting a tmpfs is not permitted here (%1)")
               .arg(QString::fromLocal8Bit(strerror(errno)));
    return false;
}

bool RemountReadOnly(const QString& path) {
    return ::mount(nullptr, QFile::encodeName(path).constData(), nullptr,
                   MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV, nullptr) == 0;
}

// Takes every free block of the file system that holds `folder`.
void FillUp(const QString& folder) {
    const int fd = ::open(QFile::encodeName(folder + QStringLiteral("/filler")).constData(),
                          O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    const QByteArray block(4096, 'f');
    while (::write(fd, block.constData(), size_t(block.size())) > 0) {
    }
    EXPECT_EQ(errno, ENOSPC);
    ::close(fd);
}

// A set whose files are several megabytes (report first, then the data file).
MeasurementSet Large() {
    MeasurementSet s = WorkedExample();
    std::vector<float> v(300000);
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = 200.0f + float(i % 500) * 0.1f;
    SetCh1(s, v, "V");
    SetCh2(s, v, "A");
    return s;
}

QStringList Listing(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

class SaveFaults : public ::testing::Test {
protected:
    SaveFaults()
        : timers(clock), shell(timers, prompts, now, dir.filePath("disk/LumoDATALOGGER.ini")),
          files(shell) {
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
        now.Set(At(2010, 2, 3, 14, 5, 6));
        disk = dir.filePath("disk");
    }
    ~SaveFaults() override {
        qunsetenv("DATALOGGER_DIR");
        StartSaveJournal(QString()); // no journal for the next test
        if (mounted)
            ::umount2(QFile::encodeName(disk).constData(), MNT_DETACH);
    }

    // A small tmpfs holding the files of an earlier, successful run.
    bool PrepareDisk(const char* size) {
        if (!g_mounts.whyNot.isEmpty()) {
            why = g_mounts.whyNot;
            return false;
        }
        if (!MountTmpfs(disk, size, &why))
            return false;
        mounted = true;
        qputenv("DATALOGGER_DIR", disk.toLocal8Bit());
        StartSaveJournal(disk);
        EXPECT_TRUE(WriteAll(disk + "/run.stdata", EncodeStdata(WorkedExample())));
        EXPECT_TRUE(WriteAll(disk + "/run.xls", "old report\r\n"));
        EXPECT_TRUE(WriteAll(disk + "/doc.stdata", EncodeStdata(WorkedExample())));
        EXPECT_TRUE(WritePreviousMeasurement(WorkedExample()));
        EXPECT_TRUE(SaveSettingsFile(disk + "/LumoDATALOGGER.ini", AppSettings()));
        for (const QString& f : Listing(disk))
            before[f] = ReadAll(disk + QLatin1Char('/') + f);
        return true;
    }
    void ShowDownloaded(const MeasurementSet& set) {
        shell.Set().ReplaceStored(MeasurementSet(set).Stored());
        shell.Graph().SetLastPoint(set.RmsCount());
        shell.Graph().SetDisplayContent(1);
        shell.SetDataUnsaved(true);
    }
    // The old files are byte-identical and nothing else is there (but `extra`).
    void ExpectOldFilesOnly(const QStringList& extra = {}) {
        QStringList expected = before.keys() + extra;
        expected.sort();
        EXPECT_EQ(Listing(disk), expected);
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            EXPECT_EQ(ReadAll(disk + QLatin1Char('/') + it.key()), it.value())
                << it.key().toStdString();
    }

    // Every way of writing, each expected to fail with `reason`.
    void EveryWriteFailsWith(const QString& reason) {
        // Save: data file and report.
        ShowDownloaded(Large());
        prompts.QueueFile(disk + "/run.xls");
        prompts.QueueAnswer(PromptAnswer::Yes); // replace the pair that is there
        EXPECT_FALSE(files.Save());
        ASSERT_EQ(prompts.shown.size(), 2u);
        EXPECT_TRUE(prompts.LastText().contains(QStringLiteral("run.")));
        EXPECT_TRUE(prompts.LastText().contains(reason)) << prompts.LastText().toStdString();
        EXPECT_EQ(shell.DataUnsaved(), 1);

        // Ctrl+S onto a new name.
        prompts.QueueFile(disk + "/doc.stdata");
        prompts.QueueAnswer(PromptAnswer::Yes); // replace the file that is there
        EXPECT_FALSE(files.FrameworkSave());
        ASSERT_EQ(prompts.shown.size(), 4u);
        EXPECT_TRUE(prompts.LastText().contains(disk + "/doc.stdata"));
        EXPECT_TRUE(prompts.LastText().contains(reason)) << prompts.LastText().toStdString();

        // The previous-measurement file and the settings file.
        QString error;
        EXPECT_FALSE(WritePreviousMeasurement(Large(), &error));
        EXPECT_EQ(error, reason);
        AppSettings changed;
        changed.m_bgColor = 3;
        EXPECT_FALSE(SaveSettingsFile(disk + "/LumoDATALOGGER.ini", changed, &error));
        EXPECT_EQ(error, reason);

        // orvex-dl export.
        const QString input = dir.filePath("input.stdata");
        ASSERT_TRUE(WriteAll(input, EncodeStdata(Large())));
        QProcess cli;
        cli.start(QStringLiteral(DL_CLI_PATH), {"export", input, "-o", disk + "/run.xls"});
        ASSERT_TRUE(cli.waitForFinished(60000));
        EXPECT_EQ(cli.exitCode(), 1);
        const QString err = QString::fromLocal8Bit(cli.readAllStandardError());
        EXPECT_TRUE(err.contains(disk + "/run.xls")) << err.toStdString();
        EXPECT_TRUE(err.contains(reason)) << err.toStdString();

        ExpectOldFilesOnly(filled ? QStringList{QStringLiteral("filler")} : QStringList{});
    }

    QTemporaryDir dir;
    QString disk;
    bool mounted = false;
    QString why;
    QMap<QString, QByteArray> before;
    bool filled = false;
    ManualClock clock;
    ManualTimerTable timers;
    FakePrompts prompts;
    FixedClock now;
    AppShell shell;
    FileCommands files;
};

TEST_F(SaveFaults, AFullDiskKeepsEveryOldFileAndSaysTheDiskIsFull) {
    if (!PrepareDisk("size=2m"))
        GTEST_SKIP() << why.toStdString();
    FillUp(disk);
    filled = true;
    EveryWriteFailsWith(FileErrorReason(ENOSPC));
    EXPECT_TRUE(FileErrorReason(ENOSPC).contains(QStringLiteral("no space left on device")));
}

TEST_F(SaveFaults, AReadOnlyFolderKeepsEveryOldFileAndSaysWhy) {
    if (!PrepareDisk("size=2m"))
        GTEST_SKIP() << why.toStdString();
    ASSERT_TRUE(RemountReadOnly(disk)) << strerror(errno);
    StartSaveJournal(dir.path()); // the journal cannot live on the read-only disk
    EveryWriteFailsWith(FileErrorReason(EROFS));
    EXPECT_TRUE(FileErrorReason(EROFS).contains(QStringLiteral("read-only")));
}

// ------------------------------------------------------------ killed half-way

// Kills the process after the second chunk of the n-th file it writes.
int g_killInFile = 1;
int g_file = 0;
qint64 g_lastWritten = 0;
void KillInFile(qint64 written, qint64 total) {
    if (written <= g_lastWritten || g_lastWritten == 0)
        ++g_file;
    g_lastWritten = written;
    if (g_file == g_killInFile && written > (1 << 20) && written < total)
        ::kill(::getpid(), SIGKILL);
}

// Runs `work` in a child process that is killed in the middle of writing.
void RunKilled(int inFile, const std::function<void()>& work) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        g_killInFile = inFile;
        SetWriteProgressHookForTests(KillInFile);
        work();
        ::_exit(3); // not killed: the write was not as large as thought
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), SIGKILL);
}

TEST_F(SaveFaults, SaveKilledWhileWritingLeavesTheOldFilesAndNothingAfterTheNextStart) {
    if (!PrepareDisk("size=256m"))
        GTEST_SKIP() << why.toStdString();
    // A file of the user's that merely looks like a temporary one stays.
    ASSERT_TRUE(WriteAll(disk + "/run.stdata.backup", "mine"));
    before[QStringLiteral("run.stdata.backup")] = "mine";
    const QDateTime old = QDateTime::currentDateTime().addSecs(-3600);
    QFile backup(disk + "/run.stdata.backup");
    ASSERT_TRUE(backup.open(QIODevice::ReadWrite));
    ASSERT_TRUE(backup.setFileTime(old, QFileDevice::FileModificationTime));
    backup.close();

    ShowDownloaded(Large());
    // In the middle of the report, then in the middle of the data file (the report
    // is complete by then, neither is in place yet).
    for (int inFile : {1, 2}) {
        SCOPED_TRACE(inFile);
        RunKilled(inFile, [&] {
            prompts.QueueFile(disk + "/run.xls");
            prompts.QueueAnswer(PromptAnswer::Yes);
            files.Save();
        });
        StartSaveJournal(disk); // the next start
        ExpectOldFilesOnly();
    }
    // Ctrl+S, the previous measurement and the settings file go the same way.
    RunKilled(1, [&] {
        prompts.QueueFile(disk + "/doc.stdata");
        prompts.QueueAnswer(PromptAnswer::Yes);
        files.FrameworkSave();
    });
    RunKilled(1, [&] { WritePreviousMeasurement(Large()); });
    QByteArray profile = "[Mine]\r\n";
    for (int i = 0; i < 40000; ++i)
        profile += "key" + QByteArray::number(i) + '=' + QByteArray(64, 'v') + "\r\n";
    IniFile big;
    big.LoadFromBytes(profile);
    RunKilled(1, [&] { big.Save(disk + "/LumoDATALOGGER.ini"); });
    StartSaveJournal(disk);
    ExpectOldFilesOnly();
}

// Where the system has no unnamed temporary files, QSaveFile writes to a named one
// beside the target; it is found by its journal entry and removed at the next start.
// Qt does without unnamed files when /proc is missing, so the writer runs as a fresh
// process with a tmpfs over /proc.
TEST_F(SaveFaults, ANamedTemporaryFileOfAKilledWriteIsRemovedAtTheNextStart) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer run-time cannot start without /proc; the normal build runs "
                    "this case";
#endif
    if (!PrepareDisk("size=256m"))
        GTEST_SKIP() << why.toStdString();
    char exe[4096] = {};
    ASSERT_GT(::readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (::unshare(CLONE_NEWNS) != 0 || ::mount("tmpfs", "/proc", "tmpfs", 0, nullptr) != 0)
            ::_exit(4);
        ::setenv("DL_KILLED_WRITER_TARGET", QFile::encodeName(disk + "/run.stdata").constData(), 1);
        ::execl(exe, exe, "--gtest_filter=KilledWriter.DISABLED_WritesUntilKilled",
                "--gtest_also_run_disabled_tests", static_cast<char*>(nullptr));
        ::_exit(5);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit " << WEXITSTATUS(status);
    // The named temporary file is there until the next start.
    const QStringList left = Listing(disk);
    QStringList named;
    for (const QString& f : left)
        if (f.startsWith(QStringLiteral("run.stdata.")))
            named << f;
    ASSERT_EQ(named.size(), 1) << left.join(' ').toStdString();
    EXPECT_EQ(StartSaveJournal(disk), 1);
    ExpectOldFilesOnly();
}

// A target whose folder is missing and one below a plain file were both told "the
// folder does not exist"; for the second, making the folder cannot help, and the user
// must be told that a part of the path is a file.
TEST(SaveTargetFolder, AFileOnThePathIsToldApartFromAMissingFolder) {
    QTemporaryDir tmp;
    QFile plain(tmp.filePath(QStringLiteral("plain")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    const struct {
        QString target;
        const char* reason;
    } cases[] = {
        {tmp.filePath(QStringLiteral("missing/run.stdata")), "the folder does not exist"},
        {tmp.filePath(QStringLiteral("missing/deeper/run.stdata")), "the folder does not exist"},
        {tmp.filePath(QStringLiteral("plain/run.stdata")), "a part of the path is not a folder"},
        {tmp.filePath(QStringLiteral("plain/a/b/run.stdata")),
         "a part of the path is not a folder"},
        {QStringLiteral("/dev/null/run.stdata"), "a part of the path is not a folder"},
    };
    for (const auto& c : cases) {
        AtomicFile f(c.target);
        EXPECT_FALSE(f.Open()) << c.target.toStdString();
        EXPECT_EQ(f.Error(), QString::fromLatin1(c.reason)) << c.target.toStdString();
    }
}

// Run only by the test above, in its child process.
TEST(KilledWriter, DISABLED_WritesUntilKilled) {
    const QString target = qEnvironmentVariable("DL_KILLED_WRITER_TARGET");
    ASSERT_FALSE(target.isEmpty());
    StartSaveJournal(QFileInfo(target).absolutePath());
    SetWriteProgressHookForTests(KillInFile);
    WriteFileAtomically(target, QByteArray(8 << 20, 'n'), nullptr);
    ::_exit(3);
}

} // namespace
