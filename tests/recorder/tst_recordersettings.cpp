// The decisions of zep-recorder: its command line, what it records of the
// station, which settings it refuses, and its lines on standard error.

#include "coretesting.h"
#include "recorder/recordersettings.h"

class TestRecorderSettings : public QObject
{
    Q_OBJECT

private slots:
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode"); // -1: records
        QTest::addColumn<QString>("printed"); // the folder it records, or in the output or the error
        QTest::newRow("here") << QStringList{} << -1 << "/srv/here";
        QTest::newRow("-C relative") << QStringList{"-C", "../b/./c"} << -1 << "/srv/b/c";
        QTest::newRow("help") << QStringList{"--help"} << 0 << "-C <目录>";
        QTest::newRow("unknown option") << QStringList{"--daemon"} << 2 << "daemon";
        QTest::newRow("-C twice") << QStringList{"-C", "a", "-C", "b"} << 2 << "-C 须给出一个目录";
        QTest::newRow("a file") << QStringList{"day.txt"} << 2 << "多余的参数：day.txt";
    }

    // Usage and exit status 2 for what it cannot take, so that a service
    // manager shows the mistake; -C is taken from the current directory.
    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, printed);
        const RecorderCommand c = readRecorderCommandLine(QStringList{"zep-recorder"} + arguments, "/srv/here");
        QCOMPARE(c.answered, exitCode >= 0);
        QCOMPARE(c.exitCode, qMax(exitCode, 0));
        QVERIFY2((exitCode < 0 ? c.directory : exitCode == 0 ? c.output : c.error).contains(printed), qPrintable(c.error));
    }

    void settings_data()
    {
        QTest::addColumn<int>("origin");
        QTest::addColumn<QString>("stationProblem");
        QTest::addColumn<QByteArray>("interval");
        QTest::addColumn<QByteArray>("ip"); // Modbus TCP when set
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("problem");
        const int file = int(ConfigOrigin::File);
        const QString bad = "设置文件 config/config.ini 有误：";
        QTest::newRow("as set") << file << "" << QByteArray("5s") << QByteArray() << "" << "";
        QTest::newRow("a folder set, tcp") << file << "" << QByteArray("1h") << QByteArray("10.0.0.9:1502") << "/days" << "";
        QTest::newRow("no config.ini") << int(ConfigOrigin::Created) << "" << QByteArray("5s") << QByteArray() << ""
                                       << "没有设置文件 config/config.ini（先用 zep 的“通讯设置”设置此目录）";
        QTest::newRow("meters refused") << file << "x" << QByteArray("5s") << QByteArray() << "" << "x";
        QTest::newRow("interval 0") << file << "" << QByteArray("0s") << QByteArray() << "" << bad + "采样间隔“0s”无效";
        QTest::newRow("port 99999") << file << "" << QByteArray("5s") << QByteArray("10.0.0.9:99999") << ""
                                    << bad + "IP 地址“10.0.0.9:99999”无效";
    }

    // It always goes on through faults and always writes daily files, into
    // DIR/data unless a folder is set; what it cannot record with is one line.
    void settings()
    {
        QFETCH(int, origin);
        QFETCH(QString, stationProblem);
        QFETCH(QByteArray, interval);
        QFETCH(QByteArray, ip);
        QFETCH(QString, folder);
        QFETCH(QString, problem);
        StationConfig config;
        defaultComConfig(config.link);
        copyToField(config.link.interval, interval);
        config.link.comtype = ip.isEmpty() ? 0 : 1;
        copyToField(config.link.IP, ip);
        config.dailyFolder = folder;
        QCOMPARE(recorderSettingsProblem(ConfigOrigin(origin), stationProblem, config), problem);
        const StationConfig recorded = recorderStation(config, "/st");
        QVERIFY(recorded.keepAcquiring);
        QCOMPARE(recorded.dailyFolder, folder.isEmpty() ? "/st/data" : folder);
        config.forwarding.enabled = true;
        config.forwarding.prefix = "a/#";
        QCOMPARE(recorderSettingsProblem(ConfigOrigin(origin), stationProblem, config),
                 problem.isEmpty() ? "数据转发设置有误：主题前缀不能含有“+”或“#”。" : problem);
    }
};

ZEP_TEST_MAIN_CORE(TestRecorderSettings)
#include "tst_recordersettings.moc"
