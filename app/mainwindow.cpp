#include "app/mainwindow.h"

#include "analysis/excelexportdlg.h"
#include "analysis/snapshot.h"
#include "analysis/statdlg.h"
#include "app/appinfo.h"
#include "app/documenttitle.h"
#include "app/eventview.h"
#include "app/journalrecovery.h"
#include "app/openreport.h"
#include "app/openrequests.h"
#include "app/recentfiles.h"
#include "app/tiling.h"
#include "app/zepabout.h"
#include "comm/comcfgdlg.h"
#include "data/appconfig.h"
#include "data/datafile.h"
#include "realtime/livejournal.h"
#include "realtime/realplot.h"
#include "realtime/signaldata.h"
#include "views/discfgdlg.h"
#include "views/finddlg.h"
#include "views/mytableview.h"
#include "views/plot.h"
#include "views/rangesetdlg.h"
#include "views/turntodlg.h"
#include "ui_mainwindow.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>

namespace {
const QString kRealTimeTitle = QStringLiteral("实时通讯 - 趋势图");
// A destroyed sub-window has lost its title; its file's path stays here.
const char *const kDocumentPathProperty = "documentPath";
} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::MainWindow>())
{
    initZepResources();
    mdiArea = new QMdiArea;
    ui->setupUi(this);
    setWindowIcon(QIcon(QStringLiteral(":/png/ZEPIcon.ico")));
    createVersionLabel();
    setUpMdiArea();
    setUpRecentFilesMenu();

    connect(ui->menu_window, &QMenu::aboutToShow, this, &MainWindow::updateWindowMenu);
    updateWindowMenu();
    connect(ui->menu_file, &QMenu::aboutToShow, this, &MainWindow::updateFileMenu);
    updateFileMenu();
    connect(mdiArea, &QMdiArea::subWindowActivated, this, &MainWindow::updateMenus);
    updateMenus();

    readSettings();
    installLocaleCodec();
    if (readConfig() == ConfigOrigin::Replaced)
        ui->statusBar->showMessage(QStringLiteral("提示：设置文件无效，已恢复默认设置！"), 2000);
    documents.reserve(10);
    connectActions();
    setAcceptDrops(true);
}

MainWindow::~MainWindow()
{
    stopAcquisitionForShutdown();
    // The tables read their files' records until they are gone, so the
    // windows go first, while this window and its form are still whole to
    // take their farewells; so do windows closed just before, which wait
    // for a later deletion and are no longer listed by the area.
    qDeleteAll(mdiArea->findChildren<QMdiSubWindow *>());
    disconnect(mdiArea, nullptr, this, nullptr);
    ui.reset();
    qDeleteAll(documents);
    documents.clear();
}

void MainWindow::createVersionLabel()
{
    versionLabel = new QLabel(this);
    QFont font = versionLabel->font();
    font.setPointSize(40);
    font.setWeight(75);
    versionLabel->setFont(font);
    QPalette palette = versionLabel->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, QPalette::WindowText, Qt::darkBlue);
    versionLabel->setPalette(palette);
    versionLabel->resize(230, 40);
    versionLabel->setText(QStringLiteral("ZEP ") + QString::fromUtf8(kAppVersion));
}

void MainWindow::setUpMdiArea()
{
    mdiArea->setBackground(QBrush(QColor(100, 100, 100)));
    mdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdiArea);
}

void MainWindow::setUpRecentFilesMenu()
{
    connect(ui->menu_recent, &QMenu::aboutToShow, this, &MainWindow::updateRecentFileActions);
    recentFileSubMenuAct = ui->menu_recent->menuAction();
    for (QAction *&act : recentFileActs) {
        act = ui->menu_recent->addAction(QString(), this, &MainWindow::openRecentFile);
        act->setVisible(false);
    }
    recentFileSubMenuAct->setVisible(hasRecentFiles());
}

