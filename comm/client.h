#pragma once

#include "comm/meterlink.h"
#include "comm/modbusframe.h"

class QElapsedTimer;
class QTcpSocket;

// Modbus TCP link to the meter.
class Client : public MeterLink
{
    Q_OBJECT

public:
    explicit Client(const ComConfig &settings);
    ~Client() override;

    // Connects to the IP setting ("host" on port 502, or "host:port");
    // ComOk or ComConnectFailed.
    int connectHost();
    // Drops the connection at once, unsent and unread bytes with it.
    void disconnectHost();

    int open() override { return connectHost(); }
    void close() override { disconnectHost(); }
    int readValues(int address, float *pollBuffer) override;
    bool isUp() const override;

private:
    int exchange(int address, MeterBlock block, float *pollBuffer);
    void discardPending();
    // Waits for more reply bytes until timeoutMs after the timer's start.
    bool waitForReply(qint64 timeoutMs, const QElapsedTimer &timer);

    QTcpSocket *socket;
    // Counts up with every request; a reply must echo it.
    uint16_t transaction = 0;
};
