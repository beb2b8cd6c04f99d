#pragma once

// Several data files opened as one: a week of daily files read as one
// timeline.

#include "data/datafile.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

// What an open of several files will read: the files that hold records,
// each once, in the order their records go (by the time of their first
// record; among equal first times, in the order given), and those left out.
struct MergePlan {
    QStringList sources;
    QList<OpenFailure> refused;
};

// Reads the first record of each file from its first bytes (see
// readFirstTime). A file named twice (by the same path or another way to
// it, a link of either kind) is taken once.
MergePlan planMerge(const QStringList &paths);

// The name of the document of several sources: the first one's path, the
// last one's file name and the count, "/d/ZEP_20250106.txt … ZEP_20250112.txt（7 个文件）".
QString mergedName(const QStringList &sources);

// Reads the plan's sources into one DataFile named name, its sources set,
// in one pass over each file and into one array: the records are never held
// twice. A source that can no longer be read is added to refused and left
// out. Null when no record was read or the records do not fit in memory.
// progress gets the share of all the files read so far.
std::unique_ptr<DataFile> loadMerged(const MergePlan &plan, const QString &name, QList<OpenFailure> *refused,
                                     const std::function<void(int percent)> &progress = {});

// records holds runs of the given lengths one after the other, each in its
// file's order. Merges in place, where they overlap, the runs whose times
// ascend, records of equal time in run order; a run whose time goes back
// somewhere stays as it is, and whole. No run's own order changes. Runs in
// time order that do not overlap cost one comparison each.
void mergeRuns(SampleRecord *records, const std::vector<quint32> &runLengths);
