#include "../comm/simprocess.h"
#include "app/journalrecovery.h"
#include "mainwindowtest.h"
#include "data/appconfig.h"
#include "data/datafile.h"
#include "realtime/livejournal.h"
#include "realtime/realplot.h"
#include "realtime/signaldata.h"
#include "testsupport.h"

#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>

#include <atomic>
#include <csignal>

#include <dlfcn.h>

Q_DECLARE_METATYPE(QList<QMessageBox::StandardButton>)

// A slow disk: every fdatasync (a file's replacement) takes slowSyncMs longer.
static std::atomic<int> slowSyncMs{0};

extern "C" int fdatasync(int fd)
{
    QThread::msleep(static_cast<unsigned long>(slowSyncMs.load()));
    static const auto next = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fdatasync"));
    return next(fd);
}

namespace {

int storeSize(SignalData &s)
{
    s.lock();
    const int n = s.size();
    s.unlock();
    return n;
}

QStringList journalsIn(const QString &folder)
{
    return QDir(folder).entryList({LiveJournal::fileNamePattern()}, QDir::Files);
}

// The journal holds exactly the stored samples: same times, values at the
// written decimals. Called with the acquisition stopped.
void checkJournalMatchesStores(SignalData &series, const QString &path)
{
    const int n = storeSize(series);
    const std::unique_ptr<DataFile> file = loadDataFile(path);
    QVERIFY(file);
    QCOMPARE(int(file->count), n);
    series.lock();
    for (int i = 0; i < n; ++i) {
        QCOMPARE(double(file->records[i].time), series.value(0, i).x());
        for (int c = 1; c <= kValueCount; ++c) {
            const double y = series.value(c - 1, i).y();
            QCOMPARE(file->records[i].value(c), QString::number(y, 'f', columnDecimals(c)).toFloat());
        }
    }
    series.unlock();
}

} // namespace

class TestJournal : public zeptest::MainWindowTest
{
    Q_OBJECT

    std::unique_ptr<SimProcess> sim;
    QString folder;


    QMdiSubWindow *realTimeSubWindow() const
    {
        for (QMdiSubWindow *w : window->findChild<QMdiArea *>()->subWindowList())
            if (w->windowTitle() == QStringLiteral("实时通讯 - 电表1 - 趋势图"))
                return w;
        return nullptr;
    }

    void startSimulator()
    {
        sim = std::make_unique<SimProcess>();
        QVERIFY(sim->startTcp());
        AppConfig.comm.comtype = 1;
        copyToField(AppConfig.comm.IP, sim->address());
    }

    // Starts, lets the stores reach n samples, stops.
    void acquireUntil(int n)
    {
        action("action_Start")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(storeSize(liveSeries()) >= n, 20000);
        action("action_Stop")->trigger();
        QTRY_VERIFY(window->currentSamplingThread() == nullptr);
    }

private slots:
    void init()
    {
        folder = LiveJournal::defaultFolder();
        QDir(folder).removeRecursively();
        QFile::remove(folder);
        startLiveWindow();
    }

    void cleanup()
    {
        window.reset();
        sim.reset();
        QFile::remove(folder);
        QDir(folder).removeRecursively();
    }

    // How the journal ends when the window closes.
    void journalFollowsTheWindow_data()
    {
        QTest::addColumn<QList<QMessageBox::StandardButton>>("answers");
        QTest::addColumn<QString>("saveTo");
        QTest::addColumn<bool>("kept");
        QTest::newRow("no") << QList<QMessageBox::StandardButton>{QMessageBox::No} << "" << false;
        QTest::newRow("yes, saved") << QList<QMessageBox::StandardButton>{QMessageBox::Yes} << "saved.txt" << false;
        // The failed save keeps the window open; the warning is answered.
        QTest::newRow("yes, save fails")
            << QList<QMessageBox::StandardButton>{QMessageBox::Yes, QMessageBox::Ok} << "no/dir/saved.txt" << true;
    }

