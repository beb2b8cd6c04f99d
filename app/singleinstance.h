#pragma once

#include <QObject>
#include <QStringList>

#include <memory>

class QLocalServer;
class QLocalSocket;
class QLockFile;
class QWidget;

// One program per working directory, whose settings file it keeps: two would
// fight over that file and over the meter, each taking the other's polls for
// faults. The first program started in a directory holds a lock file and
// listens on a local socket, both named after the directory's canonical path
// (hashed together with the user's home folder, so users stay apart); a
// program started later in the same directory hands its files over and ends.
// Programs in different directories stay independent.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    explicit SingleInstance(const QString &directory, QObject *parent = nullptr);
    ~SingleInstance() override;

    // Becomes the program of the directory and takes later starts' files;
    // false when another program has the directory.
    bool claim();
    // Gives files (none: only "come to the front") to the program of the
    // directory; true once it has taken them within timeoutMs.
    bool handOver(const QStringList &files, int timeoutMs = 10000) const;

signals:
    // A later start in the directory, with its files (perhaps none).
    void filesReceived(const QStringList &files);

private:
    void readRequest(QLocalSocket *socket);

    const QString name;
    std::unique_ptr<QLockFile> lock;
    QLocalServer *server = nullptr;
};

// Shows window in front of the others, restored when it was minimised.
void bringToFront(QWidget &window);
