#pragma once

// The base of the tests that drive a whole main window: each test function
// gets a fresh settings store, settings record and working directory, and a
// window of its own.

#include "app/mainwindow.h"
#include "comm/stationsettings.h"
#include "data/appconfig.h"
#include "realtime/metersession.h"
#include "testsupport.h"

#include <QAction>
#include <QSettings>
#include <QTemporaryDir>

#include <memory>

namespace zeptest {

class MainWindowTest : public QObject
{
protected:
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<MainWindow> window;

    // From init(). A shown window is exposed at 1200 x 800 before the test
    // begins; an unshown one keeps the state its constructor gives it.
    void startWindow(bool shown = true)
    {
        QSettings().clear();
        AppConfig = AppConfigRecord{};
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir::setCurrent(dir->path()));
        window = std::make_unique<MainWindow>();
        if (!shown)
            return;
        window->resize(1200, 800);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    SignalData &liveSeries() const { return window->station().session(0).series(); }

    // From init() of the tests that acquire: empty live stores, one poll a
    // second, and the window as it first shows.
    void startLiveWindow()
    {
        startWindow(false);
        copyToField(AppConfig.comm.interval, "1s");
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    // From cleanup().
    void stopWindow()
    {
        window.reset();
        QSettings().clear();
    }

    QString path(const QString &name) const { return dir->filePath(name); }

    // Changes the working directory's station settings as its dialogs would.
    static void storeStation(const std::function<void(StationConfig &)> &change)
    {
        StationConfig config = readStationConfig(AppConfig.comm);
        change(config);
        QVERIFY(writeStationConfig(config));
    }

    QAction *action(const char *name) const
    {
        auto *a = window->findChild<QAction *>(QLatin1String(name));
        if (!a)
            qWarning("no action %s", name);
        return a;
    }
};

} // namespace zeptest
