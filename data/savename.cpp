#include "data/savename.h"

#include <QFileInfo>

QString withDefaultSuffix(const QString &chosen, const QString &suffix)
{
    if (chosen.isEmpty() || !QFileInfo(chosen).suffix().isEmpty())
        return chosen;
    return chosen + QLatin1Char('.') + suffix;
}
