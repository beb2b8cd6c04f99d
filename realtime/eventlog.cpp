#include "realtime/eventlog.h"

#include "data/atomicfile.h"
#include "realtime/dailyfiles.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace {

QString timeFormat()
{
    return QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz");
}

QString oneLine(QString text)
{
    for (const QChar c : {QLatin1Char('\t'), QLatin1Char('\n'), QLatin1Char('\r')})
        text.replace(c, QLatin1Char(' '));
    return text;
}

// A line the disk did not take is tried again after this long, or with the
// next line, whichever comes first.
constexpr std::chrono::seconds kRetryAfter(5);
// How long the end waits for what is left to be written.
constexpr std::chrono::seconds kLastWrites(2);

} // namespace

QString EventLine::formatted() const
{
    return time.toString(timeFormat()) + QLatin1Char('\t') + oneLine(meter) + QLatin1Char('\t') + oneLine(text);
}

bool EventLine::parse(const QString &line, EventLine *out)
{
    const QStringList fields = line.split(QLatin1Char('\t'));
    if (fields.size() != 3)
        return false;
    const QDateTime time = QDateTime::fromString(fields[0], timeFormat());
    if (!time.isValid())
        return false;
    *out = {time, fields[1], fields[2]};
    return true;
}

QString eventLogFileName(const QDate &day)
{
    return QStringLiteral("ZEP_") + day.toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".log");
}

QVector<EventLine> readEventLogs(const QStringList &paths)
{
    QVector<EventLine> lines;
    for (const QString &path : paths) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &bytes : file.readAll().split('\n')) {
            EventLine line;
            if (EventLine::parse(QString::fromUtf8(bytes).remove(QLatin1Char('\r')), &line))
                lines.append(line);
        }
    }
    std::stable_sort(lines.begin(), lines.end(),
                     [](const EventLine &a, const EventLine &b) { return a.time < b.time; });
    return lines;
}

struct EventLog::Writer {
    struct Item {
        EventLine line;
        QString folder;
        QString subfolder;
        int generation;
    };

    void run();
    // Whether the line is in its file.
    bool write(const Item &item);
    void closeFiles();

    std::mutex mutex;
    // New lines, or the end.
    std::condition_variable wake;
    // Nothing left that the disk could take now, or the thread has ended.
    std::condition_variable settled;
    std::deque<Item> queue;
    // Lines not kept because kHeldLines were waiting already.
    int dropped = 0;
    // The first line of the queue was not taken: tried again later.
    bool stuck = false;
    // A line is being written.
    bool busy = false;
    bool stopping = false;
    bool finished = false;

    // The writing thread's own.
    int notedGeneration = -1;
    FolderDevice notedDevice;
    // The file open in each folder: its path and descriptor.
    std::map<QString, std::pair<QString, int>> files;
};

void EventLog::Writer::run()
{
    std::unique_lock<std::mutex> lock(mutex);
    while (!(stopping && (queue.empty() || stuck))) {
        if (queue.empty() || stuck) {
            lock.unlock();
            closeFiles();
            lock.lock();
            settled.notify_all();
            if (stopping)
                continue;
            if (queue.empty())
                wake.wait(lock);
            else
                wake.wait_for(lock, kRetryAfter);
            stuck = false;
            continue;
        }
        const Item item = queue.front();
        busy = true;
        lock.unlock();
        const bool written = write(item);
        lock.lock();
        busy = false;
        if (!written) {
            stuck = true;
            continue;
        }
        queue.pop_front();
        if (queue.empty() && dropped > 0) {
            const EventLine note{QDateTime::currentDateTime(), QString(),
                                 QStringLiteral("此前有 %1 行事件因磁盘不可用未能写入日志").arg(dropped)};
            queue.push_back({note, item.folder, QString(), item.generation});
            dropped = 0;
        }
    }
    lock.unlock();
    closeFiles();
    lock.lock();
    finished = true;
    settled.notify_all();
}

bool EventLog::Writer::write(const Item &item)
{
    const FolderDevice now = folderDevice(item.folder);
    if (item.generation != notedGeneration) {
        notedGeneration = item.generation;
        notedDevice = now;
    }
    // Not made anew: a pulled stick leaves its mount point behind, and the
    // lines would go to the disk below it, hidden once the stick is back.
    if (!now.valid)
        return false;
    if (!notedDevice.valid)
        notedDevice = now;
    if (!sameDisk(notedDevice, now))
        return false;
    const QString folder = item.subfolder.isEmpty() ? item.folder : QDir(item.folder).filePath(item.subfolder);
    const QString path = QDir(folder).filePath(eventLogFileName(item.line.time.date()));
    auto open = files.find(folder);
    if (open == files.end() || open->second.first != path) {
        if (open != files.end()) {
            ::close(open->second.second);
            files.erase(open);
        }
        if (!item.subfolder.isEmpty() && !QDir(item.folder).mkpath(item.subfolder))
            return false;
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0)
            return false;
        open = files.emplace(folder, std::make_pair(path, fd)).first;
    }
    const QByteArray bytes = (item.line.formatted() + QLatin1Char('\n')).toUtf8();
    if (writeFully(open->second.second, bytes.constData(), bytes.size()) != 0) {
        ::close(open->second.second);
        files.erase(open);
        return false;
    }
    return true;
}

void EventLog::Writer::closeFiles()
{
    for (const auto &file : files)
        ::close(file.second.second);
    files.clear();
}

EventLog::EventLog()
    : writer(std::make_shared<Writer>())
{
    // The thread keeps what it works on alive, even when it is left behind.
    thread = std::thread([w = writer] { w->run(); });
}

EventLog::~EventLog()
{
    std::unique_lock<std::mutex> lock(writer->mutex);
    writer->stopping = true;
    // One last try of what the disk did not take.
    writer->stuck = false;
    writer->wake.notify_all();
    const bool ended = writer->settled.wait_for(lock, kLastWrites, [this] { return writer->finished; });
    lock.unlock();
    if (ended)
        thread.join();
    else
        thread.detach();
}

void EventLog::setFolder(const QString &folder)
{
    current = folder;
    ++generation;
}

void EventLog::append(const EventLine &line, const QString &subfolder)
{
    if (current.isEmpty())
        return;
    {
        std::lock_guard<std::mutex> lock(writer->mutex);
        if (int(writer->queue.size()) >= kHeldLines) {
            ++writer->dropped;
            return;
        }
        writer->queue.push_back({line, current, subfolder, generation});
        writer->stuck = false;
    }
    writer->wake.notify_all();
}

bool EventLog::flush(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(writer->mutex);
    return writer->settled.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] {
        return (writer->queue.empty() || writer->stuck) && !writer->busy;
    });
}

int EventLog::held() const
{
    std::lock_guard<std::mutex> lock(writer->mutex);
    return int(writer->queue.size());
}
