// The real reader against the step-by-step reference reader, on generated,
// mutated and garbage files, in time zones with daylight-saving changes.

#include "data/datafile.h"
#include "data/localtimecache.h"
#include "datafiletestutil.h"
#include "referencereader.h"
#include "coretesting.h"

#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstring>
#include <memory>

namespace {

const char *const kZones[] = {"UTC", "Europe/Berlin", "Australia/Lord_Howe", "America/Sao_Paulo"};

// Instants near the 2018 changes of those zones: Sao Paulo at midnight
// (Feb 18, Nov 4), Berlin (Mar 25, Oct 28), Lord Howe by half an hour
// (Apr 1, Oct 7).
const qint64 kChanges[] = {1518912000, 1521936000, 1522540800, 1538870400, 1540684800, 1541289600};

const char *const kNumbers[] = {
    "0", "-0", "-0.00", "5.", ".5", "-.5", ".", "-", "+5", "1e5", "1E-3", "1e", "1e39", "-1e39",
    "3.4028235e38", "4.4e-45", "1e-50", "inf", "-inf", "+inf", "INF", "nan", "-nan", "NaN",
    "0x10", "1,5", "1..2", "--5", "5-", "000000000000000000000000005", "12345678901234567890",
    "9007199254740993", "9007199254740992", "0.00000000000000000000005", "7.00000000000000000000000", "0.1234567890123456789012", "1.0000000000000000000001",
    "220.50", "-05.10", "00.973", "3412.5", "x", "=", "V", "\xc2\xb5", "\xef\xbc\x95"};

const char *const kNames[] = {"UA", " UA  ", "UB", "UVavr", "COS", "FR", "KbfIc", "UnbI", "ua", "Ua",
                              "UAx", "XX", "TIME", "U", "ThdUa", "Iavr", "TS", "U\xc2\xa0" "A", ""};

const char *const kBlanks[] = {" ", "  ", "\t", "\x0b", "\x0c", "\r", " \t ", "\xc2\xa0", "\xe3\x80\x80",
                               "\x1c", ""};

const char *const kTimeLines[] = {
    "2018/13/06 14:03:21", "2018/05/06 99:03:21", "2018/05/06 24:00:00", "2018/02/29 12:00:00",
    "2016/02/29 12:00:00", "2018/5/6 14:03:21", "1969/12/31 23:59:59", "1970/01/01 00:00:00",
    "2106/02/07 06:28:15", "2106/02/07 06:28:14", "2105/12/31 23:59:59", "0000/01/01 00:00:00",
    "2018/03/25 02:30:00", "2018/10/28 02:30:00", "2018/11/04 00:30:00", "2018/02/17 23:30:00",
    "2018/04/01 01:45:00", "2018/10/07 02:15:00", " 2018/05/06\t 14:03:21\r", "2018/05/06 14:03:21 x",
    "+2018/05/06 14:03:21", "2018/05/06  14:03:21", "2018/05/0614:03:21", "x/y/z a:b:c",
    "2018/05/06 14:03:2\xc3\xa1", "\xef\xbb\xbf" "2018/05/06 14:03:21"};

const char *const kSnippets[] = {"=", "/", ":", "\n", "\r\n", "\r", " = ", "==", "//", "::", "UA=", "=7",
                                 "UA=1", "ua=1", "XX=3", "\t", "\x7f", "\xff", "\xc3", "\xe2\x82",
                                 "\xef\xbb\xbf", "\xc0\xaf", "\xc2\xa0", "\xe3\x80\x80", "\xc2\x85"};

class Generator
{
public:
    explicit Generator(quint32 seed)
        : m_rng(seed)
    {
    }

    int below(int n) { return n > 0 ? int(m_rng.bounded(quint32(n))) : 0; }
    template <typename T, size_t N>
    const char *pick(T (&list)[N])
    {
        return list[below(int(N))];
    }

