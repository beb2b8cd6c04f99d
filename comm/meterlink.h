#pragma once

#include "data/appconfig.h"

#include <QElapsedTimer>
#include <QObject>

#include <atomic>
#include <cstdint>
#include <memory>

// A link to the meter: the serial one (Master) or the TCP one (Client). It
// lives entirely in the sampling thread, which creates it, polls through it
// and destroys it, and it keeps the settings it was made with for its whole
// life; the meter a poll is for is named by each read. Every operation
// returns ComOk or a ComError code.
class MeterLink : public QObject
{
    Q_OBJECT

public:
    explicit MeterLink(const ComConfig &settings);
    ~MeterLink() override;

    // (Re)opens the link; whatever an earlier open left behind is dropped.
    virtual int open() = 0;
    // Drops the link at once, unsent and unread bytes with it.
    virtual void close() = 0;

    // One poll of the meter at address (the RTU slave address, or the unit
    // id over TCP): both register blocks into pollBuffer (kPollBufferSize
    // floats, slot k = column k). ComOk only when all 31 values were read.
    // One link serves every meter on its line or behind its gateway.
    virtual int readValues(int address, float *pollBuffer) = 0;

    // While *flag is set, a poll sends no more requests and stops waiting
    // for a reply; null (the default) lets every poll run to its end.
    void setCancelFlag(const std::atomic<bool> *flag) { cancelFlag = flag; }

    // Right before a poll: the longest it may take from now, all its
    // attempts together, so that the other meters of the link keep their
    // slot; no request is sent once it is spent, and no wait for a reply
    // goes beyond it. Below 0 (the default): each attempt has the full
    // time-out.
    void setPollBudget(qint64 ms);
    // Whether the link can still carry a poll: false once its port went
    // away or its connection was lost, which a failed poll alone does not
    // tell.
    virtual bool isUp() const { return true; }

    // Emits ComMessage with the first n bytes of the frame buffer.
    void reportBytes(int n);

signals:
    void ComMessage(const QString &message);

protected:
    bool cancelled() const { return cancelFlag && *cancelFlag; }
    // Cancelled, or the poll's budget is spent: no further request.
    bool pollOver() const { return cancelled() || (budgetMs >= 0 && budgetTimer.elapsed() >= budgetMs); }
    // How long the next wait for a reply may take: the full time-out, or
    // what is left of the budget when that is less.
    int replyTimeoutMs() const;

    const ComConfig settings;
    const std::atomic<bool> *cancelFlag = nullptr;
    qint64 budgetMs = -1;
    QElapsedTimer budgetTimer;
    uint8_t buffer[4096];
};

// The link the settings choose: TCP for a non-zero comtype, serial for 0.
std::unique_ptr<MeterLink> makeMeterLink(const ComConfig &settings);
