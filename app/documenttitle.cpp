#include "app/documenttitle.h"

#include "data/datafile.h"

#include <QCoreApplication>

const QString kTableTitleSuffix = QStringLiteral(" - 数据列表");
const QString kPlotTitleSuffix = QStringLiteral(" - 趋势图");

DocumentRef documentForTitle(const QString &title, const QList<DataFile *> &documents)
{
    DocumentRef ref;
    if (title.contains(QStringLiteral("数据列表"))) {
        ref.kind = DocumentKind::Table;
        ref.path = QString(title).remove(kTableTitleSuffix);
    } else if (title.contains(QStringLiteral("趋势图"))) {
        ref.kind = DocumentKind::Plot;
        ref.path = QString(title).remove(kPlotTitleSuffix);
    } else {
        return ref;
    }
    ref.file = findDocument(documents, ref.path);
    return ref;
}

DataFile *findDocument(const QList<DataFile *> &documents, const QString &path)
{
    for (DataFile *file : documents) {
        if (file->fileName == path)
            return file;
    }
    return nullptr;
}

QString windowMenuText(int index, const QString &title)
{
    const char *pattern = index < 9 ? "&%1 %2" : "%1 %2";
    return QCoreApplication::translate("MainWindow", pattern).arg(index + 1).arg(title);
}
