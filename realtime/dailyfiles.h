#pragma once

#include "data/atomicfile.h"
#include "realtime/polllistener.h"

#include <QDate>
#include <QElapsedTimer>
#include <QString>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>

// Every poll of an acquisition appended, as it comes, to the data file of
// its local day in one folder, "ZEP_yyyyMMdd.txt", so that a recording left
// running for weeks is on disk day by day without anyone pressing 保存.
//
// A file of the day that is there already is continued when it ends with a
// complete record; otherwise (a crash cut it, or it is no data file) the
// polls go to "ZEP_yyyyMMdd_2.txt", and so on, and the earlier file is never
// touched. Each record reaches the operating system at once; fsync follows
// at most every syncIntervalMs, as for the journal. A write that fails (disk
// full, folder gone, the folder no longer on the disk it was on when the
// acquisition began) is reported and its polls are kept: the next poll
// writes them first, so the file has every poll in order once the disk
// takes them again. A sync that fails is a failed write too: the polls
// since the last sync that took are cut from the file and written again,
// and until a sync takes, they count as unwritten.
//
// A record counts as kept only while the file that holds it is there. The
// day's file deleted or moved away (a cleanup script, a user) is reported,
// and what it held, read back through the handle still open on it, goes
// first into the day's file anew (a part of its own when another file has
// taken its name); a file that comes back as it was is simply continued.
// Until then, or for good when the old file cannot be read back, not all
// polls are kept (allKept).
//
// The device a folder is on, and the device of the folder above it: a
// folder that is a mount point is on another device than its parent.
struct FolderDevice {
    quint64 folder = 0;
    quint64 parent = 0;
    bool valid = false; // the folder is there

    bool isMountPoint() const { return valid && folder != parent; }
};

// The folder as it is now; not valid when it is no folder.
FolderDevice folderDevice(const QString &folder);
// Whether a folder is still on the disk it was on when the acquisition
// began. A stick pulled from its mount point leaves an empty folder on the
// disk below, where records would land unseen; a stick put back may come as
// another device number, and is still the mount the user chose.
bool sameDisk(const FolderDevice &atStart, const FolderDevice &now);

// What the daily files ask of the disk besides writing; tests put failures
// in here.
struct DiskAccess {
    std::function<FolderDevice(const QString &folder)> device;
    // 0, or the system's error code.
    std::function<int(QFile &file)> sync;
};
DiskAccess systemDisk();

// Runs in the sampling thread; only unwritten() may be asked from another.
class DailyFiles : public PollListener
{
public:
    struct Fault {
        // The poll whose write failed.
        uint32_t time;
        QString path;
        QString reason;
    };
    // Called in the sampling thread, once for each poll that could not be
    // written; must return at once.
    using FaultReport = std::function<void(const Fault &)>;

    DailyFiles(const QString &folder, FaultReport report, int syncIntervalMs = 5000, DiskAccess disk = systemDisk());
    ~DailyFiles() override;
    DailyFiles(const DailyFiles &) = delete;
    DailyFiles &operator=(const DailyFiles &) = delete;

    // Before the first poll: the files go into this subfolder of the
    // folder (one meter's of several), made when it is missing while the
    // folder itself is there on its disk.
    void setSubfolder(const QString &name) { subfolder = name; }
    // Before the first poll: called in the sampling thread with the time
    // of the poll whose write took everything that was waiting after a
    // failed write, and whether the files hold every poll of the run (not
    // when a deleted file could not be read back); must return at once.
    using RecoveryReport = std::function<void(uint32_t time, bool allKept)>;
    void setRecoveryReport(RecoveryReport recovered) { recoveryReport = std::move(recovered); }

    void pollStored(uint32_t time, const SampleRecord &poll) override;
    // Writes what is left and syncs.
    void runEnded() override;

    // Polls handed over that no file holds yet.
    int unwritten() const { return backlogSize.load(); }
    // Every poll handed over is in a file that is there: none unwritten, and
    // no file of the run gone without what it held written again.
    bool allKept() const { return backlogSize.load() == 0 && !recordsAway.load(); }

    // "ZEP_yyyyMMdd.txt", then "ZEP_yyyyMMdd_2.txt" for part 2 and so on.
    static QString fileNameFor(const QDate &day, int part = 1);
    // The event log's text for a fault: the file and why.
    static QString faultLogText(const Fault &fault);

private:
    struct Pending {
        uint32_t time;
        SampleRecord poll;
    };
    struct OpenFile;

    // At most limit pending polls; a failed write is reported.
    void writePending(size_t limit, uint32_t attemptTime);
    bool onStartDisk();
    // replacing: a file gone whose records are to be written again; a file
    // of the day that is not that one is then never continued.
    bool openFor(const QDate &day, QString *reason, const OpenFile *replacing = nullptr);
    // The file is gone: it is kept open, its lock let go, until what it
    // held is written again.
    void loseFile();
    // What the lost file held, into a file of its day opened for it; false
    // with why when that could not be done yet.
    bool restoreLost(QString *reason);
    // false when the sync failed: the file's unsynced polls are pending
    // again.
    bool closeFile();
    bool sync();
    void countUnwritten();
    void fail(uint32_t attemptTime, const QString &path, const QString &reason);
    // Tells of the recovery when nothing waits any longer after a fault.
    void noteRecovery(uint32_t time);

    // The folder's path with the subfolder's, if any.
    QString filesFolder() const;

    const QString folder;
    QString subfolder;
    const FaultReport report;
    RecoveryReport recoveryReport;
    // A fault was reported and not yet its recovery.
    bool faulted = false;
    const int syncIntervalMs;
    const DiskAccess disk;
    FolderDevice startDevice;
    std::deque<Pending> backlog;
    // Written to the open file since its last sync that took.
    std::deque<Pending> unsynced;
    // The last sync failed: what is written counts once a sync takes.
    bool syncFailing = false;
    uint32_t latest = 0;
    std::atomic<int> backlogSize{0};
    std::unique_ptr<OpenFile> file;
    // The file that went away, while what it held is to be written again.
    std::unique_ptr<OpenFile> lost;
    // A lost file's records are in no file, for now or (notReadBack) for good.
    std::atomic<bool> recordsAway{false};
    bool notReadBack = false;
    QElapsedTimer sinceSync;
};
