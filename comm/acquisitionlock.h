#pragma once

#include <QString>

#include <memory>

class QLockFile;

// One acquisition per working directory, whichever program runs it (zep or
// zep-recorder): two would poll the same meters, each taking the other's
// replies for faults, and write the same daily files. The lock file lives
// in the station's config folder, beside its settings, so it names the
// directory whatever path it was reached by, and it outlasts a reboot: a
// lock left by a run that ended while acquiring (a crash, a power cut,
// kill -9) tells the next start so, and is taken over.
class AcquisitionLock
{
public:
    // "config/acquisition.lock" of the working directory, made absolute now.
    AcquisitionLock();
    ~AcquisitionLock();
    AcquisitionLock(const AcquisitionLock &) = delete;
    AcquisitionLock &operator=(const AcquisitionLock &) = delete;

    enum class Outcome {
        Taken,
        Held,   // another program acquires here: holder() tells which
        Failed, // the lock file cannot be made (problem() tells why)
    };
    // Takes the lock for this program until release(); taken already, it
    // stays so.
    Outcome claim();
    void release();
    bool isHeld() const;

    // After Held: the program that holds the lock, and its process id
    // (after Taken: those of a run that left it).
    qint64 holderPid() const { return pid; }
    QString holderName() const { return program; }
    // After Held or Failed: one line saying why there is no acquisition.
    QString problem() const;
    // After Taken: for the log, a line saying that the lock was left by a
    // run that ended while acquiring; empty when it was not.
    QString interruptedRunText() const;

    // How the latest acquisition in the working directory ended.
    enum class PreviousRun {
        Ended,       // stopped as it should, or never one
        Interrupted, // it ended while acquiring: a crash, a power cut, a kill
        Running,     // it is going on now, in another program
    };
    // Read before claim(), which takes a left lock over silently.
    static PreviousRun previousRun();

private:
    std::unique_ptr<QLockFile> lock;
    Outcome last = Outcome::Taken;
    bool interrupted = false;
    qint64 pid = 0;
    QString program;
};

// The refusal of a second acquisition in a directory, naming the program
// that holds it.
QString acquisitionHeldText(const QString &program, qint64 pid);
