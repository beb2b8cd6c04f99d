#pragma once

#include "data/samplerecord.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <functional>

class LocalTimeFormatter;

// What a data table shows. Every text of a cell, whether the model shows
// it, a search compares it or a copy takes it, comes from cellText or, for
// the values, writeValueText.

// The header of column 0..31: "TIME", "UA(V)", "COS", ...
QString headerLabel(int column);

// A value in the general format with 6 significant digits, C locale
// ("220.125", "0.000123", "1.23457e+06"), as QString::number(v, 'g', 6)
// writes it; nothing for no value (NaN). Writes at most kMaxValueText
// characters; returns the count.
constexpr int kMaxValueText = 16;
int writeValueText(double value, char *out);
QString valueText(double value);

// Column 0 is the local time "yyyy-MM-dd hh:mm:ss" ("无效时间" for a time
// line that did not read), columns 1..31 the values.
QString cellText(const SampleRecord &record, int column, LocalTimeFormatter &times);

// The widths of the 32 columns: column 0 at least 140 pixels, the others at
// least 60, and each at least as wide as its header and the cells of the
// first kWidthRows rows need (headerWidth and cellWidth measure with the
// view's fonts and margins). Rows further down are not looked at, so a
// million rows cost no more than a screenful; a wider value there is cut.
constexpr int kWidthRows = 100;
QVector<int> fittedColumnWidths(int rowCount, const std::function<int(int column)> &headerWidth,
                                const std::function<int(int row, int column)> &cellWidth);

// The number a value's cell shows, read back as a search reads it.
double displayedValue(float value);

// The search's match test: the displayed value lies in the closed band
// value - band .. value + band. Rounding to 6 digits is monotonic, so the
// floats that pass form one interval; it is found once, and each cell then
// costs two float comparisons instead of a formatting.
class FindMatcher
{
public:
    FindMatcher(double value, double band);
    bool matches(float v) const { return !m_empty && v >= m_low && v <= m_high; }
    bool matchesNothing() const { return m_empty; }

private:
    bool m_empty = true;
    float m_low = 0;
    float m_high = 0;
};

struct TableCell {
    int row = -1;
    int column = -1;
    bool isValid() const { return row >= 0; }
};

// The next matching cell of a search over rows 0..rowCount-1 (row r being
// rows[r]), strictly after (forward) or before the current cell, in reading
// order, without wrapping around. para 1..31 searches that column only,
// 0 or less all value columns. No current cell (row < 0) counts as before
// the first one.
TableCell findCell(const SampleRecord *rows, int rowCount, const FindMatcher &matcher, int para, bool forward,
                   TableCell current);

// The copied text of the block of rows top..bottom and columns left..right:
// the header labels, then one line per row, tab-separated, without a final
// line feed; the time column comes first when the block does not start
// with it. UTF-8.
QByteArray copyText(const SampleRecord *rows, int top, int bottom, int left, int right);
