#pragma once

#include <QStringList>

class Documents;
class RecentFilesMenu;
class QWidget;
enum class LoadFailure;

// Asks for data files to open as one ("合并打开(&M)…"); empty when cancelled.
QStringList askFilesToMerge(QWidget *parent);

// Opens one file as "打开(&O)" does: the status bar says whether it opened,
// the file goes first among the recent files, and a note over parent says
// what the reader had to patch. Returns why it did not open.
LoadFailure openOneDocument(QWidget *parent, Documents &documents, RecentFilesMenu &recent, const QString &path);

// Opens sources as one document: one file as openOneDocument opens it,
// several merged into one timeline. Tells the user, over parent, which
// files were left out and why. False when nothing opened.
bool openAsOneDocument(QWidget *parent, Documents &documents, RecentFilesMenu &recent, const QStringList &sources);
