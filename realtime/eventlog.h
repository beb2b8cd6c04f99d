#pragma once

#include <QDate>
#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>
#include <thread>

// One line of the event log: when it happened, the meter it is about (its
// name; empty for the station as a whole: its start and stop, its link, its
// forwarding) and what happened.
struct EventLine {
    QDateTime time;
    QString meter;
    QString text;

    // The line as the log on disk holds it, without its line end: the local
    // time to the millisecond (which orders the lines of several files),
    // the meter and the text, separated by tabs
    // ("2025-03-01 14:03:05.120\t空调\t通讯失败：通讯超时"; a station's line
    // has nothing between its two tabs). A tab or line break inside the name or
    // the text becomes a space, so that every event is one line of three
    // fields.
    QString formatted() const;
    // A line that formatted() wrote; false for anything else.
    static bool parse(const QString &line, EventLine *out);
};
Q_DECLARE_METATYPE(EventLine)

// "ZEP_yyyyMMdd.log": the log of a local day, beside the data file of the
// same day.
QString eventLogFileName(const QDate &day);

// The lines of the log files (those that exist), in the order of their
// times; lines of the same second keep the order of the files and of their
// places in them. Lines that do not read are left out.
QVector<EventLine> readEventLogs(const QStringList &paths);

// The log on disk: each line appended to the log file of its local day in a
// folder (the daily files' folder, or a meter's subfolder of it), so that a
// new file begins after midnight. Each line reaches the operating system in
// one write of its own, as the journal's records do, and is not synced: the
// system writes it to the disk within seconds, and an append of one short
// line never interleaves with another program's appending to the same file.
//
// The writing is done by a thread of its own: a disk that hangs (a dying
// stick, a network share gone) holds up neither the caller nor the polls.
// A line the disk does not take (disk full, the folder gone, the folder no
// longer on the disk it was on when it was set, as a pulled stick leaves its
// empty mount point) is kept, with up to kHeldLines others, and written
// first, in order, once the disk takes lines again. The folder itself is
// never made; a meter's subfolder is, inside it. Files are closed whenever
// nothing is left to write, so that the disk can be unmounted.
class EventLog
{
public:
    static constexpr int kHeldLines = 10000;

    EventLog();
    // What is left is written if the disk takes it within a second or two;
    // a thread stuck on a disk that hangs is left behind.
    ~EventLog();
    EventLog(const EventLog &) = delete;
    EventLog &operator=(const EventLog &) = delete;

    // The folder of the lines appended from now on, its disk noted anew
    // with its first line; empty for no log on disk (lines are dropped).
    void setFolder(const QString &folder);
    QString folder() const { return current; }
    // Hands the line over for the file of its day in subfolder of the
    // folder (empty: the folder itself) and returns at once.
    void append(const EventLine &line, const QString &subfolder = QString());
    // Waits up to timeoutMs until every line handed over is written, or
    // kept for a disk that did not take it; true when so.
    bool flush(int timeoutMs);
    // Lines waiting for the disk.
    int held() const;

private:
    struct Writer;
    std::shared_ptr<Writer> writer;
    std::thread thread;
    QString current;
    int generation = 0;
};
