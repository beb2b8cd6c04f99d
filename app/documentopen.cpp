#include "app/documentopen.h"

#include "app/documents.h"
#include "app/openreport.h"
#include "app/recentfiles.h"
#include "data/datafile.h"

#include <QFileDialog>
#include <QMessageBox>

QStringList askFilesToMerge(QWidget *parent)
{
    return QFileDialog::getOpenFileNames(parent, QStringLiteral("合并打开数据文件"), QString(),
                                         QStringLiteral("数据文件(*.txt)"));
}

bool openAsOneDocument(QWidget *parent, Documents &documents, RecentFilesMenu &recent, const QStringList &sources)
{
    QString problems;
    QList<RefusedFile> refused;
    DataFile *file = nullptr;
    // One file is not planned as a merge: that would count its records twice.
    if (sources.size() == 1)
        file = documents.open(sources.first(), &problems) ? findDocument(documents.files(), sources.first()) : nullptr;
    else if (sources.size() > 1)
        file = documents.openMerged(sources, &refused, &problems);
    if (file)
        recent.prepend(file->fileName, file->sources);
    if (!refused.isEmpty())
        QMessageBox::warning(parent, QStringLiteral("错误"), refusedFilesText(refused), QMessageBox::Ok);
    if (!problems.isEmpty())
        QMessageBox::information(parent, QStringLiteral("提示"), problems, QMessageBox::Ok);
    return file != nullptr;
}
