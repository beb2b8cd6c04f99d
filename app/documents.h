#pragma once

#include "app/documenttitle.h"
#include "data/datamerge.h"

#include <QList>
#include <QObject>

class QElapsedTimer;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QStatusBar;
class QWidget;

class DataFile;
enum class LoadFailure;
class MyTableView;
class Plot;

// The current sub-window, its kind, its file and its widget.
struct CurrentDocument {
    QMdiSubWindow *window = nullptr;
    DocumentKind kind = DocumentKind::None;
    DataFile *file = nullptr;
    MyTableView *table = nullptr;
    Plot *plot = nullptr;
};

// The open data files and their windows in the document area. A file lives
// as long as one of its windows; the windows are known by their titles
// alone, so every lookup goes through them.
class Documents : public QObject
{
    Q_OBJECT

public:
    // Opening reports to statusBar.
    Documents(QMdiArea *area, QStatusBar *statusBar, QObject *parent = nullptr);
    // Deletes the files; their windows must be gone already.
    ~Documents() override;

    const QList<DataFile *> &files() const { return documents; }

    // Reads the file into the list, or takes the one open with this path,
    // and shows its windows; otherwise says why the file was refused.
    // problems gets what the reader had to patch, empty for a whole file or
    // one that was open already.
    LoadFailure open(const QString &path, QString *problems);
    // Reads several files into one document, their records in time order,
    // or takes the one open with the same files, and shows its windows. One
    // readable file opens as open() opens it. Null when none can be read;
    // refused gets the files left out.
    DataFile *openMerged(const QStringList &paths, QList<OpenFailure> *refused, QString *problems);

    // Activate the file's windows, creating the ones that are closed.
    void showDocument(DataFile *file);
    void showTableWindow(DataFile *file);
    void showPlotWindow(DataFile *file);

    // A maximised sub-window around widget, deleted when it closes.
    QMdiSubWindow *addDocumentWindow(QWidget *widget, const QString &title);
    // Activates the first sub-window with this title; false when none has it.
    bool activateSubWindow(const QString &title);
    CurrentDocument currentDocument() const;

    // One checkable entry per sub-window, the active one checked.
    void addWindowEntries(QMenu *menu);
    void tileSubWindows(Qt::Orientation orientation);
    // Every sub-window, those waiting for a later deletion too. The tables
    // read their files' records until they are gone, so the main window
    // deletes its windows before the files, while it is still whole to
    // take their farewells.
    void deleteWindows();

signals:
    void displaySettingsChanged();
    // A document window has gone; the file went with it when it was the
    // last one.
    void tableWindowClosed();
    void plotWindowClosed();
    void warning(const QString &text);

private slots:
    void tableWindowDestroyed(QObject *window);
    void plotWindowDestroyed(QObject *window);

private:
    DataFile *load(const QString &path, QString *problems, LoadFailure *failure);
    // Says in the status bar whether the file opened, and shows its windows.
    DataFile *present(DataFile *file);
    DataFile *loadMergedDocument(const MergePlan &plan, QList<OpenFailure> *refused, QString *problems);
    void showLoadProgress(int percent, QElapsedTimer &sincePaint);
    void createTableWindow(DataFile *file);
    void createPlotWindow(DataFile *file);
    bool activateTableWindow(const QString &path);
    bool activatePlotWindow(const QString &path);
    // The first sub-window with this title, leaving out one that is being
    // destroyed.
    QMdiSubWindow *findSubWindow(const QString &title, const QObject *except = nullptr) const;
    void documentWindowClosed(QObject *window, const QString &otherSuffix);
    void releaseDocuments(const QString &path);

    QMdiArea *mdiArea;
    QStatusBar *statusBar;
    QList<DataFile *> documents;
};
