#include "app/mainwindow.h"

#include "analysis/snapshot.h"
#include "app/appinfo.h"
#include "app/documentactions.h"
#include "app/eventview.h"
#include "app/openreport.h"
#include "app/openrequests.h"
#include "app/singleinstance.h"
#include "app/zepabout.h"
#include "comm/comcfgdlg.h"
#include "comm/forwardcfgdlg.h"
#include "comm/stationsettings.h"
#include "data/appconfig.h"
#include "data/datafile.h"
#include "realtime/realplot.h"
#include "views/discfgdlg.h"
#include "views/finddlg.h"
#include "views/mytableview.h"
#include "ui_mainwindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QStatusBar>
#include <QTimer>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::MainWindow>())
    , mdiArea(new QMdiArea)
{
    initZepResources();
    ui->setupUi(this);
    setWindowIcon(QIcon(QStringLiteral(":/png/ZEPIcon.ico")));
    versionLabel = createVersionLabel(this);
    setUpMdiArea();
    documents = new Documents(mdiArea, ui->statusBar, this);
    acquisition = new Acquisition(*documents, ui->statusBar, this);
    setUpRecentFilesMenu();
    setUpMenuUpdates();
    restoreWindowGeometry(*this);
    installLocaleCodec();
    if (readConfig() == ConfigOrigin::Replaced)
        ui->statusBar->showMessage(QStringLiteral("提示：设置文件无效，已恢复默认设置！"), 2000);
    connectActions();
    connectDocumentsAndAcquisition();
    setAcceptDrops(true);
}

MainWindow::~MainWindow()
{
    acquisition->stopForShutdown();
    // The files go with the documents object, after the windows.
    documents->deleteWindows();
    disconnect(mdiArea, nullptr, this, nullptr);
    ui.reset();
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
    recentFiles = new RecentFilesMenu(ui->menu_recent, this);
    connect(recentFiles, &RecentFilesMenu::fileChosen, this, &MainWindow::openRecentFile);
    connect(recentFiles, &RecentFilesMenu::setChosen, this, &MainWindow::openMerged);
}

void MainWindow::setUpMenuUpdates()
{
    connect(ui->menu_window, &QMenu::aboutToShow, this, &MainWindow::updateWindowMenu);
    updateWindowMenu();
    connect(mdiArea, &QMdiArea::subWindowActivated, this, &MainWindow::updateMenus);
    updateMenus();
}

