#include "data/filesuffix.h"

#include <QFileInfo>
#include <QRegularExpression>

QString filterSuffix(const QString &filter)
{
    static const QRegularExpression pattern(QStringLiteral("\\*\\.([^\\s;*?()\\[\\]]+)"));
    return pattern.match(filter).captured(1);
}

QString withDefaultSuffix(const QString &chosen, const QString &suffix)
{
    if (suffix.isEmpty() || chosen.isEmpty() || !QFileInfo(chosen).suffix().isEmpty())
        return chosen;
    if (chosen.endsWith(QLatin1Char('.')))
        return chosen + suffix;
    return chosen + QLatin1Char('.') + suffix;
}
