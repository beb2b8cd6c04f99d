#include "bench/benchfile.h"

#include "data/datafile.h"

#include <QDateTime>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

// Typical readings, in units of each column's last decimal.
const int64_t kBase[kValueCount] = {22050, 22100, 21987, 22046, 38190, 38240, 38070, 38167, 520, 510, 530,
                           520,   34125, 8123,  35079, 973,   50000, 250,   261,   248,  810, 790,
                           830,   141,   141,   142,   160,   158,   161,   41,    190};

const int64_t kPow10[] = {1, 10, 100, 1000};

char *putDigits(char *p, int64_t v, int width)
{
    char tmp[24];
    int n = 0;
    do {
        tmp[n++] = char('0' + v % 10);
        v /= 10;
    } while (v);
    while (n < width)
        tmp[n++] = '0';
    while (n)
        *p++ = tmp[--n];
    return p;
}

} // namespace

BenchFileWriter::BenchFileWriter(uint32_t startTime, uint32_t interval)
    : m_start(startTime)
    , m_interval(interval)
{
}

bool BenchFileWriter::fill(DataFile &file) const
{
    if (!file.records)
        return false;
    double v[kValueCount];
    for (quint32 i = 0; i < file.count; ++i) {
        file.records[i].time = time(int(i));
        values(int(i), v);
        for (int k = 0; k < kValueCount; ++k)
            file.records[i].values[k] = float(v[k]);
    }
    return true;
}

void BenchFileWriter::setOutages(int outages, int records)
{
    m_outages = qMax(outages, 0);
    m_records = qMax(records, 1);
}

uint32_t BenchFileWriter::time(int i) const
{
    const uint32_t missed = m_outages > 0 ? uint32_t(qint64(i) * (m_outages + 1) / m_records) * kOutageSeconds : 0;
    return m_start + uint32_t(i) * m_interval + missed;
}

int64_t BenchFileWriter::scaled(int i, int k) const
{
    // A slow wave plus a little jitter; power factor and frequency stay
    // within their usual band, the unbalance figures cross zero now and then.
    const int64_t wave = ((i / 97) % 200) - 100;
    const int64_t jitter = (int64_t(i) * 7919 + k * 104729) % 41 - 20;
    int64_t v = kBase[k - 1] + wave + jitter;
    if (k == 30 || k == 31)
        v -= 100;
    return v;
}

void BenchFileWriter::values(int i, double out[kValueCount]) const
{
    for (int k = 1; k <= kValueCount; ++k)
        out[k - 1] = double(scaled(i, k)) / double(kPow10[columnDecimals(k)]);
}

// One record, as writeRecord lays it out: zero-padded fixed point of
// width 6, the sign ahead of the padding.
int BenchFileWriter::format(int i, char *out) const
{
    char *p = out;
    const time_t t = time_t(time(i));
    struct tm local;
    localtime_r(&t, &local);
    p = putDigits(p, local.tm_year + 1900, 4);
    *p++ = '/';
    p = putDigits(p, local.tm_mon + 1, 2);
    *p++ = '/';
    p = putDigits(p, local.tm_mday, 2);
    *p++ = ' ';
    p = putDigits(p, local.tm_hour, 2);
    *p++ = ':';
    p = putDigits(p, local.tm_min, 2);
    *p++ = ':';
    p = putDigits(p, local.tm_sec, 2);
    *p++ = '\n';
    for (int k = 1; k <= kValueCount; ++k) {
        memcpy(p, ParamTable[k].name, 5);
        p += 5;
        *p++ = '=';
        *p++ = ' ';
        const int decimals = columnDecimals(k);
        int64_t v = scaled(i, k);
        const bool negative = v < 0;
        if (negative)
            v = -v;
        // Digits before the point; the point and the decimals take the rest.
        const int digitsWidth = 6 - 1 - (negative ? 1 : 0);
        if (negative)
            *p++ = '-';
        char digits[24];
        char *d = putDigits(digits, v, qMax(decimals + 1, digitsWidth));
        const int total = int(d - digits);
        memcpy(p, digits, size_t(total - decimals));
        p += total - decimals;
        *p++ = '.';
        memcpy(p, digits + total - decimals, size_t(decimals));
        p += decimals;
        *p++ = ' ';
        memcpy(p, ParamTable[k].unit, 5);
        p += 5;
        if (k % 4 == 0 && k <= 24)
            *p++ = '\n';
    }
    *p++ = '\n';
    return int(p - out);
}

bool BenchFileWriter::write(const QString &path, int count, int first) const
{
    // Records checked against writeRecord: the first ones and a spread.
    QTemporaryDir scratch;
    const QString checkPath = scratch.filePath(QStringLiteral("check.txt"));
    for (int i = first; i < first + count; i += (i < first + 1000 ? 1 : 9973)) {
        QFile check(checkPath);
        if (!check.open(QIODevice::WriteOnly | QIODevice::Text))
            return false;
        double v[kValueCount];
        values(i, v);
        writeRecord(check, time(i), v);
        check.close();
        check.open(QIODevice::ReadOnly);
        const QByteArray expected = check.readAll();
        char buffer[1024];
        const int n = format(i, buffer);
        if (expected != QByteArray(buffer, n)) {
            fprintf(stderr, "bench writer differs from writeRecord at record %d:\n%s---\n%.*s", i,
                    expected.constData(), n, buffer);
            return false;
        }
    }

    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    QByteArray block;
    block.reserve(1 << 20);
    char buffer[1024];
    for (int i = first; i < first + count; ++i) {
        block.append(buffer, format(i, buffer));
        if (block.size() > (1 << 20) - 1024 || i + 1 == first + count) {
            if (out.write(block) != block.size()) {
                fprintf(stderr, "write error on %s\n", qPrintable(path));
                return false;
            }
            block.clear();
        }
    }
    return true;
}

int recordsArgument(const QStringList &args, int fallback)
{
    const int at = args.indexOf(QStringLiteral("--records"));
    if (at >= 0 && at + 1 < args.size())
        return qMax(1, args.at(at + 1).toInt());
    return fallback;
}

std::unique_ptr<DataFile> benchDataFile(int count, uint32_t interval)
{
    const uint32_t start = uint32_t(QDateTime(QDate(2026, 1, 1), QTime(0, 0)).toSecsSinceEpoch());
    auto file = std::make_unique<DataFile>(QStringLiteral("bench.txt"), quint32(count));
    if (!BenchFileWriter(start, interval).fill(*file)) {
        fprintf(stderr, "no memory for %d records\n", count);
        return nullptr;
    }
    return file;
}
