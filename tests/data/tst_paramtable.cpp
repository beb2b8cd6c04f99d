#include "data/paramtable.h"
#include "data/samplerecord.h"
#include "coretesting.h"

#include <QDateTime>

#include <cstring>

class TestParamTable : public QObject
{
    Q_OBJECT

private slots:
    void timeColumn()
    {
        QCOMPARE(QString::fromLatin1(ParamTable[0].name), QStringLiteral("TIME "));
        QVERIFY(QByteArray(ParamTable[0].unit).isEmpty());
        QVERIFY(QByteArray(ParamTable[0].decimals).isEmpty());
    }

    void columns_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("unit");
        QTest::addColumn<int>("decimals");
        const char *names[] = {"UA", "UB", "UC", "Uavr", "UAB", "UBC", "UCA", "UVavr", "IA", "IB",
                               "IC", "Iavr", "TP", "TQ", "TS", "COS", "FR", "ThdUa", "ThdUb",
                               "ThdUc", "ThdIa", "ThdIb", "ThdIc", "KbfUa", "KbfUb", "KbfUc",
                               "KbfIa", "KbfIb", "KbfIc", "UnbU", "UnbI"};
        for (int c = 1; c <= 31; ++c) {
            QString unit;
            if (c <= 8)
                unit = QStringLiteral("V");
            else if (c <= 12)
                unit = QStringLiteral("A");
            else if (c == 13)
                unit = QStringLiteral("W");
            else if (c == 14)
                unit = QStringLiteral("Var");
            else if (c == 15)
                unit = QStringLiteral("VA");
            else if (c == 17)
                unit = QStringLiteral("Hz");
            else if ((c >= 18 && c <= 23) || c >= 30)
                unit = QStringLiteral("%");
            const int decimals = (c >= 13 && c <= 15) ? 1 : (c == 16 || c == 17) ? 3 : 2;
            QTest::addRow("%d", c) << c << QString::fromLatin1(names[c - 1]) << unit << decimals;
        }
    }

    void columns()
    {
        QFETCH(int, column);
        QFETCH(QString, name);
        QFETCH(QString, unit);
        QFETCH(int, decimals);
        const ParamEntry &e = ParamTable[column];
        QCOMPARE(int(strlen(e.name)), 5);
        QCOMPARE(int(strlen(e.unit)), 5);
        QCOMPARE(QString::fromLatin1(e.name).simplified(), name);
        QCOMPARE(QString::fromLatin1(e.unit).simplified(), unit);
        QCOMPARE(QString::fromLatin1(e.decimals).toInt(nullptr, 10), decimals);
        QCOMPARE(columnDecimals(column), decimals);
    }

    void paddingIsKept()
    {
        // Leading blanks are part of some names and reach the data files as they are.
        QCOMPARE(QByteArray(ParamTable[1].name), QByteArray(" UA  "));
        QCOMPARE(QByteArray(ParamTable[8].name), QByteArray("UVavr"));
        QCOMPARE(QByteArray(ParamTable[14].unit), QByteArray("Var  "));
        QCOMPARE(QByteArray(ParamTable[16].unit), QByteArray("     "));
    }

    void recordLayout()
    {
        QCOMPARE(sizeof(SampleRecord), size_t(128));
        SampleRecord r;
        memset(&r, 0, sizeof r);
        QCOMPARE(r.time, 0u);
        QCOMPARE(QDateTime::fromSecsSinceEpoch(r.time, Qt::UTC).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")),
                 QStringLiteral("1970-01-01 00:00:00"));
        for (int c = 1; c <= 31; ++c)
            QCOMPARE(r.value(c), 0.0f);

        // Cell k of the raw 32-cell view is column k.
        for (int c = 1; c <= 31; ++c)
            r.setValue(c, float(c) + 0.5f);
        r.time = 0x01020304u;
        unsigned char raw[128];
        memcpy(raw, &r, sizeof raw);
        uint32_t t;
        memcpy(&t, raw, 4);
        QCOMPARE(t, 0x01020304u);
        for (int c = 1; c <= 31; ++c) {
            float f;
            memcpy(&f, raw + 4 * c, 4);
            QCOMPARE(f, float(c) + 0.5f);
        }
        QCOMPARE(SampleRecord::kInvalidTime, 4294967295u);
    }
};

ZEP_TEST_MAIN_CORE(TestParamTable)
#include "tst_paramtable.moc"
