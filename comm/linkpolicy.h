#pragma once

#include "comm/comerror.h"
#include "comm/modbusframe.h"

#include <QString>

#include <cstring>

constexpr int kReplyTimeoutMs = 3000;
constexpr int kConnectTimeoutMs = 3000;
constexpr int kAttemptsPerPoll = 3;

// Runs one poll of both blocks through attempt(block), which returns a
// ComError for one request and its reply.
//
// The poll has a budget of kAttemptsPerPoll attempts shared by the two
// blocks, but block B always gets at least one attempt of its own: when
// block A needed the whole budget, B still gets one try, so a poll never
// reports success with B unread and a meter that answered A only on the last
// try is not failed without B ever having been asked. A send failure ends
// the poll at once, and so does cancelled() turning true: no request is
// sent after it.
template <typename Attempt, typename Cancelled>
int pollBlocks(Attempt attempt, Cancelled cancelled)
{
    int attemptsLeft = kAttemptsPerPoll;
    for (MeterBlock block : {MeterBlock::A, MeterBlock::B}) {
        if (attemptsLeft == 0)
            attemptsLeft = 1;
        int result = ComTimeout;
        while (attemptsLeft > 0 && !cancelled()) {
            --attemptsLeft;
            result = attempt(block);
            if (result == ComOk || result == ComSendFailed)
                break;
        }
        if (result != ComOk)
            return result;
    }
    return ComOk;
}

template <typename Attempt>
int pollBlocks(Attempt attempt)
{
    return pollBlocks(attempt, [] { return false; });
}

// A fixed-size settings field as text, whether or not it is NUL-terminated.
template <size_t N>
QString fieldText(const char (&field)[N])
{
    return QString::fromLatin1(field, static_cast<int>(strnlen(field, N)));
}
