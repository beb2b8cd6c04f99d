#include "realtime/dailyfiles.h"

#include "data/atomicfile.h"
#include "data/datafile.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QLockFile>
#include <QSysInfo>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A day of polls kept after the disk stopped taking them is written back in
// pieces of this many, so that no poll is held up for long.
constexpr size_t kCatchUpRecords = 1000;

// Enough for the last record of any file written here: a record is about
// 620 bytes, more only with values of many digits.
constexpr qint64 kTailBytes = 8192;
constexpr qint64 kCopyBytes = 1 << 16;

QDate localDay(uint32_t time)
{
    return QDateTime::fromTime_t(time).date();
}

// A lock of this very program: its file went away under it (a stick pulled
// and put back) before the lock could be removed, so it is ours to go on.
// One acquisition at a time writes daily files.
bool reclaim(QLockFile &lock)
{
    qint64 pid = 0;
    QString host;
    QString application;
    return lock.getLockInfo(&pid, &host, &application) && pid == QCoreApplication::applicationPid()
           && host == QSysInfo::machineHostName() && lock.removeStaleLockFile() && lock.tryLock(0);
}

// Whether path leads to the file open on handle.
bool isFile(const QString &path, int handle)
{
    struct stat byName;
    struct stat byHandle;
    return ::stat(QFile::encodeName(path).constData(), &byName) == 0 && ::fstat(handle, &byHandle) == 0
           && byName.st_dev == byHandle.st_dev && byName.st_ino == byHandle.st_ino;
}

// The first size bytes of the file open on from, appended to the file open
// on to: 0, or the system's error code and whether it was the read.
int copyFile(int from, int to, qint64 size, bool *readFailed)
{
    QByteArray block(kCopyBytes, Qt::Uninitialized);
    for (qint64 done = 0; done < size;) {
        const ssize_t got = ::pread(from, block.data(), size_t(qMin<qint64>(kCopyBytes, size - done)), off_t(done));
        if (got <= 0) {
            *readFailed = true;
            return got < 0 ? errno : EIO;
        }
        if (const int error = writeFully(to, block.constData(), got))
            return error;
        done += got;
    }
    return 0;
}

QByteArray tailOf(QFile &file)
{
    const qint64 size = file.size();
    file.seek(qMax<qint64>(0, size - kTailBytes));
    return file.read(kTailBytes);
}

} // namespace

struct DailyFiles::OpenFile {
    explicit OpenFile(const QString &path)
        : file(path)
        , lock(path + QStringLiteral(".lock"))
    {
    }

    // Whether the path still leads to the file written: a folder removed or
    // a stick pulled and put back leaves writes going into a file nobody
    // can find again.
    bool stillThere() const { return isFile(file.fileName(), file.handle()); }

    QFile file;
    QLockFile lock;
    QDate day;
    // The size up to the last record written whole, and up to the last
    // sync that took.
    qint64 written = 0;
    qint64 synced = 0;
};

FolderDevice folderDevice(const QString &folder)
{
    FolderDevice device;
    const QByteArray path = QFile::encodeName(folder);
    struct stat own;
    struct stat above;
    if (::stat(path.constData(), &own) == 0 && S_ISDIR(own.st_mode) && ::stat((path + "/..").constData(), &above) == 0) {
        device.folder = quint64(own.st_dev);
        device.parent = quint64(above.st_dev);
        device.valid = true;
    }
    return device;
}

bool sameDisk(const FolderDevice &atStart, const FolderDevice &now)
{
    return now.valid && (now.folder == atStart.folder || (atStart.isMountPoint() && now.isMountPoint()));
}

DiskAccess systemDisk()
{
    return {folderDevice, syncToDisk};
}

DailyFiles::DailyFiles(const QString &folder, FaultReport report, int syncIntervalMs, DiskAccess disk)
    : folder(folder)
    , report(std::move(report))
    , syncIntervalMs(syncIntervalMs)
    , disk(std::move(disk))
    , startDevice(this->disk.device(folder))
{
}

DailyFiles::~DailyFiles()
{
    closeFile();
}

QString DailyFiles::fileNameFor(const QDate &day, int part)
{
    const QString base = QStringLiteral("ZEP_") + day.toString(QStringLiteral("yyyyMMdd"));
    return part <= 1 ? base + QStringLiteral(".txt") : base + QStringLiteral("_%1.txt").arg(part);
}

