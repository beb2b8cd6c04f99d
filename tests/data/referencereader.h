#pragma once

// The data file reader written step by step, with QString doing every step,
// exactly as the format is defined. Slow and obviously right; the real reader
// must give the same results bit for bit. Only the tests use it.

#include "data/paramtable.h"
#include "data/samplerecord.h"

#include <QDateTime>
#include <QFile>
#include <QStringList>

#include <vector>

namespace reference {

inline bool isTimeLine(const QString &chunk)
{
    return chunk.count(QLatin1Char('/')) == 2 && chunk.count(QLatin1Char(':')) == 2;
}

inline int countRecords(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    int count = 0;
    char buffer[200];
    while (!file.atEnd()) {
        const qint64 length = file.readLine(buffer, sizeof buffer);
        if (length <= 0)
            break;
        // readLine ends the piece with a NUL; fromUtf8 stops at the first one.
        const QString chunk = QString::fromUtf8(buffer);
        if (isTimeLine(chunk))
            ++count;
    }
    return count;
}

struct Result {
    int returned = -1;
    std::vector<SampleRecord> records; // as many as were allocated
    quint32 count = 0;                 // the record count after the read
    std::vector<int> progress;         // each new percentage, in order
};

inline Result readRecords(const QString &path, quint32 allocated)
{
    Result r;
    r.records.assign(allocated, SampleRecord{});
    r.count = allocated;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return r;
    const qint64 size = file.size();
    std::vector<bool> named(size_t(allocated) * kValueCount, false);
    int index = -1;
    qint64 bytes = 0;
    char buffer[200];
    while (!file.atEnd()) {
        const qint64 length = file.readLine(buffer, sizeof buffer);
        if (length <= 0)
            break;
        bytes += length;
        const int percent = size > 0 ? int(qMin<qint64>(100, bytes * 100 / size)) : 100;
        if (r.progress.empty() || r.progress.back() != percent)
            r.progress.push_back(percent);

        const QString chunk = QString::fromUtf8(buffer);
        // The file ends inside this line, and nothing but the end of the
        // file ends its last token: that value may have lost digits.
        const bool cut = qstrlen(buffer) == size_t(length) && buffer[length - 1] != '\n' && length < 199
                         && !chunk.isEmpty() && !chunk.back().isSpace();
        if (isTimeLine(chunk)) {
            // A file that grew since it was counted: stop at the allocation.
            if (quint32(index + 1) >= allocated)
                break;
            ++index;
            const QDateTime when =
                QDateTime::fromString(chunk.simplified(), QStringLiteral("yyyy/MM/dd hh:mm:ss"));
            r.records[size_t(index)].time = when.toTime_t();
            continue;
        }
        if (index == -1)
            continue;
        QString text = chunk.simplified();
        const int equalsCount = text.count(QLatin1Char('='));
        if (equalsCount == 0)
            continue;
        text.replace(QStringLiteral("="), QStringLiteral(" = "));
        // After simplification the only white space left is the blank, so
        // splitting at runs of blanks is splitting at runs of white space.
        const QStringList tokens = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        int from = 0;
        for (int e = 0; e < equalsCount; ++e) {
            const int at = tokens.indexOf(QStringLiteral("="), from);
            if (at < 0)
                break;
            from = at + 1;
            // An '=' with nothing before or after it pairs with nothing.
            if (at == 0 || at + 1 >= tokens.size())
                continue;
            const QString &name = tokens.at(at - 1);
            for (int k = 1; k <= kValueCount; ++k) {
                if (name == QString::fromLatin1(ParamTable[k].name).simplified()) {
                    // What does not convert (overflow included) is missing.
                    bool ok = false;
                    const float value = tokens.at(at + 1).toFloat(&ok);
                    const bool lost = cut && at + 2 == tokens.size();
                    r.records[size_t(index)].setValue(k, ok && !lost ? value : SampleRecord::kMissingValue);
                    named[size_t(index) * kValueCount + size_t(k - 1)] = true;
                    break;
                }
            }
        }
    }
    if (index == -1)
        return r;
    // So is every value a record's lines did not name.
    for (int i = 0; i <= index; ++i) {
        for (int k = 1; k <= kValueCount; ++k) {
            if (!named[size_t(i) * kValueCount + size_t(k - 1)])
                r.records[size_t(i)].setValue(k, SampleRecord::kMissingValue);
        }
    }
    r.returned = index + 1;
    if (quint32(r.returned) < allocated)
        r.count = quint32(r.returned);
    return r;
}

} // namespace reference
