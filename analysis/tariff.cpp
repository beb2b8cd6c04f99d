#include "analysis/tariff.h"

#include "analysis/localclock.h"
#include "data/atomicfile.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>

#include <cmath>
#include <limits>

namespace {

constexpr int kDayMinutes = 1440;
constexpr qint64 kDaySeconds = 86400;
// The Julian day of 1970-01-01.
constexpr qint64 kEpochJulianDay = 2440588;

const char *const kTypeNames[kTariffTypeCount] = {"尖峰", "峰", "平", "谷"};
// The file's words for the types and their prices.
const char *const kTypeKeys[kTariffTypeCount] = {"sharp", "peak", "flat", "valley"};

const double kNoPrice = std::numeric_limits<double>::quiet_NaN();

// Which rows of the table cover each minute of a month: the first and how
// many.
struct Cover {
    int row = -1;
    int count = 0;
};

void coverMonth(const TariffTable &table, int month, Cover (&minutes)[kDayMinutes])
{
    for (Cover &c : minutes)
        c = Cover{};
    for (int row = 0; row < table.periods.size(); ++row) {
        const TariffPeriod &p = table.periods[row];
        if (!(p.months & (1u << (month - 1))))
            continue;
        const int length = p.end > p.start ? p.end - p.start : p.end + kDayMinutes - p.start;
        for (int i = 0; i < length; ++i) {
            Cover &c = minutes[(p.start + i) % kDayMinutes];
            if (c.count++ == 0)
                c.row = row;
        }
    }
}

int typeOfKey(const QString &key)
{
    for (int t = 0; t < kTariffTypeCount; ++t) {
        if (key == QLatin1String(kTypeKeys[t]))
            return t;
    }
    return -1;
}

QString monthMinute(int month, int minute)
{
    return QStringLiteral("%1 月 %2").arg(month).arg(clockText(minute));
}

} // namespace

QString tariffTypeName(int type)
{
    return type >= 0 && type < kTariffTypeCount ? QString::fromUtf8(kTypeNames[type]) : QString();
}

int tariffTypeOfName(const QString &name)
{
    for (int t = 0; t < kTariffTypeCount; ++t) {
        if (name.trimmed() == QString::fromUtf8(kTypeNames[t]))
            return t;
    }
    return -1;
}

bool TariffPeriod::covers(int minute) const
{
    if (start < end)
        return minute >= start && minute < end;
    return start == end || minute >= start || minute < end;
}

TariffTable::TariffTable()
{
    prices.fill(kNoPrice);
}

bool TariffTable::operator==(const TariffTable &o) const
{
    for (int t = 0; t < kTariffTypeCount; ++t) {
        if (hasPrice(t) != o.hasPrice(t) || (hasPrice(t) && prices[t] != o.prices[t]))
            return false;
    }
    return periods == o.periods;
}

bool TariffTable::hasPrice(int type) const
{
    return std::isfinite(prices[type]);
}

bool TariffTable::uses(int type) const
{
    for (const TariffPeriod &p : periods) {
        if (p.type == type)
            return true;
    }
    return false;
}

TariffTable defaultTariffTable()
{
    TariffTable t;
    t.periods = {{8 * 60, 11 * 60, TariffPeak, TariffPeriod::kAllMonths},
                 {18 * 60, 23 * 60, TariffPeak, TariffPeriod::kAllMonths},
                 {7 * 60, 8 * 60, TariffFlat, TariffPeriod::kAllMonths},
                 {11 * 60, 18 * 60, TariffFlat, TariffPeriod::kAllMonths},
                 {23 * 60, 7 * 60, TariffValley, TariffPeriod::kAllMonths}};
    return t;
}

int parseClockMinutes(const QString &text)
{
    static const QRegularExpression shape(QStringLiteral("^\\s*(\\d{1,2})[:：](\\d{2})\\s*$"));
    const QRegularExpressionMatch m = shape.match(text);
    if (!m.hasMatch())
        return -1;
    const int h = m.captured(1).toInt();
    const int min = m.captured(2).toInt();
    if (h == 24 && min == 0)
        return 0;
    return h < 24 && min < 60 ? h * 60 + min : -1;
}

