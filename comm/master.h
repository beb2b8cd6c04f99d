#pragma once

#include "comm/meterlink.h"
#include "comm/modbusframe.h"

class QSerialPort;

// Modbus RTU link to the meter over a serial port.
class Master : public MeterLink
{
    Q_OBJECT

public:
    explicit Master(const ComConfig &settings);
    ~Master() override;

    // (Re)opens the port named in the settings with their line settings;
    // ComOk or ComOpenFailed.
    int openPort();
    void closePort();

    int open() override { return openPort(); }
    void close() override { closePort(); }
    int readValues(int address, float *pollBuffer) override;
    bool isUp() const override;

    // Waits until count bytes are available or timeoutMs has passed, letting
    // the thread's events run meanwhile; true when any byte is available.
    bool waitForBytes(int timeoutMs, qint64 count);

private:
    int exchange(int address, MeterBlock block, float *pollBuffer);

    QSerialPort *port = nullptr;
};
