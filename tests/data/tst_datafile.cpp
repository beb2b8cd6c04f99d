#include "data/datafile.h"
#include "datafiletestutil.h"
#include "referencereader.h"
#include "coretesting.h"

#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cmath>
#include <cstring>

#include <sys/stat.h>

namespace {

// A typical record; its entries show the padding of names, units and values.
const double kExampleValues[kValueCount] = {
    220.50, 221.00, 219.87, 220.46, 381.90, 382.40, 380.70, 381.67, 5.20, 5.10, 5.30,
    5.20,   3412.5, 812.3,  3507.9, 0.973,  50.000, 2.50,   2.61,   2.48, 8.10, 7.90,
    8.30,   1.41,   1.41,   1.42,   1.60,   1.58,   1.61,   0.41,   1.90};

const char kExampleRecord[] =
    "2018/05/06 14:03:21\n"
    " UA  = 220.50 V     UB  = 221.00 V     UC  = 219.87 V    Uavr = 220.46 V    \n"
    " UAB = 381.90 V     UBC = 382.40 V     UCA = 380.70 V    UVavr= 381.67 V    \n"
    " IA  = 005.20 A     IB  = 005.10 A     IC  = 005.30 A    Iavr = 005.20 A    \n"
    " TP  = 3412.5 W     TQ  = 0812.3 Var   TS  = 3507.9 VA   COS  = 00.973      \n"
    " FR  = 50.000 Hz   ThdUa= 002.50 %    ThdUb= 002.61 %    ThdUc= 002.48 %    \n"
    "ThdIa= 008.10 %    ThdIb= 007.90 %    ThdIc= 008.30 %    KbfUa= 001.41      \n"
    "KbfUb= 001.41      KbfUc= 001.42      KbfIa= 001.60      KbfIb= 001.58      KbfIc= 001.61      "
    "UnbU = 000.41 %    UnbI = 001.90 %    \n";

// 2018/05/06 14:03:21 in UTC.
const uint32_t kExampleTime = 1525615401u;

// Records as "time 1=v 2=v;time ..." with every unnamed column 0.
QVector<SampleRecord> parseExpected(const QString &text)
{
    QVector<SampleRecord> out;
    for (const QString &rec : text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        // A value not listed is missing.
        SampleRecord r;
        memset(&r, 0, sizeof r);
        std::fill(r.values, r.values + kValueCount, SampleRecord::kMissingValue);
        const QStringList parts = rec.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        r.time = parts.at(0).toUInt();
        for (int i = 1; i < parts.size(); ++i) {
            const QStringList kv = parts.at(i).split(QLatin1Char('='));
            r.setValue(kv.at(0).toInt(), kv.at(1).toFloat());
        }
        out.append(r);
    }
    return out;
}

QByteArray recordText(const char *time, const QByteArray &values)
{
    return QByteArray(time) + "\n" + values;
}

} // namespace