    double value()
    {
        switch (below(8)) {
        case 0:
            return 0.0;
        case 1:
            return -double(below(1000)) / 100.0;
        case 2:
            return m_rng.generateDouble() * 1e9;
        default:
            return (m_rng.generateDouble() - 0.2) * std::pow(10.0, below(6));
        }
    }

    uint32_t start()
    {
        if (below(4) == 0)
            return m_rng.generate();
        const qint64 t = kChanges[below(int(std::size(kChanges)))] - 2 * 86400 + below(4 * 86400);
        return uint32_t(t);
    }

    QByteArray entryLine()
    {
        QByteArray line = pick(kBlanks);
        const int n = 1 + below(10);
        for (int i = 0; i < n; ++i) {
            line += pick(kNames);
            line += below(3) ? "" : pick(kBlanks);
            line += "=";
            line += below(2) ? " " : pick(kBlanks);
            line += below(2) ? QByteArray::number(value(), 'f', below(4)) : QByteArray(pick(kNumbers));
            line += below(2) ? " V    " : pick(kBlanks);
        }
        return line + (below(5) ? "\n" : "\r\n");
    }

    QByteArray timeLine()
    {
        if (below(2))
            return QByteArray(pick(kTimeLines)) + "\n";
        return QDateTime::fromTime_t(start()).toString(QStringLiteral("yyyy/MM/dd hh:mm:ss\n")).toLatin1();
    }

    // A file written by writeRecord, then mangled.
    QByteArray file(const QString &path)
    {
        {
            QFile f(path);
            if (!f.open(QIODevice::WriteOnly | QIODevice::Text))
                return QByteArray();
            const int n = below(9);
            uint32_t t = start();
            const int step = below(3) ? 1 + below(1800) : below(200000);
            double values[kValueCount];
            for (int i = 0; i < n; ++i) {
                for (double &v : values)
                    v = value();
                writeRecord(f, t, values);
                t += uint32_t(step);
            }
        }
        QByteArray bytes = zeptest::readBytes(path);
        const int mutations = below(7);
        for (int m = 0; m < mutations; ++m)
            mutate(bytes);
        return bytes;
    }

    void mutate(QByteArray &bytes)
    {
        const int at = below(bytes.size() + 1);
        switch (below(11)) {
        case 0:
            bytes.remove(at, 1 + below(300));
            break;
        case 1:
            bytes.insert(at, pick(kSnippets));
            break;
        case 2: {
            QByteArray longLine;
            const int n = 150 + below(1500);
            while (longLine.size() < n)
                longLine += entryLine().replace('\n', ' ').replace('\r', ' ');
            bytes.insert(at, longLine);
            break;
        }
        case 3:
            bytes.replace("\n", "\r\n");
            break;
        case 4:
            bytes.insert(lineStart(bytes, at), entryLine());
            break;
        case 5: {
            const int eq = bytes.indexOf('=', at);
            if (eq >= 0)
                bytes.insert(eq + 1, pick(kNumbers));
            break;
        }
        case 6:
            if (!bytes.isEmpty()) {
                static const char special[] = {'\0', '=', '/', ':', '\n', '\r', ' ', '\t', '.', '-', '0', '9'};
                bytes[qMin(at, bytes.size() - 1)] =
                    below(2) ? special[below(int(sizeof special))] : char(below(256));
            }
            break;
        case 7:
            bytes.insert(lineStart(bytes, at), timeLine());
            break;
        case 8: {
            const int nl = bytes.indexOf('\n', at);
            if (nl >= 0)
                bytes.remove(nl, 1);
            break;
        }
        case 9:
            bytes.insert(at, bytes.mid(below(bytes.size()), below(2000)));
            break;
        default:
            bytes.insert(lineStart(bytes, at), QByteArray(1, '\0') + entryLine());
            break;
        }
    }

    static int lineStart(const QByteArray &bytes, int at)
    {
        const int nl = at > 0 ? bytes.lastIndexOf('\n', at - 1) : -1;
        return nl + 1;
    }

    QRandomGenerator m_rng;
};

} // namespace

