#pragma once

#include <QDateTime>
#include <QMap>
#include <QString>
#include <QVector>

#include <utility>

// What the event log says of something that fails again and again: a
// meter's polls, the link, the writes of the daily files. Not a line per
// failure, which would bury a week's log under a dead meter's every slot,
// but a line when a run of failures begins, naming why, and one when it
// ends (the thing works again, or the acquisition stops), with how many
// failures the run had and when the first and the last were.
struct FailureRunTexts {
    // The run's first failure; %1 is its reason.
    QString began;
    // The thing works again; %1 is the count of failures, %2 their times,
    // %3 the subject.
    QString ended;
    // The acquisition stopped during the run; %1 and %2 as for ended.
    QString stopped;
    QString subject;
};

// A meter's polls: "通讯失败：…", "恢复通讯，此前失败 N 次（…）".
FailureRunTexts pollRunTexts();
// The link at where (a port, an address): "连接失败：…", "连接已打开：<where>，此前失败 N 次（…）".
FailureRunTexts linkRunTexts(const QString &where);
// The writes of a meter's daily files: "保存错误：…", "保存恢复，此前失败 N 次（…）".
FailureRunTexts saveRunTexts();

class FailureRuns
{
public:
    explicit FailureRuns(FailureRunTexts texts = {});

    // A failure of what (a meter's place, -1 for the link) at when: the
    // line that begins its run when it is the first since what last
    // worked, otherwise empty.
    QString failed(int what, const QDateTime &when, const QString &reason);
    // What worked at when: the line that ends its run, empty when it was
    // not failing.
    QString worked(int what, const QDateTime &when);
    // The acquisition stopped at when: the lines of the runs still going,
    // in the order of what; none is going after it.
    QVector<std::pair<int, QString>> stopped(const QDateTime &when);

private:
    struct Run {
        QDateTime first;
        QDateTime last;
        int count = 0;
    };
    QString endText(const QString &pattern, const Run &run, const QDateTime &when) const;

    FailureRunTexts texts;
    QMap<int, Run> runs;
};

// When a run's failures were, seen at the time at: "14:03:05" for one,
// "14:03:05 至 14:03:16" for several, a time of another day than at's
// with its date.
QString runTimesText(const QDateTime &first, const QDateTime &last, int count, const QDateTime &at);
