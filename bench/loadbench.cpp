// Loading a data file as the program opens it (loadDataFile, one pass)
// against `wc -l` on the same file, both with the file in the page cache;
// the two-pass countRecords + readRecords is shown beside it.

#include "bench/benchfile.h"
#include "data/datafile.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

// Seconds for one load, or a negative number on failure.
double timeLoad(const QString &path, int expected)
{
    QElapsedTimer timer;
    timer.start();
    const std::unique_ptr<DataFile> file = loadDataFile(path);
    if (!file || file->count != quint32(expected))
        return -1;
    return timer.nsecsElapsed() / 1e9;
}

// Seconds for one count + read, or a negative number on failure.
double timeCountAndRead(const QString &path, int expected)
{
    QElapsedTimer timer;
    timer.start();
    const int counted = countRecords(path);
    if (counted != expected)
        return -1;
    DataFile file(path, quint32(counted));
    if (readRecords(&file) != expected)
        return -1;
    return timer.nsecsElapsed() / 1e9;
}

double timeWc(const QString &path)
{
    QProcess wc;
    wc.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    wc.start(QStringLiteral("wc"), {QStringLiteral("-l"), path});
    if (!wc.waitForFinished(-1) || wc.exitStatus() != QProcess::NormalExit || wc.exitCode() != 0)
        return -1;
    return timer.nsecsElapsed() / 1e9;
}

} // namespace

int loadBenchmark(const QStringList &args)
{
    const int records = recordsArgument(args, 1000000);

    QTemporaryDir dir;
    if (!dir.isValid()) {
        fprintf(stderr, "no temporary directory\n");
        return 1;
    }
    const QString path = dir.filePath(QStringLiteral("load.txt"));
    // A month and more of 5-second samples from the start of 2026, local time.
    const uint32_t start = uint32_t(QDateTime(QDate(2026, 1, 1), QTime(0, 0)).toSecsSinceEpoch());
    QElapsedTimer made;
    made.start();
    if (!BenchFileWriter(start, 5).write(path, records))
        return 1;
    printf("file: %d records, %.1f MB, written in %.2f s\n", records, QFile(path).size() / 1e6,
           made.nsecsElapsed() / 1e9);

    // Once to bring the file into the page cache and check the result.
    if (timeLoad(path, records) < 0 || timeWc(path) < 0) {
        fprintf(stderr, "load or wc failed\n");
        return 1;
    }
    std::vector<double> load, twoPass, wc;
    for (int i = 0; i < 3; ++i) {
        load.push_back(timeLoad(path, records));
        twoPass.push_back(timeCountAndRead(path, records));
        wc.push_back(timeWc(path));
        if (load.back() < 0 || twoPass.back() < 0 || wc.back() < 0) {
            fprintf(stderr, "load or wc failed\n");
            return 1;
        }
    }
    const double l = medianOf(load);
    const double w = medianOf(wc);
    printf("load:       %.3f s (median of 3)\n", l);
    printf("count+read: %.3f s (median of 3)\n", medianOf(twoPass));
    printf("wc -l:      %.3f s (median of 3)\n", w);
    printf("load_vs_wc_ratio=%.2f\n", l / w);
    return 0;
}
