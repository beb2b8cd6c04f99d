#include "views/tablecells.h"

#include "data/localtimetext.h"
#include "views/legendtitle.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

QString headerLabel(int column)
{
    return parameterLabel(column);
}

namespace {

int putText(char *out, const char *text)
{
    const int n = int(strlen(text));
    memcpy(out, text, size_t(n));
    return n;
}

// Whether rounding |value| to six significant digits goes up, given its
// first nine digits. Exact halves go up, as in Qt's own formatting (the C
// library would round them to even).
bool roundsUp(double magnitude, const char *nine)
{
    if (memcmp(nine + 6, "500", 3) != 0)
        return nine[6] >= '5';
    // Nine digits cannot tell 0.4999... from 0.5 from 0.5000...1: look at
    // all of them (a double has at most 767).
    char exact[800];
    std::to_chars(exact, exact + sizeof exact, magnitude, std::chars_format::scientific, 770);
    // "d.ddd...": the seventh significant digit is at index 7.
    return exact[7] >= '5';
}

} // namespace

QVector<int> fittedColumnWidths(int rowCount, const std::function<int(int column)> &headerWidth,
                                const std::function<int(int row, int column)> &cellWidth)
{
    QVector<int> widths(kColumnCount);
    const int rows = qBound(0, rowCount, kWidthRows);
    for (int c = 0; c < kColumnCount; ++c) {
        int width = qMax(c == 0 ? 140 : 60, headerWidth(c));
        for (int r = 0; r < rows; ++r)
            width = qMax(width, cellWidth(r, c));
        widths[c] = width;
    }
    return widths;
}

int writeValueText(double value, char *out)
{
    if (std::isnan(value))
        return 0;
    if (std::isinf(value))
        return putText(out, value < 0 ? "-inf" : "inf");
    if (value == 0)
        return putText(out, "0");

    const double magnitude = std::fabs(value);
    // "d.ddddddddde+XX": nine significant digits and the exponent.
    char scientific[32];
    const std::to_chars_result r =
        std::to_chars(scientific, scientific + sizeof scientific, magnitude, std::chars_format::scientific, 8);
    *r.ptr = '\0';
    char digits[10];
    digits[0] = scientific[0];
    memcpy(digits + 1, scientific + 2, 8);
    int exponent = atoi(scientific + 11);

    if (roundsUp(magnitude, digits)) {
        int i = 5;
        while (i >= 0 && digits[i] == '9')
            digits[i--] = '0';
        if (i >= 0) {
            ++digits[i];
        } else {
            digits[0] = '1';
            ++exponent;
        }
    }
    int kept = 6;
    while (kept > 1 && digits[kept - 1] == '0')
        --kept;

    char *p = out;
    if (value < 0)
        *p++ = '-';
    if (exponent < -4 || exponent >= 6) {
        *p++ = digits[0];
        if (kept > 1) {
            *p++ = '.';
            memcpy(p, digits + 1, size_t(kept - 1));
            p += kept - 1;
        }
        *p++ = 'e';
        *p++ = exponent < 0 ? '-' : '+';
        const int e = exponent < 0 ? -exponent : exponent;
        if (e >= 100)
            *p++ = char('0' + e / 100);
        *p++ = char('0' + e / 10 % 10);
        *p++ = char('0' + e % 10);
    } else if (exponent < 0) {
        *p++ = '0';
        *p++ = '.';
        for (int i = -1; i > exponent; --i)
            *p++ = '0';
        memcpy(p, digits, size_t(kept));
        p += kept;
    } else {
        for (int i = 0; i <= exponent; ++i)
            *p++ = i < kept ? digits[i] : '0';
        if (kept > exponent + 1) {
            *p++ = '.';
            memcpy(p, digits + exponent + 1, size_t(kept - exponent - 1));
            p += kept - exponent - 1;
        }
    }
    return int(p - out);
}

QString valueText(double value)
{
    char buffer[kMaxValueText];
    return QString::fromLatin1(buffer, writeValueText(value, buffer));
}

QString cellText(const SampleRecord &record, int column, LocalTimeFormatter &times)
{
    if (column == 0)
        return times.text(record.time);
    return valueText(double(record.value(column)));
}

double displayedValue(float value)
{
    char buffer[kMaxValueText];
    const int length = writeValueText(double(value), buffer);
    // from_chars, unlike strtod, ignores the process's locale.
    double parsed = 0.0;
    std::from_chars(buffer, buffer + length, parsed);
    return parsed;
}

