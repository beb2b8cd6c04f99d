#include "data/datamerge.h"

#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <climits>
#include <numeric>

namespace {

struct Candidate {
    QString path;
    quint32 count;
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

// Reads one source into its place in the merged records: a DataFile that
// borrows the place instead of allocating its own, so that readRecords can
// fill it.
int readInto(const QString &path, SampleRecord *place, quint32 count, DataFile &merged,
             const std::function<void(int percent)> &progress)
{
    DataFile part(path, 0);
    part.records = place;
    part.count = count;
    const int read = readRecords(&part, progress);
    part.records = nullptr;
    if (read > 0) {
        merged.unreadableTimes += part.unreadableTimes;
        merged.incompleteRecords += part.incompleteRecords;
    }
    return read;
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
        if (!info.exists()) {
            plan.refused.append({path, LoadFailure::Missing});
            continue;
        }
        // Not only folders: opening a FIFO would wait for a writer.
        const int count = info.isFile() ? countRecords(path) : 0;
        if (count <= 0) {
            plan.refused.append({path, count < 0 ? LoadFailure::Unreadable : LoadFailure::NotDataFile});
            continue;
        }
        // The first record only: the reader stops where a second would begin.
        DataFile first(path, 1);
        if (readRecords(&first) < 0) {
            plan.refused.append({path, LoadFailure::Unreadable});
            continue;
        }
        candidates.push_back({path, quint32(count), first.records[0].time});
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Candidate &a, const Candidate &b) { return a.firstTime < b.firstTime; });
    for (const Candidate &c : candidates) {
        plan.sources.append(c.path);
        plan.counts.push_back(c.count);
    }
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
    const quint64 total = std::accumulate(plan.counts.begin(), plan.counts.end(), quint64(0));
    // The views index records with int.
    if (total == 0 || total > quint64(INT_MAX))
        return nullptr;
    auto merged = std::make_unique<DataFile>(name, quint32(total));
    if (!merged->records)
        return nullptr;
    std::vector<quint32> runs;
    quint64 before = 0;
    quint32 filled = 0;
    for (int i = 0; i < plan.sources.size(); ++i) {
        const quint32 count = plan.counts[size_t(i)];
        auto partProgress = [&](int percent) {
            if (progress)
                progress(int((before * 100 + quint64(percent) * count) / total));
        };
        // A file that shrank since it was counted leaves its unused place
        // at the end, where no record is counted.
        const int read = readInto(plan.sources.at(i), merged->records + filled, count, *merged, partProgress);
        before += count;
        if (read < 0) {
            refused->append({plan.sources.at(i), LoadFailure::Unreadable});
            continue;
        }
        runs.push_back(quint32(read));
        filled += quint32(read);
        merged->sources.append(plan.sources.at(i));
    }
    if (filled == 0)
        return nullptr;
    merged->count = filled;
    mergeRuns(merged->records, runs);
    return merged;
}

void mergeRuns(SampleRecord *records, const std::vector<quint32> &runLengths)
{
    SampleRecord *begin = records;
    SampleRecord *end = records + std::accumulate(runLengths.begin(), runLengths.end(), quint64(0));
    bool ascending = true;
    SampleRecord *run = begin;
    for (const quint32 length : runLengths) {
        ascending = ascending && timesAscending(run, int(length));
        run += length;
    }
    // A file whose clock went back somewhere is no sorted run: only a
    // sort puts all its records in time order.
    if (!ascending) {
        std::stable_sort(begin, end, earlier);
        return;
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
