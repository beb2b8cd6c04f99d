#include "app/documents.h"

#include "data/appconfig.h"

#include "app/openreport.h"
#include "app/tiling.h"
#include "data/datafile.h"
#include "views/mytableview.h"
#include "views/plot.h"

#include <QDir>
#include <QElapsedTimer>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QStatusBar>

namespace {
// A destroyed sub-window has lost its title; its file's path stays here.
const char *const kDocumentPathProperty = "documentPath";
} // namespace

Documents::Documents(QMdiArea *area, QStatusBar *statusBar, QObject *parent)
    : QObject(parent)
    , mdiArea(area)
    , statusBar(statusBar)
{
    documents.reserve(10);
}

Documents::~Documents()
{
    qDeleteAll(documents);
    documents.clear();
}

void Documents::deleteWindows()
{
    // Windows closed just before wait for a later deletion and are no
    // longer listed by the area.
    qDeleteAll(mdiArea->findChildren<QMdiSubWindow *>());
}

CurrentDocument Documents::currentDocument() const
{
    CurrentDocument doc;
    doc.window = mdiArea->currentSubWindow();
    if (!doc.window)
        return doc;
    const DocumentRef ref = documentForTitle(doc.window->windowTitle(), documents);
    doc.kind = ref.kind;
    doc.file = ref.file;
    // Asked for while a sub-window is being destroyed too (its widget's
    // farewell updates the menus), when it is no longer a QMdiSubWindow:
    // only what any object offers may be used on it.
    if (doc.kind == DocumentKind::Table)
        doc.table = doc.window->findChild<MyTableView *>(QString(), Qt::FindDirectChildrenOnly);
    else if (doc.kind == DocumentKind::Plot)
        doc.plot = doc.window->findChild<Plot *>(QString(), Qt::FindDirectChildrenOnly);
    return doc;
}

LoadFailure Documents::open(const QString &path, QString *problems)
{
    LoadFailure failure = LoadFailure::None;
    present(load(path, problems, &failure));
    return failure;
}

DataFile *Documents::present(DataFile *file)
{
    if (!file) {
        statusBar->showMessage(QStringLiteral("错误：不支持该文件！"), 2000);
        return nullptr;
    }
    statusBar->showMessage(QStringLiteral("提示：打开成功！"), 2000);
    showDocument(file);
    return file;
}

DataFile *Documents::load(const QString &path, QString *problems, LoadFailure *failure)
{
    // A file that is open already is shown again, not read a second time.
    DataFile *file = findDocument(documents, path);
    if (file)
        return file;
    QElapsedTimer sincePaint;
    std::unique_ptr<DataFile> loaded =
        loadDataFile(path, [this, &sincePaint](int percent) { showLoadProgress(percent, sincePaint); }, failure);
    if (!loaded)
        return nullptr;
    file = loaded.release();
    documents.append(file);
    *problems = openProblemsText(*file);
    return file;
}

DataFile *Documents::openMerged(const QStringList &paths, QList<OpenFailure> *refused, QString *problems)
{
    const MergePlan plan = planMerge(paths);
    *refused = plan.refused;
    if (plan.sources.size() == 1) {
        const LoadFailure failure = open(plan.sources.first(), problems);
        if (failure == LoadFailure::None)
            return findDocument(documents, plan.sources.first());
        refused->append({plan.sources.first(), failure});
        return nullptr;
    }
    return present(plan.sources.isEmpty() ? nullptr : loadMergedDocument(plan, refused, problems));
}

DataFile *Documents::loadMergedDocument(const MergePlan &plan, QList<OpenFailure> *refused, QString *problems)
{
    // The same files open already are shown again. Another set that comes
    // to the same name gets a number, so that its windows are its own.
    QString name = mergedName(plan.sources);
    for (int n = 2; DataFile *same = findDocument(documents, name); ++n) {
        if (same->sources == plan.sources)
            return same;
        name = mergedName(plan.sources) + QStringLiteral(" [%1]").arg(n);
    }
    QElapsedTimer sincePaint;
    std::unique_ptr<DataFile> loaded =
        loadMerged(plan, name, refused, [this, &sincePaint](int percent) { showLoadProgress(percent, sincePaint); });
    if (!loaded)
        return nullptr;
    documents.append(loaded.get());
    *problems = openProblemsText(*loaded);
    return loaded.release();
}

void Documents::showLoadProgress(int percent, QElapsedTimer &sincePaint)
{
    statusBar->showMessage(QStringLiteral("%1%").arg(percent));
    // The load runs in this thread, so nothing is painted unless it is done
    // here; a few times a second is enough to see it move.
    if (!sincePaint.isValid() || sincePaint.elapsed() >= 100) {
        statusBar->repaint();
        sincePaint.start();
    }
}

