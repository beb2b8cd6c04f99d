#pragma once

// A Modbus TCP peer that answers with exactly the bytes a test scripts, for
// the cases no well-behaved meter produces on demand: split replies, stray
// bytes between polls, foreign header fields. It runs in its own thread on
// blocking sockets, since the client under test blocks the test thread.

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QVector>

#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

class ScriptedMeter
{
public:
    struct Step {
        QList<QByteArray> pieces;   // sent one after another, gapMs apart
        int gapMs = 0;
        QByteArray afterwards;      // unsolicited bytes sent 20 ms after the reply
    };

    explicit ScriptedMeter(const QVector<Step> &script)
        : steps(script)
    {
        listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        socklen_t len = sizeof addr;
        if (bind(listener, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0 && listen(listener, 1) == 0
            && getsockname(listener, reinterpret_cast<sockaddr *>(&addr), &len) == 0)
            boundPort = ntohs(addr.sin_port);
        worker = std::thread([this] { run(); });
    }

    ~ScriptedMeter()
    {
        stopping = true;
        worker.join();
        close(listener);
    }

    ScriptedMeter(const ScriptedMeter &) = delete;
    ScriptedMeter &operator=(const ScriptedMeter &) = delete;

    QByteArray address() const { return "127.0.0.1:" + QByteArray::number(boundPort); }

    QList<QByteArray> requests()
    {
        QMutexLocker lock(&mutex);
        return received;
    }

private:
    // Waits for fd to become readable, giving up when the test ends.
    bool waitReadable(int fd)
    {
        while (!stopping) {
            pollfd p{fd, POLLIN, 0};
            const int r = ::poll(&p, 1, 50);
            if (r > 0)
                return true;
            if (r < 0)
                return false;
        }
        return false;
    }

    void run()
    {
        if (!waitReadable(listener))
            return;
        const int fd = accept(listener, nullptr, nullptr);
        if (fd < 0)
            return;
        for (const Step &step : steps) {
            QByteArray request;
            while (request.size() < 12) {
                if (!waitReadable(fd)) {
                    close(fd);
                    return;
                }
                char buf[12];
                const ssize_t n = recv(fd, buf, static_cast<size_t>(12 - request.size()), 0);
                if (n <= 0) {
                    close(fd);
                    return;
                }
                request.append(buf, static_cast<int>(n));
            }
            {
                QMutexLocker lock(&mutex);
                received.append(request);
            }
            for (int i = 0; i < step.pieces.size(); ++i) {
                if (i > 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(step.gapMs));
                send(fd, step.pieces[i].constData(), static_cast<size_t>(step.pieces[i].size()), MSG_NOSIGNAL);
            }
            if (!step.afterwards.isEmpty()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                send(fd, step.afterwards.constData(), static_cast<size_t>(step.afterwards.size()), MSG_NOSIGNAL);
            }
        }
        // Hold the connection until the client closes it or the test ends.
        while (waitReadable(fd)) {
            char buf[64];
            if (recv(fd, buf, sizeof buf, 0) <= 0)
                break;
        }
        close(fd);
    }

    QVector<Step> steps;
    int listener = -1;
    quint16 boundPort = 0;
    std::atomic<bool> stopping{false};
    QMutex mutex;
    QList<QByteArray> received;
    std::thread worker;
};
