#pragma once

#include "data/meterconfig.h"
#include "data/samplerecord.h"

#include <QElapsedTimer>
#include <QString>

#include <cstdint>
#include <memory>
#include <mutex>

// The crash copy of one real-time window's series: every poll that goes into
// the live stores is also appended here, as a record of a data file, so that
// a program that is killed or loses power leaves its samples on disk.
//
// The sampling thread appends; the user interface thread ends the journal
// (remove or close). The file is created with the first sample, named after
// its time, and kept open while the window lives, so Stop and Start continue
// it. Each record reaches the operating system as soon as it is written;
// fsync follows at most every syncIntervalMs, outside the lock, so a slow
// disk never holds up the user interface thread.
class SignalData;

class LiveJournal
{
public:
    enum class AppendResult {
        Written,
        // The first failure of this journal: the caller reports it once.
        Failed,
        // Nothing done: the journal failed earlier or has been ended.
        Off,
    };

    explicit LiveJournal(const QString &folder, int syncIntervalMs = 5000);
    ~LiveJournal();
    LiveJournal(const LiveJournal &) = delete;
    LiveJournal &operator=(const LiveJournal &) = delete;

    AppendResult append(uint32_t time, const double values[kValueCount]);
    // The poll's values as the live stores get them: cell k widened to double.
    AppendResult appendPoll(uint32_t time, const SampleRecord &poll);
    // The rows of the series from row `from` on, in order, pending polls
    // included; the first result that is not Written, or Written.
    AppendResult appendSeries(SignalData &series, int from);
    // fsync now, when something was written since the last one.
    void sync();

    // The file, once the first sample has chosen its name; empty before.
    QString path() const;

    // Before the first sample: the meter whose polls these are. It is noted
    // beside the journal when the file is made (the journal itself stays a
    // plain data file), so that the offer after a crash can name it.
    void setMeter(const MeterConfig &meter);
    static QString meterNoteFor(const QString &journalPath);
    // The meter a journal's note names; false when it has none that reads.
    static bool readMeterNote(const QString &journalPath, MeterConfig *meter);

    // The samples were saved or given up: the file goes, and later appends
    // do nothing.
    void remove();
    // The window is gone with samples nobody saved: the file stays for the
    // next start to offer, and later appends do nothing.
    void close();

    // What a save of the series wrote: its first `records` samples, the
    // last of them taken at lastTime, into the file savedTo.
    struct SavedNote {
        int records = 0;
        uint32_t lastTime = 0;
        QString savedTo;
    };
    // Notes beside the journal that its first records are saved, so that a
    // recovery offers only what came after. The journal itself stays a
    // plain data file; without the note (not written, or lost) everything
    // is offered again, which duplicates but never loses samples. false
    // when no note was written.
    bool markSaved(const SavedNote &note);
    // The note of a journal; records is 0 when there is none or it cannot
    // be read.
    static SavedNote readSavedNote(const QString &journalPath);
    static QString savedNoteFor(const QString &journalPath);
    // Deletes a journal with its notes.
    static void removeFiles(const QString &journalPath);

    // Where the program keeps its journals: the per-user data folder.
    static QString defaultFolder();
    // "journal-yyyyMMdd-hhmmss.txt", the local time of the first sample.
    static QString fileNameFor(uint32_t firstTime);
    // The name filter that finds journals in the folder.
    static QString fileNamePattern();
    // The lock a journal's writer holds while the file is open.
    static QString lockFileFor(const QString &journalPath);

private:
    struct OpenFile;
    enum class State { Waiting, Open, Failed, Ended };

    bool openFile(uint32_t firstTime);

    const QString folder;
    const int syncIntervalMs;
    // A standard mutex, which ThreadSanitizer sees, unlike Qt's futexes.
    mutable std::mutex mutex;
    State state = State::Waiting;
    QString filePath;
    MeterConfig owner;
    bool hasOwner = false;
    // Whether filePath is a file this journal created.
    bool ownsFile = false;
    std::shared_ptr<OpenFile> file;
    QElapsedTimer sinceSync;
    bool unsynced = false;
};
