#pragma once

#include "comm/samplingthread.h"

#include <QList>
#include <QMainWindow>

#include <memory>

class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QPrinter;

class DataFile;
class RealPlot;

namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    void loadFile(const QString &path);
    RealPlot *realTimeWindow() const { return realPlot; }
    bool isAcquiring() const { return acquiring; }
    SamplingThread *currentSamplingThread() const { return samplingThread; }
    void prependToRecentFiles(const QString &path);

signals:
    void update_discfg();
    void addComMessage(const QString &message);

public slots:
    void updateMenus();
    void updateFileMenu();

private slots:
    void showRealComErr(SamplingThread::ComErrType kind);
    void actionComCfgTriggered();
    void actionDisCfgTriggered();
    void actionAboutTriggered();
    void actionOpenTriggered();
    void actionSaveTriggered();
    void tileSubWindowsHorizontal();
    void tileSubWindowsVertical();
    void updateWindowMenu();
    void actionToolbarTriggered();
    void actionStatusTriggered();
    void actionEventViewTriggered();
    void updateRecentFileActions();
    void openRecentFile();
    void actionReadComm();
    void CloseReadCommPlot();
    void actionStartRead();
    void actionStopRead();
    void thread_finished();
    void CloseTableWindow(QObject *window);
    void ClosePlotWindow(QObject *window);
    void actionShowPlotTriggered();
    void actionShowTableTriggered();
    void actionStatTriggered();
    void actionRestrictTriggered();
    void actionTurntoTriggered();
    void actionExcelExportTriggered();
    void actionSelectAllTriggered();
    void actionCopyTriggered();
    void actionFindTriggered();
    void actionFindNextTriggered();
    void actionFindPreviousriggered();
    void actionPrintPreviewTriggered();
    void actionPrintTriggered();
    void actionConvertoPdfTriggered();
    void printPreviewSlot(QPrinter *printer);

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void createVersionLabel();
    void setUpMdiArea();
    void setUpRecentFilesMenu();
    void connectActions();
    void readSettings();
    void writeSettings();
    bool isTableWindow(const QMdiSubWindow *window) const;
    void stopAcquisitionForShutdown();

    std::unique_ptr<Ui::MainWindow> ui;
    QMdiArea *mdiArea = nullptr;
    QLabel *versionLabel = nullptr;
    QAction *recentFileSubMenuAct = nullptr;
    QAction *recentFileActs[5] = {};
    RealPlot *realPlot = nullptr;
    SamplingThread *samplingThread = nullptr;
    bool acquiring = false;
    QList<DataFile *> documents;
};
