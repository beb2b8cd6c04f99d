#pragma once

#include "data/appconfig.h"
// The tally and its summary, for whoever counts the faults it logs.
#include "realtime/pollfaults.h"

#include <QDateTime>
#include <QString>

// The event-log line of one failed poll: its time and the error's text, a
// failed open naming the port of the settings.
QString pollFaultLogText(int kind, const QDateTime &when, const ComConfig &settings);
