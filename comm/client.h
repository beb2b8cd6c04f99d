#pragma once

#include "comm/modbusframe.h"

#include <QObject>

#include <atomic>
#include <cstdint>

class QElapsedTimer;
class QTcpSocket;

// Modbus TCP link to the meter. Lives entirely in the sampling thread, which
// creates it, polls through it and destroys it.
class Client : public QObject
{
    Q_OBJECT

public:
    Client();
    ~Client() override;

    // Connects to the IP setting ("host" on port 502, or "host:port");
    // ComOk or ComConnectFailed.
    int connectHost();
    // Drops the connection at once, unsent and unread bytes with it.
    void disconnectHost();

    // While *flag is set, a poll sends no more requests and stops waiting
    // for a reply; null (the default) lets every poll run to its end.
    void setCancelFlag(const std::atomic<bool> *flag) { cancelFlag = flag; }

    // One poll: both register blocks into pollBuffer (kPollBufferSize
    // floats, slot k = column k). ComOk only when all 31 values were read.
    int readValues(float *pollBuffer);

    // Emits ComMessage with the first n bytes of the frame buffer.
    void reportBytes(int n);

signals:
    void ComMessage(const QString &message);

private:
    int exchange(MeterBlock block, float *pollBuffer);
    void discardPending();
    bool cancelled() const { return cancelFlag && *cancelFlag; }
    // Waits for more reply bytes until timeoutMs after the timer's start.
    bool waitForReply(qint64 timeoutMs, const QElapsedTimer &timer);

    QTcpSocket *socket;
    const std::atomic<bool> *cancelFlag = nullptr;
    uint8_t buffer[4096];
};
