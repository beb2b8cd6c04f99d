#include "views/timespan.h"

#include "data/datafile.h"
#include "data/localtimetext.h"

#include <QDateEdit>
#include <QDateTime>
#include <QMessageBox>
#include <QTimeEdit>

#include <algorithm>

int firstRecordAtOrAfter(const SampleRecord *records, int count, uint32_t time, bool ascending)
{
    const SampleRecord *end = records + qMax(count, 0);
    auto before = [time](const SampleRecord &r) { return r.time < time; };
    if (ascending)
        return int(std::partition_point(records, end, before) - records);
    // A record without a time is at no time.
    return int(std::find_if_not(records, end, [&](const SampleRecord &r) { return before(r) || !r.hasTime(); })
               - records);
}

int lastRecordAtOrBefore(const SampleRecord *records, int count, uint32_t time, bool ascending)
{
    const SampleRecord *end = records + qMax(count, 0);
    if (ascending)
        return int(std::partition_point(records, end, [time](const SampleRecord &r) { return r.time <= time; }) - records)
               - 1;
    int last = qMax(count, 0) - 1;
    while (last >= 0 && records[last].time > time)
        --last;
    return last;
}

SpanDecision decideSpan(const SampleRecord *records, int count, uint32_t start, uint32_t end, bool ascending)
{
    SpanDecision d;
    d.start = start;
    d.end = end;
    if (count <= 0) {
        d.check = SpanCheck::StartOutside;
        return d;
    }
    const uint32_t first = firstRecordTime(records, count);
    const uint32_t last = lastRecordTime(records, count);
    if (start < first || start > last)
        d.check = SpanCheck::StartOutside;
    else if (end > last || end < first)
        d.check = SpanCheck::EndOutside;
    else if (end < start)
        d.check = SpanCheck::Reversed;
    if (!d.ok())
        return d;
    d.first = firstRecordAtOrAfter(records, count, start, ascending);
    d.last = qMax(lastRecordAtOrBefore(records, count, end, ascending), d.first - 1);
    return d;
}

SpanDecision decideSpan(const DataFile &file, uint32_t start, uint32_t end)
{
    return decideSpan(file.records, int(file.count), start, end, file.timesAscending());
}

int spanSamples(const SampleRecord *records, const SpanDecision &span)
{
    int n = 0;
    for (int i = span.first; i <= span.last; ++i)
        n += records[i].hasTime();
    return n;
}

int nextSample(const SampleRecord *records, int i)
{
    while (!records[i].hasTime())
        ++i;
    return i;
}

QString spanMessage(SpanCheck check)
{
    switch (check) {
    case SpanCheck::StartOutside:
        return QStringLiteral("起始时间超出了文件时间范围！");
    case SpanCheck::EndOutside:
        return QStringLiteral("结束时间超出了文件时间范围！");
    case SpanCheck::Reversed:
        return QStringLiteral("起始时间和结束时间颠倒了！");
    case SpanCheck::Ok:
        break;
    }
    return QString();
}

QString periodText(const DataFile &file)
{
    if (file.count == 0)
        return QString();
    const QString pattern = QStringLiteral("yyyy/MM/dd hh:mm:ss");
    return QStringLiteral("%1 -> %2")
        .arg(localTimeText(file.firstTime(), pattern), localTimeText(file.lastTime(), pattern));
}

uint32_t editsTime(const QDate &date, const QTime &time)
{
    const QTime whole(time.hour(), time.minute(), time.second());
    const qint64 seconds = QDateTime(date, whole).toSecsSinceEpoch();
    return uint32_t(qBound<qint64>(0, seconds, 0xFFFFFFFFLL));
}

uint32_t editsTime(const QDateEdit *date, const QTimeEdit *time)
{
    return editsTime(date->date(), time->time());
}

void setEditsTime(QDateEdit *date, QTimeEdit *time, uint32_t seconds)
{
    const QDateTime t = QDateTime::fromSecsSinceEpoch(seconds);
    date->setDate(t.date());
    time->setTime(t.time());
}

SpanDecision askedSpan(QWidget *dialog, const DataFile &file, const QDateEdit *startDate, const QTimeEdit *startTime,
                       const QDateEdit *endDate, const QTimeEdit *endTime)
{
    const SpanDecision span = decideSpan(file, editsTime(startDate, startTime), editsTime(endDate, endTime));
    if (!span.ok())
        QMessageBox::warning(dialog, QStringLiteral("错误"), spanMessage(span.check), QMessageBox::Ok);
    return span;
}