void MainWindow::connectActions()
{
    Ui::MainWindow &f = *ui;
    connect(f.action_com, &QAction::triggered, this, &MainWindow::actionComCfgTriggered);
    connect(f.action_forward, &QAction::triggered, this, [this] { ForwardCfgDlg(this, isAcquiring()).exec(); });
    connect(f.action_display, &QAction::triggered, this, &MainWindow::actionDisCfgTriggered);
    connect(f.action_zepabout, &QAction::triggered, this, &MainWindow::actionAboutTriggered);
    connect(f.action_open, &QAction::triggered, this, &MainWindow::actionOpenTriggered);
    connect(f.action_openMerged, &QAction::triggered, this, &MainWindow::actionOpenMergedTriggered);
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
    connect(f.action_Report, &QAction::triggered, this, &MainWindow::actionReportTriggered);
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

void MainWindow::connectDocumentsAndAcquisition()
{
    connect(this, &MainWindow::update_discfg, documents, &Documents::displaySettingsChanged);
    connect(documents, &Documents::tableWindowClosed, this, &MainWindow::CloseTableWindow);
    connect(documents, &Documents::plotWindowClosed, this, &MainWindow::ClosePlotWindow);
    connect(documents, &Documents::warning, this, &MainWindow::showWarning);
    connect(this, &MainWindow::update_discfg, acquisition, &Acquisition::displaySettingsChanged);
    connect(acquisition, &Acquisition::addComMessage, this, &MainWindow::addComMessage);
    connect(acquisition, &Acquisition::realTimeWindowClosed, this, &MainWindow::CloseReadCommPlot);
    connect(acquisition, &Acquisition::finished, this, &MainWindow::thread_finished);
    connect(acquisition, &Acquisition::communicationError, this, &MainWindow::showRealComErr);
    connect(acquisition, &Acquisition::warning, this, &MainWindow::showWarning);
    connect(acquisition, &Acquisition::liveSeriesGrew, this, &MainWindow::updateMenus);
    connect(acquisition, &Acquisition::saved, this, [this](const QString &t) { statusBar()->showMessage(t, 2000); });
}

void MainWindow::updateMenus()
{
    Ui::MainWindow &f = *ui;
    const bool active = mdiArea->activeSubWindow() != nullptr;
    for (QAction *a : {f.action_close, f.action_closeall, f.action_cascade, f.action_tileh, f.action_tilev})
        a->setEnabled(active);

    RealPlot *live = acquisition->currentRealTimeWindow();
    f.action_Start->setEnabled(live && !acquisition->isAcquiring());
    f.action_Stop->setEnabled(acquisition->isAcquiring());
    f.action_save->setEnabled(live && live->hasData());

    const bool loaded = !documents->files().isEmpty();
    for (QAction *a : {f.action_showPlot, f.action_showTable, f.action_Stat, f.action_Report, f.action_PrintPreview,
                       f.action_Print, f.action_pdf, f.action_excel, f.action_Copy, f.action_Restrict})
        a->setEnabled(loaded);

    const CurrentDocument doc = documents->currentDocument();
    const bool table = doc.kind == DocumentKind::Table;
    for (QAction *a : {f.action_Selectall, f.action_Find, f.action_TurnTo})
        a->setEnabled(table);
    const bool started = table && doc.table && doc.table->findStarted();
    f.action_FindNext->setEnabled(started);
    f.action_FindPrevious->setEnabled(started);
}

void MainWindow::updateWindowMenu()
{
    QMenu *menu = ui->menu_window;
    menu->clear();
    menu->addActions({ui->action_close, ui->action_closeall});
    menu->addSeparator();
    menu->addActions({ui->action_cascade, ui->action_tileh, ui->action_tilev});
    documents->addWindowEntries(menu);
}

void MainWindow::updateRecentFileActions()
{
    recentFiles->updateActions();
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
    if (acquisition->hasSamplesWithoutWindow())
        actionReadComm();
    mdiArea->closeAllSubWindows();
    if (mdiArea->currentSubWindow()) {
        event->ignore();
        return;
    }
    acquisition->stopForShutdown();
    storeWindowGeometry(*this);
    event->accept();
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

void MainWindow::actionOpenTriggered()
{
    const QString path =
        QFileDialog::getOpenFileName(this, QStringLiteral("打开数据文件"), QString(), QStringLiteral("数据文件(*.txt)"));
    if (!path.isEmpty())
        loadFile(path);
}

void MainWindow::actionOpenMergedTriggered()
{
    openMerged(askFilesToMerge(this));
}

void MainWindow::openRecentFile(const QString &path)
{
    openFiles({path});
}

void MainWindow::openFiles(const QStringList &paths)
{
    QList<OpenFailure> failures;
    for (const QString &path : paths)
        failures.append({path, loadFile(path)});
    if (const QString text = openFailuresText(failures); !text.isEmpty())
        showWarning(text);
}

LoadFailure MainWindow::loadFile(const QString &path)
{
    const LoadFailure failure = openOneDocument(this, *documents, *recentFiles, path);
    updateMenus();
    return failure;
}

void MainWindow::offerLeftJournals(const std::function<QString()> &askFileName)
{
    acquisition->offerLeftJournals(this, askFileName, stationConfig());
}

void MainWindow::finishStartUp(const QStringList &files)
{
    // Before the offer of what an interrupted run left, whose question
    // waits for someone to answer it: the recording goes on meanwhile.
    if (startsAcquiringAtStartUp(stationConfig().startAcquiring, AcquisitionLock::previousRun())) {
        actionReadComm();
        actionStartRead();
    }
    offerLeftJournals();
    openFiles(files);
}

void MainWindow::takeHandOvers(SingleInstance &instance)
{
    connect(&instance, &SingleInstance::filesReceived, this, [this](const QStringList &files) {
        bringToFront(*this);
        openFiles(files);
    });
}

void MainWindow::tileSubWindowsHorizontal()
{
    documents->tileSubWindows(Qt::Horizontal);
}

void MainWindow::tileSubWindowsVertical()
{
    documents->tileSubWindows(Qt::Vertical);
}

void MainWindow::CloseTableWindow()
{
    updateMenus();
}

void MainWindow::ClosePlotWindow()
{
    updateMenus();
}

void MainWindow::actionShowPlotTriggered()
{
    if (DataFile *file = documents->currentDocument().file)
        documents->showPlotWindow(file);
}

void MainWindow::actionShowTableTriggered()
{
    if (DataFile *file = documents->currentDocument().file)
        documents->showTableWindow(file);
}

void MainWindow::actionStatTriggered()
{
    showStatistics(this, documents->currentDocument());
}

void MainWindow::actionRestrictTriggered()
{
    restrictTimeRange(this, documents->currentDocument());
}

void MainWindow::actionTurntoTriggered()
{
    turnTo(documents->currentDocument());
}

void MainWindow::actionExcelExportTriggered()
{
    exportToSpreadsheet(documents->currentDocument());
}

void MainWindow::actionSelectAllTriggered()
{
    if (MyTableView *table = documents->currentDocument().table)
        table->selectAll();
}

void MainWindow::actionCopyTriggered()
{
    copyToClipboard(documents->currentDocument());
}

void MainWindow::actionFindTriggered()
{
    // After the table's own search, so that Find Next sees it started.
    if (FindDlg *dialog = openFind(documents->currentDocument()))
        connect(dialog, &FindDlg::find, this, &MainWindow::updateMenus);
}

void MainWindow::actionFindNextTriggered()
{
    if (MyTableView *table = documents->currentDocument().table)
        table->findNext(true);
}

void MainWindow::actionFindPreviousriggered()
{
    if (MyTableView *table = documents->currentDocument().table)
        table->findNext(false);
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

void MainWindow::actionReadComm()
{
    acquisition->openRealTimeWindows(stationConfig().meters);
    updateMenus();
}

void MainWindow::CloseReadCommPlot()
{
    updateMenus();
}

void MainWindow::actionStartRead()
{
    QString problem;
    const StationConfig config = stationConfig(&problem);
    if (problem.isEmpty())
        problem = acquisition->start(config);
    if (!problem.isEmpty())
        showWarning(problem);
    updateMenus();
}

StationConfig MainWindow::stationConfig(QString *problem) const
{
    return readStationConfig(AppConfig.comm, problem);
}

void MainWindow::actionStopRead()
{
    acquisition->stop();
    updateMenus();
}

void MainWindow::thread_finished()
{
    updateMenus();
}

void MainWindow::actionSaveTriggered()
{
    if (RealPlot *realPlot = acquisition->currentRealTimeWindow())
        realPlot->saveData();
}

void MainWindow::showRealComErr(int meter, SamplingThread::ComErrType kind)
{
    showWarning(acquisition->errorText(meter, kind));
}

void MainWindow::showWarning(const QString &text)
{
    QMessageBox::warning(this, QStringLiteral("错误"), text, QMessageBox::Ok);
}

void MainWindow::actionComCfgTriggered()
{
    ComCfgDlg(this, acquisition->isAcquiring()).exec();
}

void MainWindow::actionDisCfgTriggered()
{
    // The dialog deletes itself when it closes.
    auto *dialog = new DisCfgDlg(this);
    dialog->exec();
}

void MainWindow::actionAboutTriggered()
{
    ZEPAbout(this).exec();
}

void MainWindow::actionEventViewTriggered()
{
    EventView *view = openEventView(this, [this] { return acquisition->currentSamplingThread() != nullptr; },
                                    acquisition->todaysLog(stationConfig()));
    connect(this, &MainWindow::addComMessage, view, &EventView::addLine);
}
