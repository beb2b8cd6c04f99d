#include "app/recentfiles.h"

#include <QAction>
#include <QCoreApplication>
#include <QFileInfo>
#include <QMenu>
#include <QSettings>
#include <QWidget>

namespace {
const char kRecentFilesKey[] = "recentFileList";
const char kFileKey[] = "file";
// Beside the list, which holds the names of such documents: the files of
// each one that was opened from several.
const char kSetsKey[] = "recentFileSets";
const char kSetNameKey[] = "name";
const char kSetFilesKey[] = "files";
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

QStringList readRecentSet(QSettings &settings, const QString &name)
{
    QStringList files;
    const int count = settings.beginReadArray(QLatin1String(kSetsKey));
    for (int i = 0; i < count && files.isEmpty(); ++i) {
        settings.setArrayIndex(i);
        if (settings.value(QLatin1String(kSetNameKey)).toString() == name)
            files = settings.value(QLatin1String(kSetFilesKey)).toStringList();
    }
    settings.endArray();
    return files;
}

void writeRecentSet(QSettings &settings, const QString &name, const QStringList &sources)
{
    int count = settings.beginReadArray(QLatin1String(kSetsKey));
    int index = count;
    for (int i = 0; i < count && index == count; ++i) {
        settings.setArrayIndex(i);
        if (settings.value(QLatin1String(kSetNameKey)).toString() == name)
            index = i;
    }
    settings.endArray();
    settings.beginWriteArray(QLatin1String(kSetsKey), qMax(count, index + 1));
    settings.setArrayIndex(index);
    settings.setValue(QLatin1String(kSetNameKey), name);
    settings.setValue(QLatin1String(kSetFilesKey), sources);
    settings.endArray();
}

RecentFilesMenu::RecentFilesMenu(QMenu *menu, QObject *parent)
    : QObject(parent)
    , subMenuAct(menu->menuAction())
{
    for (QAction *&act : fileActs) {
        act = menu->addAction(QString());
        act->setVisible(false);
        connect(act, &QAction::triggered, this, [this, act] {
            QSettings settings;
            const QString path = act->data().toString();
            const QStringList sources = readRecentSet(settings, path);
            if (sources.isEmpty())
                emit fileChosen(path);
            else
                emit setChosen(sources);
        });
    }
    subMenuAct->setVisible(hasRecentFiles());
}

void RecentFilesMenu::prepend(const QString &path, const QStringList &sources)
{
    QSettings settings;
    if (sources.size() > 1 && readRecentSet(settings, path) != sources)
        writeRecentSet(settings, path, sources);
    const QStringList oldFiles = readRecentFiles(settings);
    const QStringList newFiles = withRecentFileFirst(oldFiles, path);
    if (newFiles != oldFiles)
        writeRecentFiles(newFiles, settings);
    subMenuAct->setVisible(!newFiles.isEmpty());
}

void RecentFilesMenu::updateActions()
{
    QSettings settings;
    const QStringList files = readRecentFiles(settings);
    const int count = qMin(files.size(), int(MaxRecentFiles));
    for (int i = 0; i < count; ++i) {
        const QString text =
            QCoreApplication::translate("MainWindow", "&%1 %2").arg(i + 1).arg(QFileInfo(files.at(i)).fileName());
        fileActs[i]->setText(text);
        fileActs[i]->setData(files.at(i));
        fileActs[i]->setVisible(true);
    }
    for (int i = count; i < MaxRecentFiles; ++i)
        fileActs[i]->setVisible(false);
}

void restoreWindowGeometry(QWidget &window)
{
    QSettings settings;
    const QByteArray geometry = settings.value(QStringLiteral("geometry"), QByteArray()).toByteArray();
    if (geometry.isEmpty())
        window.setWindowState(window.windowState() | Qt::WindowMaximized);
    else
        window.restoreGeometry(geometry);
}

void storeWindowGeometry(const QWidget &window)
{
    QSettings settings;
    settings.setValue(QStringLiteral("geometry"), window.saveGeometry());
}
