// zep-recorder as a service manager runs it: against the meter simulator,
// stopped by SIGTERM, killed and started again, and started a second time.

#include "../comm/simprocess.h"
#include "comm/acquisitionlock.h"
#include "comm/stationsettings.h"
#include "coretesting.h"
#include "data/datafiletestutil.h"
#include "realtime/eventlog.h"

#include <QProcess>

#include <csignal>

namespace {

// The records of the daily files of a folder, oldest file first.
QVector<SampleRecord> dailyRecords(const QString &folder)
{
    QVector<SampleRecord> records;
    for (const QString &name : QDir(folder).entryList({"ZEP_*.txt"}, QDir::Files, QDir::Name)) {
        const auto file = loadDataFile(QDir(folder).filePath(name));
        for (quint32 i = 0; file && i < file->count; ++i)
            records.append(file->records[i]);
    }
    return records;
}

} // namespace

class TestRecorderRun : public QObject
{
    Q_OBJECT

    SimProcess sim;
    std::unique_ptr<QTemporaryDir> station;

    QString data() const { return station->filePath("data"); }

    // Runs the recorder on the station until its daily files hold at least
    // records records.
    void startRecorder(QProcess &recorder, int records)
    {
        recorder.setProgram(ZEP_RECORDER);
        recorder.setArguments({"-C", station->path()});
        recorder.start();
        QVERIFY(recorder.waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(dailyRecords(data()).size() >= records, 20000);
    }

    // SIGTERM: a clean end, its lines on standard error.
    void stopRecorder(QProcess &recorder)
    {
        recorder.terminate();
        QVERIFY(recorder.waitForFinished(5000));
        QCOMPARE(recorder.exitStatus(), QProcess::NormalExit);
        QCOMPARE(recorder.exitCode(), 0);
        const QString log = QString::fromLocal8Bit(recorder.readAllStandardError());
        QVERIFY2(log.contains("\t\t按天保存到 " + data() + '\n'), qPrintable(log));
        // The station's lines go to the log on disk as they went to standard error.
        const QString onDisk = QDir(data()).filePath(eventLogFileName(QDate::currentDate()));
        const QString logged = QString::fromUtf8(zeptest::readBytes(onDisk));
        for (const QString &text : {"\t\t开始采集：", "\t\t收到 SIGTERM，停止采集\n", "\t\t停止采集\n"}) {
            QVERIFY2(log.contains(text), qPrintable(log));
            QVERIFY2(logged.contains(text), qPrintable(logged));
        }
    }

private slots:
    void initTestCase() { QVERIFY(sim.startTcp()); }

    void init()
    {
        station = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir::setCurrent(station->path()));
        defaultComConfig(AppConfig.comm);
        defaultDisplayConfig(AppConfig.disp);
        AppConfig.comm.comtype = 1;
        copyToField(AppConfig.comm.IP, sim.address());
        copyToField(AppConfig.comm.interval, "1s");
        QVERIFY(writeConfig());
    }

