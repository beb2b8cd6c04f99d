#include "views/legendtitle.h"

#include "data/paramtable.h"

QString fitLegendTitle(const QString &text)
{
    if (text.size() >= kLegendTitleWidth)
        return text.left(kLegendTitleWidth);
    return text.leftJustified(kLegendTitleWidth, QLatin1Char(' '));
}

QString parameterLabel(int column)
{
    const QString name = QString::fromLatin1(ParamTable[column].name).simplified();
    const QString unit = QString::fromLatin1(ParamTable[column].unit).simplified();
    if (unit.isEmpty())
        return name;
    return name + QStringLiteral("(%1)").arg(unit);
}

QString parameterValueTitle(int column, const QString &valueText)
{
    return fitLegendTitle(parameterLabel(column) + QLatin1Char(':') + valueText);
}

QString storedNameValueTitle(int column, double value)
{
    const QString unit = QString::fromLatin1(ParamTable[column].unit).simplified();
    QString title = QString::fromLatin1(ParamTable[column].name);
    if (!unit.isEmpty())
        title += QStringLiteral("(%1)").arg(unit);
    return fitLegendTitle(title + QStringLiteral(":%1").arg(value));
}