void MainWindow::connectActions()
{
    Ui::MainWindow &f = *ui;
    connect(f.action_com, &QAction::triggered, this, &MainWindow::actionComCfgTriggered);
    connect(f.action_display, &QAction::triggered, this, &MainWindow::actionDisCfgTriggered);
    connect(f.action_zepabout, &QAction::triggered, this, &MainWindow::actionAboutTriggered);
    connect(f.action_open, &QAction::triggered, this, &MainWindow::actionOpenTriggered);
    connect(f.action_save, &QAction::triggered, this, &MainWindow::actionSaveTriggered);
    connect(f.action_tileh, &QAction::triggered, this, &MainWindow::tileSubWindowsHorizontal);
    connect(f.action_tilev, &QAction::triggered, this, &MainWindow::tileSubWindowsVertical);
    connect(f.action_cascade, &QAction::triggered, mdiArea, &QMdiArea::cascadeSubWindows);
    connect(f.action_close, &QAction::triggered, mdiArea, &QMdiArea::closeActiveSubWindow);
    connect(f.action_closeall, &QAction::triggered, mdiArea, &QMdiArea::closeAllSubWindows);
    connect(f.action_Tool, &QAction::triggered, this, &MainWindow::actionToolbarTriggered);
    connect(f.action_Status, &QAction::triggered, this, &MainWindow::actionStatusTriggered);
    connect(f.action_Exit, &QAction::triggered, qApp, &QApplication::closeAllWindows);
    connect(f.action_ReadCom, &QAction::triggered, this, &MainWindow::actionReadComm);
    connect(f.action_Start, &QAction::triggered, this, &MainWindow::actionStartRead);
    connect(f.action_Stop, &QAction::triggered, this, &MainWindow::actionStopRead);
    connect(f.action_showPlot, &QAction::triggered, this, &MainWindow::actionShowPlotTriggered);
    connect(f.action_showTable, &QAction::triggered, this, &MainWindow::actionShowTableTriggered);
    connect(f.action_Stat, &QAction::triggered, this, &MainWindow::actionStatTriggered);
    connect(f.action_Restrict, &QAction::triggered, this, &MainWindow::actionRestrictTriggered);
    connect(f.action_TurnTo, &QAction::triggered, this, &MainWindow::actionTurntoTriggered);
    connect(f.action_Selectall, &QAction::triggered, this, &MainWindow::actionSelectAllTriggered);
    connect(f.action_Copy, &QAction::triggered, this, &MainWindow::actionCopyTriggered);
    connect(f.action_Find, &QAction::triggered, this, &MainWindow::actionFindTriggered);
    connect(f.action_FindNext, &QAction::triggered, this, &MainWindow::actionFindNextTriggered);
    connect(f.action_FindPrevious, &QAction::triggered, this, &MainWindow::actionFindPreviousriggered);
    connect(f.action_PrintPreview, &QAction::triggered, this, &MainWindow::actionPrintPreviewTriggered);
    connect(f.action_Print, &QAction::triggered, this, &MainWindow::actionPrintTriggered);
    connect(f.action_pdf, &QAction::triggered, this, &MainWindow::actionConvertoPdfTriggered);
    connect(f.action_excel, &QAction::triggered, this, &MainWindow::actionExcelExportTriggered);
    connect(f.action_Event, &QAction::triggered, this, &MainWindow::actionEventViewTriggered);
}

void MainWindow::updateMenus()
{
    Ui::MainWindow &f = *ui;
    const bool active = mdiArea->activeSubWindow() != nullptr;
    for (QAction *a : {f.action_close, f.action_closeall, f.action_cascade, f.action_tileh, f.action_tilev})
        a->setEnabled(active);

    f.action_Start->setEnabled(realPlot && !acquiring);
    f.action_Stop->setEnabled(realPlot && acquiring);

    const bool loaded = !documents.isEmpty();
    for (QAction *a : {f.action_showPlot, f.action_showTable, f.action_Stat, f.action_PrintPreview,
                       f.action_Print, f.action_pdf, f.action_excel, f.action_Copy, f.action_Restrict})
        a->setEnabled(loaded);

    for (QAction *a : {f.action_Selectall, f.action_Find, f.action_TurnTo, f.action_FindNext, f.action_FindPrevious})
        a->setEnabled(false);
    const CurrentDocument doc = currentDocument();
    if (doc.kind == DocumentKind::Table) {
        f.action_Selectall->setEnabled(true);
        f.action_Find->setEnabled(true);
        f.action_TurnTo->setEnabled(true);
        const bool started = doc.table && doc.table->findStarted();
        f.action_FindNext->setEnabled(started);
        f.action_FindPrevious->setEnabled(started);
    }
}

void MainWindow::updateFileMenu()
{
    ui->action_save->setEnabled(realPlot && realPlot->hasData());
}

void MainWindow::actionToolbarTriggered()
{
    ui->mainToolBar->setVisible(ui->action_Tool->isChecked());
}

