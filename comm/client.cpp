#include "comm/client.h"

#include "comm/linkpolicy.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTcpSocket>
#include <QTimer>

#include <cstring>

Client::Client(const ComConfig &settings)
    : MeterLink(settings)
    , socket(new QTcpSocket(this))
{
}

Client::~Client() = default;

int Client::connectHost()
{
    socket->abort();
    QString host;
    quint16 port = 0;
    if (!parseHostPort(fieldText(settings.IP), &host, &port))
        return ComConnectFailed;
    socket->connectToHost(host, port, QIODevice::ReadWrite, QAbstractSocket::AnyIPProtocol);
    // Waited for in an event loop of this thread: waitForConnected gives up
    // the attempt when it returns, so it cannot wait in slices, and a meter
    // that lets connection attempts go unanswered would hold up a stop for
    // the whole time-out.
    QElapsedTimer timer;
    timer.start();
    QEventLoop loop;
    const auto settled = [&] {
        const QAbstractSocket::SocketState state = socket->state();
        return state == QAbstractSocket::ConnectedState || state == QAbstractSocket::UnconnectedState || cancelled()
               || timer.elapsed() >= kConnectTimeoutMs;
    };
    const auto quitWhenSettled = [&] {
        if (settled())
            loop.quit();
    };
    QTimer watch;
    connect(&watch, &QTimer::timeout, &loop, quitWhenSettled);
    connect(socket, &QAbstractSocket::stateChanged, &loop, quitWhenSettled);
    watch.start(20);
    if (!settled())
        loop.exec();
    if (socket->state() == QAbstractSocket::ConnectedState)
        return ComOk;
    socket->abort();
    return ComConnectFailed;
}

void Client::disconnectHost()
{
    socket->abort();
}

void Client::discardPending()
{
    // Reading also notices a connection that the meter closed since the
    // last look, which leaves the socket unconnected. The cap only guards
    // against a peer that never stops sending.
    for (int i = 0; i < 64 && socket->waitForReadyRead(0); ++i) {
    }
    if (socket->isOpen())
        socket->readAll();
}

int Client::readValues(int address, float *pollBuffer)
{
    discardPending();
    if (socket->state() != QAbstractSocket::ConnectedState)
        return ComNotConnected;
    return pollBlocks([&](MeterBlock block) { return exchange(address, block, pollBuffer); },
                      [this] { return pollOver(); });
}

bool Client::isUp() const
{
    return socket->state() == QAbstractSocket::ConnectedState;
}

int Client::exchange(int address, MeterBlock block, float *pollBuffer)
{
    const uint16_t id = ++transaction;
    const int requestLength = buildTcpRequest(buffer, address, block, id);
    socket->flush();
    // Bytes of an earlier late or split reply must not pass for the start of
    // this one.
    discardPending();
    if (socket->write(reinterpret_cast<const char *>(buffer), requestLength) != requestLength)
        return ComSendFailed;
    socket->flush();
    reportBytes(requestLength);

    QElapsedTimer timer;
    timer.start();
    const qint64 timeoutMs = replyTimeoutMs();
    memset(buffer, 0, sizeof buffer);
    const int capacity = static_cast<int>(sizeof buffer);
    int n = 0;
    // TCP may deliver one reply in several pieces: keep reading until the
    // reply is complete by its own header or has the expected length,
    // within the same time-out. Whatever is incomplete then is a length
    // error, as a wrong-sized reply always was. A late answer to an earlier
    // request (behind a gateway perhaps another meter's) is dropped, and
    // the wait for this one goes on.
    const auto complete = [&] {
        if (n < kMbapHeaderLength)
            return false;
        const int lengthField = buffer[4] << 8 | buffer[5];
        return n >= qMin(tcpReplyLength(block), kMbapHeaderLength + lengthField);
    };
    for (;;) {
        if (socket->bytesAvailable() <= 0 && !waitForReply(timeoutMs, timer))
            break;
        const qint64 got = socket->read(reinterpret_cast<char *>(buffer) + n, capacity - n);
        if (got > 0)
            n += static_cast<int>(got);
        while (const int foreign = foreignFrameLength(buffer, n, id, address)) {
            reportBytes(foreign);
            n -= foreign;
            memmove(buffer, buffer + foreign, size_t(n));
        }
        if (complete() || n >= capacity)
            break;
    }
    if (n == 0)
        return ComTimeout;
    reportBytes(n);

    const int result = checkTcpReply(buffer, n, block);
    if (result == ComOk)
        decodeBlock(buffer + kMbapHeaderLength + 3, block, pollBuffer);
    return result;
}

bool Client::waitForReply(qint64 timeoutMs, const QElapsedTimer &timer)
{
    // In slices, so that a cancel is noticed within one of them.
    for (;;) {
        const qint64 left = timeoutMs - timer.elapsed();
        if (left <= 0 || cancelled())
            return false;
        if (socket->waitForReadyRead(static_cast<int>(cancelFlag ? qMin<qint64>(left, 20) : left)))
            return true;
        if (socket->state() != QAbstractSocket::ConnectedState)
            return false;
    }
}
