#include "data/datamerge.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <sys/stat.h>

#include <algorithm>

namespace {

struct Candidate {
    QString path;
    uint32_t firstTime;
};

// The same file however it was named: a relative path, a symbolic or a
// hard link.
QString identity(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) == 0)
        return QStringLiteral("%1:%2").arg(quint64(st.st_dev)).arg(quint64(st.st_ino));
    return QFileInfo(path).absoluteFilePath();
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
        const QString id = identity(path);
        if (seen.contains(id))
            continue;
        seen.insert(id);
        uint32_t firstTime = 0;
        if (const LoadFailure failure = readFirstTime(path, &firstTime); failure != LoadFailure::None) {
            plan.refused.append({path, failure});
            continue;
        }
        candidates.push_back({path, firstTime});
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
    // Each file keeps the order of its records, so that they give the
    // figures they give alone: the repeated hour of the autumn change or a
    // clock set back, sorted in, would cover its time twice in steps of
    // nothing. A file whose clock went back follows the records before it
    // as it stands, and nothing is merged into it.
    SampleRecord *begin = records;
    SampleRecord *middle = records;
    for (const quint32 length : runLengths) {
        SampleRecord *last = middle + length;
        if (!timesAscending(middle, int(length))) {
            begin = middle = last;
            continue;
        }
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
