#include "realtime/livejournal.h"

#include "data/atomicfile.h"
#include "data/datafile.h"
#include "realtime/signaldata.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QStandardPaths>

struct LiveJournal::OpenFile {
    explicit OpenFile(const QString &path)
        : file(path)
        , lock(lockFileFor(path))
    {
    }
    QFile file;
    QLockFile lock;
};

LiveJournal::LiveJournal(const QString &folder, int syncIntervalMs)
    : folder(folder)
    , syncIntervalMs(syncIntervalMs)
{
}

LiveJournal::~LiveJournal()
{
    close();
}

QString LiveJournal::defaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

QString LiveJournal::fileNameFor(uint32_t firstTime)
{
    return QStringLiteral("journal-") + QDateTime::fromTime_t(firstTime).toString(QStringLiteral("yyyyMMdd-hhmmss"))
           + QStringLiteral(".txt");
}

QString LiveJournal::fileNamePattern()
{
    return QStringLiteral("journal-*.txt");
}

QString LiveJournal::lockFileFor(const QString &journalPath)
{
    return journalPath + QStringLiteral(".lock");
}

QString LiveJournal::savedNoteFor(const QString &journalPath)
{
    return journalPath + QStringLiteral(".saved");
}

QString LiveJournal::meterNoteFor(const QString &journalPath)
{
    return journalPath + QStringLiteral(".meter");
}

void LiveJournal::removeFiles(const QString &journalPath)
{
    QFile::remove(journalPath);
    QFile::remove(savedNoteFor(journalPath));
    QFile::remove(meterNoteFor(journalPath));
}

void LiveJournal::setMeter(const MeterConfig &meter)
{
    std::lock_guard<std::mutex> locker(mutex);
    owner = meter;
    hasOwner = true;
}

bool LiveJournal::readMeterNote(const QString &journalPath, MeterConfig *meter)
{
    QFile file(meterNoteFor(journalPath));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QList<QByteArray> lines = file.read(64 * 1024).split('\n');
    bool addressRead = false;
    const int addr = lines.value(1).toInt(&addressRead);
    if (lines.size() < 3 || !addressRead || lines.at(0).isEmpty())
        return false;
    *meter = MeterConfig{QString::fromUtf8(lines.at(0)), addr};
    return true;
}

LiveJournal::SavedNote LiveJournal::readSavedNote(const QString &journalPath)
{
    SavedNote note;
    QFile file(savedNoteFor(journalPath));
    if (!file.open(QIODevice::ReadOnly))
        return note;
    const QList<QByteArray> lines = file.read(64 * 1024).split('\n');
    if (lines.size() < 3)
        return note;
    bool countRead = false;
    bool timeRead = false;
    const int records = lines.at(0).toInt(&countRead);
    const uint lastTime = lines.at(1).toUInt(&timeRead);
    if (!countRead || !timeRead || records <= 0)
        return note;
    note.records = records;
    note.lastTime = lastTime;
    note.savedTo = QString::fromUtf8(lines.at(2));
    return note;
}

bool LiveJournal::markSaved(const SavedNote &note)
{
    QString journalPath;
    {
        std::lock_guard<std::mutex> locker(mutex);
        if (state != State::Open)
            return false;
        journalPath = filePath;
    }
    // Written whole or not at all: a note cut short must never count more
    // records as saved than were. The sampling thread goes on meanwhile;
    // only this thread ends the journal.
    return writeFileAtomically(savedNoteFor(journalPath), QByteArray::number(note.records) + '\n'
                                                              + QByteArray::number(note.lastTime) + '\n'
                                                              + note.savedTo.toUtf8() + '\n');
}

QString LiveJournal::path() const
{
    std::lock_guard<std::mutex> locker(mutex);
    return filePath;
}

