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

RecentFilesMenu::RecentFilesMenu(QMenu *menu, QObject *parent)
    : QObject(parent)
    , subMenuAct(menu->menuAction())
{
    for (QAction *&act : fileActs) {
        act = menu->addAction(QString());
        act->setVisible(false);
        connect(act, &QAction::triggered, this, [this, act] { emit fileChosen(act->data().toString()); });
    }
    subMenuAct->setVisible(hasRecentFiles());
}

void RecentFilesMenu::prepend(const QString &path)
{
    QSettings settings;
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
