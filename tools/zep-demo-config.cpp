// zep-demo-config DIR: writes DIR/config/config.ini as the program itself
// would, with every setting at its default except the link, which polls the
// meter simulator on 127.0.0.1:1502 over Modbus TCP once a second.

#include "data/appconfig.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 2 || args.at(1).isEmpty() || args.at(1).startsWith(QLatin1Char('-'))) {
        fputs("usage: zep-demo-config DIR\n", stderr);
        return 2;
    }
    const QString dir = args.at(1);
    if (!QDir().mkpath(dir) || !QDir::setCurrent(dir)) {
        fprintf(stderr, "zep-demo-config: cannot enter %s\n", qPrintable(dir));
        return 1;
    }
    defaultComConfig(AppConfig.comm);
    defaultDisplayConfig(AppConfig.disp);
    AppConfig.comm.comtype = 1;
    copyToField(AppConfig.comm.IP, "127.0.0.1:1502");
    copyToField(AppConfig.comm.interval, "1s");
    if (!writeConfig()) {
        fprintf(stderr, "zep-demo-config: cannot write %s\n", qPrintable(QDir(dir).filePath(configFilePath())));
        return 1;
    }
    return 0;
}
