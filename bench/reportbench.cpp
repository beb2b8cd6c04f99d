// The energy and power-quality report over a month of samples at 1 s, with
// the default time-of-use periods: the computation alone under each
// standard, then the whole of 生成(&G) in the dialog: progress bar,
// computation, chart and the rich text laid out.

#include "analysis/powerreport.h"
#include "analysis/reportdlg.h"
#include "bench/benchfile.h"
#include "data/datafile.h"
#include "views/timespan.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QStringList>
#include <QTextBrowser>

#include <cmath>
#include <cstdio>

int reportBenchmark(const QStringList &args)
{
    const int records = recordsArgument(args, 30 * 86400);
    const std::unique_ptr<DataFile> loaded = benchDataFile(records, 1);
    if (!loaded)
        return 1;
    DataFile &file = *loaded;
    printf("file: %d records at 1 s in memory\n", records);

    const SpanDecision span = decideSpan(file, file.records[0].time, file.records[records - 1].time);
    for (PowerStandard standard : {PowerStandard::GbT, PowerStandard::En50160}) {
        ReportOptions options;
        options.standard = standard;
        std::vector<double> runs;
        for (int run = 0; run < 5; ++run) {
            QElapsedTimer timer;
            timer.start();
            const PowerReport r =
                computePowerReport(file.records, span.first, span.last, span.start, span.end, options, [](int) {});
            runs.push_back(timer.nsecsElapsed() / 1e6);
            if (r.samples != records) {
                fprintf(stderr, "the report holds %d samples, not %d\n", r.samples, records);
                return 1;
            }
            double split = 0;
            for (double e : r.tariffImported)
                split += e;
            if (!r.tariffProblem.isEmpty() || std::fabs(split - r.total.imported) > 1e-9 * r.total.imported) {
                fprintf(stderr, "the time-of-use periods do not add up to the imported energy\n");
                return 1;
            }
        }
        printf("computation, %s: %.1f ms (median of 5)\n",
               standard == PowerStandard::GbT ? "GB/T" : "EN 50160 with 10-second frequency means", medianOf(runs));
    }

    DisplayConfig display;
    defaultDisplayConfig(display);
    ReportDlg dialog(nullptr, &file, ReportSettings{}, display);
    dialog.show();
    // The heavier of the two standards.
    dialog.findChild<QComboBox *>(QStringLiteral("comboBox_standard"))->setCurrentIndex(1);
    auto *generate = dialog.findChild<QPushButton *>(QStringLiteral("pushButton_generate"));
    std::vector<double> dialogRuns;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer timer;
        timer.start();
        generate->click();
        dialogRuns.push_back(timer.nsecsElapsed() / 1e6);
    }
    if (dialog.findChild<QTextBrowser *>(QStringLiteral("textBrowser_report"))->toPlainText().isEmpty()) {
        fprintf(stderr, "the dialog shows no report\n");
        return 1;
    }
    printf("dialog, 生成 with progress bar, chart and rich text: %.1f ms (median of 3)\n", medianOf(dialogRuns));
    printf("report_ms=%.1f\n", medianOf(dialogRuns));
    return 0;
}