QString DailyFiles::faultLogText(const Fault &fault)
{
    return QStringLiteral("无法写入%1（%2）").arg(QDir::toNativeSeparators(fault.path), fault.reason);
}

void DailyFiles::pollStored(uint32_t time, const SampleRecord &poll)
{
    latest = time;
    backlog.push_back({time, poll});
    countUnwritten();
    writePending(kCatchUpRecords, time);
    // Once a sync failed, every write is synced until one takes.
    if (!unsynced.empty() && (syncFailing || sinceSync.elapsed() >= syncIntervalMs))
        sync();
    noteRecovery(time);
}

void DailyFiles::runEnded()
{
    writePending(backlog.size(), backlog.empty() ? latest : backlog.back().time);
    closeFile();
    noteRecovery(latest);
    // Closed, a deleted file is gone with what it held.
    if (lost) {
        notReadBack = true;
        lost.reset();
    }
}

void DailyFiles::writePending(size_t limit, uint32_t attemptTime)
{
    bool reported = false;
    if (file && !file->stillThere()) {
        const QString path = file->file.fileName();
        loseFile();
        fail(attemptTime, path, QStringLiteral("文件已被删除或移走"));
        reported = true;
    }
    if (lost) {
        const QString path = lost->file.fileName();
        QString reason;
        if (!onStartDisk())
            reason = QStringLiteral("文件夹所在的磁盘不可用");
        if (!reason.isEmpty() || !restoreLost(&reason)) {
            // One fault a poll.
            if (!reported)
                fail(attemptTime, path, reason);
            return;
        }
    }
    size_t done = 0;
    while (!backlog.empty() && done < limit) {
        const QDate day = localDay(backlog.front().time);
        if (!onStartDisk()) {
            const QString path = file ? file->file.fileName() : QDir(filesFolder()).filePath(fileNameFor(day));
            closeFile();
            fail(attemptTime, path, QStringLiteral("文件夹所在的磁盘不可用"));
            return;
        }
        if (!file || file->day != day) {
            // A failed sync puts the closed file's polls first again.
            if (!closeFile())
                return;
            QString reason;
            if (!openFor(day, &reason)) {
                fail(attemptTime, QDir(filesFolder()).filePath(fileNameFor(day)), reason);
                return;
            }
        }
        // The polls of this day, formatted as the data file's writer
        // formats them, go out in one write.
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly | QIODevice::Text);
        size_t count = 0;
        for (; count < backlog.size() && done + count < limit; ++count) {
            const Pending &p = backlog[count];
            if (count > 0 && localDay(p.time) != day)
                break;
            double values[kValueCount];
            for (int k = 0; k < kValueCount; ++k)
                values[k] = double(p.poll.values[k]);
            writeRecord(buffer, p.time, values);
        }
        if (const int error = writeFully(file->file.handle(), bytes.constData(), bytes.size())) {
            const QString path = file->file.fileName();
            const QString reason = diskErrorText(error);
            // Half a record at the end would make the next one unreadable:
            // cut it off, or leave the file so that it is not continued.
            if (!file->file.resize(file->written))
                closeFile();
            fail(attemptTime, path, reason);
            return;
        }
        file->written += bytes.size();
        const auto end = backlog.begin() + std::ptrdiff_t(count);
        unsynced.insert(unsynced.end(), backlog.begin(), end);
        backlog.erase(backlog.begin(), end);
        countUnwritten();
        done += count;
    }
}

QString DailyFiles::filesFolder() const
{
    return subfolder.isEmpty() ? folder : QDir(folder).filePath(subfolder);
}

bool DailyFiles::onStartDisk()
{
    const FolderDevice now = disk.device(folder);
    // A folder that is not there is found out when its file is opened.
    if (!now.valid)
        return true;
    if (!startDevice.valid)
        startDevice = now;
    return sameDisk(startDevice, now);
}

void DailyFiles::loseFile()
{
    // Its name is free for the file that takes its place.
    file->lock.unlock();
    lost = std::move(file);
    recordsAway = true;
}