    // Every served reading is in the day's file, once and in order; a start after a stop, and after a kill,
    // goes on in the same file, the killed run's lock taken over.
    void recordsStopsAndContinues()
    {
        const int servedBefore = servedReadings(sim.log()).size();
        QProcess first;
        startRecorder(first, 3);
        stopRecorder(first);
        const int firstRun = dailyRecords(data()).size();
        QProcess second;
        startRecorder(second, firstRun + 2);
        QCOMPARE(AcquisitionLock::previousRun(), AcquisitionLock::PreviousRun::Running);
        const qint64 killed = second.processId();
        ::kill(pid_t(killed), SIGKILL);
        QVERIFY(second.waitForFinished(5000));
        QCOMPARE(second.exitStatus(), QProcess::CrashExit);
        QProcess third;
        startRecorder(third, dailyRecords(data()).size() + 2);
        stopRecorder(third);
        // The log says which run was cut short, and only that one.
        QString logged;
        for (const QString &name : QDir(data()).entryList({"ZEP_*.log"}))
            logged += QString::fromUtf8(zeptest::readBytes(QDir(data()).filePath(name)));
        QCOMPARE(logged.count("未正常结束"), 1);
        QVERIFY2(logged.contains(QString("\t\t上次采集（zep-recorder，进程 %1）未正常结束").arg(killed)),
                 qPrintable(logged));

        // One file, unless the day changed meanwhile.
        const QStringList files = QDir(data()).entryList({"ZEP_*.txt"});
        QVERIFY(files.size() == 1 || files.size() == QDate::fromString(files.first().mid(4, 8), "yyyyMMdd").daysTo(QDate::currentDate()) + 1);
        const QVector<SampleRecord> records = dailyRecords(data());
        // The simulator's log reaches this process only as events run.
        QTRY_VERIFY(servedReadings(sim.log()).size() - servedBefore >= records.size());
        const QVector<QVector<float>> served = servedReadings(sim.log()).mid(servedBefore);
        // Stopped, a run keeps each reading served; killed, it may lose the
        // one it was reading. A start within the second of the last record
        // stamps its first one alike.
        int skipped = 0;
        int r = 0;
        for (int i = 0; i < served.size() && r < records.size(); ++i) {
            bool same = true;
            for (int k = 1; k <= kValueCount && same; ++k)
                same = records[r].value(k) == QString::number(double(served[i][k - 1]), 'f', columnDecimals(k)).toFloat();
            if (same && r > 0)
                QVERIFY(records[r].time >= records[r - 1].time);
            same ? ++r : ++skipped;
        }
        QCOMPARE(r, records.size());
        QVERIFY2(skipped <= 1 && served.size() - records.size() == skipped, qPrintable(QString::number(skipped)));
        QCOMPARE(AcquisitionLock::previousRun(), AcquisitionLock::PreviousRun::Ended);
    }

    // One acquisition per directory: a second recorder ends at once, naming
    // the first's process; so does the lock the desktop program takes.
    void secondIsRefused()
    {
        QProcess first;
        startRecorder(first, 1);
        QProcess second;
        second.start(ZEP_RECORDER, {"-C", station->path()});
        QVERIFY(second.waitForFinished(5000));
        QCOMPARE(second.exitCode(), 2);
        const QString expected = acquisitionHeldText("zep-recorder", first.processId());
        QCOMPARE(QString::fromLocal8Bit(second.readAllStandardError()), expected + '\n');
        AcquisitionLock desktop;
        QCOMPARE(desktop.claim(), AcquisitionLock::Outcome::Held);
        QCOMPARE(desktop.problem(), expected);
        stopRecorder(first);
        QCOMPARE(desktop.claim(), AcquisitionLock::Outcome::Taken);
    }

    void refusedAtStart_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("error");
        QTest::newRow("no config.ini") << "rm config/config.ini" << "没有设置文件 config/config.ini（先用 zep 的“通讯设置”设置此目录）";
        QTest::newRow("meters unreadable") << "mkdir config/meters.ini" << "无法读取设置文件 config/meters.ini（file to open is a directory）";
        QTest::newRow("folder not writable") << "meters [Station]\ndailyFolder=/proc\n" << "无法写入文件夹：/proc";
        QTest::newRow("no serial port") << "serial /nonexistent/ttyZEP" << "串口/nonexistent/ttyZEP打开失败";
    }

    // What it cannot record with is one line and exit status 2, and it
    // leaves the settings as they were.
    void refusedAtStart()
    {
        QFETCH(QString, setup);
        QFETCH(QString, error);
        const QString what = setup.section(' ', 0, 0);
        const QString rest = setup.section(' ', 1);
        if (what == "rm")
            QVERIFY(QFile::remove(rest));
        if (what == "meters")
            QVERIFY(zeptest::writeBytes(stationSettingsPath(), rest.toUtf8()));
        if (what == "mkdir")
            QVERIFY(QDir().mkdir(rest));
        if (what == "serial") {
            AppConfig.comm.comtype = 0;
            copyToField(AppConfig.comm.com, rest.toLatin1());
            QVERIFY(writeConfig());
        }
        const QByteArray settings = zeptest::readBytes(configFilePath());
        QProcess recorder;
        recorder.start(ZEP_RECORDER, {"-C", station->path()});
        QVERIFY(recorder.waitForFinished(5000));
        QCOMPARE(recorder.exitCode(), 2);
        QCOMPARE(QString::fromLocal8Bit(recorder.readAllStandardError()), error + '\n');
        QCOMPARE(zeptest::readBytes(configFilePath()), settings);
        QVERIFY(!QFile::exists("config/acquisition.lock"));
    }
};

ZEP_TEST_MAIN_CORE(TestRecorderRun)
#include "tst_recorderrun.moc"
