#pragma once

#include "data/appconfig.h"
#include "realtime/pollfaults.h"

#include <QDateTime>
#include <QString>

// The event-log line of one failed poll: its time and the error's text, a
// failed open naming the port of the settings.
QString pollFaultLogText(int kind, const QDateTime &when, const ComConfig &settings);
