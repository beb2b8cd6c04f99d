#pragma once

#include <QStringList>

class QSettings;

constexpr int MaxRecentFiles = 5;

// The per-user list of data files opened most recently, most recent first.
// The stored list has no length limit; only the first MaxRecentFiles are shown.
QStringList readRecentFiles(QSettings &settings);
void writeRecentFiles(const QStringList &files, QSettings &settings);
bool hasRecentFiles();
// The list with path moved (or added) to the front; exact, case-sensitive.
QStringList withRecentFileFirst(const QStringList &files, const QString &path);