bool DailyFiles::restoreLost(QString *reason)
{
    if (!openFor(lost->day, reason, lost.get()))
        return false;
    const qint64 start = file->written;
    if (!isFile(file->file.fileName(), lost->file.handle())) {
        bool readFailed = false;
        int error = copyFile(lost->file.handle(), file->file.handle(), lost->written, &readFailed);
        // Only what reached the disk counts as kept.
        if (error == 0)
            error = disk.sync(file->file);
        if (error != 0) {
            *reason = diskErrorText(error);
            if (!file->file.resize(start))
                file.reset();
            // A file that cannot be read back (a disk gone) never will be.
            if (readFailed) {
                *reason = QStringLiteral("原文件已无法读回（%1）").arg(*reason);
                notReadBack = true;
                lost.reset();
            }
            return false;
        }
        file->written = file->synced = start + lost->written;
        sinceSync.start();
        // What was written to the lost file since its last sync is on disk
        // now.
        unsynced.clear();
        syncFailing = false;
    }
    lost.reset();
    recordsAway = notReadBack;
    countUnwritten();
    return true;
}

bool DailyFiles::openFor(const QDate &day, QString *reason, const OpenFile *replacing)
{
    // Not made anew: a stick that is pulled leaves its mount point behind,
    // and writing there would fill another disk.
    if (!QFileInfo(folder).isDir()) {
        *reason = QStringLiteral("文件夹不存在");
        return false;
    }
    // A meter's own folder is made inside it, on the disk checked above.
    if (!subfolder.isEmpty() && !QDir(folder).mkpath(subfolder)) {
        *reason = QStringLiteral("无法创建文件夹%1").arg(QDir::toNativeSeparators(filesFolder()));
        return false;
    }
    const QDir dir(filesFolder());
    for (int part = 1; part < 1000; ++part) {
        const QString path = dir.filePath(fileNameFor(day, part));
        auto candidate = std::make_unique<OpenFile>(path);
        candidate->day = day;
        candidate->lock.setStaleLockTime(0);
        // Another program writing this file keeps it.
        if (!candidate->lock.tryLock(0)) {
            if (candidate->lock.error() != QLockFile::LockFailedError) {
                *reason = QStringLiteral("无法创建%1").arg(QDir::toNativeSeparators(path + QStringLiteral(".lock")));
                return false;
            }
            if (!reclaim(candidate->lock))
                continue;
        }
        const bool exists = QFile::exists(path);
        // Only the latest part of the day is continued, and in place of a
        // lost file only that file itself, come back.
        if (exists && (QFile::exists(dir.filePath(fileNameFor(day, part + 1)))
                       || (replacing && !isFile(path, replacing->file.handle()))))
            continue;
        QFile &f = candidate->file;
        if (exists) {
            if (!f.open(QIODevice::ReadOnly))
                continue;
            const bool whole = endsWithCompleteRecord(tailOf(f));
            f.close();
            if (!whole)
                continue;
        }
        // Read too: should the file be deleted, what it held is read back.
        const QIODevice::OpenMode mode = QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered;
        if (!f.open(exists ? mode : mode | QIODevice::NewOnly)) {
            *reason = f.errorString();
            return false;
        }
        candidate->written = f.size();
        candidate->synced = candidate->written;
        file = std::move(candidate);
        sinceSync.start();
        return true;
    }
    *reason = QStringLiteral("当天的文件太多");
    return false;
}

bool DailyFiles::sync()
{
    sinceSync.start();
    if (!file || unsynced.empty())
        return true;
    const int error = disk.sync(file->file);
    if (error == 0) {
        file->synced = file->written;
        unsynced.clear();
        syncFailing = false;
        countUnwritten();
        return true;
    }
    // What the disk may have dropped since the last sync that took is cut
    // from the file and written again; a file that cannot be cut is left,
    // and the polls go again to whichever file comes next.
    syncFailing = true;
    const QString path = file->file.fileName();
    if (file->file.resize(file->synced))
        file->written = file->synced;
    else
        file.reset();
    backlog.insert(backlog.begin(), unsynced.begin(), unsynced.end());
    unsynced.clear();
    countUnwritten();
    fail(latest, path, diskErrorText(error));
    return false;
}

bool DailyFiles::closeFile()
{
    const bool synced = sync();
    file.reset();
    return synced;
}

void DailyFiles::countUnwritten()
{
    backlogSize = int(backlog.size() + (syncFailing ? unsynced.size() : 0));
}

void DailyFiles::fail(uint32_t attemptTime, const QString &path, const QString &reason)
{
    faulted = true;
    if (report)
        report({attemptTime, path, reason});
}

void DailyFiles::noteRecovery(uint32_t time)
{
    if (!faulted || !backlog.empty() || syncFailing || lost)
        return;
    faulted = false;
    if (recoveryReport)
        recoveryReport(time, !recordsAway);
}