bool LiveJournal::openFile(uint32_t firstTime)
{
    const QString base = fileNameFor(firstTime);
    // Named in a failure report even when it could not be made.
    filePath = QDir(folder).filePath(base);
    if (!QDir().mkpath(folder))
        return false;
    // Two windows can start in the same second, and an earlier run may have
    // left a journal of that name: never append to someone else's samples.
    for (int n = 1; n < 100; ++n) {
        const QString name = n == 1 ? base : base.chopped(4) + QStringLiteral("-%1.txt").arg(n);
        const QString candidatePath = QDir(folder).filePath(name);
        auto candidate = std::make_shared<OpenFile>(candidatePath);
        candidate->lock.setStaleLockTime(0);
        // Locked before the file exists, so another instance starting up
        // never takes a journal being written for one left behind.
        if (!candidate->lock.tryLock(0))
            continue;
        if (candidate->file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Text)) {
            // A note left by an earlier journal of this name would count
            // these new samples as saved.
            QFile::remove(savedNoteFor(candidatePath));
            // Without the note the samples are offered all the same, only
            // without the meter's name.
            if (hasOwner)
                writeFileAtomically(meterNoteFor(candidatePath),
                                    owner.name.toUtf8() + '\n' + QByteArray::number(owner.addr) + '\n');
            else
                QFile::remove(meterNoteFor(candidatePath));
            file = std::move(candidate);
            filePath = candidatePath;
            ownsFile = true;
            return true;
        }
        if (!QFile::exists(candidatePath))
            return false;
    }
    return false;
}

LiveJournal::AppendResult LiveJournal::append(uint32_t time, const double values[kValueCount])
{
    std::shared_ptr<OpenFile> toSync;
    {
        std::lock_guard<std::mutex> locker(mutex);
        if (state == State::Failed || state == State::Ended)
            return AppendResult::Off;
        if (state == State::Waiting) {
            if (!openFile(time)) {
                state = State::Failed;
                file.reset();
                return AppendResult::Failed;
            }
            state = State::Open;
            sinceSync.start();
        }
        writeRecord(file->file, time, values);
        if (!file->file.flush() || file->file.error() != QFileDevice::NoError) {
            state = State::Failed;
            file.reset();
            return AppendResult::Failed;
        }
        unsynced = true;
        if (sinceSync.elapsed() >= syncIntervalMs) {
            toSync = file;
            unsynced = false;
            sinceSync.restart();
        }
    }
    // The file stays open while toSync holds it, even if the journal is
    // ended meanwhile.
    if (toSync)
        syncToDisk(toSync->file);
    return AppendResult::Written;
}

LiveJournal::AppendResult LiveJournal::appendPoll(uint32_t time, const SampleRecord &poll)
{
    double values[kValueCount];
    for (int k = 0; k < kValueCount; ++k)
        values[k] = double(poll.values[k]);
    return append(time, values);
}

LiveJournal::AppendResult LiveJournal::appendSeries(SignalData &series, int from)
{
    series.flushPending();
    series.lock();
    AppendResult result = AppendResult::Written;
    double values[kValueCount];
    for (int row = qMax(from, 0); row < series.size() && result == AppendResult::Written; ++row) {
        for (int k = 0; k < kValueCount; ++k)
            values[k] = series.value(k, row).y();
        result = append(uint32_t(series.value(0, row).x()), values);
    }
    series.unlock();
    return result;
}

void LiveJournal::sync()
{
    std::shared_ptr<OpenFile> toSync;
    {
        std::lock_guard<std::mutex> locker(mutex);
        if (!file || !unsynced)
            return;
        toSync = file;
        unsynced = false;
        sinceSync.restart();
    }
    syncToDisk(toSync->file);
}

void LiveJournal::remove()
{
    std::lock_guard<std::mutex> locker(mutex);
    state = State::Ended;
    file.reset();
    if (ownsFile)
        removeFiles(filePath);
}

void LiveJournal::close()
{
    std::lock_guard<std::mutex> locker(mutex);
    state = State::Ended;
    file.reset();
}
