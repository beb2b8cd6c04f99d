#include "data/filesuffix.h"

#include <QRegularExpression>

QString filterSuffix(const QString &filter)
{
    static const QRegularExpression pattern(QStringLiteral("\\*\\.([^\\s;*?()\\[\\]]+)"));
    return pattern.match(filter).captured(1);
}
