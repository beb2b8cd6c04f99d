#pragma once

#include "comm/modbusframe.h"

#include <QObject>

#include <atomic>
#include <cstdint>

class QSerialPort;

// Modbus RTU link to the meter over a serial port. Lives entirely in the
// sampling thread, which creates it, polls through it and destroys it.
class Master : public QObject
{
    Q_OBJECT

public:
    Master();
    ~Master() override;

    // (Re)opens the port named in AppConfig with its line settings;
    // ComOk or ComOpenFailed.
    int openPort();
    void closePort();

    // While *flag is set, a poll sends no more requests and stops waiting
    // for a reply; null (the default) lets every poll run to its end.
    void setCancelFlag(const std::atomic<bool> *flag) { cancelFlag = flag; }

    // One poll: both register blocks into pollBuffer (kPollBufferSize
    // floats, slot k = column k). ComOk only when all 31 values were read.
    int readValues(float *pollBuffer);

    // Waits until count bytes are available or timeoutMs has passed, letting
    // the thread's events run meanwhile; true when any byte is available.
    bool waitForBytes(int timeoutMs, qint64 count);

    // Emits ComMessage with the first n bytes of the frame buffer.
    void reportBytes(int n);

signals:
    void ComMessage(const QString &message);

private:
    int exchange(MeterBlock block, float *pollBuffer);
    bool cancelled() const { return cancelFlag && *cancelFlag; }

    QSerialPort *port = nullptr;
    const std::atomic<bool> *cancelFlag = nullptr;
    uint8_t buffer[4096];
};
