#pragma once

#include "data/energy.h"

#include <QString>
#include <QVector>

#include <array>
#include <cstdint>

// Time-of-use periods: which tariff type (尖峰, 峰, 平, 谷) each minute of
// the local clock belongs to, month by month, and the price of each type.
// The table is the working directory's (config/tariff.ini), so that each
// station keeps its own.

constexpr int kTariffTypeCount = 4;
// In the order the report lists them.
enum TariffType { TariffSharp, TariffPeak, TariffFlat, TariffValley };

// "尖峰", "峰", "平", "谷".
QString tariffTypeName(int type);
// The type of a name, -1 for none.
int tariffTypeOfName(const QString &name);

struct TariffPeriod {
    // Minutes since midnight, 0..1439. The period runs from start up to end,
    // past midnight when end is not after start; start == end is the whole
    // day.
    int start = 0;
    int end = 0;
    int type = TariffFlat;
    // Bit m - 1 for month m.
    uint16_t months = kAllMonths;

    static constexpr uint16_t kAllMonths = 0xFFF;
    bool covers(int minute) const;
    bool operator==(const TariffPeriod &o) const
    {
        return start == o.start && end == o.end && type == o.type && months == o.months;
    }
};

struct TariffTable {
    QVector<TariffPeriod> periods;
    // 元/kWh of each type; NaN when unknown.
    std::array<double, kTariffTypeCount> prices;

    TariffTable();
    bool operator==(const TariffTable &o) const;
    bool hasPrice(int type) const;
    // Whether a period of the type is in the table.
    bool uses(int type) const;
};

// 峰 08:00–11:00 and 18:00–23:00, 平 07:00–08:00 and 11:00–18:00, 谷
// 23:00–07:00, all months, no prices.
TariffTable defaultTariffTable();

// "hh:mm" (one or two digits for the hour); "24:00" is midnight. -1 when
// the text is no time of the clock.
int parseClockMinutes(const QString &text);
QString clockText(int minutes);
// "1-6,9-12", "7,8", "11-2" (November to February); commas may be Chinese
// and spaces are ignored. 0 when the text names no month or one outside
// 1..12.
uint16_t parseMonths(const QString &text);
// The shortest such text for a set of months.
QString monthsText(uint16_t months);

// A row of the period editor as typed.
struct TariffRowText {
    QString start;
    QString end;
    QString type;
    QString months;
};

// Reads the editor's rows and prices (one text per type, empty for no
// price) into table. Returns why they are refused: a text that does not
// read, or a table that leaves a minute of a month without a type or gives
// it two (tariffTableProblem); empty when accepted.
QString parseTariffTable(const QVector<TariffRowText> &rows, const QVector<QString> &prices, TariffTable *table);
// The first minute of the year's months that no period covers, or that two
// cover, named; empty when every minute of every month has one type.
QString tariffTableProblem(const TariffTable &table);

// The type of minute 0..1439 of a day of month 1..12; -1 when no period
// covers it.
int tariffTypeAt(const TariffTable &table, int month, int minute);

// The table on the local clock, for a pass over a series.
class TariffClock
{
public:
    // The table must have no problem.
    explicit TariffClock(const TariffTable &table);

    // A stretch of time of one type: [start, end) in seconds since the epoch.
    struct Stretch {
        qint64 start = 0;
        qint64 end = 0;
        int type = -1;
        bool contains(qint64 t) const { return t >= start && t < end; }
    };
    // The stretch from t on: up to the next change of type on the local
    // clock, the next local midnight, or the next change of the clock's UTC
    // offset (the spring and autumn changes), whichever comes first.
    Stretch stretchAt(qint64 t) const;

private:
    struct Edge {
        int minute;
        int type;
    };
    // Per month, where each run of one type starts, from minute 0.
    std::array<QVector<Edge>, 12> m_edges;
};

// Imported active energy of a stretch of one type.
struct TariffSlice {
    qint64 from = 0;
    int type = 0;
    EnergySums sums;
};

// The steps of the energy rule split at the edges of the periods: a step
// that crosses one is cut there, its powers on the line between its ends.
class TariffSplit
{
public:
    explicit TariffSplit(const TariffTable &table);
    TariffSplit(const TariffSplit &) = delete;
    TariffSplit &operator=(const TariffSplit &) = delete;
    void add(const PowerStep &step, const EnergySums &whole);
    // The slices in the order their steps came.
    QVector<TariffSlice> finish();

private:
    // The stretch a step is cut into (splitStep).
    struct Cut {
        const TariffClock &clock;
        TariffClock::Stretch stretch;
        TariffSlice slice;
        QVector<TariffSlice> slices;

        bool contains(qint64 t) const { return stretch.contains(t); }
        qint64 end() const { return stretch.end; }
        void startAt(qint64 t);
        void add(const EnergySums &e) { slice.sums.add(e); }
        void finish();
    };
    TariffClock m_clock;
    Cut m_cut{m_clock, {}, {}, {}};
};

// The table of the working directory's config/tariff.ini; the default
// table when there is no such file. problem, when given, receives why the
// file's table cannot be used (it is then returned as read).
TariffTable readTariffFile(const QString &path, QString *problem = nullptr);
// Writes the table through the atomic writer; false when it could not.
bool writeTariffFile(const QString &path, const TariffTable &table);
QString tariffFilePath();
