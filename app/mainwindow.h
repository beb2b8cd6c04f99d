#pragma once

#include "app/documenttitle.h"
#include "app/recentfiles.h"
#include "comm/pollfaults.h"
#include "comm/samplingthread.h"

#include <QList>
#include <QMainWindow>

#include <functional>
#include <memory>

class QElapsedTimer;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QPrinter;

class DataFile;
class LiveJournal;
class MyTableView;
class Plot;
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
    const QList<DataFile *> &openDocuments() const { return documents; }
    QMdiArea *documentArea() const { return mdiArea; }
    // The start-up step that offers journals an earlier run left behind.
    // askFileName replaces the save dialog; empty for the dialog.
    void offerLeftJournals(const std::function<QString()> &askFileName = {});
    // Opens each file as "打开(&O)" would, messages included.
    void openFiles(const QStringList &paths);
    // The start-up steps once the window shows: the journals first, then
    // the files of the command line.
    void finishStartUp(const QStringList &files);

signals:
    void update_discfg();
    void addComMessage(const QString &message);

public slots:
    void updateMenus();
    void updateFileMenu();

private slots:
    void showRealComErr(SamplingThread::ComErrType kind);
    void countPollFault(SamplingThread::ComErrType kind, const QDateTime &when);
    void showJournalError(const QString &path);
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
    void keepJournalingWithoutWindow();
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
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    // The current sub-window, its kind, its file and its widget.
    struct CurrentDocument {
        QMdiSubWindow *window = nullptr;
        DocumentKind kind = DocumentKind::None;
        DataFile *file = nullptr;
        MyTableView *table = nullptr;
        Plot *plot = nullptr;
    };
    CurrentDocument currentDocument() const;

    QMdiSubWindow *addDocumentWindow(QWidget *widget, const QString &title);
    void createTableWindow(DataFile *file);
    void createPlotWindow(DataFile *file);
    bool activateTableWindow(const QString &path);
    bool activatePlotWindow(const QString &path);
    // The first sub-window with this title, leaving out one that is being
    // destroyed.
    QMdiSubWindow *findSubWindow(const QString &title, const QObject *except = nullptr) const;
    void showDocument(DataFile *file);
    void documentWindowClosed(QObject *window, const QString &otherSuffix);
    void releaseDocuments(const QString &path);
    void tileSubWindows(Qt::Orientation orientation);
    void showLoadProgress(int percent, QElapsedTimer &sincePaint);

    void createVersionLabel();
    void setUpMdiArea();
    void setUpRecentFilesMenu();
    void connectActions();
    void readSettings();
    void writeSettings();
    void stopAcquisitionForShutdown();

    std::unique_ptr<Ui::MainWindow> ui;
    QMdiArea *mdiArea = nullptr;
    QLabel *versionLabel = nullptr;
    QAction *recentFileSubMenuAct = nullptr;
    QAction *recentFileActs[MaxRecentFiles] = {};
    RealPlot *realPlot = nullptr;
    SamplingThread *samplingThread = nullptr;
    bool acquiring = false;
    // The journal of the polls made while no real-time window is open; the
    // next window takes it over with the samples it shows.
    std::shared_ptr<LiveJournal> windowlessJournal;
    // The failed polls of the latest acquisition that went on through them.
    PollFaultTally pollFaults;
    // Set once the close has been accepted: warnings are no longer shown.
    bool shuttingDown = false;
    QList<DataFile *> documents;
};
