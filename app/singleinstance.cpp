#include "app/singleinstance.h"

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

namespace {

// A request is the length of its text (4 bytes, high byte first), then the
// files as UTF-8, each ended by a NUL, which no path contains. The answer
// is one byte.
const quint32 kMaxRequest = 1 << 20;
const char kTaken[] = "1";

QString instanceName(const QString &directory)
{
    const QString canonical = QFileInfo(directory).canonicalFilePath();
    const QByteArray key = (canonical.isEmpty() ? QDir(directory).absolutePath() : canonical).toUtf8() + '\0'
                           + QDir::homePath().toUtf8();
    return QStringLiteral("zep-")
           + QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(24));
}

} // namespace

SingleInstance::SingleInstance(const QString &directory, QObject *parent)
    : QObject(parent)
    , name(instanceName(directory))
    , lock(std::make_unique<QLockFile>(QDir(QDir::tempPath()).filePath(name + QStringLiteral(".lock"))))
{
    // Held for the program's whole life: only a lock whose program has gone
    // is stale, however old.
    lock->setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::claim()
{
    if (!lock->tryLock(0))
        return false;
    server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket left behind by a program that was killed: the lock says
    // nobody listens on it.
    QLocalServer::removeServer(name);
    connect(server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequest(socket); });
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
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
    socket->flush();
    emit filesReceived(files);
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
    do {
        QLocalSocket socket;
        socket.connectToServer(name);
        if (socket.waitForConnected(500)) {
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
