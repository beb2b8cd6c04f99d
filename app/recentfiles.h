#pragma once

#include <QObject>
#include <QStringList>

class QAction;
class QMenu;
class QSettings;
class QWidget;

constexpr int MaxRecentFiles = 5;

// The per-user list of data files opened most recently, most recent first.
// The stored list has no length limit; only the first MaxRecentFiles are shown.
QStringList readRecentFiles(QSettings &settings);
void writeRecentFiles(const QStringList &files, QSettings &settings);
bool hasRecentFiles();
// The list with path moved (or added) to the front; exact, case-sensitive.
QStringList withRecentFileFirst(const QStringList &files, const QString &path);
// The files of a recent entry that opened several as one; empty for an
// entry of one file.
QStringList readRecentSet(QSettings &settings, const QString &name);
void writeRecentSet(QSettings &settings, const QString &name, const QStringList &sources);

// The submenu of recent files: its entries are filled from the stored list
// each time it is about to show, and the submenu itself shows only while
// the list holds a file.
class RecentFilesMenu : public QObject
{
    Q_OBJECT

public:
    explicit RecentFilesMenu(QMenu *menu, QObject *parent = nullptr);

    // Stores path first in the list. With sources, path names the document
    // those files were opened into as one, and the entry opens them again.
    void prepend(const QString &path, const QStringList &sources = {});
    void updateActions();

signals:
    void fileChosen(const QString &path);
    void setChosen(const QStringList &sources);

private:
    QAction *subMenuAct;
    QAction *fileActs[MaxRecentFiles] = {};
};

// The stored geometry of the main window, or the window maximised when
// none is stored.
void restoreWindowGeometry(QWidget &window);
void storeWindowGeometry(const QWidget &window);
