#pragma once

#include "data/meterconfig.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

class QWidget;

// What a journal left by an earlier run holds to offer: only its complete
// records count, since the program may have died while writing the last
// one, and of those only the ones after the last save of the series.
struct JournalSummary {
    QString path;
    // The records to offer, from startBytes to completeBytes in the file,
    // taken from firstTime to lastTime.
    int records = 0;
    qint64 startBytes = 0;
    qint64 completeBytes = 0;
    uint32_t firstTime = 0;
    uint32_t lastTime = 0;
    // The records before them, which a save during the acquisition wrote
    // to savedTo.
    int savedRecords = 0;
    QString savedTo;
    // The meter whose polls they are, when the journal's note names it.
    bool hasMeter = false;
    MeterConfig meter;
};

// Reads a journal; records is 0 when it holds no complete record to offer
// or cannot be read. A note of a save counts only when the journal's record
// at that count has the time the note gives.
JournalSummary inspectJournal(const QString &path);

// The journals in the folder, oldest first, leaving out those that a
// running instance is still writing.
QStringList leftJournals(const QString &folder);

// Writes the records to offer of the journal to target, the bytes as they
// are in the journal, so the file opens like any data file. False when the
// file cannot be written (or is the journal itself).
bool writeRecoveredJournal(const JournalSummary &journal, const QString &target);

QString recoveryQuestionText(const JournalSummary &journal);
QString journalFailureText(const QString &path);
// The status bar's word that live samples are safely in a file.
QString savedRecordsText(int records, const QString &fileName);

// The start-up step: each journal left in the folder is offered in turn,
// oldest first: Save asks for a file (askFileName) and writes the records
// there, Discard removes the journal, Later keeps it for the next start. A
// journal is removed only once its records are safely elsewhere or the user
// discarded them; a journal without a complete record goes silently. saved
// hears of each journal written to a file.
void offerJournals(QWidget *parent, const QString &folder, const std::function<QString()> &askFileName,
                   const std::function<void(const JournalSummary &journal, const QString &fileName)> &saved = {});
