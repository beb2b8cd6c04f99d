#pragma once

#include "comm/stationsettings.h"
#include "data/appconfig.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

// The decisions of zep-recorder, the recorder without windows: what its
// command line asks, what it records of the working directory's station,
// and how it tells of events. The program (recorder.h) only carries them
// out.

// Exit status for a command line, setting, folder or port the recorder
// cannot work with: the service manager shows it, and restarting alone
// does not mend it.
constexpr int kRecorderBadSetup = 2;

struct RecorderCommand {
    // The working directory whose station is recorded, absolute.
    QString directory;
    // Help, version or a wrong argument: print and end with exitCode.
    bool answered = false;
    int exitCode = 0;
    QString output; // standard output
    QString error;  // standard error
};

// arguments as QCoreApplication::arguments() gives them, the program first;
// currentDirectory is where a relative -C DIR starts from.
RecorderCommand readRecorderCommandLine(const QStringList &arguments, const QString &currentDirectory);

// The station as the recorder records it: through every fault, and always
// into daily files, those of the settings' folder or, with none set, of
// DIR/data; forwarding as the settings have it.
StationConfig recorderStation(StationConfig config, const QString &directory);

// Why the settings cannot be recorded, as one line; empty when they can.
// origin tells how config/config.ini read, stationProblem is what
// readStationConfig said of config/meters.ini.
QString recorderSettingsProblem(ConfigOrigin origin, const QString &stationProblem, const StationConfig &config);

