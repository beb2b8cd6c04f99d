#include "data/savename.h"

#include <QFileInfo>
#include <QRegularExpression>

QString filterSuffix(const QString &filter)
{
    static const QRegularExpression pattern(QStringLiteral("\\*\\.([^\\s;*?()\\[\\]]+)"));
    return pattern.match(filter).captured(1);
}

QString withDefaultSuffix(const QString &chosen, const QString &suffix)
{
    if (chosen.isEmpty() || suffix.isEmpty() || !QFileInfo(chosen).suffix().isEmpty())
        return chosen;
    return chosen + QLatin1Char('.') + suffix;
}
