// Statistics over the whole span of a 1,000,000-record file: once through
// the plain computation, once as the dialog runs it when 统计(&S) is
// pressed, with its progress bar and its result table.

#include "analysis/spanstatistics.h"
#include "analysis/statdlg.h"
#include "bench/benchfile.h"
#include "data/datafile.h"
#include "views/timespan.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStringList>
#include <QTableView>

#include <algorithm>
#include <cstdio>
#include <vector>

int statsBenchmark(const QStringList &args)
{
    const int records = recordsArgument(args, 1000000);
    const std::unique_ptr<DataFile> loaded = benchDataFile(records, 5);
    if (!loaded)
        return 1;
    DataFile &file = *loaded;
    printf("file: %d records in memory\n", records);

    std::vector<double> plain;
    int reports = 0;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer timer;
        timer.start();
        const SpanDecision span = decideSpan(file, file.records[0].time, file.records[records - 1].time);
        const SpanStatistics s = spanStatistics(file.records, span.first, span.last, [&reports](int) { ++reports; });
        plain.push_back(timer.nsecsElapsed() / 1e6);
        if (s.samples != records) {
            fprintf(stderr, "span holds %d records, not %d\n", s.samples, records);
            return 1;
        }
    }
    printf("computation alone: %.1f ms (median of 5, %d progress reports per run)\n", medianOf(plain), reports / 5);

    StatDlg dialog(nullptr, &file);
    dialog.show();
    auto *stat = dialog.findChild<QPushButton *>(QStringLiteral("pushButton_stat"));
    const QAbstractItemModel *results = dialog.findChild<QTableView *>(QStringLiteral("tableView"))->model();
    std::vector<double> dialogRuns;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer timer;
        timer.start();
        stat->click();
        dialogRuns.push_back(timer.nsecsElapsed() / 1e6);
    }
    if (results->rowCount() != kValueCount) {
        fprintf(stderr, "the dialog shows %d rows\n", results->rowCount());
        return 1;
    }
    printf("dialog, with progress bar and results: %.1f ms (median of 5)\n", medianOf(dialogRuns));
    printf("stats_ms=%.1f\n", medianOf(dialogRuns));
    return 0;
}
