#pragma once

#include "data/appconfig.h"
// The tally and its summary, for whoever counts the faults it logs.
#include "realtime/pollfaults.h"

#include <QDateTime>
#include <QString>

// Why a poll failed, for the event log: the error's text on one line, a
// failed open naming the port of the settings, a failed connection the
// address.
QString pollFaultLogText(int kind, const ComConfig &settings);
