// The program as a test runs it in a child process: it acquires from the
// meter simulator at the address given until it is killed; with a file name,
// it saves there once, as File → 保存 does, after two polls. It inherits the
// test's isolated environment and working directory.

#include "app/appinfo.h"
#include "app/mainwindow.h"
#include "data/appconfig.h"
#include "realtime/realplot.h"

#include <QAction>
#include <QApplication>
#include <QStandardPaths>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    setApplicationIdentity(app);
    if (argc < 2) {
        fprintf(stderr, "usage: journalchild host:port [save-file]\n");
        return 2;
    }
    MainWindow window;
    AppConfig.comm.comtype = 1;
    copyToField(AppConfig.comm.IP, QByteArray(argv[1]));
    copyToField(AppConfig.comm.interval, "1s");
    window.show();
    window.findChild<QAction *>(QStringLiteral("action_ReadCom"))->trigger();
    window.findChild<QAction *>(QStringLiteral("action_Start"))->trigger();
    RealPlot *plot = window.realTimeWindow();
    plot->setSaveFileNameProvider([&] { return QString::fromLocal8Bit(argv[2]); });
    QTimer saveOnce;
    QObject::connect(&saveOnce, &QTimer::timeout, [&] {
        if (plot->liveSamples() >= 2 && plot->saveData() == RealPlot::SaveResult::Saved)
            saveOnce.stop();
    });
    if (argc > 2)
        saveOnce.start(100);
    fprintf(stderr, "acquiring\n");
    return app.exec();
}
