#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

class DataFile;
struct SpanDecision;

// Samples a sheet holds under its header row (a sheet has 1,048,576 rows).
constexpr int kSheetSamples = 1048575;

// Row 1 of every sheet: the 32 column names, trimmed, without units.
QStringList exportHeader();

// The cell block of a sheet with this many samples under the header:
// "A1:AF<samples + 1>".
QString exportRangeText(int samples);

// The number a sheet gets for a value: the one whose shortest decimal reads
// back as the same single-precision value, so that 0.973f shows as 0.973
// and not as 0.97299999.
double sheetNumber(float value);

// That shortest decimal as text ("0.973", "-1.05", "1e+10"), "inf" and
// "-inf" as a sheet shows them, and nothing for no value (NaN). Writes at
// most kNumberTextLength characters at out, no terminator; returns the end.
constexpr int kNumberTextLength = 24;
char *writeSheetNumber(float value, char *out);

// The progress bar after the sample at position (0-based) of a span of
// samples: 0..100, reaching 100 at the last sample; a one-sample span is
// done at once.
int exportPercent(qint64 position, qint64 samples);

// How many samples each sheet takes: as many sheets as the span needs, each
// full but the last; a span without samples still has one sheet (the header
// alone).
QList<int> sheetSampleCounts(int samples, int perSheet = kSheetSamples);

// Whether fileName names the data file itself, or one of the files it was
// read from, which no export may replace.
bool namesDataFile(const QString &fileName, const DataFile &file);

struct ExportResult {
    enum Status { Saved, NotWritten, WouldOverwriteData };
    Status status = Saved;
    // What the automation server reported, when it reported anything.
    QString reason;

    bool ok() const { return status == Saved; }
};

// Writes the samples of span (decided by decideSpan on the same file; its
// records without a time left out) to the workbook fileName through the
// spreadsheet automation: header and samples, a value that is no number an
// empty cell,
// continued on further sheets of perSheet samples each, every sheet with the
// header row. progress receives the bar's value each time it changes. The
// data file itself is never written; a fileName that names it is refused.
ExportResult exportSpan(const DataFile &file, const SpanDecision &span, const QString &fileName,
                        const std::function<void(int percent)> &progress = {}, int perSheet = kSheetSamples);

// The warning text of a failed export, naming the file.
QString exportFailureText(const ExportResult &result, const QString &fileName);
