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
    QByteArray topic;
    QByteArray payload;
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
        const QByteArray id = "zep-test-" + QByteArray::number(getpid()) + '-' + QByteArray::number(++count);
        mosq = mosquitto_new(id.constData(), false, this);
        mosquitto_connect_callback_set(mosq, [](mosquitto *m, void *, int rc) {
            if (rc == 0)
                mosquitto_subscribe(m, nullptr, "#", 1);
        });
        mosquitto_subscribe_callback_set(mosq, [](mosquitto *, void *self, int, int, const int *) {
            static_cast<BrokerListener *>(self)->add({});
        });
        mosquitto_message_callback_set(mosq, [](mosquitto *, void *self, const mosquitto_message *m) {
            static_cast<BrokerListener *>(self)->add({m->topic, QByteArray(static_cast<char *>(m->payload), m->payloadlen), m->retain});
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
    // The messages on the topic (all for an empty one), in the order they came.
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
    // An entry without a topic stands for a subscription.
    void add(const Delivered &d)
    {
        std::lock_guard<std::mutex> lock(mutex);
        seen.append(d);
    }

    mosquitto *mosq;
    std::mutex mutex;
    QList<Delivered> seen;
};
