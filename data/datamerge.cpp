#include "data/datamerge.h"

#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace {

struct Candidate {
    QString path;
    uint32_t firstTime;
};

// The same file however it was named: a relative path, a second link.
QString identity(const QFileInfo &info)
{
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}

bool earlier(const SampleRecord &a, const SampleRecord &b)
{
    return a.time < b.time;
}

} // namespace

MergePlan planMerge(const QStringList &paths)
{
    MergePlan plan;
    QSet<QString> seen;
    std::vector<Candidate> candidates;
    for (const QString &path : paths) {
        const QFileInfo info(path);
        if (seen.contains(identity(info)))
            continue;
        seen.insert(identity(info));
        if (const LoadFailure failure = refusalBeforeReading(path); failure != LoadFailure::None) {
            plan.refused.append({path, failure});
            continue;
        }
        // The first record only: the reader stops where a second would begin.
        DataFile first(path, 1);
        const int read = readRecords(&first);
        if (read <= 0) {
            plan.refused.append({path, QFile(path).open(QIODevice::ReadOnly) ? LoadFailure::NotDataFile
                                                                             : LoadFailure::Unreadable});
            continue;
        }
        candidates.push_back({path, first.records[0].time});
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Candidate &a, const Candidate &b) { return a.firstTime < b.firstTime; });
    for (const Candidate &c : candidates)
        plan.sources.append(c.path);
    return plan;
}

QString mergedName(const QStringList &sources)
{
    if (sources.isEmpty())
        return QString();
    return QStringLiteral("%1 … %2（%3 个文件）")
        .arg(sources.first(), QFileInfo(sources.last()).fileName())
        .arg(sources.size());
}

std::unique_ptr<DataFile> loadMerged(const MergePlan &plan, const QString &name, QList<OpenFailure> *refused,
                                     const std::function<void(int percent)> &progress)
{
    std::vector<quint32> counts;
    std::unique_ptr<DataFile> merged = loadDataFiles(plan.sources, &counts, refused, progress);
    if (!merged)
        return nullptr;
    merged->fileName = name;
    for (size_t i = 0; i < counts.size(); ++i) {
        if (counts[i] > 0)
            merged->sources.append(plan.sources.at(int(i)));
    }
    mergeRuns(merged->records, counts);
    return merged;
}

void mergeRuns(SampleRecord *records, const std::vector<quint32> &runLengths)
{
    SampleRecord *begin = records;
    // A file whose clock went back somewhere is sorted on its own first,
    // so that a week with one autumn day sorts that day, not the week.
    SampleRecord *run = begin;
    for (const quint32 length : runLengths) {
        if (!timesAscending(run, int(length)))
            std::stable_sort(run, run + length, earlier);
        run += length;
    }
    SampleRecord *middle = begin;
    for (const quint32 length : runLengths) {
        SampleRecord *last = middle + length;
        if (middle != begin && length > 0 && earlier(*middle, middle[-1])) {
            // Only the records that overlap move: those merged so far that
            // are later than the run's first, and those of the run that are
            // earlier than the last merged so far.
            SampleRecord *from = std::upper_bound(begin, middle, *middle, earlier);
            SampleRecord *to = std::lower_bound(middle, last, middle[-1], earlier);
            std::inplace_merge(from, middle, to, earlier);
        }
        middle = last;
    }
}
