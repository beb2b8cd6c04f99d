#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

class QFile;

// The one way the program replaces a file: what is written goes to a new
// file beside the target, which replaces the target only when every byte
// of it reached the disk. Anything short of that (a short write, a failed
// flush of the last buffer, a failed sync) leaves the target as it was and
// no new file behind. A target that is a symbolic link is written through:
// the link stays and the file it names is replaced. A file that is
// replaced keeps its permissions, so a private file stays private; a new
// one gets the usual 0666 less the umask.
//
// Writes go through a buffer of 64 KB; blocks at least that large go to the
// system at once, so a writer that makes its own chunks is not copied again.
// Memory stays flat whatever the file's size.
//
// Not QSaveFile: its commit() flushes the last buffer without looking at
// the result, so a full disk could pass for a complete file.
class AtomicFile : public QIODevice
{
public:
    explicit AtomicFile(const QString &target);
    // An uncommitted file is discarded.
    ~AtomicFile() override;
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;

    // Creates the new file; mode must be WriteOnly (Text and Unbuffered are
    // accepted and change nothing). false with errorCode() when the target
    // cannot be written (folder missing or not writable, the target a folder
    // or read-only, too many links).
    bool open(OpenMode mode = WriteOnly) override;
    // The new file's name, for producers that write a file by name (a
    // spreadsheet library, the PDF engine). They must write it in place, as
    // opening with truncation does, not replace it by a rename of their own.
    QString temporaryPath() const { return temporary; }
    // Writes what is buffered, syncs the new file and renames it over the
    // target. false with errorCode() when any of it failed; the target is
    // then untouched. The device is closed either way.
    bool commit();
    // Drops the new file; the target stays as it was.
    void discard();
    // Before open(): the file's permissions once it is replaced (0600 for a
    // file that holds a password), whatever they were; the new file has
    // them from its start.
    void setFileMode(unsigned mode) { forcedMode = int(mode); }
    // Same as discard(): a file is only ever replaced by commit().
    void close() override;

    // The system's error code (errno) of the first failure, 0 when none.
    int errorCode() const { return failure; }

    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    bool fail(int code);
    bool writeOut(const char *data, qint64 size);

    QString target;
    QString realTarget;
    QString temporary;
    QByteArray buffer;
    int fd = -1;
    int failure = 0;
    bool keepMode = false;
    unsigned keptMode = 0;
    int forcedMode = -1;
};

// The whole of content as the file fileName, through AtomicFile; false when
// it could not be written, the earlier file then as it was.
bool writeFileAtomically(const QString &fileName, const QByteArray &content);

// Pushes what the system holds of a file that grows in place (the journal,
// the daily files) to the disk: 0, or the system's error code (a dying
// stick, a network share gone: the bytes may never reach the disk).
int syncToDisk(QFile &file);

// Writes all of data to the file descriptor: 0, or the system's error code.
// A write that takes nothing is a full disk (ENOSPC), never a silent short
// count.
int writeFully(int fd, const char *data, qint64 size);

// Why the system could not write a file, in the program's language where
// the user has something to do about it ("磁盘空间不足"), else the system's
// own text.
QString diskErrorText(int code);
