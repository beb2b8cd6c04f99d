#include "views/legendtitle.h"

#include "data/paramtable.h"

#include <cmath>

namespace {

// Where the next blank to give up sits: the last one of a run at the end
// first, then those at the start, then any inside; -1 when none is left.
int blankToDrop(const QString &name)
{
    if (name.endsWith(QLatin1Char(' ')))
        return name.size() - 1;
    if (name.startsWith(QLatin1Char(' ')))
        return 0;
    return name.lastIndexOf(QLatin1Char(' '));
}

} // namespace

QString fitLegendTitle(const QString &name, const QString &unit, const QString &valueText)
{
    const QString rest = valueText.isNull() ? unit : unit + QLatin1Char(':') + valueText;
    QString shortName = name;
    while (shortName.size() + rest.size() > kLegendTitleWidth) {
        const int blank = blankToDrop(shortName);
        if (blank < 0)
            break;
        shortName.remove(blank, 1);
    }
    return (shortName + rest).leftJustified(kLegendTitleWidth, QLatin1Char(' '));
}

QString legendValueText(double value)
{
    if (std::isnan(value))
        return QStringLiteral("—");
    return QString::number(value, 'g', 6);
}

QString unitPart(int column)
{
    const QString unit = QString::fromLatin1(ParamTable[column].unit).simplified();
    return unit.isEmpty() ? QString() : QStringLiteral("(%1)").arg(unit);
}

QString parameterLabel(int column)
{
    return QString::fromLatin1(ParamTable[column].name).simplified() + unitPart(column);
}

QString parameterValueTitle(int column, const QString &valueText)
{
    return fitLegendTitle(QString::fromLatin1(ParamTable[column].name).simplified(), unitPart(column), valueText);
}

QString storedNameValueTitle(int column, double value)
{
    return fitLegendTitle(QString::fromLatin1(ParamTable[column].name), unitPart(column), legendValueText(value));
}
