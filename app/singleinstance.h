#pragma once

#include <QObject>
#include <QStringList>

#include <memory>

class QLocalServer;
class QLocalSocket;
class QLockFile;
class QWidget;

// The folder for the lock and the socket: xdgRuntimeDir when it is a folder
// of user uid that nobody else may enter (the session's runtime folder),
// otherwise fallback, made so when it is not there; empty when neither is
// such a folder. Never a folder others can write to: there another user
// could take the names first.
QString privateRuntimeDirectory(const QString &xdgRuntimeDir, const QString &fallback, uint uid);
// Whether the program at the other end of a connected local socket runs as
// user uid (the credentials the system keeps for the connection).
bool peerIsUser(qintptr socket, uint uid);

// One program per working directory, whose settings file it keeps: two would
// fight over that file and over the meter, each taking the other's polls for
// faults. The first program started in a directory holds a lock file and
// listens on a local socket, both named after the directory's canonical path
// and kept in the user's private runtime folder; a program of the same user
// started later in the same directory hands its files over and ends. Both
// ends talk only to a program of their own user. Programs in different
// directories stay independent.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    explicit SingleInstance(const QString &directory, QObject *parent = nullptr);
    ~SingleInstance() override;

    // Becomes the program of the directory and takes later starts' files;
    // false when another program has the directory. Without a private
    // runtime folder the program runs on its own.
    bool claim();
    // Gives files (none: only "come to the front") to the program of the
    // directory; true once it has taken them within timeoutMs.
    bool handOver(const QStringList &files, int timeoutMs = 10000) const;

signals:
    // A later start in the directory, with its files (perhaps none); after
    // it has had its answer and the connection is closed.
    void filesReceived(const QStringList &files);

private:
    void readRequest(QLocalSocket *socket);

    // The socket's path; empty without a private runtime folder.
    const QString name;
    std::unique_ptr<QLockFile> lock;
    QLocalServer *server = nullptr;
};

// Shows window in front of the others, restored when it was minimised.
void bringToFront(QWidget &window);
