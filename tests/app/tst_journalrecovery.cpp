#include "app/journalrecovery.h"
#include "data/datafile.h"
#include "realtime/livejournal.h"
#include "testsupport.h"

#include <QLabel>
#include <QLockFile>

Q_DECLARE_METATYPE(QMessageBox::StandardButton)

namespace {

const uint32_t kStart = 1525586601u;

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString spanText(uint32_t first, uint32_t last)
{
    const QString pattern = QStringLiteral("yyyy/MM/dd hh:mm:ss");
    return QDateTime::fromTime_t(first).toString(pattern) + QStringLiteral(" -> ")
           + QDateTime::fromTime_t(last).toString(pattern);
}

} // namespace

class TestJournalRecovery : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir;

    // A journal of n records of the test samples, as the writer leaves it.
    QString writeJournal(int n, uint32_t start = kStart)
    {
        const QString path = QDir(dir->path()).filePath(LiveJournal::fileNameFor(start));
        if (!zeptest::writeSampleFile(path, n, start, 5))
            return QString();
        return path;
    }

private slots:
    void init() { dir = std::make_unique<QTemporaryDir>(); }

    // Where the program stopped writing, counted back from the end of the
    // last of three records.
    void truncatedLastRecord_data()
    {
        QTest::addColumn<int>("cutBytes");
        QTest::addColumn<int>("records");
        QTest::newRow("whole") << 0 << 3;
        QTest::newRow("last line break missing") << 1 << 2;
        QTest::newRow("inside the last value line") << 40 << 2;
        QTest::newRow("after the sixth value line") << -1 << 2;
        QTest::newRow("after the time line") << -2 << 2;
        QTest::newRow("inside the time line") << -3 << 2;
    }

    void truncatedLastRecord()
    {
        QFETCH(int, cutBytes);
        QFETCH(int, records);
        const QString path = writeJournal(3);
        const QByteArray whole = contents(path);
        const int recordBytes = whole.size() / 3;
        const QByteArray third = whole.mid(2 * recordBytes);
        int keep = whole.size() - cutBytes;
        if (cutBytes == -1)
            keep = 2 * recordBytes + third.lastIndexOf('\n', third.size() - 2) + 1;
        else if (cutBytes == -2)
            keep = 2 * recordBytes + third.indexOf('\n') + 1;
        else if (cutBytes == -3)
            keep = 2 * recordBytes + 7;
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(whole.left(keep));
        }
        const JournalSummary s = inspectJournal(path);
        QCOMPARE(s.records, records);
        QCOMPARE(s.completeBytes, qint64(records * recordBytes));
        QCOMPARE(s.firstTime, kStart);
        QCOMPARE(s.lastTime, kStart + uint32_t(records - 1) * 5);
        QVERIFY(recoveryQuestionText(s).contains(QStringLiteral("%1条记录").arg(records)));
        QVERIFY(recoveryQuestionText(s).contains(spanText(s.firstTime, s.lastTime)));

        // Saved, it is the complete records exactly, and opens as a data file.
        const QString target = dir->filePath(QStringLiteral("saved.txt"));
        QVERIFY(writeRecoveredJournal(s, target));
        QCOMPARE(contents(target), whole.left(records * recordBytes));
        const std::unique_ptr<DataFile> file = loadDataFile(target);
        QVERIFY(file);
        QCOMPARE(int(file->count), records);
        QCOMPARE(file->records[records - 1].value(31), float(zeptest::sampleValue(records - 1, 31)));
    }

    // A journal notes beside it whose polls it keeps, so that the question
    // after a crash names the meter; without the note (an older journal)
    // it names none.
    void questionNamesTheMeter()
    {
        LiveJournal journal(dir->path());
        journal.setMeter({QStringLiteral("空调"), 2});
        SampleRecord poll{};
        QCOMPARE(journal.appendPoll(kStart, poll), LiveJournal::AppendResult::Written);
        journal.close();
        const JournalSummary s = inspectJournal(journal.path());
        QVERIFY(s.hasMeter);
        QVERIFY(recoveryQuestionText(s).startsWith(QStringLiteral("上次运行留下了电表“空调”（地址 2）未保存的实时数据，1条记录")));
        QVERIFY(QFile::remove(LiveJournal::meterNoteFor(journal.path())));
        QVERIFY(recoveryQuestionText(inspectJournal(journal.path())).startsWith(QStringLiteral("上次运行留下了未保存的实时数据")));
    }

    void nothingComplete_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("time line only") << QByteArray("2018/05/06 14:03:21\n");
        QTest::newRow("cut time line") << QByteArray("2018/05/06 14:0");
    }

    void nothingComplete()
    {
        QFETCH(QByteArray, bytes);
        const QString path = QDir(dir->path()).filePath(LiveJournal::fileNameFor(kStart));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        }
        QCOMPARE(inspectJournal(path).records, 0);
        // Nothing to offer: it goes without a question.
        zeptest::MessageBoxLog boxes;
        boxes.start();
        offerJournals(nullptr, dir->path(), [] { return QString(); });
        boxes.stop();
        QVERIFY(boxes.seen.isEmpty());
        QVERIFY(!QFile::exists(path));
    }

    void answers_data()
    {
        QTest::addColumn<QMessageBox::StandardButton>("answer");
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("journalStays");
        QTest::addColumn<bool>("saved");
        QTest::addColumn<int>("boxes");
        QTest::newRow("save") << QMessageBox::Save << "saved.txt" << false << true << 1;
        QTest::newRow("save, dialog cancelled") << QMessageBox::Save << "" << true << false << 1;
        QTest::newRow("save fails") << QMessageBox::Save << "no/such/dir/saved.txt" << true << false << 2;
        QTest::newRow("discard") << QMessageBox::Discard << "saved.txt" << false << false << 1;
        QTest::newRow("later") << QMessageBox::Ignore << "saved.txt" << true << false << 1;
    }

    void answers()
    {
        QFETCH(QMessageBox::StandardButton, answer);
        QFETCH(QString, target);
        QFETCH(bool, journalStays);
        QFETCH(bool, saved);
        QFETCH(int, boxes);
        const QString journal = writeJournal(4);
        const QByteArray before = contents(journal);
        const QString targetPath = target.isEmpty() ? QString() : dir->filePath(target);
        int asked = 0;
        QStringList reports;
        zeptest::MessageBoxLog log;
        log.answers = {answer};
        log.start();
        const auto ask = [&] { return ++asked, targetPath; };
        offerJournals(nullptr, dir->path(), ask, [&](const JournalSummary &j, const QString &f) { reports << savedRecordsText(j.records, f); });
        log.stop();
        QCOMPARE(reports, saved ? QStringList{"已保存 4 条记录到 " + targetPath} : QStringList{});
        QCOMPARE(log.seen.size(), boxes);
        QCOMPARE(log.seen.at(0).title, QStringLiteral("提示"));
        QCOMPARE(log.seen.at(0).buttons, QMessageBox::Save | QMessageBox::Discard | QMessageBox::Ignore);
        QVERIFY(log.seen.at(0).text.contains(QStringLiteral("4条记录")));
        QVERIFY(log.seen.at(0).text.contains(spanText(kStart, kStart + 15)));
        if (boxes == 2) {
            QCOMPARE(log.seen.at(1).title, QStringLiteral("错误"));
            QVERIFY(log.seen.at(1).text.contains(QStringLiteral("saved.txt")));
        }
        QCOMPARE(asked, answer == QMessageBox::Save ? 1 : 0);
        QCOMPARE(QFile::exists(journal), journalStays);
        if (journalStays)
            QCOMPARE(contents(journal), before);
        QCOMPARE(QFile::exists(dir->filePath(QStringLiteral("saved.txt"))), saved);
        if (saved)
            QCOMPARE(contents(targetPath), before);
    }

    // Centred on its window, the span a line of its own that stays whole
    // on a small screen too (the test's is 800 pixels wide).
    void questionPlacement()
    {
        writeJournal(4);
        QWidget window;
        window.setGeometry(100, 80, 600, 440);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QString span = spanText(kStart, kStart + 15);
        QPoint centre;
        int spanLines = 0;
        zeptest::ModalWatch<QMessageBox> watch([&](QMessageBox *box) {
            centre = box->geometry().center();
            for (const QLabel *label : box->findChildren<QLabel *>()) {
                const QRect room(0, 0, label->contentsRect().width(), 1000);
                if (label->text().split('\n').contains(span))
                    spanLines = label->fontMetrics().boundingRect(room, Qt::TextWordWrap, span).height() / label->fontMetrics().lineSpacing();
            }
            QMetaObject::invokeMethod(box->button(QMessageBox::Ignore), "click", Qt::QueuedConnection);
        });
        offerJournals(&window, dir->path(), [] { return QString(); });
        QVERIFY((centre - window.geometry().center()).manhattanLength() <= 4);
        QCOMPARE(spanLines, 1);
    }

    void saveIsTheDefault()
    {
        writeJournal(1);
        zeptest::MessageBoxLog log;
        log.answers = {QMessageBox::NoButton};
        log.start();
        const QString target = dir->filePath(QStringLiteral("saved.txt"));
        offerJournals(nullptr, dir->path(), [&] { return target; });
        log.stop();
        QCOMPARE(log.seen.size(), 1);
        QCOMPARE(countRecords(target), 1);
    }

    void savingOntoTheJournalKeepsIt()
    {
        const QString journal = writeJournal(2);
        const QByteArray before = contents(journal);
        zeptest::MessageBoxLog log;
        log.answers = {QMessageBox::Save};
        log.start();
        offerJournals(nullptr, dir->path(), [&] { return journal; });
        log.stop();
        QCOMPARE(log.seen.size(), 2);
        QCOMPARE(contents(journal), before);
    }

    void severalOldestFirst()
    {
        // Named out of order on purpose: the first record decides.
        const QString newest = writeJournal(2, kStart + 7200);
        const QString oldest = QDir(dir->path()).filePath(QStringLiteral("journal-zzz.txt"));
        QVERIFY(zeptest::writeSampleFile(oldest, 3, kStart - 7200, 5));
        const QString middle = writeJournal(1, kStart);
        zeptest::MessageBoxLog log;
        log.answers = {QMessageBox::Discard, QMessageBox::Ignore, QMessageBox::Discard};
        log.start();
        offerJournals(nullptr, dir->path(), [] { return QString(); });
        log.stop();
        QCOMPARE(log.seen.size(), 3);
        QVERIFY(log.seen.at(0).text.contains(QStringLiteral("3条记录")));
        QVERIFY(log.seen.at(1).text.contains(QStringLiteral("1条记录")));
        QVERIFY(log.seen.at(2).text.contains(QStringLiteral("2条记录")));
        QVERIFY(!QFile::exists(oldest));
        QVERIFY(QFile::exists(middle));
        QVERIFY(!QFile::exists(newest));
    }

    void journalBeingWrittenIsNotOffered()
    {
        const QString journal = writeJournal(2);
        // Another instance acquiring holds its journal's lock.
        QLockFile writer(LiveJournal::lockFileFor(journal));
        QVERIFY(writer.tryLock(0));
        zeptest::MessageBoxLog log;
        log.start();
        offerJournals(nullptr, dir->path(), [] { return QString(); });
        log.stop();
        QVERIFY(log.seen.isEmpty());
        QVERIFY(QFile::exists(journal));
        writer.unlock();
        QCOMPARE(leftJournals(dir->path()), QStringList{journal});
    }
};

ZEP_TEST_MAIN(TestJournalRecovery)
#include "tst_journalrecovery.moc"
