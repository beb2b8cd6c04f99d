#include "data/atomicfile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kBufferBytes = 1 << 16;
// As many links as the system itself follows before it gives up.
constexpr int kMaxLinks = 40;

// The file a name stands for once its links are followed (the last one may
// name a file that does not exist yet); empty after too many links.
QString followLinks(const QString &name)
{
    QString path = QFileInfo(name).absoluteFilePath();
    for (int hops = 0; hops <= kMaxLinks; ++hops) {
        const QFileInfo info(path);
        if (!info.isSymLink())
            return path;
        path = info.symLinkTarget();
    }
    return QString();
}

// Makes the rename itself survive a power cut. Once the rename is done a
// failure here cannot undo it, so it goes unreported.
void syncFolder(const QString &folder)
{
    const int dir = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return;
    ::fsync(dir);
    ::close(dir);
}

} // namespace

AtomicFile::AtomicFile(const QString &target)
    : target(target)
{
}

AtomicFile::~AtomicFile()
{
    discard();
}

bool AtomicFile::open(OpenMode mode)
{
    if (isOpen() || (mode & ~(Text | Unbuffered)) != WriteOnly)
        return fail(EINVAL);
    failure = 0;
    realTarget = followLinks(target);
    if (realTarget.isEmpty())
        return fail(ELOOP);
    const QByteArray real = QFile::encodeName(realTarget);
    struct stat existing;
    keepMode = ::stat(real.constData(), &existing) == 0;
    if (keepMode) {
        if (S_ISDIR(existing.st_mode))
            return fail(EISDIR);
        // A file the user made read-only is not replaced behind their back.
        if (::access(real.constData(), W_OK) != 0)
            return fail(errno);
        keptMode = existing.st_mode & 07777;
    }
    if (forcedMode >= 0) {
        keepMode = true;
        keptMode = unsigned(forcedMode);
    }
    const QFileInfo info(realTarget);
    for (int tries = 0; fd < 0; ++tries) {
        temporary = QStringLiteral("%1/.%2.%3.part")
                        .arg(info.absolutePath(), info.fileName(),
                             QString::number(QRandomGenerator::global()->generate(), 36));
        // Private until it replaces a file whose mode it then takes, so
        // that no one reads a private file's content on its way.
        fd = ::open(QFile::encodeName(temporary).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                    keepMode ? 0600 : 0666);
        const int code = errno;
        if (fd < 0 && (code != EEXIST || tries == 100)) {
            temporary.clear();
            return fail(code);
        }
    }
    buffer.reserve(kBufferBytes);
    return QIODevice::open(mode);
}

bool AtomicFile::commit()
{
    if (fd < 0)
        return false;
    bool ok = failure == 0 && writeOut(buffer.constData(), buffer.size());
    buffer.clear();
    if (ok && keepMode && ::fchmod(fd, keptMode) != 0)
        ok = fail(errno);
    // A disk that took the bytes only into its cache has not got them yet:
    // this is where a full or failing one is found out.
    if (ok && ::fdatasync(fd) != 0)
        ok = fail(errno);
    const int closed = ::close(fd);
    const int closeCode = errno;
    fd = -1;
    if (ok && closed != 0)
        ok = fail(closeCode);
    if (ok && ::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(realTarget).constData()) != 0)
        ok = fail(errno);
    if (!ok) {
        discard();
        return false;
    }
    temporary.clear();
    syncFolder(QFileInfo(realTarget).absolutePath());
    QIODevice::close();
    return true;
}

void AtomicFile::discard()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
    if (!temporary.isEmpty())
        ::unlink(QFile::encodeName(temporary).constData());
    temporary.clear();
    buffer.clear();
    if (isOpen())
        QIODevice::close();
}

void AtomicFile::close()
{
    discard();
}

qint64 AtomicFile::readData(char *, qint64)
{
    return -1;
}

qint64 AtomicFile::writeData(const char *data, qint64 size)
{
    if (fd < 0 || failure != 0)
        return -1;
    if (buffer.size() + size > kBufferBytes) {
        if (!writeOut(buffer.constData(), buffer.size()))
            return -1;
        buffer.resize(0);
    }
    if (size >= kBufferBytes) {
        if (!writeOut(data, size))
            return -1;
    } else {
        buffer.append(data, int(size));
    }
    return size;
}

bool AtomicFile::writeOut(const char *data, qint64 size)
{
    const int code = writeFully(fd, data, size);
    return code == 0 || fail(code);
}

bool AtomicFile::fail(int code)
{
    if (failure == 0) {
        failure = code;
        setErrorString(diskErrorText(code));
    }
    return false;
}

bool writeFileAtomically(const QString &fileName, const QByteArray &content)
{
    AtomicFile file(fileName);
    return file.open() && file.write(content) == content.size() && file.commit();
}

int syncToDisk(QFile &file)
{
    return ::fsync(file.handle()) == 0 ? 0 : errno;
}

int writeFully(int fd, const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0 && errno == EINTR)
            continue;
        // A write that takes nothing has nowhere to put it.
        if (n <= 0)
            return n < 0 ? errno : ENOSPC;
        data += n;
        size -= n;
    }
    return 0;
}

QString diskErrorText(int code)
{
    switch (code) {
    case EACCES:
    case EPERM:
        return QStringLiteral("没有写入权限");
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("磁盘空间不足");
    case EROFS:
        return QStringLiteral("文件系统是只读的");
    case EBUSY:
    case ETXTBSY:
        return QStringLiteral("文件正被使用");
    default:
        return QString::fromLocal8Bit(std::strerror(code));
    }
}