void MainWindow::actionStatusTriggered()
{
    ui->statusBar->setVisible(ui->action_Status->isChecked());
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    versionLabel->move(width() - 225, height() - 80);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Samples acquired since the real-time window closed are asked about as
    // that window asks: it opens again to show them.
    if (!realPlot && RealPlot::liveSamples() > 0)
        actionReadComm();
    mdiArea->closeAllSubWindows();
    if (mdiArea->currentSubWindow()) {
        event->ignore();
        return;
    }
    // From here on the window goes: a warning of the poll that the stop
    // below waits for would come up with no window behind it.
    shuttingDown = true;
    stopAcquisitionForShutdown();
    writeSettings();
    event->accept();
}

void MainWindow::stopAcquisitionForShutdown()
{
    // The thread object is a child of this window: it must have left its
    // loop before the window's children are destroyed.
    if (samplingThread)
        actionStopRead();
}

void MainWindow::readSettings()
{
    QSettings settings;
    const QByteArray geometry = settings.value(QStringLiteral("geometry"), QByteArray()).toByteArray();
    if (geometry.isEmpty())
        setWindowState(windowState() | Qt::WindowMaximized);
    else
        restoreGeometry(geometry);
}

void MainWindow::writeSettings()
{
    QSettings settings;
    settings.setValue(QStringLiteral("geometry"), saveGeometry());
}

void MainWindow::prependToRecentFiles(const QString &path)
{
    QSettings settings;
    const QStringList oldFiles = readRecentFiles(settings);
    const QStringList newFiles = withRecentFileFirst(oldFiles, path);
    if (newFiles != oldFiles)
        writeRecentFiles(newFiles, settings);
    recentFileSubMenuAct->setVisible(!newFiles.isEmpty());
}

void MainWindow::updateRecentFileActions()
{
    QSettings settings;
    const QStringList files = readRecentFiles(settings);
    const int count = qMin(files.size(), int(MaxRecentFiles));
    for (int i = 0; i < count; ++i) {
        const QString text = tr("&%1 %2").arg(i + 1).arg(QFileInfo(files.at(i)).fileName());
        recentFileActs[i]->setText(text);
        recentFileActs[i]->setData(files.at(i));
        recentFileActs[i]->setVisible(true);
    }
    for (int i = count; i < MaxRecentFiles; ++i)
        recentFileActs[i]->setVisible(false);
}

void MainWindow::openRecentFile()
{
    auto *action = qobject_cast<QAction *>(sender());
    for (QAction *entry : recentFileActs) {
        if (entry == action) {
            openFiles({action->data().toString()});
            return;
        }
    }
}

void MainWindow::actionAboutTriggered()
{
    ZEPAbout about(this);
    about.exec();
}

void MainWindow::actionComCfgTriggered()
{
    ComCfgDlg dialog(this, acquiring);
    dialog.exec();
}

void MainWindow::actionEventViewTriggered()
{
    QScreen *screen = QWidget::screen();
    const QRect area = screen ? screen->geometry() : QRect();
    auto *view = new EventView(this, [this] { return samplingThread != nullptr; });
    view->show();
    view->move(area.width() - view->width() - 20, 50);
    connect(this, &MainWindow::addComMessage, view, &EventView::addMessage);
}

void MainWindow::actionSaveTriggered()
{
    if (realPlot)
        realPlot->saveData();
}

void MainWindow::actionReadComm()
{
    if (realPlot) {
        if (QMdiSubWindow *window = findSubWindow(kRealTimeTitle))
            mdiArea->setActiveSubWindow(window);
        return;
    }
    realPlot = new RealPlot(AppConfig.disp);
    if (windowlessJournal)
        realPlot->adoptJournal(std::move(windowlessJournal));
    connect(realPlot, &QObject::destroyed, this, &MainWindow::CloseReadCommPlot);
    connect(realPlot, &RealPlot::seriesEnding, this, &MainWindow::keepJournalingWithoutWindow);
    connect(this, &MainWindow::update_discfg, realPlot, [plot = realPlot] { plot->setSettings(AppConfig.disp); });
    addDocumentWindow(realPlot, kRealTimeTitle);
    // Samples polled while no window was open show at once, not only after
    // a refresh interval (or never, when the acquisition has ended).
    realPlot->refreshTick();
    // Opened again while the thread still polls: show the acquisition.
    if (acquiring)
        realPlot->startRefresh(intervalSeconds());
    if (samplingThread)
        samplingThread->setJournal(realPlot->journal());
    realPlot->setPollFaults(pollFaults);
    updateMenus();
}

