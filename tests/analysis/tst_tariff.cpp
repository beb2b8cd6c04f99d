#include "analysis/powerreport.h"
#include "analysis/tariff.h"
#include "testsupport.h"

#include <QDateTime>

#include <array>
#include <vector>

namespace {

using Kwh = std::array<double, kTariffTypeCount>;

// "hh:mm hh:mm type months" rows separated by "|".
QVector<TariffRowText> rowsOf(const QString &text)
{
    QVector<TariffRowText> rows;
    for (const QString &row : text.split(QLatin1Char('|'), Qt::SkipEmptyParts)) {
        const QStringList f = row.split(QLatin1Char(' '));
        rows.append({f.value(0), f.value(1), f.value(2), f.value(3)});
    }
    return rows;
}

qint64 local(const QString &text)
{
    return QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd hh:mm:ss")).toSecsSinceEpoch();
}

} // namespace

Q_DECLARE_METATYPE(Kwh)

class TestTariff : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { zone = std::make_unique<zeptest::ZoneForTest>("Europe/Berlin"); }
    void cleanupTestCase() { zone.reset(); }

    void parse_data()
    {
        QTest::addColumn<QString>("rows");
        QTest::addColumn<QString>("price");
        QTest::addColumn<QString>("problem");
        QTest::addColumn<QString>("months");
        const QString common = QStringLiteral(
            "08:00 11:00 峰 1-12|18:00 23:00 峰 1-12|07:00 08:00 平 1-12|11:00 18:00 平 1-12|23:00 07:00 谷 1-12");
        QTest::newRow("the common table") << common << "0.8" << "" << "1-12";
        QTest::newRow("24:00, months round the year") << "00:00 24:00 谷 11-2|0:00 00:00 平 3，4，5-10" << "" << ""
                                                      << "1-2,11-12";
        QTest::newRow("an hour without a type") << "08:00 11:00 峰 1-12|11:00 08:00 平 1-6,9-12" << "" << "7 月 00:00 不属于任何时段"
                                                << "";
        QTest::newRow("a minute given twice") << common + "|10:59 12:00 尖峰 7,8" << ""
                                              << "7 月 10:59 同时属于第 1 行和第 6 行的时段" << "";
        QTest::newRow("an hour past the clock") << "25:00 07:00 谷 1-12" << ""
                                                << "第 1 行：开始时间“25:00”不是 hh:mm 形式的时刻" << "";
        QTest::newRow("a month 13") << "00:00 00:00 平 1-13" << ""
                                    << "第 1 行：月份“1-13”无法识别（例如 1-6,9-12 或 7,8）" << "";
        QTest::newRow("no type") << "00:00 00:00 高峰 1-12" << "" << "第 1 行：类型必须是尖峰、峰、平或谷" << "";
        QTest::newRow("a price that is no number") << common << "-0.5" << "峰的电价“-0.5”不是非负数值" << "";
    }

    void parse()
    {
        QFETCH(QString, rows);
        QFETCH(QString, price);
        TariffTable table = defaultTariffTable();
        table.periods.clear();
        QTEST(parseTariffTable(rowsOf(rows), {QString(), price, QString(), QString()}, &table), "problem");
        QFETCH(QString, months);
        // A refused table leaves the one given as it was.
        QCOMPARE(table.periods.isEmpty(), months.isEmpty());
        if (table.periods.isEmpty())
            return;
        QCOMPARE(monthsText(table.periods.first().months), months);
        QCOMPARE(table.hasPrice(TariffPeak), !price.isEmpty());
        QVERIFY(tariffTableProblem(table).isEmpty());
    }

    // The imported energy by type: samples every step seconds from from to
    // to, local time, the power going through watts in turn; none between
    // skipFrom and skipTo (a gap).
    void split_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");
        QTest::addColumn<int>("step");
        QTest::addColumn<QVector<double>>("watts");
        QTest::addColumn<QString>("skip");
        QTest::addColumn<Kwh>("kWh");
        const QVector<double> sixKw{6000};
        QTest::newRow("a period across midnight") << "" << "2024-03-01 22:00:00" << "2024-03-02 02:00:00" << 60
                                                  << sixKw << "" << Kwh{0, 6, 0, 18};
        // 0 W at 07:59:30, 1200 W at 08:00:30: 600 W at the edge.
        QTest::newRow("a step across an edge") << "" << "2024-03-01 07:59:30" << "2024-03-01 08:00:30" << 60
                                               << QVector<double>{0, 1200} << "" << Kwh{0, 0.0075, 0.0025, 0};
        QTest::newRow("a gap across an edge") << "" << "2024-03-01 07:00:00" << "2024-03-01 09:00:00" << 60 << sixKw
                                              << "2024-03-01 07:50:00 2024-03-01 08:10:00" << Kwh{0, 5, 5, 0};
        QTest::newRow("a month change") << "00:00 00:00 峰 1-2|00:00 00:00 谷 3-12" << "2024-02-29 23:00:00"
                                        << "2024-03-01 01:00:00" << 60 << sixKw << "" << Kwh{0, 6, 0, 6};
        // 02:00..03:00 comes twice: 平 02:00-02:30 and 峰 02:30-03:00 each hour.
        const QString edgeInRepeatedHour = QStringLiteral("00:00 02:30 平 1-12|02:30 03:00 峰 1-12|03:00 00:00 谷 1-12");
        QTest::newRow("the autumn clock change") << edgeInRepeatedHour << "2024-10-27 00:00:00" << "2024-10-27 04:00:00"
                                                 << 60 << sixKw << "" << Kwh{0, 6, 18, 6};
        QTest::newRow("the spring clock change") << edgeInRepeatedHour << "2024-03-31 00:00:00" << "2024-03-31 04:00:00"
                                                 << 60 << sixKw << "" << Kwh{0, 0, 12, 6};
    }

    void split()
    {
        QFETCH(QString, table);
        QFETCH(QVector<double>, watts);
        QFETCH(int, step);
        QFETCH(QString, skip);
        ReportOptions options;
        if (!table.isEmpty())
            QCOMPARE(parseTariffTable(rowsOf(table), {}, &options.tariff), QString());
        const qint64 skipFrom = skip.isEmpty() ? 0 : local(skip.section(QLatin1Char(' '), 0, 1));
        const qint64 skipTo = skip.isEmpty() ? 0 : local(skip.section(QLatin1Char(' '), 2, 3));
        QFETCH(QString, first);
        QFETCH(QString, last);
        const qint64 from = local(first);
        const qint64 to = local(last);
        QVERIFY(from > 0 && to > from);
        std::vector<SampleRecord> records;
        for (qint64 t = from; t <= to; t += step) {
            if (t > skipFrom && t < skipTo)
                continue;
            SampleRecord r{};
            r.time = uint32_t(t);
            r.setValue(13, float(watts[int(records.size()) % watts.size()]));
            records.push_back(r);
        }
        const PowerReport p = computePowerReport(records.data(), 0, int(records.size()) - 1, uint32_t(from),
                                                 uint32_t(to), options);
        QFETCH(Kwh, kWh);
        double sum = 0;
        for (int t = 0; t < kTariffTypeCount; ++t) {
            QVERIFY2(qAbs(kilowattHours(p.tariffImported[t]) - kWh[size_t(t)]) < 1e-9, qPrintable(tariffTypeName(t)));
            sum += p.tariffImported[t];
            double days = 0;
            for (const DayFigures &d : p.days)
                days += d.tariffImported[t];
            QVERIFY(qAbs(days - p.tariffImported[t]) < 1e-6);
        }
        QVERIFY(qAbs(sum - p.total.imported) < 1e-6);
    }

    void file()
    {
        const QString path = QStringLiteral("config/tariff.ini");
        QString problem = QStringLiteral("unset");
        QVERIFY(readTariffFile(path, &problem) == defaultTariffTable());
        QVERIFY(problem.isEmpty());
        TariffTable table;
        const QString summer = QStringLiteral("10:00 11:00 尖峰 7,8|08:00 10:00 峰 7,8|08:00 11:00 峰 1-6,9-12|"
                                              "18:00 24:00 峰 1-12|07:00 08:00 平 1-12|11:00 18:00 平 1-12|0:00 7:00 谷 1-12");
        QCOMPARE(parseTariffTable(rowsOf(summer), {QStringLiteral("1.25")}, &table), QString());
        QVERIFY(writeTariffFile(path, table));
        QVERIFY(readTariffFile(path, &problem) == table);
        QVERIFY(problem.isEmpty());
        QSettings edited(path, QSettings::IniFormat);
        edited.setValue(QStringLiteral("periods/1/type"), QStringLiteral("lunch"));
        edited.sync();
        readTariffFile(path, &problem);
        QCOMPARE(problem, QStringLiteral("第 1 行：类型必须是尖峰、峰、平或谷"));
    }

private:
    std::unique_ptr<zeptest::ZoneForTest> zone;
};

ZEP_TEST_MAIN_CORE(TestTariff)
#include "tst_tariff.moc"
