#include "comm/master.h"

#include "comm/linkpolicy.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSerialPort>

#include <cstring>

Master::Master(const ComConfig &settings)
    : MeterLink(settings)
{
}

Master::~Master()
{
    closePort();
}

int Master::openPort()
{
    closePort();
    port = new QSerialPort(this);
    port->setPortName(fieldText(settings.com));
    if (!port->open(QIODevice::ReadWrite))
        return ComOpenFailed;

    const int baud = fieldText(settings.baud).toInt(nullptr, 10);
    port->setBaudRate(baud, QSerialPort::AllDirections);
    port->setDataBits(QSerialPort::Data8);
    const QString parity = fieldText(settings.parity);
    if (parity == QLatin1String("No"))
        port->setParity(QSerialPort::NoParity);
    else if (parity == QLatin1String("Odd"))
        port->setParity(QSerialPort::OddParity);
    else
        port->setParity(QSerialPort::EvenParity);
    port->setFlowControl(QSerialPort::NoFlowControl);
    const QString stop = fieldText(settings.stopbit);
    if (stop == QLatin1String("1"))
        port->setStopBits(QSerialPort::OneStop);
    else if (stop == QLatin1String("1.5"))
        port->setStopBits(QSerialPort::OneAndHalfStop);
    else
        port->setStopBits(QSerialPort::TwoStop);
    // Opened again after a fault: whatever the line held then is stale.
    port->clear(QSerialPort::AllDirections);
    return ComOk;
}

void Master::closePort()
{
    if (!port)
        return;
    if (port->isOpen())
        port->close();
    delete port;
    port = nullptr;
}

int Master::readValues(int address, float *pollBuffer)
{
    // Without an open port there is nothing to send on; say so rather than
    // pretend the write was short.
    if (!port || !port->isOpen())
        return ComPortNotOpen;
    return pollBlocks([&](MeterBlock block) { return exchange(address, block, pollBuffer); },
                      [this] { return pollOver(); });
}

bool Master::isUp() const
{
    // A port pulled out (a USB adapter) says so by its error.
    return port && port->isOpen() && port->error() != QSerialPort::ResourceError;
}

int Master::exchange(int address, MeterBlock block, float *pollBuffer)
{
    const int requestLength = buildRtuRequest(buffer, address, block);
    port->clear(QSerialPort::AllDirections);
    if (port->write(reinterpret_cast<const char *>(buffer), requestLength) != requestLength)
        return ComSendFailed;
    port->flush();
    reportBytes(requestLength);

    const int replyLength = rtuReplyLength(block);
    if (!waitForBytes(replyTimeoutMs(), replyLength))
        return ComTimeout;

    memset(buffer, 0, sizeof buffer);
    const qint64 got = port->read(reinterpret_cast<char *>(buffer), sizeof buffer);
    const int n = got < 0 ? 0 : static_cast<int>(got);
    reportBytes(n);

    const int result = checkRtuReply(buffer, n, address, block);
    if (result == ComOk)
        decodeBlock(buffer + 3, block, pollBuffer);
    return result;
}

bool Master::waitForBytes(int timeoutMs, qint64 count)
{
    if (!port || !port->isOpen())
        return false;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs && !cancelled()) {
        if (port->bytesAvailable() >= count)
            break;
        // The sampling thread has no event loop of its own: the port's
        // notifications are delivered here.
        QCoreApplication::processEvents();
        if (port->bytesAvailable() >= count)
            break;
        // Block briefly in the port's own wait instead of spinning on
        // processEvents, which would burn a whole core for every time-out.
        const qint64 left = timeoutMs - timer.elapsed();
        if (left > 0)
            port->waitForReadyRead(static_cast<int>(qMin<qint64>(left, 20)));
    }
    return port->bytesAvailable() > 0;
}
