// The TCP link's faults that can only show after its 3-second time-out.

#include "comm/client.h"
#include "comm/comerror.h"
#include "linktesting.h"
#include "simprocess.h"
#include "coretesting.h"

#include <QElapsedTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

class TestClientTimeouts : public QObject
{
    Q_OBJECT

private slots:
    void faults_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("replyBytes");
        QTest::newRow("silent") << "silent" << int(ComTimeout) << -1;
        // Waited for the missing byte until the time-out.
        QTest::newRow("one byte short") << "short" << int(ComLengthError) << 64;
    }

    void faults()
    {
        QFETCH(QString, fault);
        QFETCH(int, code);
        QFETCH(int, replyBytes);
        SimProcess sim;
        QVERIFY(sim.startTcp({"--fault", fault, "--fault-on", "2,3"}));
        Client client(tcpConfig(sim.address()));
        QCOMPARE(client.connectHost(), int(ComOk));
        QElapsedTimer timer;
        timer.start();
        const PollResult r = pollOnce(client);
        const qint64 elapsed = timer.elapsed();
        QCOMPARE(r.code, code);
        QCOMPARE(r.requestedBlocks(true), QStringLiteral("ABB"));
        // Two time-outs of 3 s: no less, and not much more.
        QVERIFY2(elapsed >= 2 * 3000 - 50 && elapsed < 2 * 3000 + 1000, qPrintable(QString::number(elapsed)));
        const QStringList failed = r.reports.mid(2);
        if (replyBytes < 0) {
            QCOMPARE(failed.size(), 2);
        } else {
            QCOMPARE(failed.size(), 4);
            QCOMPARE(reportBytes(failed[1]).size(), replyBytes);
        }
        // The connection survives failed polls.
        QCOMPARE(pollOnce(client).code, int(ComOk));
    }

    // A listener whose backlog is full lets a connection attempt hang, the
    // way an unreachable meter does, without leaving the loopback interface.
    // A cancel ends the wait at once.
    void connectTimesOut_data()
    {
        QTest::addColumn<qint64>("cancelAfterMs");
        QTest::newRow("time-out") << qint64(3000);
        QTest::newRow("cancelled") << qint64(300);
    }

    void connectTimesOut()
    {
        QFETCH(qint64, cancelAfterMs);
        const int listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        QCOMPARE(bind(listener, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
        QCOMPARE(listen(listener, 0), 0);
        QCOMPARE(getsockname(listener, reinterpret_cast<sockaddr *>(&addr), &len), 0);
        QVector<int> fillers;
        for (int i = 0; i < 4; ++i) {
            const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            ::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
            fillers << fd;
        }
        QThread::msleep(100);
        Client client(tcpConfig("127.0.0.1:" + QByteArray::number(ntohs(addr.sin_port))));
        std::atomic<bool> stop{false};
        client.setCancelFlag(&stop);
        if (cancelAfterMs < 3000)
            QTimer::singleShot(int(cancelAfterMs), [&stop] { stop = true; });
        QElapsedTimer timer;
        timer.start();
        const int result = client.connectHost();
        const qint64 elapsed = timer.elapsed();
        for (int fd : fillers)
            close(fd);
        close(listener);
        QCOMPARE(result, int(ComConnectFailed));
        QVERIFY2(elapsed >= cancelAfterMs - 50 && elapsed < cancelAfterMs + 1000, qPrintable(QString::number(elapsed)));
    }
};

ZEP_TEST_MAIN_CORE(TestClientTimeouts)
#include "tst_client_timeouts.moc"
