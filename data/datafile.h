#pragma once

#include "data/samplerecord.h"

#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// One loaded data file: its records in file order, as read by readRecords.
class DataFile
{
public:
    // Allocates count zero-filled records. When the allocation fails, records
    // is null and count 0, so that readRecords refuses the file instead of
    // writing into nothing.
    DataFile(const QString &path, quint32 count);
    ~DataFile();
    DataFile(const DataFile &) = delete;
    DataFile &operator=(const DataFile &) = delete;

    QString fileName;
    SampleRecord *records;
    quint32 count;
    // The files the records were read from when they are several (see
    // loadMerged); fileName then names the document, not a file. Empty for
    // one file.
    QStringList sources;

    // What readRecords had to fill in: records whose time line did not parse
    // (their time is SampleRecord::kInvalidTime) and records with a value
    // missing: one their lines did not name (a file cut off inside a
    // record), one that is no number, or the one a file cut off inside a
    // line ends with, whose digits may be cut. A missing value is
    // SampleRecord::kMissingValue.
    quint32 unreadableTimes = 0;
    quint32 incompleteRecords = 0;

    // Whether no record's time is below the one before it. Found on the
    // first call, once the records are filled, and kept.
    bool timesAscending() const;

    // The file's time range: the times of its first and its last record
    // that has a time (see firstRecordTime).
    uint32_t firstTime() const;
    uint32_t lastTime() const;

private:
    mutable int m_ascending = -1;
};

bool timesAscending(const SampleRecord *records, int count);

// The time of the first (last) record that has one: records whose time line
// did not read are placed nowhere, so they neither start nor end a file's
// time range. SampleRecord::kInvalidTime when no record has a time.
uint32_t firstRecordTime(const SampleRecord *records, int count);
uint32_t lastRecordTime(const SampleRecord *records, int count);

// Appends one record (a time line and seven value lines) to a file that the
// caller opened WriteOnly | Text. The format has no way to say "no value":
// a value that is not a number is written as 0, which is what readers of
// the format have always made of such an entry.
void writeRecord(QIODevice &file, uint32_t time, const double values[kValueCount]);

// Whether text, the end of a data file, ends with a whole record in the form
// writeRecord gives it; an empty file ends with none missing.
bool endsWithCompleteRecord(const QByteArray &text);

// The number of time lines of the file, or -1 when it cannot be opened.
int countRecords(const QString &path);

// Fills file->records from file->fileName. Returns the number of records
// read, or -1 when the file cannot be opened or holds no time line. Never
// writes more than file->count records (the file may have grown since it was
// counted); when it holds fewer time lines than that, count is lowered to the
// number read. progress receives the share of the file read so far, 0..100,
// each time that figure changes.
int readRecords(DataFile *file, const std::function<void(int percent)> &progress = {});

// Why loadDataFile refused a file.
enum class LoadFailure {
    None,
    Missing,
    // Not a regular file, or one without a time line.
    NotDataFile,
    Unreadable,
    // No memory for its records.
    TooLarge,
};

// Why path cannot be opened as a data file, found before a byte of it is
// read: Missing, NotDataFile for anything but a regular file, else None.
LoadFailure refusalBeforeReading(const QString &path);

// A data file's first time line comes at once: a file that holds none in
// its first kFirstRecordWithin bytes is no data file for readFirstTime.
constexpr qint64 kFirstRecordWithin = 64 * 1024;

// The time of the first record of the file at path, read from its first
// kFirstRecordWithin bytes only, so that a large file of something else is
// refused without reading it all. None, or why there is no such time.
LoadFailure readFirstTime(const QString &path, uint32_t *time);

// A file an open left out, and why.
struct OpenFailure {
    QString path;
    LoadFailure failure;
};

// The whole open of a file, in one pass: the records readRecords would
// give after countRecords, in an array that grows as the file is read and
// holds exactly count records at the end. Null when the file is refused (it
// is not a regular file, cannot be read, holds no record, or its records do
// not fit in memory); failure, when given, receives why (None for a file
// that loaded). progress as for readRecords.
std::unique_ptr<DataFile> loadDataFile(const QString &path, const std::function<void(int percent)> &progress = {},
                                       LoadFailure *failure = nullptr);

// Several files read one after the other into one array, as loadDataFile
// reads one, so that their records are held once: counts receives how many
// records each file gave, in order; one that gave none is also in refused,
// with the reason. Null when no file gave a record or the records do not fit
// in memory. progress as for readRecords, over all the files.
std::unique_ptr<DataFile> loadDataFiles(const QStringList &paths, std::vector<quint32> *counts,
                                        QList<OpenFailure> *refused,
                                        const std::function<void(int percent)> &progress = {});

// Whether the reader scans with SSE2 or with its portable loop, as built.
bool dataFileReaderUsesSse2();
