#pragma once

#include "app/acquisition.h"
#include "app/documentactions.h"
#include "app/documentopen.h"
#include "app/documents.h"
#include "app/recentfiles.h"
#include "comm/samplingthread.h"

#include <QList>
#include <QMainWindow>

#include <functional>
#include <memory>

class QLabel;
class QMdiArea;
class QPrinter;

class DataFile;
enum class LoadFailure;
class RealPlot;
class SingleInstance;

namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Opens a file as "打开(&O)" does; why it did not open, if it did not.
    LoadFailure loadFile(const QString &path);
    RealPlot *realTimeWindow() const { return acquisition->realTimeWindow(); }
    bool isAcquiring() const { return acquisition->isAcquiring(); }
    SamplingThread *currentSamplingThread() const { return acquisition->currentSamplingThread(); }
    Station &station() const { return acquisition->station(); }
    void prependToRecentFiles(const QString &path) { recentFiles->prepend(path); }
    const QList<DataFile *> &openDocuments() const { return documents->files(); }
    QMdiArea *documentArea() const { return mdiArea; }
    // The start-up step that offers journals an earlier run left behind.
    // askFileName replaces the save dialog; empty for the dialog.
    void offerLeftJournals(const std::function<QString()> &askFileName = {});
    // Opens each file as "打开(&O)" would, then names those that did not
    // open, and why, in one message.
    void openFiles(const QStringList &paths);
    // Opens the files as one document, as "合并打开(&M)…" does with the files
    // chosen.
    void openMerged(const QStringList &paths)
    {
        if (openAsOneDocument(this, *documents, *recentFiles, paths))
            updateMenus();
    }
    // The start-up steps once the window shows: the journals first, then
    // the files of the command line.
    void finishStartUp(const QStringList &files);
    // Later starts in the directory bring this window to the front and
    // open their files here.
    void takeHandOvers(SingleInstance &instance);

signals:
    void update_discfg();
    void addComMessage(const EventLine &line);

public slots:
    void updateMenus();

private slots:
    void showRealComErr(int meter, SamplingThread::ComErrType kind);
    void showWarning(const QString &text);
    void actionComCfgTriggered();
    void actionDisCfgTriggered();
    void actionAboutTriggered();
    void actionOpenTriggered();
    void actionOpenMergedTriggered();
    void actionSaveTriggered();
    void tileSubWindowsHorizontal();
    void tileSubWindowsVertical();
    void updateWindowMenu();
    void actionToolbarTriggered();
    void actionStatusTriggered();
    void actionEventViewTriggered();
    void updateRecentFileActions();
    void openRecentFile(const QString &path);
    void actionReadComm();
    void CloseReadCommPlot();
    void actionStartRead();
    void actionStopRead();
    void thread_finished();
    void CloseTableWindow();
    void ClosePlotWindow();
    void actionShowPlotTriggered();
    void actionShowTableTriggered();
    void actionStatTriggered();
    void actionReportTriggered() { showPowerReport(this, documents->currentDocument()); }
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
    void setUpMdiArea();
    void setUpRecentFilesMenu();
    void setUpMenuUpdates();
    void connectActions();
    void connectDocumentsAndAcquisition();
    // What the settings say the station records: its link, its meters and
    // what it does with their polls.
    StationConfig stationConfig(QString *problem = nullptr) const;

    std::unique_ptr<Ui::MainWindow> ui;
    QMdiArea *mdiArea = nullptr;
    QLabel *versionLabel = nullptr;
    RecentFilesMenu *recentFiles = nullptr;
    Documents *documents = nullptr;
    Acquisition *acquisition = nullptr;
};
