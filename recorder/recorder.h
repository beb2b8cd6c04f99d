#pragma once

#include "comm/acquisitionlock.h"
#include "comm/station.h"

#include <QObject>

class QSocketNotifier;

// zep-recorder's run: the station of the working directory recorded with no
// window, each event a line on standard error, until SIGTERM or SIGINT.
class Recorder : public QObject
{
    Q_OBJECT

public:
    explicit Recorder(QObject *parent = nullptr);
    ~Recorder() override;

    // Reads the settings of the working directory, checks them, its daily
    // folder and its serial port, takes the directory's acquisition and
    // starts recording; empty then, otherwise the one line that tells why
    // not (nothing was started).
    QString start();

signals:
    // The run is over; the exit status the program ends with.
    void finished(int exitCode);

private:
    void takeStopSignal();
    void stationFinished();
    void print(int meter, const EventLine &line);

    // Declared first, gone last: the station's forwarding says "offline"
    // while the directory is still this program's.
    AcquisitionLock lock;
    Station station;
    QSocketNotifier *stopNotifier = nullptr;
    bool stopping = false;
};