QString clockText(int minutes)
{
    return QStringLiteral("%1:%2").arg(minutes / 60, 2, 10, QLatin1Char('0')).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

uint16_t parseMonths(const QString &text)
{
    QString plain = text;
    plain.replace(QStringLiteral("，"), QStringLiteral(",")).replace(QStringLiteral("－"), QStringLiteral("-"));
    plain.remove(QLatin1Char(' '));
    static const QRegularExpression part(QStringLiteral("^(\\d{1,2})(?:-(\\d{1,2}))?$"));
    uint16_t months = 0;
    for (const QString &piece : plain.split(QLatin1Char(','))) {
        const QRegularExpressionMatch m = part.match(piece);
        if (!m.hasMatch())
            return 0;
        const int first = m.captured(1).toInt();
        const int last = m.captured(2).isEmpty() ? first : m.captured(2).toInt();
        if (first < 1 || first > 12 || last < 1 || last > 12)
            return 0;
        for (int month = first;; month = month % 12 + 1) {
            months |= uint16_t(1u << (month - 1));
            if (month == last)
                break;
        }
    }
    return months;
}

QString monthsText(uint16_t months)
{
    QStringList parts;
    for (int month = 1; month <= 12; ++month) {
        if (!(months & (1u << (month - 1))))
            continue;
        int last = month;
        while (last < 12 && (months & (1u << last)))
            ++last;
        parts << (last == month ? QString::number(month) : QStringLiteral("%1-%2").arg(month).arg(last));
        month = last;
    }
    return parts.join(QLatin1Char(','));
}

QString parseTariffTable(const QVector<TariffRowText> &rows, const QVector<QString> &prices, TariffTable *table)
{
    TariffTable read;
    for (int i = 0; i < rows.size(); ++i) {
        const TariffRowText &row = rows[i];
        const QString where = QStringLiteral("第 %1 行：").arg(i + 1);
        TariffPeriod p;
        p.start = parseClockMinutes(row.start);
        p.end = parseClockMinutes(row.end);
        p.type = tariffTypeOfName(row.type);
        p.months = parseMonths(row.months);
        if (p.start < 0)
            return where + QStringLiteral("开始时间“%1”不是 hh:mm 形式的时刻").arg(row.start);
        if (p.end < 0)
            return where + QStringLiteral("结束时间“%1”不是 hh:mm 形式的时刻").arg(row.end);
        if (p.type < 0)
            return where + QStringLiteral("类型必须是尖峰、峰、平或谷");
        if (p.months == 0)
            return where + QStringLiteral("月份“%1”无法识别（例如 1-6,9-12 或 7,8）").arg(row.months);
        read.periods.append(p);
    }
    for (int t = 0; t < kTariffTypeCount && t < prices.size(); ++t) {
        const QString text = prices[t].trimmed();
        if (text.isEmpty())
            continue;
        bool number = false;
        const double price = QLocale::c().toDouble(text, &number);
        if (!number || !(price >= 0) || !std::isfinite(price))
            return QStringLiteral("%1的电价“%2”不是非负数值").arg(tariffTypeName(t), text);
        read.prices[size_t(t)] = price;
    }
    const QString problem = tariffTableProblem(read);
    if (problem.isEmpty())
        *table = read;
    return problem;
}

QString tariffTableProblem(const TariffTable &table)
{
    Cover minutes[kDayMinutes];
    for (int month = 1; month <= 12; ++month) {
        coverMonth(table, month, minutes);
        for (int m = 0; m < kDayMinutes; ++m) {
            if (minutes[m].count == 0)
                return QStringLiteral("%1 不属于任何时段").arg(monthMinute(month, m));
            if (minutes[m].count > 1) {
                int second = minutes[m].row + 1;
                while (!(table.periods[second].months & (1u << (month - 1))) || !table.periods[second].covers(m))
                    ++second;
                return QStringLiteral("%1 同时属于第 %2 行和第 %3 行的时段")
                    .arg(monthMinute(month, m))
                    .arg(minutes[m].row + 1)
                    .arg(second + 1);
            }
        }
    }
    return QString();
}

int tariffTypeAt(const TariffTable &table, int month, int minute)
{
    for (const TariffPeriod &p : table.periods) {
        if ((p.months & (1u << (month - 1))) && p.covers(minute))
            return p.type;
    }
    return -1;
}

TariffClock::TariffClock(const TariffTable &table)
{
    for (int month = 1; month <= 12; ++month) {
        QVector<Edge> &edges = m_edges[size_t(month - 1)];
        for (int m = 0; m < kDayMinutes; ++m) {
            const int type = tariffTypeAt(table, month, m);
            if (edges.isEmpty() || edges.last().type != type)
                edges.append(Edge{m, type});
        }
    }
}

TariffClock::Stretch TariffClock::stretchAt(qint64 t) const
{
    const int offset = utcOffset(t);
    const qint64 local = t + offset;
    const qint64 day = floorDiv(local, kDaySeconds);
    const int minute = int((local - day * kDaySeconds) / 60);
    const int month = QDate::fromJulianDay(day + kEpochJulianDay).month();
    const QVector<Edge> &edges = m_edges[size_t(month - 1)];
    int i = 0;
    while (i + 1 < edges.size() && edges[i + 1].minute <= minute)
        ++i;
    const int endMinute = i + 1 < edges.size() ? edges[i + 1].minute : kDayMinutes;
    const qint64 end = day * kDaySeconds + endMinute * 60 - offset;
    return Stretch{t, nextOffsetChange(t, end), edges[i].type};
}

TariffSplit::TariffSplit(const TariffTable &table)
    : m_clock(table)
{
}

void TariffSplit::add(const PowerStep &step, const EnergySums &whole)
{
    splitStep(step, whole, m_cut);
}

QVector<TariffSlice> TariffSplit::finish()
{
    m_cut.finish();
    return std::move(m_cut.slices);
}

void TariffSplit::Cut::startAt(qint64 t)
{
    finish();
    stretch = clock.stretchAt(t);
    slice = TariffSlice{t, stretch.type, {}};
}

void TariffSplit::Cut::finish()
{
    if (stretch.type >= 0)
        slices.append(slice);
    stretch = TariffClock::Stretch{};
}

QString tariffFilePath()
{
    return QStringLiteral("config/tariff.ini");
}

TariffTable readTariffFile(const QString &path, QString *problem)
{
    if (problem)
        problem->clear();
    if (!QFileInfo::exists(path))
        return defaultTariffTable();
    QSettings file(path, QSettings::IniFormat);
    file.setIniCodec("UTF-8");
    QVector<TariffRowText> rows;
    const int count = file.beginReadArray(QStringLiteral("periods"));
    for (int i = 0; i < count; ++i) {
        file.setArrayIndex(i);
        rows.append(TariffRowText{file.value(QStringLiteral("start")).toString(), file.value(QStringLiteral("end")).toString(),
                                  tariffTypeName(typeOfKey(file.value(QStringLiteral("type")).toString())),
                                  file.value(QStringLiteral("months")).toString()});
    }
    file.endArray();
    QVector<QString> prices;
    for (const char *key : kTypeKeys)
        prices.append(file.value(QStringLiteral("prices/") + QLatin1String(key)).toString());
    TariffTable table;
    const QString why = parseTariffTable(rows, prices, &table);
    if (problem)
        *problem = why.isEmpty() && file.status() != QSettings::NoError ? QStringLiteral("文件无法读取") : why;
    return table;
}

bool writeTariffFile(const QString &path, const TariffTable &table)
{
    // QSettings makes the text; the atomic writer puts it in place.
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return false;
    const QString made = scratch.filePath(QStringLiteral("tariff.ini"));
    {
        QSettings file(made, QSettings::IniFormat);
        file.setIniCodec("UTF-8");
        file.beginWriteArray(QStringLiteral("periods"), table.periods.size());
        for (int i = 0; i < table.periods.size(); ++i) {
            const TariffPeriod &p = table.periods[i];
            file.setArrayIndex(i);
            file.setValue(QStringLiteral("start"), clockText(p.start));
            file.setValue(QStringLiteral("end"), clockText(p.end));
            file.setValue(QStringLiteral("type"), QLatin1String(kTypeKeys[p.type]));
            file.setValue(QStringLiteral("months"), monthsText(p.months));
        }
        file.endArray();
        for (int t = 0; t < kTariffTypeCount; ++t)
            file.setValue(QStringLiteral("prices/") + QLatin1String(kTypeKeys[t]),
                          table.hasPrice(t) ? QString::number(table.prices[size_t(t)], 'g', 10) : QString());
        file.sync();
        if (file.status() != QSettings::NoError)
            return false;
    }
    QFile text(made);
    if (!text.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = text.readAll();
    QDir().mkpath(QFileInfo(path).absolutePath());
    AtomicFile out(path);
    return out.open() && out.write(bytes) == bytes.size() && out.commit();
}
