#include "data/appidentity.h"
#include "recorder/recorder.h"
#include "recorder/recordersettings.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    setApplicationIdentity(app);
    const RecorderCommand command = readRecorderCommandLine(QCoreApplication::arguments(), QDir::currentPath());
    if (command.answered) {
        fputs(command.output.toLocal8Bit().constData(), stdout);
        fputs(command.error.toLocal8Bit().constData(), stderr);
        return command.exitCode;
    }
    // The settings, the lock and the default daily folder are found
    // relative to the station's directory, as zep finds them.
    if (!QDir::setCurrent(command.directory)) {
        fprintf(stderr, "%s\n", qPrintable(QStringLiteral("无法进入目录 %1").arg(QDir::toNativeSeparators(command.directory))));
        return kRecorderBadSetup;
    }
    Recorder recorder;
    if (const QString problem = recorder.start(); !problem.isEmpty()) {
        fprintf(stderr, "%s\n", problem.toLocal8Bit().constData());
        return kRecorderBadSetup;
    }
    QObject::connect(&recorder, &Recorder::finished, &app, &QCoreApplication::exit);
    return app.exec();
}
