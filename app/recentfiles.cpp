#include "app/recentfiles.h"

#include <QSettings>

namespace {
const char kRecentFilesKey[] = "recentFileList";
const char kFileKey[] = "file";
} // namespace

QStringList readRecentFiles(QSettings &settings)
{
    QStringList result;
    const int count = settings.beginReadArray(QLatin1String(kRecentFilesKey));
    result.reserve(count);
    for (int i = 0; i < count; ++i) {
        settings.setArrayIndex(i);
        result.append(settings.value(QLatin1String(kFileKey)).toString());
    }
    settings.endArray();
    return result;
}

void writeRecentFiles(const QStringList &files, QSettings &settings)
{
    const int count = files.size();
    settings.beginWriteArray(QLatin1String(kRecentFilesKey));
    for (int i = 0; i < count; ++i) {
        settings.setArrayIndex(i);
        settings.setValue(QLatin1String(kFileKey), files.at(i));
    }
    settings.endArray();
}

bool hasRecentFiles()
{
    QSettings settings;
    const int count = settings.beginReadArray(QLatin1String(kRecentFilesKey));
    settings.endArray();
    return count > 0;
}

QStringList withRecentFileFirst(const QStringList &files, const QString &path)
{
    QStringList result = files;
    result.removeAll(path);
    result.prepend(path);
    return result;
}