void MainWindow::CloseReadCommPlot()
{
    realPlot = nullptr;
    updateMenus();
}

void MainWindow::keepJournalingWithoutWindow()
{
    // The thread goes on polling into the stores the window is about to
    // empty. Switched before they are emptied, a poll of that moment lands
    // in the new journal rather than in none.
    if (samplingThread && samplingThread->isRunning()) {
        windowlessJournal = std::make_shared<LiveJournal>(LiveJournal::defaultFolder());
        samplingThread->setJournal(windowlessJournal);
    }
}

void MainWindow::actionStartRead()
{
    if (samplingThread)
        return;
    samplingThread = new SamplingThread(this);
    connect(samplingThread, &QThread::finished, this, &MainWindow::thread_finished);
    connect(samplingThread, &SamplingThread::warning, this, &MainWindow::showRealComErr);
    connect(samplingThread, &SamplingThread::journalFailed, this, &MainWindow::showJournalError);
    connect(samplingThread, &SamplingThread::pollFailed, this, &MainWindow::countPollFault);
    samplingThread->setKeepAcquiring(keepAcquiringAfterErrors());
    pollFaults = PollFaultTally();
    if (realPlot) {
        samplingThread->setJournal(realPlot->journal());
        realPlot->setPollFaults(pollFaults);
    }
    samplingThread->start();
    if (realPlot)
        realPlot->startRefresh(intervalSeconds());
    acquiring = true;
    updateMenus();
}

void MainWindow::actionStopRead()
{
    if (!samplingThread)
        return;
    // A poll in progress runs to its end, up to about 9 s with a silent
    // meter: a busy cursor says the program is waiting, not hanging.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    samplingThread->stop();
    samplingThread->wait();
    QApplication::restoreOverrideCursor();
    acquiring = false;
    if (realPlot)
        realPlot->stopRefresh();
    updateMenus();
}

void MainWindow::thread_finished()
{
    if (!samplingThread)
        return;
    // Polls left pending by a save would otherwise wait for the next
    // acquisition and open its series.
    SignalData::instance().flushPending();
    delete samplingThread;
    samplingThread = nullptr;
    acquiring = false;
    updateMenus();
}

void MainWindow::showRealComErr(SamplingThread::ComErrType kind)
{
    if (shuttingDown)
        return;
    QMessageBox::warning(this, QStringLiteral("错误"), SamplingThread::errorText(kind), QMessageBox::Ok);
}

void MainWindow::countPollFault(SamplingThread::ComErrType kind, const QDateTime &when)
{
    pollFaults.add(when);
    emit addComMessage(pollFaultLogText(kind, when));
    if (realPlot)
        realPlot->setPollFaults(pollFaults);
}

void MainWindow::showJournalError(const QString &path)
{
    if (shuttingDown)
        return;
    QMessageBox::warning(this, QStringLiteral("错误"), journalFailureText(path), QMessageBox::Ok);
}

void MainWindow::offerLeftJournals(const std::function<QString()> &askFileName)
{
    offerJournals(this, LiveJournal::defaultFolder(),
                  askFileName ? askFileName : std::function<QString()>([this] { return askDataFileSaveName(this); }));
}