    void journalFollowsTheWindow()
    {
        QFETCH(QList<QMessageBox::StandardButton>, answers);
        QFETCH(QString, saveTo);
        QFETCH(bool, kept);
        startSimulator();
        action("action_ReadCom")->trigger();
        RealPlot *plot = window->realTimeWindow();
        QVERIFY(plot);
        QVERIFY(journalsIn(folder).isEmpty());

        acquireUntil(2);
        const QString path = plot->journal()->path();
        QCOMPARE(QFileInfo(path).absolutePath(), QFileInfo(folder).absoluteFilePath());
        QCOMPARE(QFileInfo(path).fileName(), LiveJournal::fileNameFor(uint32_t(liveSeries().value(0, 0).x())));
        checkJournalMatchesStores(liveSeries(), path);
        // Stop and Start continue the same journal.
        acquireUntil(storeSize(liveSeries()) + 1);
        QCOMPARE(journalsIn(folder), QStringList{QFileInfo(path).fileName()});
        checkJournalMatchesStores(liveSeries(), path);

        plot->setSaveFileNameProvider([this, saveTo] { return dir->filePath(saveTo); });
        zeptest::MessageBoxLog boxes;
        boxes.answers = answers;
        boxes.start();
        realTimeSubWindow()->close();
        QTRY_COMPARE(boxes.seen.size(), answers.size());
        boxes.stop();
        QCOMPARE(QFile::exists(path), kept);
        QTRY_COMPARE(window->realTimeWindow() == nullptr, !kept);
        if (kept) {
            // Still the journal of the open window; No then gives it up.
            boxes.answers = {QMessageBox::No};
            boxes.start();
            realTimeSubWindow()->close();
            QTRY_VERIFY(window->realTimeWindow() == nullptr);
            boxes.stop();
            QVERIFY(!QFile::exists(path));
        }
        QVERIFY(journalsIn(folder).isEmpty());
    }

    void unwritableFolderWarnsOnce()
    {
        // A file where the data folder should be.
        QDir().mkpath(QFileInfo(folder).absolutePath());
        QVERIFY(zeptest::writeSampleFile(folder, 1));
        startSimulator();
        action("action_ReadCom")->trigger();
        zeptest::MessageBoxLog boxes;
        boxes.start();
        action("action_Start")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(storeSize(liveSeries()) >= 3, 20000);
        QVERIFY(window->isAcquiring());
        action("action_Stop")->trigger();
        QTRY_VERIFY(window->currentSamplingThread() == nullptr);
        // Started again in the same window: no second warning.
        action("action_Start")->trigger();
        const int before = storeSize(liveSeries());
        QTRY_VERIFY_WITH_TIMEOUT(storeSize(liveSeries()) > before, 20000);
        action("action_Stop")->trigger();
        boxes.stop();
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen.at(0).title, QStringLiteral("错误"));
        QVERIFY(boxes.seen.at(0).text.contains(QDir::toNativeSeparators(folder)));
        QVERIFY(boxes.seen.at(0).text.contains(QStringLiteral("journal-")));
        QCOMPARE(boxes.seen.at(0).buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(storeSize(liveSeries()), storeSize(liveSeries()));
    }

    // Polls after the window closed go to a journal that the next window
    // (here the one quitting opens to ask about them) goes on with.
    void pollsWithoutWindowAreJournaled()
    {
        startSimulator();
        action("action_ReadCom")->trigger();
        action("action_Start")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(storeSize(liveSeries()) >= 1, 20000);
        zeptest::MessageBoxLog boxes;
        boxes.answers = {QMessageBox::No, QMessageBox::Cancel};
        boxes.start();
        realTimeSubWindow()->close();
        QTRY_VERIFY(window->realTimeWindow() == nullptr);
        QTRY_VERIFY_WITH_TIMEOUT(storeSize(liveSeries()) >= 2, 20000);
        QVERIFY(!window->close());
        boxes.stop();
        QCOMPARE(boxes.seen.size(), 2);
        QCOMPARE(boxes.seen.at(1).text, QStringLiteral("需要保存数据吗？"));
        action("action_Stop")->trigger();
        QTRY_VERIFY(window->currentSamplingThread() == nullptr);
        QCOMPARE(journalsIn(folder).size(), 1);
        checkJournalMatchesStores(liveSeries(), window->realTimeWindow()->journal()->path());
    }

    // Polls go on while a slow disk stretches the save of a closing window
    // or of the quit: each is in the saved file or in the next journal, once.
    void slowSaveLosesNoPoll_data()
    {
        QTest::addColumn<bool>("quit");
        QTest::newRow("window closed") << false;
        QTest::newRow("quit") << true;
    }

