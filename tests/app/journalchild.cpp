// The program as a test runs it in a child process: it acquires from the
// meter simulator at the address given until it is killed. It inherits the
// test's isolated environment and working directory.

#include "app/appinfo.h"
#include "app/mainwindow.h"
#include "data/appconfig.h"

#include <QAction>
#include <QApplication>
#include <QStandardPaths>

#include <cstdio>

int main(int argc, char *argv[])
{
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    setApplicationIdentity(app);
    if (argc < 2) {
        fprintf(stderr, "usage: journalchild host:port\n");
        return 2;
    }
    MainWindow window;
    AppConfig.comm.comtype = 1;
    copyToField(AppConfig.comm.IP, QByteArray(argv[1]));
    copyToField(AppConfig.comm.interval, "1s");
    window.show();
    window.findChild<QAction *>(QStringLiteral("action_ReadCom"))->trigger();
    window.findChild<QAction *>(QStringLiteral("action_Start"))->trigger();
    fprintf(stderr, "acquiring\n");
    return app.exec();
}
