#include "app/singleinstance.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>
#include <QWidget>

#include <cerrno>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A request is the length of its text (4 bytes, high byte first), then the
// files as UTF-8, each ended by a NUL, which no path contains. The answer
// is one byte.
const quint32 kMaxRequest = 1 << 20;
const char kTaken[] = "1";

QString instanceName(const QString &directory)
{
    const QString canonical = QFileInfo(directory).canonicalFilePath();
    const QByteArray key = (canonical.isEmpty() ? QDir(directory).absolutePath() : canonical).toUtf8();
    return QStringLiteral("zep-")
           + QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(24));
}

bool isPrivateFolder(const QString &path, uint uid)
{
    struct stat info;
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode)
           && info.st_uid == uid && (info.st_mode & 077) == 0;
}

QString socketPath(const QString &directory)
{
    // Where the per-user cache is outside the tests' sandbox too, so that a
    // test and the program it starts agree on it.
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (!QDir::isAbsolutePath(cache))
        cache = QDir::homePath() + QStringLiteral("/.cache");
    const QString fallback = cache + QLatin1Char('/') + QCoreApplication::organizationName() + QLatin1Char('/')
                             + QCoreApplication::applicationName() + QStringLiteral("/run");
    const QString folder = privateRuntimeDirectory(qEnvironmentVariable("XDG_RUNTIME_DIR"), fallback, uint(::geteuid()));
    return folder.isEmpty() ? QString() : QDir(folder).filePath(instanceName(directory));
}

} // namespace

QString privateRuntimeDirectory(const QString &xdgRuntimeDir, const QString &fallback, uint uid)
{
    if (isPrivateFolder(xdgRuntimeDir, uid))
        return xdgRuntimeDir;
    // Made private from the start; one that was there already must be so.
    QDir().mkpath(QFileInfo(fallback).absolutePath());
    if (::mkdir(QFile::encodeName(fallback).constData(), 0700) != 0 && errno != EEXIST)
        return QString();
    return isPrivateFolder(fallback, uid) ? fallback : QString();
}

bool peerIsUser(qintptr socket, uint uid)
{
    ucred peer{};
    socklen_t size = sizeof peer;
    return socket >= 0 && ::getsockopt(int(socket), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0
           && size == sizeof peer && peer.uid == uid;
}

SingleInstance::SingleInstance(const QString &directory, QObject *parent)
    : QObject(parent)
    , name(socketPath(directory))
{
    if (name.isEmpty())
        return;
    lock = std::make_unique<QLockFile>(name + QStringLiteral(".lock"));
    // Held for the program's whole life: only a lock whose program has gone
    // is stale, however old.
    lock->setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::claim()
{
    if (!lock)
        return true;
    if (!lock->tryLock(0))
        return false;
    server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket left behind by a program that was killed: the lock says
    // nobody listens on it.
    QLocalServer::removeServer(name);
    connect(server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            if (!peerIsUser(socket->socketDescriptor(), uint(::geteuid()))) {
                socket->abort();
                continue;
            }
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequest(socket); });
        }
    });
    // Without the socket the program still runs; later starts then say
    // that it does not answer.
    server->listen(name);
    return true;
}

void SingleInstance::readRequest(QLocalSocket *socket)
{
    quint32 size = 0;
    if (socket->bytesAvailable() < qint64(sizeof size))
        return;
    QDataStream(socket->peek(sizeof size)) >> size;
    if (size > kMaxRequest) {
        socket->abort();
        return;
    }
    if (socket->bytesAvailable() < qint64(sizeof size + size))
        return;
    socket->read(sizeof size);
    const QByteArray text = socket->read(size);
    const QStringList files = QString::fromUtf8(text.constData(), text.size()).split(QChar(0), Qt::SkipEmptyParts);
    socket->write(kTaken, 1);
    // The sender has its answer and the socket is done with before the
    // files are opened: a message about them runs an event loop of its
    // own, in which the socket could go from under this handler.
    disconnect(socket, nullptr, this, nullptr);
    socket->disconnectFromServer();
    QMetaObject::invokeMethod(this, [this, files] { emit filesReceived(files); }, Qt::QueuedConnection);
}

bool SingleInstance::handOver(const QStringList &files, int timeoutMs) const
{
    QByteArray text;
    for (const QString &file : files)
        text += file.toUtf8() + '\0';
    QByteArray request;
    QDataStream(&request, QIODevice::WriteOnly) << quint32(text.size());
    request += text;
    QElapsedTimer timer;
    timer.start();
    // The program that holds the lock may not be listening yet.
    if (name.isEmpty())
        return false;
    do {
        QLocalSocket socket;
        socket.connectToServer(name);
        if (socket.waitForConnected(500)) {
            // Only to a program of this user: the paths are the user's.
            if (!peerIsUser(socket.socketDescriptor(), uint(::geteuid())))
                return false;
            socket.write(request);
            const int left = int(qMax<qint64>(timeoutMs - timer.elapsed(), 1000));
            return socket.waitForBytesWritten(left) && socket.waitForReadyRead(left) && socket.read(1) == kTaken;
        }
        QThread::msleep(100);
    } while (timer.elapsed() < timeoutMs);
    return false;
}

void bringToFront(QWidget &window)
{
    window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window.raise();
    window.activateWindow();
}
