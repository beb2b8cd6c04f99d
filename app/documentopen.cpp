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

namespace {

void tellProblems(QWidget *parent, const QString &problems)
{
    if (!problems.isEmpty())
        QMessageBox::information(parent, QStringLiteral("提示"), problems, QMessageBox::Ok);
}

} // namespace

LoadFailure openOneDocument(QWidget *parent, Documents &documents, RecentFilesMenu &recent, const QString &path)
{
    QString problems;
    const LoadFailure failure = documents.open(path, &problems);
    if (failure == LoadFailure::None) {
        recent.prepend(path);
        tellProblems(parent, problems);
    }
    return failure;
}

bool openAsOneDocument(QWidget *parent, Documents &documents, RecentFilesMenu &recent, const QStringList &sources)
{
    QList<OpenFailure> refused;
    bool opened = false;
    if (!sources.isEmpty()) {
        QString problems;
        if (DataFile *file = documents.openMerged(sources, &refused, &problems)) {
            recent.prepend(file->fileName, file->sources);
            opened = true;
        }
        tellProblems(parent, problems);
    }
    if (!refused.isEmpty())
        QMessageBox::warning(parent, QStringLiteral("错误"), openFailuresText(refused), QMessageBox::Ok);
    return opened;
}
