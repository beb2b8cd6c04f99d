#include "app/openreport.h"

#include "data/datafile.h"

#include <QDir>
#include <QStringList>

QString openProblemsText(const DataFile &file)
{
    QStringList lines;
    if (file.unreadableTimes > 0)
        lines << QStringLiteral("%1 条记录的时间无法识别。").arg(file.unreadableTimes);
    if (file.incompleteRecords > 0)
        lines << QStringLiteral("%1 条记录缺少数值（记录不完整或数值无法识别），缺少的数值留空，不参与统计。")
                     .arg(file.incompleteRecords);
    return lines.join(QLatin1Char('\n'));
}

QString openFailureReason(LoadFailure failure)
{
    switch (failure) {
    case LoadFailure::Missing:
        return QStringLiteral("文件不存在");
    case LoadFailure::NotDataFile:
        return QStringLiteral("不是数据文件");
    case LoadFailure::TooLarge:
        return QStringLiteral("内存不足");
    case LoadFailure::Unreadable:
    case LoadFailure::None:
        break;
    }
    return QStringLiteral("无法读取");
}

QString openFailuresText(const QList<OpenFailure> &failures)
{
    QStringList lines;
    for (const OpenFailure &f : failures) {
        if (f.failure != LoadFailure::None)
            lines << QStringLiteral("%1：%2").arg(QDir::toNativeSeparators(f.path), openFailureReason(f.failure));
    }
    if (lines.isEmpty())
        return QString();
    return QStringLiteral("下列文件未能打开：\n") + lines.join(QLatin1Char('\n'));
}
