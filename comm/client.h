#pragma once

#include "comm/modbusframe.h"

#include <QObject>

#include <cstdint>

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

    QTcpSocket *socket;
    uint8_t buffer[4096];
};
