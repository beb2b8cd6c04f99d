#pragma once

#include <QList>
#include <QString>

class DataFile;

// Document windows are known by their titles: the file's path and a suffix
// that tells the kind.
enum class DocumentKind { None, Table, Plot };

extern const QString kTableTitleSuffix; // " - 数据列表"
extern const QString kPlotTitleSuffix;  // " - 趋势图"

struct DocumentRef {
    DocumentKind kind = DocumentKind::None;
    QString path;
    // The first open file with that path, or null (the real-time window's
    // title passes the plot test but names no file).
    DataFile *file = nullptr;
};

// The kind of a window from its title ("数据列表" before "趋势图", both
// case-sensitive), the path with every occurrence of the kind's suffix
// removed, and the first entry of documents with that path.
DocumentRef documentForTitle(const QString &title, const QList<DataFile *> &documents);

// The first entry with exactly this path, or null.
DataFile *findDocument(const QList<DataFile *> &documents, const QString &path);

// Window menu entry for the window at index (0-based): the first nine get an
// accelerator.
QString windowMenuText(int index, const QString &title);
