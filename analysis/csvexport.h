#pragma once

#include "analysis/excelexport.h"

#include <QString>

#include <functional>

class DataFile;
struct SpanDecision;

// The export dialog's file filters: the workbook's ("*.xlsx"), then plain
// text for other programs.
QString exportFilters();

enum class ExportFormat { Workbook, Csv };

struct ExportTarget {
    QString fileName;
    ExportFormat format = ExportFormat::Workbook;
};

// What the export writes for a name chosen with a filter selected: a name
// without a suffix gets the filter's, and one ending in ".xls" becomes
// ".xlsx", the format the workbook has; a name ending in ".csv" is written
// as CSV, any other as a workbook. An empty name stays empty.
ExportTarget exportTarget(const QString &chosen, const QString &selectedFilter);

// Writes the samples of span (decided by decideSpan on the same file; its
// records without a time left out) to fileName as CSV: UTF-8, commas, "\n"
// line ends; the workbook's header row, then one row per sample with the
// time as the workbook writes it and the values as their sheet numbers'
// text, an empty field for no value. Rows go to the disk as they are made,
// whatever the span's length, into a file beside fileName that replaces it
// only when complete. progress receives the bar's value each time it
// changes. The data file itself is never written.
ExportResult exportSpanCsv(const DataFile &file, const SpanDecision &span, const QString &fileName,
                           const std::function<void(int percent)> &progress = {});
