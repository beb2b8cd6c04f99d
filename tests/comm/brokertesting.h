#pragma once

// A real MQTT broker for the tests: Debian's mosquitto on a free loopback
// port with a configuration of its own, and a subscriber that records what
// the broker delivers.

#include <mosquitto.h>

#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <mutex>
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

// Subscribes to everything, in a session the broker keeps for it, and
// reconnects by itself when the broker comes back.
class BrokerListener
{
public:
    explicit BrokerListener(quint16 port)
    {
        static int count = 0;
        mosquitto_lib_init();
        mosq = mosquitto_new(QStringLiteral("zep-test-%1-%2").arg(getpid()).arg(++count).toUtf8().constData(), false, this);
        mosquitto_connect_callback_set(mosq, [](mosquitto *m, void *, int) { mosquitto_subscribe(m, nullptr, "#", 1); });
        // An entry without a topic stands for the subscription.
        mosquitto_subscribe_callback_set(mosq, [](mosquitto *, void *l, int, int, const int *) { add(l, {}); });
        mosquitto_message_callback_set(mosq, [](mosquitto *, void *l, const mosquitto_message *m) {
            add(l, {m->topic, QByteArray(static_cast<char *>(m->payload), m->payloadlen), m->retain});
        });
        mosquitto_reconnect_delay_set(mosq, 1, 1, false);
        mosquitto_connect(mosq, "127.0.0.1", port, 30);
        mosquitto_loop_start(mosq);
    }
    ~BrokerListener()
    {
        mosquitto_disconnect(mosq);
        mosquitto_loop_stop(mosq, false);
        mosquitto_destroy(mosq);
    }

    bool subscribed()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return !seen.isEmpty();
    }
    // On the topic (every topic for an empty one), in the order they came.
    QList<Delivered> messages(const QByteArray &topic = {})
    {
        std::lock_guard<std::mutex> lock(mutex);
        QList<Delivered> list;
        for (const Delivered &d : seen)
            if (!d.topic.isEmpty() && (topic.isEmpty() || d.topic == topic))
                list.append(d);
        return list;
    }

private:
    static void add(void *listener, const Delivered &d)
    {
        auto *l = static_cast<BrokerListener *>(listener);
        std::lock_guard<std::mutex> lock(l->mutex);
        l->seen.append(d);
    }

    mosquitto *mosq;
    std::mutex mutex;
    QList<Delivered> seen;
};