void MainWindow::finishStartUp(const QStringList &files)
{
    offerLeftJournals();
    openFiles(files);
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (!droppedFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent *event)
{
    const QStringList files = droppedFiles(event->mimeData());
    if (files.isEmpty())
        return;
    event->acceptProposedAction();
    // Reading a large file takes a while; the program the files came from
    // waits for the drop to end, not for them to be read.
    QTimer::singleShot(0, this, [this, files] { openFiles(files); });
}

MainWindow::CurrentDocument MainWindow::currentDocument() const
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

void MainWindow::actionOpenTriggered()
{
    const QString path =
        QFileDialog::getOpenFileName(this, QStringLiteral("打开数据文件"), QString(), QStringLiteral("数据文件(*.txt)"));
    if (!path.isEmpty())
        openFiles({path});
}

void MainWindow::openFiles(const QStringList &paths)
{
    for (const QString &path : paths)
        loadFile(path);
}

void MainWindow::loadFile(const QString &path)
{
    // A file that is open already is shown again, not read a second time.
    DataFile *file = findDocument(documents, path);
    QString problems;
    if (!file) {
        QElapsedTimer sincePaint;
        std::unique_ptr<DataFile> loaded =
            loadDataFile(path, [this, &sincePaint](int percent) { showLoadProgress(percent, sincePaint); });
        if (!loaded) {
            ui->statusBar->showMessage(QStringLiteral("错误：不支持该文件！"), 2000);
            return;
        }
        file = loaded.release();
        documents.append(file);
        problems = openProblemsText(*file);
    }
    ui->statusBar->showMessage(QStringLiteral("提示：打开成功！"), 2000);
    showDocument(file);
    prependToRecentFiles(path);
    updateMenus();
    if (!problems.isEmpty())
        QMessageBox::information(this, QStringLiteral("提示"), problems, QMessageBox::Ok);
}

void MainWindow::showLoadProgress(int percent, QElapsedTimer &sincePaint)
{
    ui->statusBar->showMessage(QStringLiteral("%1%").arg(percent));
    // The load runs in this thread, so nothing is painted unless it is done
    // here; a few times a second is enough to see it move.
    if (!sincePaint.isValid() || sincePaint.elapsed() >= 100) {
        ui->statusBar->repaint();
        sincePaint.start();
    }
}

void MainWindow::showDocument(DataFile *file)
{
    if (!activateTableWindow(file->fileName))
        createTableWindow(file);
    if (!activatePlotWindow(file->fileName))
        createPlotWindow(file);
}

QMdiSubWindow *MainWindow::addDocumentWindow(QWidget *widget, const QString &title)
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

void MainWindow::createTableWindow(DataFile *file)
{
    QMdiSubWindow *window = addDocumentWindow(new MyTableView(file), file->fileName + kTableTitleSuffix);
    window->setProperty(kDocumentPathProperty, file->fileName);
    connect(window, SIGNAL(destroyed(QObject*)), this, SLOT(CloseTableWindow(QObject*)));
}

void MainWindow::createPlotWindow(DataFile *file)
{
    auto *plot = new Plot(file->records, int(file->count), AppConfig.disp);
    if (!plot->complete()) {
        delete plot;
        QMessageBox::warning(this, QStringLiteral("错误"),
                             QStringLiteral("内存不足，无法显示%1的趋势图。").arg(QDir::toNativeSeparators(file->fileName)),
                             QMessageBox::Ok);
        return;
    }
    connect(this, &MainWindow::update_discfg, plot, [plot] { plot->setSettings(AppConfig.disp); });
    QMdiSubWindow *window = addDocumentWindow(plot, file->fileName + kPlotTitleSuffix);
    window->setProperty(kDocumentPathProperty, file->fileName);
    connect(window, SIGNAL(destroyed(QObject*)), this, SLOT(ClosePlotWindow(QObject*)));
}

QMdiSubWindow *MainWindow::findSubWindow(const QString &title, const QObject *except) const
{
    for (QMdiSubWindow *window : mdiArea->subWindowList()) {
        if (window != except && window->windowTitle() == title)
            return window;
    }
    return nullptr;
}

bool MainWindow::activateTableWindow(const QString &path)
{
    QMdiSubWindow *window = findSubWindow(path + kTableTitleSuffix);
    if (window)
        mdiArea->setActiveSubWindow(window);
    return window != nullptr;
}

bool MainWindow::activatePlotWindow(const QString &path)
{
    QMdiSubWindow *window = findSubWindow(path + kPlotTitleSuffix);
    if (window)
        mdiArea->setActiveSubWindow(window);
    return window != nullptr;
}

void MainWindow::CloseTableWindow(QObject *window)
{
    documentWindowClosed(window, kPlotTitleSuffix);
}

void MainWindow::ClosePlotWindow(QObject *window)
{
    documentWindowClosed(window, kTableTitleSuffix);
}

void MainWindow::documentWindowClosed(QObject *window, const QString &otherSuffix)
{
    const QString path = window->property(kDocumentPathProperty).toString();
    if (QMdiSubWindow *other = findSubWindow(path + otherSuffix, window))
        mdiArea->setActiveSubWindow(other);
    else
        releaseDocuments(path);
    updateMenus();
}

void MainWindow::releaseDocuments(const QString &path)
{
    for (int i = documents.size() - 1; i >= 0; --i) {
        if (documents.at(i)->fileName == path)
            delete documents.takeAt(i);
    }
}

void MainWindow::updateWindowMenu()
{
    QMenu *menu = ui->menu_window;
    menu->clear();
    menu->addAction(ui->action_close);
    menu->addAction(ui->action_closeall);
    menu->addSeparator();
    menu->addAction(ui->action_cascade);
    menu->addAction(ui->action_tileh);
    menu->addAction(ui->action_tilev);
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

void MainWindow::tileSubWindows(Qt::Orientation orientation)
{
    const QList<QMdiSubWindow *> windows = mdiArea->subWindowList();
    const QVector<QRect> places = tiledRects(windows.size(), mdiArea->viewport()->size(), orientation);
    for (int i = 0; i < windows.size(); ++i) {
        windows.at(i)->showNormal();
        windows.at(i)->setGeometry(places.at(i));
    }
}

void MainWindow::tileSubWindowsHorizontal()
{
    tileSubWindows(Qt::Horizontal);
}

void MainWindow::tileSubWindowsVertical()
{
    tileSubWindows(Qt::Vertical);
}

void MainWindow::actionShowPlotTriggered()
{
    const CurrentDocument doc = currentDocument();
    if (doc.file && !activatePlotWindow(doc.file->fileName))
        createPlotWindow(doc.file);
}

void MainWindow::actionShowTableTriggered()
{
    const CurrentDocument doc = currentDocument();
    if (doc.file && !activateTableWindow(doc.file->fileName))
        createTableWindow(doc.file);
}

void MainWindow::actionSelectAllTriggered()
{
    if (MyTableView *table = currentDocument().table)
        table->selectAll();
}

void MainWindow::actionCopyTriggered()
{
    const CurrentDocument doc = currentDocument();
    if (doc.table)
        doc.table->copySelection();
    else if (doc.kind == DocumentKind::Plot)
        QApplication::clipboard()->setPixmap(doc.window->grab());
}

void MainWindow::actionFindNextTriggered()
{
    if (MyTableView *table = currentDocument().table)
        table->findNext(true);
}

void MainWindow::actionFindPreviousriggered()
{
    if (MyTableView *table = currentDocument().table)
        table->findNext(false);
}

void MainWindow::actionExcelExportTriggered()
{
    const CurrentDocument doc = currentDocument();
    if (!doc.file)
        return;
    ExcelExportDlg dialog(doc.window, doc.file);
    dialog.exec();
}

void MainWindow::actionPrintTriggered()
{
    if (QMdiSubWindow *window = mdiArea->currentSubWindow())
        printSnapshot(window, this);
}

void MainWindow::actionPrintPreviewTriggered()
{
    if (QMdiSubWindow *window = mdiArea->currentSubWindow())
        previewSnapshot(window, this, [this](QPrinter *printer) { printPreviewSlot(printer); });
}

void MainWindow::printPreviewSlot(QPrinter *printer)
{
    if (QMdiSubWindow *window = mdiArea->currentSubWindow())
        paintPreviewPage(printer, window);
}

void MainWindow::actionConvertoPdfTriggered()
{
    if (QMdiSubWindow *window = mdiArea->currentSubWindow())
        saveSnapshotPdf(window, this);
}

void MainWindow::actionDisCfgTriggered()
{
    // The dialog deletes itself when it closes.
    auto *dialog = new DisCfgDlg(this);
    dialog->exec();
}

void MainWindow::actionStatTriggered()
{
    const CurrentDocument doc = currentDocument();
    if (!doc.file)
        return;
    StatDlg dialog(this, doc.file);
    dialog.exec();
}

void MainWindow::actionRestrictTriggered()
{
    const CurrentDocument doc = currentDocument();
    if (!doc.file || (!doc.table && !doc.plot))
        return;
    RangeSetDlg dialog(this, doc.file);
    const ShownSpan span = doc.table ? tableSpan(*doc.table) : plotSpan(*doc.plot);
    if (doc.table)
        connect(&dialog, &RangeSetDlg::setRangeTime, doc.table, &MyTableView::setxRange);
    else
        connect(&dialog, &RangeSetDlg::setRangeTime, doc.plot, &Plot::setxRange);
    dialog.setRange(span.start, span.end);
    dialog.exec();
}

void MainWindow::actionTurntoTriggered()
{
    const CurrentDocument doc = currentDocument();
    if (!doc.file || !doc.table)
        return;
    TurntoDlg dialog(doc.window, doc.file);
    dialog.exec();
}

void MainWindow::actionFindTriggered()
{
    const CurrentDocument doc = currentDocument();
    if (!doc.file || !doc.table)
        return;
    // After the table's own search, so that Find Next sees it started.
    FindDlg *dialog = openFindDlg(doc.window, doc.table);
    connect(dialog, &FindDlg::find, this, &MainWindow::updateMenus);
}
