#include "comm/failureruns.h"

FailureRunTexts pollRunTexts()
{
    return {QStringLiteral("通讯失败：%1"), QStringLiteral("恢复通讯，此前失败 %1 次（%2）"),
            QStringLiteral("停止采集时仍无应答，此前失败 %1 次（%2）"), QString()};
}

FailureRunTexts linkRunTexts(const QString &where)
{
    return {QStringLiteral("连接失败：%1"), QStringLiteral("连接已打开：%3，此前失败 %1 次（%2）"),
            QStringLiteral("停止采集时仍未连接，此前失败 %1 次（%2）"), where};
}

FailureRunTexts saveRunTexts()
{
    return {QStringLiteral("保存错误：%1"), QStringLiteral("保存恢复，此前失败 %1 次（%2）"),
            QStringLiteral("停止采集时仍有记录未写入，此前失败 %1 次（%2）"), QString()};
}

FailureRuns::FailureRuns(FailureRunTexts texts)
    : texts(std::move(texts))
{
}

QString FailureRuns::failed(int what, const QDateTime &when, const QString &reason)
{
    Run &run = runs[what];
    run.last = when;
    if (run.count++ > 0)
        return QString();
    run.first = when;
    return texts.began.arg(reason);
}

QString FailureRuns::worked(int what, const QDateTime &when)
{
    const auto found = runs.find(what);
    if (found == runs.end())
        return QString();
    const QString line = endText(texts.ended, *found, when);
    runs.erase(found);
    return line;
}

QVector<std::pair<int, QString>> FailureRuns::stopped(const QDateTime &when)
{
    QVector<std::pair<int, QString>> lines;
    for (auto run = runs.cbegin(); run != runs.cend(); ++run)
        lines.append({run.key(), endText(texts.stopped, run.value(), when)});
    runs.clear();
    return lines;
}

QString FailureRuns::endText(const QString &pattern, const Run &run, const QDateTime &when) const
{
    // The subject last, so that a "%1" in an address stays as it is.
    return pattern.arg(QString::number(run.count), runTimesText(run.first, run.last, run.count, when))
        .replace(QStringLiteral("%3"), texts.subject);
}

QString runTimesText(const QDateTime &first, const QDateTime &last, int count, const QDateTime &at)
{
    const auto shown = [&at](const QDateTime &t) {
        return t.toString(t.date() == at.date() ? QStringLiteral("hh:mm:ss") : QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    };
    if (count <= 1 || first == last)
        return shown(first);
    return shown(first) + QStringLiteral(" 至 ") + shown(last);
}
