#pragma once

// A real MQTT broker for the tests: Debian's mosquitto on a free loopback
// port with a configuration of its own, and a subscriber that records what
// the broker delivers.

#include <mosquitto.h>

#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <mutex>
#include <pwd.h>
#include <unistd.h>

// The broker keeps its sessions and retained messages across a restart, and
// queues even QoS 0 messages for a subscriber that is away, without limit.
// A shell between the test and the broker stops the broker when the test's
// end of its input closes, so that a test that dies leaves none behind.
class BrokerProcess
{
public:
    ~BrokerProcess() { stop(); }

    // With a user, anonymous clients are refused and only that user and
    // password get in (a password file made by mosquitto_passwd).
    bool start(const QByteArray &user = {}, const QByteArray &password = {})
    {
        if (!port) {
            QTcpServer probe;
            probe.listen(QHostAddress::LocalHost, 0);
            port = probe.serverPort();
        }
        QByteArray conf = "listener " + QByteArray::number(port) + " 127.0.0.1\nuser " + QByteArray(getpwuid(geteuid())->pw_name)
            + "\npersistence true\npersistence_location " + dir.path().toUtf8()
            + "/\nqueue_qos0_messages true\nmax_queued_messages 0\nlog_dest stderr\n";
        if (user.isEmpty()) {
            conf += "allow_anonymous true\n";
        } else {
            const QString passwords = dir.path() + QStringLiteral("/passwd");
            if (QProcess::execute(QStringLiteral("mosquitto_passwd"),
                                  {QStringLiteral("-c"), QStringLiteral("-b"), passwords, user, password}) != 0)
                return false;
            conf += "allow_anonymous false\npassword_file " + passwords.toUtf8() + '\n';
        }
        QFile file(dir.path() + QStringLiteral("/mosquitto.conf"));
        if (!file.open(QIODevice::WriteOnly) || file.write(conf) != conf.size())
            return false;
        file.close();
        return restart();
    }

    // Again on the same port with the same configuration.
    bool restart()
    {
        stop();
        log.clear();
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral("sh"), {QStringLiteral("-c"),
                                             QStringLiteral("PATH=$PATH:/usr/sbin mosquitto -c \"$1\" & b=$!; read x; kill $b; wait $b"),
                                             QStringLiteral("sh"), dir.path() + QStringLiteral("/mosquitto.conf")});
        QElapsedTimer t;
        t.start();
        while (!log.contains("running") && process.state() != QProcess::NotRunning && t.elapsed() < 10000) {
            process.waitForReadyRead(50);
            log += process.readAll();
        }
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
    QByteArray log;

private:
    QTemporaryDir dir;
    QProcess process;
};

struct Delivered {
    QByteArray topic;
    QByteArray payload;
    bool retained;
};

// Subscribes to everything with a session the broker keeps, and reconnects
// by itself when the broker comes back.
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
            auto *l = static_cast<BrokerListener *>(self);
            std::lock_guard<std::mutex> lock(l->mutex);
            l->subscribed = true;
        });
        mosquitto_message_callback_set(mosq, [](mosquitto *, void *self, const mosquitto_message *m) {
            auto *l = static_cast<BrokerListener *>(self);
            std::lock_guard<std::mutex> lock(l->mutex);
            l->seen.append({m->topic, QByteArray(static_cast<const char *>(m->payload), m->payloadlen), m->retain});
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

    QList<Delivered> messages(const QByteArray &topic = {})
    {
        std::lock_guard<std::mutex> lock(mutex);
        QList<Delivered> list;
        for (const Delivered &d : seen)
            if (topic.isEmpty() || d.topic == topic)
                list.append(d);
        return list;
    }

    // Runs the event loop until done says so, or ms have passed.
    static bool waitFor(const std::function<bool()> &done, int ms = 10000)
    {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < ms)
            QTest::qWait(20);
        return done();
    }
    bool waitForSubscription()
    {
        return waitFor([this] {
            std::lock_guard<std::mutex> lock(mutex);
            return subscribed;
        });
    }

private:
    mosquitto *mosq;
    std::mutex mutex;
    bool subscribed = false;
    QList<Delivered> seen;
};