void Documents::showDocument(DataFile *file)
{
    showTableWindow(file);
    showPlotWindow(file);
}

void Documents::showTableWindow(DataFile *file)
{
    if (!activateTableWindow(file->fileName))
        createTableWindow(file);
}

void Documents::showPlotWindow(DataFile *file)
{
    if (!activatePlotWindow(file->fileName))
        createPlotWindow(file);
}

QMdiSubWindow *Documents::addDocumentWindow(QWidget *widget, const QString &title)
{
    auto *window = new QMdiSubWindow;
    mdiArea->addSubWindow(window);
    window->setWidget(widget);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(title);
    window->setWindowIcon(QIcon(QStringLiteral(":/png/ZEPIcon.ico")));
    window->resize(restoredWindowSize(mdiArea->viewport()->size()));
    window->showMaximized();
    return window;
}

void Documents::createTableWindow(DataFile *file)
{
    QMdiSubWindow *window = addDocumentWindow(new MyTableView(file), file->fileName + kTableTitleSuffix);
    window->setProperty(kDocumentPathProperty, file->fileName);
    connect(window, SIGNAL(destroyed(QObject*)), this, SLOT(tableWindowDestroyed(QObject*)));
}

void Documents::createPlotWindow(DataFile *file)
{
    auto *plot = new Plot(file->records, int(file->count), AppConfig.disp);
    if (!plot->complete()) {
        delete plot;
        emit warning(QStringLiteral("内存不足，无法显示%1的趋势图。").arg(QDir::toNativeSeparators(file->fileName)));
        return;
    }
    connect(this, &Documents::displaySettingsChanged, plot, [plot] { plot->setSettings(AppConfig.disp); });
    QMdiSubWindow *window = addDocumentWindow(plot, file->fileName + kPlotTitleSuffix);
    window->setProperty(kDocumentPathProperty, file->fileName);
    connect(window, SIGNAL(destroyed(QObject*)), this, SLOT(plotWindowDestroyed(QObject*)));
}

QMdiSubWindow *Documents::findSubWindow(const QString &title, const QObject *except) const
{
    for (QMdiSubWindow *window : mdiArea->subWindowList()) {
        if (window != except && window->windowTitle() == title)
            return window;
    }
    return nullptr;
}

bool Documents::activateSubWindow(const QString &title)
{
    QMdiSubWindow *window = findSubWindow(title);
    if (window)
        mdiArea->setActiveSubWindow(window);
    return window != nullptr;
}

bool Documents::activateTableWindow(const QString &path)
{
    return activateSubWindow(path + kTableTitleSuffix);
}

bool Documents::activatePlotWindow(const QString &path)
{
    return activateSubWindow(path + kPlotTitleSuffix);
}

void Documents::tableWindowDestroyed(QObject *window)
{
    documentWindowClosed(window, kPlotTitleSuffix);
    emit tableWindowClosed();
}

void Documents::plotWindowDestroyed(QObject *window)
{
    documentWindowClosed(window, kTableTitleSuffix);
    emit plotWindowClosed();
}

void Documents::documentWindowClosed(QObject *window, const QString &otherSuffix)
{
    const QString path = window->property(kDocumentPathProperty).toString();
    if (QMdiSubWindow *other = findSubWindow(path + otherSuffix, window))
        mdiArea->setActiveSubWindow(other);
    else
        releaseDocuments(path);
}

void Documents::releaseDocuments(const QString &path)
{
    for (int i = documents.size() - 1; i >= 0; --i) {
        if (documents.at(i)->fileName == path)
            delete documents.takeAt(i);
    }
}

void Documents::addWindowEntries(QMenu *menu)
{
    const QList<QMdiSubWindow *> windows = mdiArea->subWindowList();
    if (!windows.isEmpty())
        menu->addSeparator();
    for (int i = 0; i < windows.size(); ++i) {
        QMdiSubWindow *window = windows.at(i);
        QAction *action = menu->addAction(windowMenuText(i, window->windowTitle()));
        action->setCheckable(true);
        action->setChecked(window == mdiArea->activeSubWindow());
        connect(action, &QAction::triggered, window, [this, window] { mdiArea->setActiveSubWindow(window); });
    }
}

void Documents::tileSubWindows(Qt::Orientation orientation)
{
    const QList<QMdiSubWindow *> windows = mdiArea->subWindowList();
    const QVector<QRect> places = tiledRects(windows.size(), mdiArea->viewport()->size(), orientation);
    for (int i = 0; i < windows.size(); ++i) {
        windows.at(i)->showNormal();
        windows.at(i)->setGeometry(places.at(i));
    }
}