class TestDataFile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path(const QString &name) const { return m_dir.filePath(name); }

    QByteArray written(uint32_t time, const double *values)
    {
        const QString p = path(QStringLiteral("written.txt"));
        QFile f(p);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Text))
            return QByteArray();
        writeRecord(f, time, values);
        f.close();
        return zeptest::readBytes(p);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        zeptest::useZone("UTC");
    }

    void cleanup() { zeptest::useZone("UTC"); }

    void writerLayout()
    {
        QCOMPARE(written(kExampleTime, kExampleValues), QByteArray(kExampleRecord));
    }

    void valueText_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<double>("value");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("negative, zero padded after the sign") << 1 << -5.1 << QByteArray("-05.10");
        QTest::newRow("three decimals") << 16 << 0.973 << QByteArray("00.973");
        QTest::newRow("whole number, three decimals") << 17 << 50.0 << QByteArray("50.000");
        QTest::newRow("wider than six") << 17 << -123.456 << QByteArray("-123.456");
        QTest::newRow("one decimal") << 13 << 3412.5 << QByteArray("3412.5");
        QTest::newRow("zero") << 9 << 0.0 << QByteArray("000.00");
        QTest::newRow("no value is written as 0") << 9 << qQNaN() << QByteArray("000.00");
        QTest::newRow("rounded") << 2 << 1.005 << QByteArray("001.00");
        QTest::newRow("exact half rounds away from zero") << 15 << 123456789.25 << QByteArray("123456789.3");
    }

    void valueText()
    {
        QFETCH(int, column);
        QFETCH(double, value);
        QFETCH(QByteArray, text);
        double values[kValueCount] = {};
        values[column - 1] = value;
        const QByteArray bytes = written(0, values);
        const QByteArray entry = QByteArray(ParamTable[column].name) + "= " + text + " " + ParamTable[column].unit;
        QVERIFY2(bytes.contains(entry), bytes.constData());

        // The reader gives back exactly what toFloat makes of the text.
        const QString p = path(QStringLiteral("value.txt"));
        QVERIFY(zeptest::writeBytes(p, bytes));
        DataFile file(p, 1);
        QCOMPARE(readRecords(&file), 1);
        QCOMPARE(file.records[0].value(column), QString::fromLatin1(text).toFloat());
    }

    void roundTrip_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::newRow("UTC") << QByteArray("UTC");
        QTest::newRow("Berlin") << QByteArray("Europe/Berlin");
        QTest::newRow("Lord Howe") << QByteArray("Australia/Lord_Howe");
    }

    void roundTrip()
    {
        QFETCH(QByteArray, zone);
        zeptest::useZone(zone);
        QRandomGenerator rng(7);
        const QString p = path(QStringLiteral("roundtrip.txt"));
        QFile f(p);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Text));
        const int n = 500;
        QVector<uint32_t> times;
        QVector<QVector<double>> values;
        // Times of 2018 in steps of about 17.5 hours, so that both changes of
        // daylight saving time are crossed.
        uint32_t t = 1514764800u;
        for (int i = 0; i < n; ++i) {
            t += 60000 + rng.bounded(6000);
            const QDateTime local = QDateTime::fromTime_t(t);
            // Outside the hour that repeats, local time names one instant.
            if (QDateTime::fromTime_t(t - 3600).offsetFromUtc() != local.offsetFromUtc()
                || QDateTime::fromTime_t(t + 3600).offsetFromUtc() != local.offsetFromUtc())
                continue;
            QVector<double> v(kValueCount);
            for (double &x : v)
                x = (rng.generateDouble() - 0.3) * std::pow(10.0, rng.bounded(5));
            writeRecord(f, t, v.constData());
            times.append(t);
            values.append(v);
        }
        f.close();

        QCOMPARE(countRecords(p), times.size());
        DataFile file(p, quint32(times.size()));
        QCOMPARE(readRecords(&file), times.size());
        for (int i = 0; i < times.size(); ++i) {
            QCOMPARE(file.records[i].time, times[i]);
            for (int k = 1; k <= kValueCount; ++k) {
                const float expected = QString::number(values[i][k - 1], 'f', columnDecimals(k)).toFloat();
                QCOMPARE(file.records[i].value(k), expected);
            }
        }
    }

    void edgeCases_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("returned");
        QTest::addColumn<QString>("records");

        const QByteArray t = "2018/05/06 14:03:21\n";
        const QString ts = QString::number(kExampleTime);
        QTest::newRow("empty file") << QByteArray() << -1 << QString();
        QTest::newRow("no time line") << QByteArray("UA=1\nhello 2018/05/06 14\n") << -1 << QString();
        QTest::newRow("example record")
            << QByteArray(kExampleRecord) << 1
            << ts + " 1=220.5 2=221 3=219.87 4=220.46 5=381.9 6=382.4 7=380.7 8=381.67 9=5.2 10=5.1 11=5.3 "
                    "12=5.2 13=3412.5 14=812.3 15=3507.9 16=0.973 17=50 18=2.5 19=2.61 20=2.48 21=8.1 "
                    "22=7.9 23=8.3 24=1.41 25=1.41 26=1.42 27=1.6 28=1.58 29=1.61 30=0.41 31=1.9";
        QTest::newRow("CR LF") << QByteArray("2018/05/06 14:03:21\r\n UA  = 001.50 V    \r\n") << 1
                               << ts + " 1=1.5";
        QTest::newRow("entries before the first time line are ignored")
            << QByteArray("UA=7\n") + t + "UB=2\n" << 1 << ts + " 2=2";
        QTest::newRow("third colon: not a time line")
            << t + "2018/05/06 14:03:21 12:00 UA=3\n" << 1 << ts + " 1=3";
        QTest::newRow("any order, no blanks") << t + "UB=2 UA=1 KbfIc=-3.5\n" << 1 << ts + " 1=1 2=2 29=-3.5";
        QTest::newRow("letter case matters") << t + "ua=1 Ua=2 UA=3\n" << 1 << ts + " 1=3";
        QTest::newRow("unknown names") << t + "XX=1 UAB=2 U A=3\n" << 1 << ts + " 5=2";
        QTest::newRow("later entry wins") << t + "UA=1\nUA=2\n" << 1 << ts + " 1=2";
        QTest::newRow("month 13") << recordText("2018/13/06 14:03:21", "UA=4\n") << 1 << "4294967295 1=4";
        QTest::newRow("hour 99") << recordText("2018/05/06 99:03:21", "UA=4\n") << 1 << "4294967295 1=4";
        QTest::newRow("not zero padded") << recordText("2018/5/6 14:03:21", "") << 1 << "4294967295";
        QTest::newRow("before 1970") << recordText("1969/12/31 23:59:59", "") << 1 << "4294967295";
        QTest::newRow("30 February") << recordText("2018/02/30 14:03:21", "UA=4\n") << 1 << "4294967295 1=4";
        QTest::newRow("no digits") << QByteArray("//::\nUA=4\n//::\xc3\xa9\n") << 2 << "4294967295 1=4;4294967295";
        QTest::newRow("a sign for a digit, repeated")
            << recordText("2018/05/+6 14:03:21", "UA=1\n") + recordText("2018/05/+6 14:03:21", "UA=2\n") << 2
            << ts + " 1=1;" + ts + " 1=2";
        QTest::newRow("blanks around the time") << recordText(" \t2018/05/06 \t 14:03:21 ", "") << 1 << ts;
        QTest::newRow("equals at the end keeps the earlier value") << t + "UA=5\nUA=\n" << 1 << ts + " 1=5";
        QTest::newRow("equals at the start") << t + "=5 UB=6\n" << 1 << ts + " 2=6";
        QTest::newRow("double equals") << t + "UA=5\nUA==6\n" << 1 << ts + " 1=nan";
        // Beyond the float range Qt's toFloat gives inf but says it did not
        // convert: missing as well.
        QTest::newRow("bad numbers and overflow are missing")
            << t + "UA=5 UA=x1\nUB=1e39 UC=+2 Uavr=0x10 UAB=nan UBC=3.4028235e38 UCA=-1e39 UVavr=inf\n" << 1
            << ts + " 3=2 8=inf";
        // A file cut off inside a line: its last value may have lost
        // digits; one a blank ends did not.
        QTest::newRow("cut inside the last value") << t + "UA=220.5 UB=22" << 1 << ts + " 1=220.5";
        QTest::newRow("cut after the last value") << t + "UA=220.5 UB=221.0 " << 1 << ts + " 1=220.5 2=221";
        QTest::newRow("NUL ends the piece") << t + QByteArray("UA=1 \0UB=2\nUC=3\n", 17) << 1 << ts + " 1=1 3=3";
        QTest::newRow("two records, second partial")
            << t + "UA=1 UB=2\n" + recordText("2018/05/06 14:03:22", "UB=5\n") << 2
            << ts + " 1=1 2=2;" + QString::number(kExampleTime + 1) + " 2=5";
        // 199 bytes make one piece: an entry cut right after its "=" loses
        // its value, and the next piece starts with the rest of the line.
        QTest::newRow("long line cut at 199 bytes")
            << t + QByteArray(196, ' ') + "UA=5 UB=3\n" << 1 << ts + " 2=3";
        QTest::newRow("long line cut inside a value")
            << t + QByteArray(190, ' ') + "UA=12345678 UB=3\n" << 1 << ts + " 1=123456 2=3";
    }

    void edgeCases()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, returned);
        QFETCH(QString, records);
        const QString p = path(QStringLiteral("edge.txt"));
        QVERIFY(zeptest::writeBytes(p, content));
        const QVector<SampleRecord> expected = parseExpected(records);
        QCOMPARE(countRecords(p), expected.size());
        DataFile file(p, quint32(qMax(1, expected.size())));
        QCOMPARE(readRecords(&file), returned);
        for (int i = 0; i < expected.size(); ++i) {
            QCOMPARE(file.records[i].time, expected[i].time);
            for (int k = 1; k <= kValueCount; ++k) {
                const float a = file.records[i].value(k);
                const float b = expected[i].value(k);
                QVERIFY2((std::isnan(a) && std::isnan(b)) || a == b,
                         qPrintable(QStringLiteral("record %1 column %2: %3 != %4").arg(i).arg(k).arg(a).arg(b)));
            }
        }
        const reference::Result ref = reference::readRecords(p, file.count);
        QCOMPARE(ref.returned, returned);
    }

    void unopenable()
    {
        const QString p = path(QStringLiteral("missing.txt"));
        QCOMPARE(countRecords(p), -1);
        DataFile file(p, 1);
        QCOMPARE(readRecords(&file), -1);
    }

    // Opening a FIFO would wait for a writer, /dev/zero never ends; a link
    // to a data file is followed.
    void onlyRegularFilesAreOpened()
    {
        QVERIFY(zeptest::writeBytes(path(QStringLiteral("data.txt")), kExampleRecord));
        QCOMPARE(mkfifo(qPrintable(path(QStringLiteral("fifo.txt"))), 0600), 0);
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path(QStringLiteral("zero.txt"))));
        QVERIFY(QFile::link(path(QStringLiteral("data.txt")), path(QStringLiteral("link.txt"))));
        QVERIFY(!loadDataFile(path(QStringLiteral("fifo.txt"))) && !loadDataFile(path(QStringLiteral("zero.txt"))));
        QVERIFY(loadDataFile(path(QStringLiteral("link.txt"))));
    }

    // The file may change between the count and the parse.
    void allocation_data()
    {
        QTest::addColumn<int>("timeLines");
        QTest::addColumn<int>("allocated");
        QTest::addColumn<int>("returned");
        QTest::addColumn<int>("count");
        QTest::newRow("as counted") << 3 << 3 << 3 << 3;
        QTest::newRow("grew") << 5 << 2 << 2 << 2;
        QTest::newRow("shrank") << 2 << 5 << 2 << 2;
        QTest::newRow("nothing allocated") << 2 << 0 << -1 << 0;
    }

    void allocation()
    {
        QFETCH(int, timeLines);
        QFETCH(int, allocated);
        QFETCH(int, returned);
        QFETCH(int, count);
        QByteArray content;
        for (int i = 0; i < timeLines; ++i)
            content += QStringLiteral("2018/05/06 14:03:%1\nUA=%2\n").arg(i, 2, 10, QLatin1Char('0')).arg(i + 1).toLatin1();
        const QString p = path(QStringLiteral("alloc.txt"));
        QVERIFY(zeptest::writeBytes(p, content));
        DataFile file(p, quint32(allocated));
        QCOMPARE(readRecords(&file), returned);
        QCOMPARE(int(file.count), count);
        for (int i = 0; i < count; ++i) {
            QCOMPARE(file.records[i].time, kExampleTime - 21 + uint32_t(i));
            QCOMPARE(file.records[i].value(1), float(i + 1));
        }
    }

    void progress()
    {
        const QString p = path(QStringLiteral("progress.txt"));
        QByteArray content;
        for (int i = 0; i < 50; ++i)
            content += kExampleRecord;
        QVERIFY(zeptest::writeBytes(p, content));
        QVector<int> seen;
        DataFile file(p, 50);
        QCOMPARE(readRecords(&file, [&seen](int percent) { seen.append(percent); }), 50);
        QVERIFY(!seen.isEmpty());
        QCOMPARE(seen.last(), 100);
        for (int i = 1; i < seen.size(); ++i)
            QVERIFY(seen[i] > seen[i - 1]);

        // An empty file reports nothing and divides by nothing.
        QVERIFY(zeptest::writeBytes(p, QByteArray()));
        seen.clear();
        DataFile empty(p, 1);
        QCOMPARE(readRecords(&empty, [&seen](int percent) { seen.append(percent); }), -1);
        QVERIFY(seen.isEmpty());
    }
};

ZEP_TEST_MAIN_CORE(TestDataFile)
#include "tst_datafile.moc"