namespace {

// Floats in the order of their values, as unsigned keys (NaNs aside).
uint32_t floatKey(float v)
{
    uint32_t bits;
    memcpy(&bits, &v, sizeof bits);
    return (bits & 0x80000000u) ? ~bits : (bits | 0x80000000u);
}

float keyFloat(uint32_t key)
{
    const uint32_t bits = (key & 0x80000000u) ? (key & 0x7FFFFFFFu) : ~key;
    float v;
    memcpy(&v, &bits, sizeof v);
    return v;
}

// The smallest key in [low, high] whose float passes, where passing is
// monotonic (once true, true for every larger key); high + 1 when none does.
template <typename Pass>
uint64_t firstPassing(uint64_t low, uint64_t high, Pass pass)
{
    uint64_t end = high + 1;
    while (low < end) {
        const uint64_t mid = low + (end - low) / 2;
        if (pass(keyFloat(uint32_t(mid))))
            end = mid;
        else
            low = mid + 1;
    }
    return low;
}

} // namespace

FindMatcher::FindMatcher(double value, double band)
{
    const double low = value - band;
    const double high = value + band;
    if (!(low <= high))
        return;
    const float infinity = std::numeric_limits<float>::infinity();
    const uint64_t minKey = floatKey(-infinity);
    const uint64_t maxKey = floatKey(infinity);
    const uint64_t first = firstPassing(minKey, maxKey, [low](float v) { return displayedValue(v) >= low; });
    const uint64_t pastLast = firstPassing(minKey, maxKey, [high](float v) { return displayedValue(v) > high; });
    if (first >= pastLast)
        return;
    m_empty = false;
    m_low = keyFloat(uint32_t(first));
    m_high = keyFloat(uint32_t(pastLast - 1));
}

TableCell findCell(const SampleRecord *rows, int rowCount, const FindMatcher &matcher, int para, bool forward,
                   TableCell current)
{
    if (matcher.matchesNothing() || rowCount <= 0)
        return {};
    const bool hasCurrent = current.row >= 0;
    if (!forward && !hasCurrent)
        return {};
    if (para >= 1 && para <= kValueCount) {
        int row;
        if (!hasCurrent)
            row = 0;
        else if (forward)
            row = current.column >= para ? current.row + 1 : current.row;
        else
            row = current.column <= para ? current.row - 1 : current.row;
        const int step = forward ? 1 : -1;
        for (row = qBound(-1, row, rowCount); row >= 0 && row < rowCount; row += step) {
            if (matcher.matches(rows[row].value(para)))
                return {row, para};
        }
        return {};
    }

    int row = hasCurrent ? current.row : 0;
    int column = hasCurrent ? current.column + (forward ? 1 : -1) : 1;
    if (forward && column > kValueCount) {
        ++row;
        column = 1;
    } else if (!forward && column < 1) {
        --row;
        column = kValueCount;
    }
    if (forward) {
        for (; row < rowCount; ++row, column = 1) {
            const float *values = rows[row].values;
            for (; column <= kValueCount; ++column) {
                if (matcher.matches(values[column - 1]))
                    return {row, column};
            }
        }
    } else {
        for (row = qMin(row, rowCount - 1); row >= 0; --row, column = kValueCount) {
            const float *values = rows[row].values;
            for (; column >= 1; --column) {
                if (matcher.matches(values[column - 1]))
                    return {row, column};
            }
        }
    }
    return {};
}

QByteArray copyText(const SampleRecord *rows, int top, int bottom, int left, int right)
{
    QByteArray out;
    if (top > bottom || left > right)
        return out;
    const bool withTime = left != 0;
    const int columns = right - left + 1 + (withTime ? 1 : 0);
    out.reserve((bottom - top + 2) * columns * (kMaxValueText / 2 + 2));
    if (withTime)
        out += headerLabel(0).toLatin1() + '\t';
    for (int c = left; c <= right; ++c) {
        out += headerLabel(c).toLatin1();
        if (c < right)
            out += '\t';
    }
    LocalTimeFormatter times;
    char buffer[LocalTimeFormatter::kLength + kMaxValueText];
    const QByteArray noTime = localTimeText(SampleRecord::kInvalidTime).toUtf8();
    const auto appendTime = [&](const SampleRecord &record) {
        if (!record.hasTime()) {
            out += noTime;
            return;
        }
        times.write(record.time, buffer);
        out.append(buffer, LocalTimeFormatter::kLength);
    };
    for (int r = top; r <= bottom; ++r) {
        const SampleRecord &record = rows[r];
        out += '\n';
        if (withTime) {
            appendTime(record);
            out += '\t';
        }
        for (int c = left; c <= right; ++c) {
            if (c == 0) {
                appendTime(record);
            } else {
                out.append(buffer, writeValueText(double(record.value(c)), buffer));
            }
            if (c < right)
                out += '\t';
        }
    }
    return out;
}
