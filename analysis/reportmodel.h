#pragma once

#include <QImage>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>

struct PowerReport;
class QTextDocument;

// A report as the reader sees it: headings, rows of a label and a value,
// tables and notes, and the place of the chart. The rich text on screen, the
// PDF and the print, and the plain text on the clipboard are all made from
// one model, so they always say the same.
struct ReportBlock {
    enum Kind { Title, Heading, Subheading, Row, Table, Note, Chart };

    Kind kind = Note;
    // Title, Heading, Subheading, Note: one text. Row: label and value. Table: the
    // header. Chart: its caption. A "\n" in a text is a line break in rich
    // text, where long table cells break at their natural places only, and
    // nothing in plain text.
    QStringList cells;
    // Table only.
    QVector<QStringList> rows;
};

struct ReportModel {
    QVector<ReportBlock> blocks;
};

// At most this many events are listed one by one; their counts are always
// whole.
constexpr int kListedEventLimit = 1000;
// A span of more days than this lists only the days that hold data.
constexpr int kListedDayLimit = 366;

// Who the report is about and who made it, for a report handed over.
struct ReportHeader {
    QString subject;
    QString author;
};

ReportModel buildReportModel(const PowerReport &report, const QString &fileName, const ReportHeader &header = {});

// The span's text as the report gives it: "<start> 至 <end>".
QString reportSpanText(const PowerReport &report);

// One line per row: a title, heading or note alone, the cells of a row or
// of a table row separated by tabs; every line ends with "\n". The chart
// has no text.
QString reportText(const ReportModel &model);

// Rich text in which the chart is the image named chartName, shown at
// chartWidth x chartHeight.
QString reportHtml(const ReportModel &model, const QString &chartName, int chartWidth, int chartHeight);

// The name the report's rich text gives its chart.
QString reportChartName();
// The report as a document for the screen, a PDF or a printer, the chart
// (when the report has one) at its size in device-independent pixels.
std::unique_ptr<QTextDocument> reportDocument(const ReportModel &model, const QImage &chart);
// Puts the model into a document, replacing what it held.
void fillReportDocument(QTextDocument *document, const ReportModel &model, const QImage &chart);
