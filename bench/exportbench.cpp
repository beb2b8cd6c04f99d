// Spreadsheet export of generated samples through the dialog's export path
// (without the file dialog), against libxlsxwriter writing the same cells on
// its own, and the resident memory the export adds at its peak; then the
// same span exported as CSV.

#include "analysis/csvexport.h"
#include "analysis/excelexport.h"
#include "data/localtimetext.h"
#include "bench/benchfile.h"
#include "bench/benchmemory.h"
#include "data/datafile.h"
#include "views/timespan.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <xlsxwriter.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Starts the peak (VmHWM) afresh from the current resident size.
bool resetPeak()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    return refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
}

// The same cells written by libxlsxwriter alone, their texts and numbers
// made beforehand.
double writeDirectly(const DataFile &file, const QString &path)
{
    std::vector<QByteArray> times;
    std::vector<double> numbers;
    times.reserve(file.count);
    numbers.reserve(size_t(file.count) * kValueCount);
    LocalTimeFormatter texts;
    for (quint32 i = 0; i < file.count; ++i) {
        times.push_back(texts.text(file.records[i].time).toLatin1());
        for (int c = 1; c < kColumnCount; ++c)
            numbers.push_back(sheetNumber(file.records[i].value(c)));
    }
    const QStringList header = exportHeader();

    QElapsedTimer timer;
    timer.start();
    lxw_workbook_options options = {};
    options.constant_memory = LXW_TRUE;
    lxw_workbook *book = workbook_new_opt(QFile::encodeName(path).constData(), &options);
    lxw_worksheet *sheet = nullptr;
    lxw_row_t row = LXW_ROW_MAX;
    const double *number = numbers.data();
    for (quint32 i = 0; i < file.count; ++i, ++row) {
        if (row == LXW_ROW_MAX) {
            sheet = workbook_add_worksheet(book, nullptr);
            for (int c = 0; c < kColumnCount; ++c)
                worksheet_write_string(sheet, 0, lxw_col_t(c), header.at(c).toUtf8().constData(), nullptr);
            row = 1;
        }
        worksheet_write_string(sheet, row, 0, times[i].constData(), nullptr);
        for (int c = 1; c < kColumnCount; ++c)
            worksheet_write_number(sheet, row, lxw_col_t(c), *number++, nullptr);
    }
    if (workbook_close(book) != LXW_NO_ERROR)
        return -1;
    return timer.nsecsElapsed() / 1e6;
}

} // namespace

int exportBenchmark(const QStringList &args)
{
    int samples = 100000;
    const int at = args.indexOf(QStringLiteral("--samples"));
    if (at >= 0 && at + 1 < args.size())
        samples = qMax(1, args.at(at + 1).toInt());

    QTemporaryDir dir;
    if (!dir.isValid()) {
        fprintf(stderr, "no temporary directory\n");
        return 1;
    }
    // Five-second samples from the start of 2026, local time.
    const BenchFileWriter writer(uint32_t(QDateTime(QDate(2026, 1, 1), QTime(0, 0)).toSecsSinceEpoch()), 5);
    DataFile file(dir.filePath(QStringLiteral("samples.txt")), quint32(samples));
    if (!file.records) {
        fprintf(stderr, "cannot hold %d samples\n", samples);
        return 1;
    }
    for (int i = 0; i < samples; ++i) {
        double values[kValueCount];
        writer.values(i, values);
        file.records[i].time = writer.time(i);
        for (int c = 1; c < kColumnCount; ++c)
            file.records[i].setValue(c, float(values[c - 1]));
    }

    // Alternating runs, medians of three: the machine's load changes more
    // between two runs than the difference measured.
    const QString target = dir.filePath(QStringLiteral("export.xls"));
    const SpanDecision span = decideSpan(file, file.records[0].time, file.records[samples - 1].time);
    std::vector<double> direct, exported;
    double growth = 0;
    int updates = 0;
    for (int run = 0; run < 3; ++run) {
        direct.push_back(writeDirectly(file, dir.filePath(QStringLiteral("direct.xlsx"))));
        QFile::remove(dir.filePath(QStringLiteral("direct.xlsx")));
        if (direct.back() < 0) {
            fprintf(stderr, "libxlsxwriter could not write its workbook\n");
            return 1;
        }
        int shown = 0;
        updates = 0;
        if (!resetPeak()) {
            fprintf(stderr, "cannot reset the peak resident size\n");
            return 1;
        }
        const double before = residentMb();
        QElapsedTimer timer;
        timer.start();
        const ExportResult result = exportSpan(file, span, target, [&](int percent) {
            ++updates;
            shown = percent;
        });
        exported.push_back(timer.nsecsElapsed() / 1e6);
        const double peak = peakResidentMb();
        if (!result.ok() || shown != 100) {
            fprintf(stderr, "export failed: %s\n", qPrintable(exportFailureText(result, target)));
            return 1;
        }
        growth = qMax(growth, peak - before);
    }
    const double alone = medianOf(direct);
    const double ours = medianOf(exported);

    const QString csvTarget = dir.filePath(QStringLiteral("export.csv"));
    std::vector<double> csv;
    double csvGrowth = 0;
    for (int run = 0; run < 3; ++run) {
        if (!resetPeak()) {
            fprintf(stderr, "cannot reset the peak resident size\n");
            return 1;
        }
        const double before = residentMb();
        QElapsedTimer timer;
        timer.start();
        const ExportResult result = exportSpanCsv(file, span, csvTarget);
        csv.push_back(timer.nsecsElapsed() / 1e6);
        if (!result.ok()) {
            fprintf(stderr, "CSV export failed: %s\n", qPrintable(exportFailureText(result, csvTarget)));
            return 1;
        }
        csvGrowth = qMax(csvGrowth, peakResidentMb() - before);
    }

    printf("samples: %d on %d sheet(s), workbook %.1f MB, %d progress updates\n", samples,
           int(sheetSampleCounts(samples).size()), QFile(target).size() / 1e6, updates);
    printf("libxlsxwriter alone: %.0f ms (median of 3)\n", alone);
    printf("export:              %.0f ms (median of 3, %.0f%% of libxlsxwriter alone)\n", ours, 100.0 * ours / alone);
    printf("CSV export:          %.0f ms (median of 3), %.1f MB, %.1f MB resident growth\n", medianOf(csv),
           QFile(csvTarget).size() / 1e6, csvGrowth);
    printf("export_ms=%.0f rss_growth_mb=%.1f csv_ms=%.0f csv_rss_growth_mb=%.1f\n", ours, growth, medianOf(csv),
           csvGrowth);
    return 0;
}
