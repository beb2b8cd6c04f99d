#pragma once

#include <QString>

#include <cstdint>

class QDate;
class QDateEdit;
class QTime;
class QTimeEdit;
class QWidget;
class DataFile;
struct SampleRecord;

// How a span chosen in a dialog compares with the file's first and last
// records, checked in this order: the start, the end, then their order.
enum class SpanCheck { Ok, StartOutside, EndOutside, Reversed };

struct SpanDecision {
    SpanCheck check = SpanCheck::Ok;
    // The records inside the span: first..last, both included. A span that
    // lies inside a gap between two samples has last == first - 1.
    int first = 0;
    int last = -1;

    // The span as asked for.
    uint32_t start = 0;
    uint32_t end = 0;

    bool ok() const { return check == SpanCheck::Ok; }
    int size() const { return last - first + 1; }
};

// Equal start and end are accepted. The file's range is that of its records
// with a time. In records of ascending time the span is found by bisection;
// otherwise (a file recorded across the autumn clock change, after the
// clock was set back, or with an unreadable time) by the scans below, which
// give the same span on ascending records. A span may hold records without
// a time between its ends; whatever works on the span leaves them out.
SpanDecision decideSpan(const SampleRecord *records, int count, uint32_t start, uint32_t end, bool ascending);
SpanDecision decideSpan(const DataFile &file, uint32_t start, uint32_t end);

// The records of the span that have a time: the samples whatever works on
// the span takes.
int spanSamples(const SampleRecord *records, const SpanDecision &span);
// The index of the first record at or after i that has a time.
int nextSample(const SampleRecord *records, int i);

// The warning text of a refused span, empty for Ok.
QString spanMessage(SpanCheck check);

// Index of the first record at or after time, counted from the start
// (count when there is none); a record without a time is at none.
int firstRecordAtOrAfter(const SampleRecord *records, int count, uint32_t time, bool ascending);
// Index of the last record at or before time, counted from the end: the
// records after it are all later than time (-1 when there is none).
int lastRecordAtOrBefore(const SampleRecord *records, int count, uint32_t time, bool ascending);

// "%1 -> %2" with the file's first and last times as
// "yyyy/MM/dd hh:mm:ss".
QString periodText(const DataFile &file);

// A date edit and a time edit together give one local time in whole seconds.
uint32_t editsTime(const QDate &date, const QTime &time);
uint32_t editsTime(const QDateEdit *date, const QTimeEdit *time);
void setEditsTime(QDateEdit *date, QTimeEdit *time, uint32_t seconds);

// The span of a dialog's start and end edits. A refused one has been
// reported to the user in a warning over the dialog.
SpanDecision askedSpan(QWidget *dialog, const DataFile &file, const QDateEdit *startDate, const QTimeEdit *startTime,
                       const QDateEdit *endDate, const QTimeEdit *endTime);
