#include "data/datafile.h"
#include "realtime/livejournal.h"
#include "coretesting.h"

#include <QThread>

#include <atomic>

namespace {

const uint32_t kStart = 1525586601u;

void valuesOf(int i, double out[kValueCount])
{
    for (int k = 1; k <= kValueCount; ++k)
        out[k - 1] = zeptest::sampleValue(i, k);
}

} // namespace

class TestLiveJournal : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir;

private slots:
    void init() { dir = std::make_unique<QTemporaryDir>(); }

    void recordsReadBackAsWritten()
    {
        const QString folder = dir->filePath(QStringLiteral("new/sub"));
        LiveJournal journal(folder);
        QVERIFY(journal.path().isEmpty());
        double values[kValueCount];
        const int n = 5;
        for (int i = 0; i < n; ++i) {
            valuesOf(i, values);
            QCOMPARE(journal.append(kStart + uint32_t(i) * 5, values), LiveJournal::AppendResult::Written);
            if (i == 2)
                journal.sync();
            // Each record is in the file as soon as append returns.
            QCOMPARE(countRecords(journal.path()), i + 1);
        }
        QCOMPARE(journal.path(), QDir(folder).filePath(LiveJournal::fileNameFor(kStart)));
        QVERIFY(LiveJournal::fileNameFor(kStart).startsWith(QLatin1String("journal-")));
        QVERIFY(QDir::match(LiveJournal::fileNamePattern(), LiveJournal::fileNameFor(kStart)));

        const std::unique_ptr<DataFile> file = loadDataFile(journal.path());
        QVERIFY(file);
        QCOMPARE(int(file->count), n);
        for (int i = 0; i < n; ++i) {
            QCOMPARE(file->records[i].time, kStart + uint32_t(i) * 5);
            for (int k = 1; k <= kValueCount; ++k)
                QCOMPARE(file->records[i].value(k), float(zeptest::sampleValue(i, k)));
        }
        // The same bytes as a data file written by the save flow.
        const QString saved = dir->filePath(QStringLiteral("saved.txt"));
        QVERIFY(zeptest::writeSampleFile(saved, n, kStart, 5));
        QFile a(saved), b(journal.path());
        QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        QCOMPARE(b.readAll(), a.readAll());
    }

    void endsAsTold_data()
    {
        QTest::addColumn<bool>("remove");
        QTest::addColumn<bool>("fileStays");
        QTest::newRow("remove") << true << false;
        QTest::newRow("close") << false << true;
    }

    void endsAsTold()
    {
        QFETCH(bool, remove);
        QFETCH(bool, fileStays);
        LiveJournal journal(dir->path());
        double values[kValueCount];
        valuesOf(0, values);
        QCOMPARE(journal.append(kStart, values), LiveJournal::AppendResult::Written);
        const QString path = journal.path();
        QVERIFY(QFile::exists(LiveJournal::lockFileFor(path)));
        if (remove)
            journal.remove();
        else
            journal.close();
        QCOMPARE(QFile::exists(path), fileStays);
        QVERIFY(!QFile::exists(LiveJournal::lockFileFor(path)));
        // Ended: later polls start no new file.
        QCOMPARE(journal.append(kStart + 1, values), LiveJournal::AppendResult::Off);
        QCOMPARE(QDir(dir->path()).entryList({LiveJournal::fileNamePattern()}).size(), fileStays ? 1 : 0);
        if (fileStays)
            QCOMPARE(countRecords(path), 1);
    }

    void earlierJournalOfTheSameSecondIsLeftAlone()
    {
        const QString earlier = QDir(dir->path()).filePath(LiveJournal::fileNameFor(kStart));
        QVERIFY(zeptest::writeSampleFile(earlier, 2, kStart));
        const QByteArray before = [&] { QFile f(earlier); f.open(QIODevice::ReadOnly); return f.readAll(); }();
        LiveJournal journal(dir->path());
        double values[kValueCount];
        valuesOf(7, values);
        QCOMPARE(journal.append(kStart, values), LiveJournal::AppendResult::Written);
        QVERIFY(journal.path() != earlier);
        QCOMPARE(countRecords(journal.path()), 1);
        QFile f(earlier);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
        // Removing the new one leaves the earlier one.
        journal.remove();
        QVERIFY(QFile::exists(earlier));
    }

    void unwritableFolderFailsOnce()
    {
        // A file where the folder should be: no permission helps, not even
        // for root.
        const QString blocker = dir->filePath(QStringLiteral("blocked"));
        QVERIFY(zeptest::writeSampleFile(blocker, 1));
        LiveJournal journal(blocker + QStringLiteral("/inside"));
        double values[kValueCount];
        valuesOf(0, values);
        QCOMPARE(journal.append(kStart, values), LiveJournal::AppendResult::Failed);
        QVERIFY(journal.path().endsWith(LiveJournal::fileNameFor(kStart)));
        QVERIFY(journal.path().startsWith(blocker));
        for (int i = 1; i < 4; ++i)
            QCOMPARE(journal.append(kStart + uint32_t(i), values), LiveJournal::AppendResult::Off);
        journal.remove();
        QCOMPARE(countRecords(blocker), 1);
    }

    // The sampling thread appends while the user interface ends the journal.
    void endedWhileAnotherThreadAppends()
    {
        for (int round = 0; round < 20; ++round) {
            auto journal = std::make_shared<LiveJournal>(dir->path(), 0);
            std::atomic<int> written{0};
            std::atomic<bool> off{false};
            QThread *writer = QThread::create([&] {
                double values[kValueCount];
                for (int i = 0; i < 2000 && !off; ++i) {
                    valuesOf(i, values);
                    const LiveJournal::AppendResult r = journal->append(kStart + uint32_t(i), values);
                    if (r == LiveJournal::AppendResult::Written)
                        ++written;
                    else
                        off = true;
                }
                journal->sync();
            });
            writer->start();
            while (written < 3 && !writer->isFinished())
                QThread::yieldCurrentThread();
            const QString path = journal->path();
            if (round % 2)
                journal->remove();
            else
                journal->close();
            writer->wait();
            delete writer;
            QVERIFY(written >= 3);
            if (round % 2) {
                QVERIFY(!QFile::exists(path));
            } else {
                QCOMPARE(countRecords(path), written.load());
                QVERIFY(QFile::remove(path));
            }
        }
    }
};

ZEP_TEST_MAIN_CORE(TestLiveJournal)
#include "tst_livejournal.moc"
