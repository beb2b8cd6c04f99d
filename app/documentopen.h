#pragma once

#include <QStringList>

class Documents;
class RecentFilesMenu;
class QWidget;

// Asks for data files to open as one ("合并打开(&M)…"); empty when cancelled.
QStringList askFilesToMerge(QWidget *parent);

// Opens sources as one document: one file as "打开(&O)" opens it, several
// merged into one timeline. Tells the user, over parent, which files were
// left out and what the reader had to patch, and puts the document first
// among the recent files. False when nothing opened.
bool openAsOneDocument(QWidget *parent, Documents &documents, RecentFilesMenu &recent, const QStringList &sources);
