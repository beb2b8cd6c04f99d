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
    // file made by mosquitto_passwd). With a folder of TestCertificates, a
    // second listener on tlsPort speaks TLS.
    bool start(const QString &user = {}, const QString &password = {}, const QString &certificates = {})
    {
        port = freePort();
        const QString path = dir.path();
        QByteArray conf = "listener " + QByteArray::number(port) + " 127.0.0.1\nuser " + QByteArray(getpwuid(geteuid())->pw_name)
            + "\npersistence true\npersistence_location " + path.toUtf8() + "/\nqueue_qos0_messages true\nmax_queued_messages 0\nlog_dest stderr\n";
        if (user.isEmpty())
            conf += "allow_anonymous true\n";
        else if (QProcess::execute(QStringLiteral("mosquitto_passwd"), {"-c", "-b", path + "/passwd", user, password}) == 0)
            conf += "password_file " + path.toUtf8() + "/passwd\n";
        else
            return false;
        if (!certificates.isEmpty()) {
            tlsPort = freePort();
            conf += "listener " + QByteArray::number(tlsPort) + " 127.0.0.1\ncertfile " + certificates.toUtf8()
                    + "/broker.pem\nkeyfile " + certificates.toUtf8() + "/broker.key\n";
        }
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
    quint16 tlsPort = 0;

private:
    static quint16 freePort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        return probe.serverPort();
    }

    QTemporaryDir dir;
    QProcess process;
};

// A test CA, a broker certificate it signed for 127.0.0.1, and another CA
// that signed nothing here; made with Debian's openssl.
struct TestCertificates {
    QTemporaryDir dir;

    QString file(const char *name) const { return dir.filePath(QLatin1String(name)); }
    bool make()
    {
        QProcess openssl;
        openssl.setWorkingDirectory(dir.path());
        openssl.start(QStringLiteral("sh"), {"-c", "set -e; k='-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes'\n"
                                                   "openssl req -x509 $k -days 2 -keyout ca.key -out ca.pem -subj /CN=ca\n"
                                                   "openssl req -x509 $k -days 2 -keyout other.key -out other.pem -subj /CN=other\n"
                                                   "openssl req $k -keyout broker.key -out broker.csr -subj /CN=127.0.0.1\n"
                                                   "echo subjectAltName=IP:127.0.0.1 >ext.cnf\n"
                                                   "openssl x509 -req -in broker.csr -CA ca.pem -CAkey ca.key -CAcreateserial "
                                                   "-out broker.pem -days 2 -extfile ext.cnf"});
        return openssl.waitForFinished(60000) && openssl.exitCode() == 0;
    }
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