class TestDataFileReference : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path(const QString &name) const { return m_dir.filePath(name); }

    // Empty when the real reader and the reference agree on the file at path.
    QString mismatch(const QString &path, int allocationDelta = 0)
    {
        const int counted = countRecords(path);
        const int expectedCount = reference::countRecords(path);
        if (counted != expectedCount)
            return QStringLiteral("countRecords %1, reference %2").arg(counted).arg(expectedCount);
        const quint32 allocated = quint32(qMax(0, counted + allocationDelta));
        DataFile file(path, allocated);
        std::vector<int> progress;
        const int returned = readRecords(&file, [&progress](int p) { progress.push_back(p); });
        const reference::Result ref = reference::readRecords(path, allocated);
        if (returned != ref.returned)
            return QStringLiteral("readRecords %1, reference %2").arg(returned).arg(ref.returned);
        if (file.count != ref.count)
            return QStringLiteral("count %1, reference %2").arg(file.count).arg(ref.count);
        if (progress != ref.progress)
            return QStringLiteral("progress differs");
        const QString differs = recordsDiffer(file.records, ref, allocated);
        if (!differs.isEmpty() || allocationDelta != 0)
            return differs;

        // The one-pass load gives what the count and the read give.
        progress.clear();
        const std::unique_ptr<DataFile> loaded = loadDataFile(path, [&progress](int p) { progress.push_back(p); });
        if (!loaded)
            return ref.returned < 0 ? QString() : QStringLiteral("loadDataFile refused the file");
        if (loaded->count != ref.count || progress != ref.progress)
            return QStringLiteral("loadDataFile: count %1, reference %2, or progress differs").arg(loaded->count).arg(ref.count);
        if (loaded->unreadableTimes != file.unreadableTimes || loaded->incompleteRecords != file.incompleteRecords)
            return QStringLiteral("loadDataFile: patched records differ");
        return recordsDiffer(loaded->records, ref, ref.count);
    }

    static QString recordsDiffer(const SampleRecord *records, const reference::Result &ref, quint32 count)
    {
        for (quint32 i = 0; i < count; ++i) {
            if (memcmp(&records[i], &ref.records[i], sizeof(SampleRecord)) == 0)
                continue;
            QString diff = QStringLiteral("record %1:").arg(i);
            if (records[i].time != ref.records[i].time)
                diff += QStringLiteral(" time %1 vs %2").arg(records[i].time).arg(ref.records[i].time);
            for (int k = 1; k <= kValueCount; ++k) {
                uint32_t a, b;
                const float fa = records[i].value(k), fb = ref.records[i].value(k);
                memcpy(&a, &fa, 4);
                memcpy(&b, &fb, 4);
                if (a != b)
                    diff += QStringLiteral(" column %1 %2 vs %3").arg(k).arg(a, 8, 16).arg(b, 8, 16);
            }
            return diff;
        }
        return QString();
    }

    // Keeps the offending file where it can be inspected after the run.
    QString keep(const QString &from, const QString &why)
    {
        const QString kept = QDir::temp().filePath(QStringLiteral("zep-reader-mismatch.txt"));
        QFile::remove(kept);
        QFile::copy(from, kept);
        return why + QStringLiteral(" (file kept as %1)").arg(kept);
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void cleanup() { zeptest::useZone("UTC"); }

    // The build reads with the scan it asked for: the portable loop when
    // configured with ZEP_DATAFILE_SCALAR, SSE2 wherever the compiler has it.
    void scanAsBuilt()
    {
#if defined(ZEP_DATAFILE_SCALAR) || !defined(__SSE2__)
        QVERIFY(!dataFileReaderUsesSse2());
#else
        QVERIFY(dataFileReaderUsesSse2());
#endif
    }

    void zoneIsHonoured()
    {
        zeptest::useZone("Europe/Berlin");
        QCOMPARE(QDateTime::fromTime_t(1530403200u).offsetFromUtc(), 7200);
        zeptest::useZone("UTC");
        QCOMPARE(QDateTime::fromTime_t(1530403200u).offsetFromUtc(), 0);
    }

    void localTimes_data()
    {
        QTest::addColumn<QByteArray>("zone");
        for (const char *zone : kZones)
            QTest::newRow(zone) << QByteArray(zone);
    }

    // Every wall-clock time around the changes, including the missing and
    // the repeated ones, converts as QDateTime converts it.
    void localTimes()
    {
        QFETCH(QByteArray, zone);
        zeptest::useZone(zone);
        LocalTimeCache cache;
        const QString pattern = QStringLiteral("yyyy/MM/dd hh:mm:ss");
        auto check = [&](const QString &text) {
            const QByteArray latin = text.toLatin1();
            const uint32_t fast = cache.convert(latin.constData());
            const uint32_t qt = LocalTimeCache::convertWithQt(text);
            if (fast != qt)
                QTest::qFail(qPrintable(QStringLiteral("%1: %2 vs %3").arg(text).arg(fast).arg(qt)), __FILE__, __LINE__);
            return fast == qt;
        };
        for (qint64 change : kChanges) {
            cache = LocalTimeCache();
            const QDateTime wall = QDateTime::fromSecsSinceEpoch(change, Qt::UTC).addDays(-2);
            for (qint64 s = 0; s < 4 * 86400; s += 97) {
                if (!check(wall.addSecs(s).toString(pattern)))
                    return;
            }
        }
        // Days anywhere in the range, each met by a cache of its own so that
        // the day is worked out rather than left to QDateTime.
        QRandomGenerator rng(11);
        for (int i = 0; i < 500; ++i) {
            cache = LocalTimeCache();
            const QString text = QDateTime::fromSecsSinceEpoch(qint64(rng.generate64() % Q_UINT64_C(4354819200)), Qt::UTC)
                                     .toString(pattern);
            if (!check(text))
                return;
        }
        cache = LocalTimeCache();
        for (const char *text : {"2018/13/06 14:03:21", "2018/02/29 12:00:00", "2016/02/29 12:00:00",
                                 "1970/01/01 00:00:00", "1969/12/31 23:59:59", "2106/02/07 06:28:15",
                                 "2106/02/07 06:28:14", "0000/01/01 00:00:00", "9999/12/31 23:59:59",
                                 "2018/00/10 10:00:00", "2018/01/00 10:00:00", "2018/01/10 10:00:00",
                                 "2018/01/10 10:60:00", "2018/01/10 10:00:60", "2018/01/10 10:59:59"}) {
            if (!check(QString::fromLatin1(text)))
                return;
        }
    }

    void generated_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<quint32>("seed");
        quint32 seed = 1;
        for (const char *zone : kZones)
            QTest::newRow(zone) << QByteArray(zone) << seed++;
    }

    void generated()
    {
        QFETCH(QByteArray, zone);
        QFETCH(quint32, seed);
        zeptest::useZone(zone);
        Generator gen(seed);
        const QString p = path(QStringLiteral("generated.txt"));
        const QString scratch = path(QStringLiteral("scratch.txt"));
        for (int i = 0; i < 700; ++i) {
            const QByteArray bytes = gen.file(scratch);
            QVERIFY(zeptest::writeBytes(p, bytes));
            // Mostly as counted; sometimes as if the file had changed size.
            const int delta = gen.below(5) ? 0 : gen.below(5) - 2;
            const QString why = mismatch(p, delta);
            if (!why.isEmpty())
                QFAIL(qPrintable(keep(p, QStringLiteral("file %1: %2").arg(i).arg(why))));
        }
    }

    void binaryGarbage()
    {
        Generator gen(99);
        const QString p = path(QStringLiteral("garbage.txt"));
        for (int i = 0; i < 300; ++i) {
            QByteArray bytes(gen.below(20000), Qt::Uninitialized);
            // Half of the files lean towards the characters the reader cares about.
            static const char biased[] = "/:=\n\r \t0123456789.-eE\0\x80\xc3\xa9UAB";
            const bool lean = i % 2;
            for (char &c : bytes)
                c = lean ? biased[gen.below(int(sizeof biased) - 1)] : char(gen.below(256));
            if (gen.below(2))
                bytes.prepend("2018/05/06 14:03:21\n");
            QVERIFY(zeptest::writeBytes(p, bytes));
            const QString why = mismatch(p);
            if (!why.isEmpty())
                QFAIL(qPrintable(keep(p, QStringLiteral("garbage %1: %2").arg(i).arg(why))));
        }
    }

    // One value field of a written record replaced: lines as written are
    // read from fixed places, anything else as any other line.
    void writtenFields_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QByteArray>("field");
        const struct {
            int column;
            const char *field;
        } rows[] = {{1, "-00.00"}, {1, "-99.99"}, {1, "999.99"}, {13, "9999.9"}, {13, "-999.9"}, {16, "99.999"},
                    {16, "-9.999"}, {31, "-00.01"}, {29, "000.00"}, {1, "1234.5"}, {16, "1.2345"}, {1, "+12.34"},
                    {1, "12-.34"}, {1, "-1-.34"}, {1, "1 2.34"}, {1, "12.3 4"}, {25, "1=2.34"}, {1, "1\xc2\xb5.34"},
                    {4, "1/:./:"}, {30, "1/:./:"}, {1, "12.3\x00" "4"}, {1, "9:/.//"}};
        for (const auto &row : rows)
            QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(row.column).arg(QString::fromLatin1(row.field).toHtmlEscaped())))
                << row.column << QByteArray(row.field, 6);
    }

    void writtenFields()
    {
        QFETCH(int, column);
        QFETCH(QByteArray, field);
        zeptest::useZone("Europe/Berlin");
        const QString p = path(QStringLiteral("field.txt"));
        {
            QFile f(p);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Text));
            double values[kValueCount];
            for (int k = 0; k < kValueCount; ++k)
                values[k] = 1.25 * k - 7;
            for (uint32_t t = 1521939600u; t < 1521939600u + 3; ++t)
                writeRecord(f, t, values);
        }
        QByteArray bytes = zeptest::readBytes(p);
        const int at = bytes.indexOf(QByteArray(ParamTable[column].name) + "= ", bytes.indexOf('\n') + 1);
        QVERIFY(at > 0);
        bytes.replace(at + 7, 6, field);
        QVERIFY(zeptest::writeBytes(p, bytes));
        const QString why = mismatch(p);
        QVERIFY2(why.isEmpty(), qPrintable(why));
    }

    // Records far shorter than written ones: the one-pass load outgrows
    // the room it guessed from the file size.
    void shortRecords()
    {
        QByteArray bytes;
        for (int i = 0; i < 5000; ++i)
            bytes += "2018/05/06 14:03:21\nUA=" + QByteArray::number(i) + '\n';
        const QString p = path(QStringLiteral("short.txt"));
        QVERIFY(zeptest::writeBytes(p, bytes));
        const QString why = mismatch(p);
        QVERIFY2(why.isEmpty(), qPrintable(why));
    }

    // 10 MB without a line break: 199-byte pieces all the way, entries cut
    // at every boundary.
    void longLine()
    {
        QByteArray bytes = "2018/05/06 14:03:21\n";
        const QByteArray entries = " UA  = 220.50 V     UB  = 221.00 V    Iavr = 005.20 A    COS  = 00.973      ";
        while (bytes.size() < 10 * 1024 * 1024)
            bytes += entries;
        bytes += "\n2018/05/06 14:03:22\nUA=1\n";
        const QString p = path(QStringLiteral("long.txt"));
        QVERIFY(zeptest::writeBytes(p, bytes));
        const QString why = mismatch(p);
        QVERIFY2(why.isEmpty(), qPrintable(why));
        QCOMPARE(countRecords(p), 2);
    }
};

ZEP_TEST_MAIN_CORE(TestDataFileReference)
#include "tst_datafile_reference.moc"
