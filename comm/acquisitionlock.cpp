#include "comm/acquisitionlock.h"

#include "data/appconfig.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>

namespace {

QString lockPath()
{
    return QDir(QFileInfo(configFilePath()).absolutePath()).filePath(QStringLiteral("acquisition.lock"));
}

std::unique_ptr<QLockFile> makeLock()
{
    auto lock = std::make_unique<QLockFile>(lockPath());
    // Held for a whole acquisition, however long: only a lock whose program
    // has gone (or whose machine has booted since) is stale.
    lock->setStaleLockTime(0);
    return lock;
}

} // namespace

AcquisitionLock::AcquisitionLock()
    : lock(makeLock())
{
}

AcquisitionLock::~AcquisitionLock() = default;

AcquisitionLock::Outcome AcquisitionLock::claim()
{
    if (lock->isLocked())
        return last = Outcome::Taken;
    // A lock file that is there now and ours after tryLock was left by a
    // run that ended while acquiring.
    qint64 leftPid = 0;
    QString host;
    QString leftProgram;
    const bool left = lock->getLockInfo(&leftPid, &host, &leftProgram);
    if (lock->tryLock(0)) {
        interrupted = left;
        pid = leftPid;
        program = leftProgram;
        return last = Outcome::Taken;
    }
    if (lock->error() == QLockFile::LockFailedError) {
        if (!lock->getLockInfo(&pid, &host, &program)) {
            pid = 0;
            program.clear();
        }
        return last = Outcome::Held;
    }
    return last = Outcome::Failed;
}

void AcquisitionLock::release()
{
    if (lock->isLocked())
        lock->unlock();
}

bool AcquisitionLock::isHeld() const
{
    return lock->isLocked();
}

QString AcquisitionLock::problem() const
{
    if (last == Outcome::Held)
        return acquisitionHeldText(program, pid);
    if (last == Outcome::Failed)
        return QStringLiteral("无法创建采集锁文件 %1").arg(QDir::toNativeSeparators(lockPath()));
    return QString();
}

AcquisitionLock::PreviousRun AcquisitionLock::previousRun()
{
    std::unique_ptr<QLockFile> probe = makeLock();
    qint64 holder = 0;
    QString host;
    QString name;
    if (!probe->getLockInfo(&holder, &host, &name))
        return PreviousRun::Ended;
    // Taken only when its program is gone; given back at once, the file
    // with it.
    if (probe->tryLock(0)) {
        probe->unlock();
        return PreviousRun::Interrupted;
    }
    return probe->error() == QLockFile::LockFailedError ? PreviousRun::Running : PreviousRun::Ended;
}

QString AcquisitionLock::interruptedRunText() const
{
    if (!interrupted)
        return QString();
    const QString who = program.isEmpty() ? QString() : program + QStringLiteral("，");
    return QStringLiteral("上次采集（%1进程 %2）未正常结束：崩溃、被终止或断电").arg(who).arg(pid);
}

QString acquisitionHeldText(const QString &program, qint64 pid)
{
    const QString who = program.isEmpty() ? QStringLiteral("另一个程序") : program;
    return QStringLiteral("此目录的采集已由 %1（进程 %2）进行，不能同时采集。").arg(who).arg(pid);
}