    void slowSaveLosesNoPoll()
    {
        QFETCH(bool, quit);
        startSimulator();
        action("action_ReadCom")->trigger();
        const QString saved = path(QStringLiteral("saved.txt"));
        window->realTimeWindow()->setSaveFileNameProvider([saved] { return saved; });
        action("action_Start")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(storeSize(liveSeries()) >= 2, 20000);
        zeptest::MessageBoxLog boxes;
        boxes.answers = {QMessageBox::Yes, QMessageBox::Cancel};
        boxes.start();
        slowSyncMs = 1200;
        if (quit) {
            QVERIFY(window->close());
        } else {
            realTimeSubWindow()->close();
            QTRY_VERIFY(window->realTimeWindow() == nullptr);
            // Stopped with the window closed, the window opens on the
            // samples polled since and asks about them; Cancel keeps it.
            action("action_Stop")->trigger();
            QVERIFY(window->realTimeWindow());
        }
        slowSyncMs = 0;
        boxes.stop();
        QCOMPARE(boxes.seen.size(), quit ? 1 : 2);
        window.reset();
        QCOMPARE(journalsIn(folder).size(), 1);
        const int savedRecords = countRecords(saved);
        const auto rest = loadDataFile(QDir(folder).filePath(journalsIn(folder).at(0)));
        QVERIFY(rest && rest->count >= 2);
        QTRY_COMPARE(servedReadings(sim->log()).size(), savedRecords + int(rest->count));
        const QVector<QVector<float>> served = servedReadings(sim->log());
        for (int i = 0; i < int(rest->count); ++i)
            QCOMPARE(rest->records[i].value(1), QString::number(double(served[savedRecords + i][0]), 'f', columnDecimals(1)).toFloat());
    }

    void recoveredAfterKill_data()
    {
        QTest::addColumn<bool>("savedFirst");
        QTest::newRow("nothing saved") << false;
        QTest::newRow("saved during the acquisition") << true;
    }

    // The program killed while it acquires; started again, it offers the
    // samples back.
    void recoveredAfterKill()
    {
        QFETCH(bool, savedFirst);
        startSimulator();
        const QString savedFile = dir->filePath(QStringLiteral("saved.txt"));
        QProcess child;
        child.setProgram(QStringLiteral(ZEP_JOURNAL_CHILD));
        child.setArguments(QStringList{QString::fromLatin1(sim->address())} + QStringList{savedFile}.mid(savedFirst ? 0 : 1));
        child.setWorkingDirectory(dir->path());
        child.start();
        QVERIFY(child.waitForStarted(5000));
        JournalSummary left;
        QTRY_VERIFY_WITH_TIMEOUT(journalsIn(folder).size() == 1
                                     && (left = inspectJournal(QDir(folder).filePath(journalsIn(folder).at(0)))).records >= 3
                                     && (left.savedRecords > 0) == savedFirst,
                                 30000);
        ::kill(pid_t(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished(5000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        const QString journal = QDir(folder).filePath(journalsIn(folder).at(0));
        left = inspectJournal(journal);
        const int records = left.records, saved = left.savedRecords;
        QVERIFY(records >= 3);
        QCOMPARE(saved, savedFirst ? countRecords(savedFile) : 0);
        // The simulator's log reaches this process only as events run.
        QTRY_VERIFY_WITH_TIMEOUT(servedReadings(sim->log()).size() >= saved + records, 5000);
        const QVector<QVector<float>> served = servedReadings(sim->log());

        const QString target = dir->filePath(QStringLiteral("recovered.txt"));
        zeptest::MessageBoxLog boxes;
        boxes.answers = {QMessageBox::Save};
        boxes.start();
        window->offerLeftJournals([target] { return target; });
        boxes.stop();
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen.at(0).title, QStringLiteral("提示"));
        QVERIFY2(boxes.seen.at(0).text.contains(QStringLiteral("%1条记录").arg(records)),
                 qPrintable(boxes.seen.at(0).text));
        QCOMPARE(boxes.seen.at(0).text.contains(QStringLiteral("此前的%1条记录已保存到%2").arg(saved).arg(savedFile)), savedFirst);
        QVERIFY(!QFile::exists(journal) && !QFile::exists(LiveJournal::savedNoteFor(journal)));

        QCOMPARE(countRecords(target), records);
        DataFile file(target, quint32(records));
        QCOMPARE(readRecords(&file), records);
        for (int i = 0; i < records; ++i) {
            if (i > 0)
                QVERIFY(file.records[i].time >= file.records[i - 1].time);
            for (int c = 1; c <= kValueCount; ++c) {
                const float expected = QString::number(double(served[saved + i][c - 1]), 'f', columnDecimals(c)).toFloat();
                QCOMPARE(file.records[i].value(c), expected);
            }
        }
        // Nothing is left to offer at the next start.
        boxes.start();
        window->offerLeftJournals([] { return QString(); });
        boxes.stop();
        QCOMPARE(boxes.seen.size(), 1);
    }
};

ZEP_TEST_MAIN(TestJournal)
#include "tst_journal.moc"
