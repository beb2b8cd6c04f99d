#pragma once

// Shared by the link tests: settings, a poll with its frame reports, and
// reading a report back into bytes.

#include "comm/comerror.h"
#include "comm/meterlink.h"
#include "comm/modbusframe.h"
#include "data/appconfig.h"

#include <QMap>
#include <QStringList>
#include <QThread>
#include <QtTest>

#include <algorithm>

constexpr float kUntouched = -12345.0f;

struct PollResult {
    int code = -1;
    QStringList reports;            // every ComMessage of the poll, in order
    float values[kPollBufferSize];

    // The requests sent, "A" or "B" each, told from the reports by their
    // size (8 bytes serial, 12 TCP) and their start address.
    QString requestedBlocks(bool tcp) const
    {
        QString blocks;
        for (const QString &r : reports) {
            if (r.size() != 3 * (tcp ? 12 : 8))
                continue;
            if (r.contains(QLatin1String("75 31 00 3a")))
                blocks += QLatin1Char('A');
            else if (r.contains(QLatin1String("8a 49 00 1c")))
                blocks += QLatin1Char('B');
        }
        return blocks;
    }
};

// Polls the meter at address once through a link, collecting its reports.
template <typename Link>
PollResult pollOnce(Link &link, int address = 1, PollResult start = PollResult())
{
    PollResult r = start;
    if (r.code == -1)
        std::fill(r.values, r.values + kPollBufferSize, kUntouched);
    r.reports.clear();
    const QMetaObject::Connection c =
        QObject::connect(&link, &Link::ComMessage, [&r](const QString &m) { r.reports << m; });
    r.code = link.readValues(address, r.values);
    QObject::disconnect(c);
    return r;
}

inline QByteArray reportBytes(const QString &report)
{
    return QByteArray::fromHex(report.toLatin1().replace(' ', ""));
}

inline ComConfig serialConfig(const QString &port, int address = 1)
{
    ComConfig c;
    defaultComConfig(c);
    c.comtype = 0;
    copyToField(c.com, port.toLocal8Bit());
    c.addr = address;
    return c;
}

inline ComConfig tcpConfig(const QByteArray &ip, int unit = 1)
{
    ComConfig c;
    defaultComConfig(c);
    c.comtype = 1;
    copyToField(c.IP, ip);
    c.addr = unit;
    return c;
}

// Answers each meter with values of its address (column c: address × 100 + c)
// and the address as its frame; failingAddress fails its polls numbered in
// failing with failCode. Dead meters and every flakyEvery-th poll stay silent
// as long as the poll may wait; slowMs delays an answer.
struct AddressedLink : MeterLink {
    AddressedLink(const ComConfig &c, int failingAddress, QList<int> failing)
        : MeterLink(c), failingAddress(failingAddress), failing(failing) {}
    int open() override { return ComOk; }
    void close() override {}
    int readValues(int address, float *values) override
    {
        emit ComMessage(QString::number(address));
        const int n = ++pollsOf[address];
        QThread::msleep(static_cast<unsigned long>(slowMs.value(address)));
        if (dead.contains(address) || (flakyEvery.value(address) > 0 && n % flakyEvery.value(address) == 0)) {
            QThread::msleep(static_cast<unsigned long>(replyTimeoutMs()));
            return ComTimeout;
        }
        if (address == failingAddress && failing.contains(++polls))
            return failCode;
        for (int c = 1; c < kColumnCount; ++c)
            values[c] = float(address * 100 + c);
        return ComOk;
    }
    int failingAddress;
    QList<int> failing;
    int failCode = ComTimeout;
    int polls = 0;
    QList<int> dead;
    QMap<int, int> slowMs, flakyEvery, pollsOf;
};
