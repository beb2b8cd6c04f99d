#include "app/mainwindow.h"

#include "app/appinfo.h"
#include "app/eventview.h"
#include "app/recentfiles.h"
#include "app/zepabout.h"
#include "comm/comcfgdlg.h"
#include "data/appconfig.h"
#include "data/datafile.h"
#include "realtime/realplot.h"
#include "ui_mainwindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QScreen>
#include <QSettings>

namespace {
const QString kTableSuffixMark = QStringLiteral("数据列表");
const QString kRealTimeTitle = QStringLiteral("实时通讯 - 趋势图");
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
    readConfig();
    documents.reserve(10);
    connectActions();
}

MainWindow::~MainWindow()
{
    stopAcquisitionForShutdown();
    // The base class deletes the children after this body, when the form is
    // gone: closing sub-windows then must not call back into this window.
    disconnect(mdiArea, nullptr, this, nullptr);
    if (realPlot)
        disconnect(realPlot, nullptr, this, nullptr);
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

bool MainWindow::isTableWindow(const QMdiSubWindow *window) const
{
    return window && window->windowTitle().contains(kTableSuffixMark);
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
    if (isTableWindow(mdiArea->currentSubWindow())) {
        f.action_Selectall->setEnabled(true);
        f.action_Find->setEnabled(true);
        f.action_TurnTo->setEnabled(true);
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
    mdiArea->closeAllSubWindows();
    if (mdiArea->currentSubWindow()) {
        event->ignore();
        return;
    }
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
            loadFile(action->data().toString());
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
        for (QMdiSubWindow *window : mdiArea->subWindowList()) {
            if (window->windowTitle() == kRealTimeTitle)
                mdiArea->setActiveSubWindow(window);
        }
        return;
    }
    realPlot = new RealPlot();
    connect(realPlot, &QObject::destroyed, this, &MainWindow::CloseReadCommPlot);
    connect(this, &MainWindow::update_discfg, realPlot, &RealPlot::applySettings);
    auto *window = new QMdiSubWindow;
    mdiArea->addSubWindow(window);
    window->setWidget(realPlot);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(kRealTimeTitle);
    window->setWindowIcon(QIcon(QStringLiteral(":/png/ZEPIcon.ico")));
    window->showMaximized();
    updateMenus();
}

void MainWindow::CloseReadCommPlot()
{
    realPlot = nullptr;
    updateMenus();
}

void MainWindow::actionStartRead()
{
    if (samplingThread)
        return;
    samplingThread = new SamplingThread(this);
    connect(samplingThread, &QThread::finished, this, &MainWindow::thread_finished);
    connect(samplingThread, &SamplingThread::warning, this, &MainWindow::showRealComErr);
    samplingThread->start();
    if (realPlot)
        realPlot->startRefresh();
    acquiring = true;
    updateMenus();
}

void MainWindow::actionStopRead()
{
    if (!samplingThread)
        return;
    samplingThread->stop();
    samplingThread->wait();
    acquiring = false;
    if (realPlot)
        realPlot->stopRefresh();
    updateMenus();
}

void MainWindow::thread_finished()
{
    if (!samplingThread)
        return;
    delete samplingThread;
    samplingThread = nullptr;
    acquiring = false;
    updateMenus();
}

void MainWindow::showRealComErr(SamplingThread::ComErrType kind)
{
    QMessageBox::warning(this, QStringLiteral("错误"), SamplingThread::errorText(kind), QMessageBox::Ok);
}

// The actions below belong to features that join the program step by step;
// until a feature is present its action does nothing.
void MainWindow::loadFile(const QString &) {}
void MainWindow::actionDisCfgTriggered() {}
void MainWindow::actionOpenTriggered() {}
void MainWindow::tileSubWindowsHorizontal() {}
void MainWindow::tileSubWindowsVertical() {}
void MainWindow::updateWindowMenu() {}
void MainWindow::CloseTableWindow(QObject *) {}
void MainWindow::ClosePlotWindow(QObject *) {}
void MainWindow::actionShowPlotTriggered() {}
void MainWindow::actionShowTableTriggered() {}
void MainWindow::actionStatTriggered() {}
void MainWindow::actionRestrictTriggered() {}
void MainWindow::actionTurntoTriggered() {}
void MainWindow::actionExcelExportTriggered() {}
void MainWindow::actionSelectAllTriggered() {}
void MainWindow::actionCopyTriggered() {}
void MainWindow::actionFindTriggered() {}
void MainWindow::actionFindNextTriggered() {}
void MainWindow::actionFindPreviousriggered() {}
void MainWindow::actionPrintPreviewTriggered() {}
void MainWindow::actionPrintTriggered() {}
void MainWindow::actionConvertoPdfTriggered() {}
void MainWindow::printPreviewSlot(QPrinter *) {}
