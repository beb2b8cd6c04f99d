#pragma once

// A real MQTT broker for the tests: Debian's mosquitto on a free loopback
// port with a configuration of its own, and a subscriber that records what
// the broker delivers.

#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <pwd.h>
#include <unistd.h>

// Sessions and retained messages survive a restart, and even QoS 0 messages
// wait, without limit, for a subscriber that is away. A shell between the
// test and the broker stops the broker once the test's end of its input
// closes, so that a test that dies leaves no broker behind.
class BrokerProcess
{
public:
    ~BrokerProcess() { stop(); }

    // With a user, only that user with that password gets in (a password
    // file made by mosquitto_passwd).
    bool start(const QString &user = {}, const QString &password = {})
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        port = probe.serverPort();
        probe.close();
        const QString path = dir.path();
        QByteArray conf = "listener " + QByteArray::number(port) + " 127.0.0.1\nuser " + QByteArray(getpwuid(geteuid())->pw_name)
            + "\npersistence true\npersistence_location " + path.toUtf8() + "/\nqueue_qos0_messages true\nmax_queued_messages 0\nlog_dest stderr\n";
        if (user.isEmpty())
            conf += "allow_anonymous true\n";
        else if (QProcess::execute(QStringLiteral("mosquitto_passwd"), {"-c", "-b", path + "/passwd", user, password}) == 0)
            conf += "password_file " + path.toUtf8() + "/passwd\n";
        else
            return false;
        QFile file(path + QStringLiteral("/mosquitto.conf"));
        return file.open(QIODevice::WriteOnly) && file.write(conf) == conf.size() && file.flush() && restart();
    }

    // Again, on the same port with the same configuration.
    bool restart()
    {
        stop();
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral("sh"), {"-c", "PATH=$PATH:/usr/sbin mosquitto -c \"$1\" & b=$!; read x; kill $b; wait $b",
                                             "sh", dir.path() + QStringLiteral("/mosquitto.conf")});
        QByteArray log;
        QElapsedTimer t;
        t.start();
        while (!log.contains("running") && !log.contains("Error") && t.elapsed() < 10000) {
            process.waitForReadyRead(50);
            log += process.readAll();
        }
        if (!log.contains("running"))
            qWarning("%s", log.constData());
        return log.contains("running");
    }

    void stop()
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.closeWriteChannel();
        if (!process.waitForFinished(10000))
            process.kill();
        process.waitForFinished(2000);
    }

    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(port); }

    quint16 port = 0;

private:
    QTemporaryDir dir;
    QProcess process;
};

struct Delivered {
    QByteArray topic, payload;
    bool retained;
};

// What mosquitto_sub receives on every topic, in a session the broker keeps
// for it; it reconnects by itself when the broker comes back, and gives up
// after five minutes should the test die.
class BrokerListener
{
public:
    explicit BrokerListener(quint16 port)
    {
        static int count = 0;
        const QString id = QStringLiteral("zep-test-%1-%2").arg(QCoreApplication::applicationPid()).arg(++count);
        sub.start(QStringLiteral("stdbuf"), {"-oL", "mosquitto_sub", "-p", QString::number(port), "-t", "#", "-q", "1", "-c",
                                             "-i", id, "-d", "-W", "300", "-F", "%r %t %p"});
    }
    ~BrokerListener()
    {
        sub.terminate();
        sub.waitForFinished();
    }

    bool subscribed() { return read().contains("received SUBACK"); }
    // On the topic (every topic for an empty one), in the order they came.
    QList<Delivered> messages(const QByteArray &topic = {})
    {
        QList<Delivered> list;
        for (const QByteArray &line : read().split('\n')) {
            const QByteArray t = line.mid(2, line.indexOf(' ', 2) - 2);
            if ((line.startsWith("0 ") || line.startsWith("1 ")) && (topic.isEmpty() || t == topic))
                list.append({t, line.mid(t.size() + 3), line.startsWith('1')});
        }
        return list;
    }

private:
    QByteArray read() { return out += sub.readAllStandardOutput(); }

    QProcess sub;
    QByteArray out;
};
