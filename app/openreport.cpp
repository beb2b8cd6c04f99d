#include "app/openreport.h"

#include "data/datafile.h"

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
