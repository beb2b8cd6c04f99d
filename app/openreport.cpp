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
        lines << QStringLiteral("%1 条记录不完整，缺少的数值按 0 显示。").arg(file.incompleteRecords);
    return lines.join(QLatin1Char('\n'));
}

QString refusedFilesText(const QList<RefusedFile> &refused)
{
    QStringList lines{QStringLiteral("以下文件未能打开：")};
    for (const RefusedFile &file : refused) {
        const QString reason = file.reason == FileRefusal::Missing       ? QStringLiteral("文件不存在")
                               : file.reason == FileRefusal::NotDataFile ? QStringLiteral("不是数据文件")
                                                                         : QStringLiteral("无法读取");
        lines << QStringLiteral("%1：%2").arg(QDir::toNativeSeparators(file.path), reason);
    }
    return lines.join(QLatin1Char('\n'));
}
