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
        QTest::addColumn<QString>("directory");
        QTest::addColumn<QString>("printed"); // in the output or the error
        QTest::newRow("here") << QStringList{} << -1 << "/srv/here" << "";
        QTest::newRow("-C absolute") << QStringList{"-C", "/srv/st"} << -1 << "/srv/st" << "";
        QTest::newRow("-C relative") << QStringList{"-C", "../b/./c"} << -1 << "/srv/b/c" << "";
        QTest::newRow("-C joined") << QStringList{"-C/srv/x/"} << -1 << "/srv/x" << "";
        QTest::newRow("help") << QStringList{"--help"} << 0 << "" << "-C <目录>";
        QTest::newRow("version") << QStringList{"--version"} << 0 << "" << "ZEP ";
        QTest::newRow("unknown option") << QStringList{"--daemon"} << 2 << "" << "daemon";
        QTest::newRow("-C without a folder") << QStringList{"-C"} << 2 << "" << "-C <目录>";
        QTest::newRow("-C twice") << QStringList{"-C", "a", "-C", "b"} << 2 << "" << "-C 须给出一个目录";
        QTest::newRow("a file") << QStringList{"day.txt"} << 2 << "" << "多余的参数：day.txt";
    }

    // Usage and exit status 2 for what it cannot take, so that a service
    // manager shows the mistake; -C is taken from the current directory.
    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, directory);
        QFETCH(QString, printed);
        const RecorderCommand c = readRecorderCommandLine(QStringList{"zep-recorder"} + arguments, "/srv/here");
        QCOMPARE(c.answered, exitCode >= 0);
        QCOMPARE(c.directory, directory);
        if (exitCode < 0)
            return;
        QCOMPARE(c.exitCode, exitCode);
        QVERIFY2((exitCode == 0 ? c.output : c.error).contains(printed), qPrintable(c.output + c.error));
        QVERIFY((exitCode == 0 ? c.error : c.output).isEmpty());
    }

    void settings_data()
    {
        QTest::addColumn<int>("origin");
        QTest::addColumn<QString>("stationProblem");
        QTest::addColumn<QString>("change"); // key=value on the link, the folder or the forwarding
        QTest::addColumn<QString>("problem");
        QTest::addColumn<QString>("folder");
        const int file = int(ConfigOrigin::File);
        QTest::newRow("as set") << file << "" << "" << "" << "/st/data";
        QTest::newRow("a folder set") << file << "" << "folder=/days" << "" << "/days";
        QTest::newRow("no config.ini") << int(ConfigOrigin::Created) << "" << "" << "没有设置文件 config/config.ini（先用 zep 的“通讯设置”设置此目录）" << "/st/data";
        QTest::newRow("config.ini cut") << int(ConfigOrigin::Replaced) << "" << "" << "设置文件 config/config.ini 不完整" << "/st/data";
        QTest::newRow("meters refused") << file << "设置文件 config/meters.ini 有误：x" << "" << "设置文件 config/meters.ini 有误：x" << "/st/data";
        QTest::newRow("interval") << file << "" << "interval=5x" << "设置文件 config/config.ini 有误：采样间隔“5x”无效" << "/st/data";
        QTest::newRow("interval 0") << file << "" << "interval=0s" << "设置文件 config/config.ini 有误：采样间隔“0s”无效" << "/st/data";
        QTest::newRow("no port") << file << "" << "com=" << "设置文件 config/config.ini 有误：没有设置串口" << "/st/data";
        QTest::newRow("parity") << file << "" << "parity=Mark" << "设置文件 config/config.ini 有误：奇偶校验“Mark”无效" << "/st/data";
        QTest::newRow("tcp") << file << "" << "IP=10.0.0.9:1502" << "" << "/st/data";
        QTest::newRow("tcp, bad port") << file << "" << "IP=10.0.0.9:99999" << "设置文件 config/config.ini 有误：IP 地址“10.0.0.9:99999”无效" << "/st/data";
        QTest::newRow("forwarding") << file << "" << "prefix=a/#" << "数据转发设置有误：主题前缀不能含有“+”或“#”。" << "/st/data";
    }

    // It always goes on through faults and always writes daily files; what
    // it cannot record with is refused in one line.
    void settings()
    {
        QFETCH(int, origin);
        QFETCH(QString, stationProblem);
        QFETCH(QString, change);
        QFETCH(QString, problem);
        QFETCH(QString, folder);
        StationConfig config;
        defaultComConfig(config.link);
        config.meters = {{"电表1", 1}};
        const QString key = change.section('=', 0, 0);
        const QByteArray value = change.section('=', 1).toLatin1();
        if (key == "interval")
            copyToField(config.link.interval, value);
        else if (key == "com")
            copyToField(config.link.com, value);
        else if (key == "parity")
            copyToField(config.link.parity, value);
        else if (key == "IP")
            config.link.comtype = 1, copyToField(config.link.IP, value);
        else if (key == "folder")
            config.dailyFolder = value;
        else if (key == "prefix")
            config.forwarding.enabled = true, config.forwarding.prefix = value;
        QCOMPARE(recorderSettingsProblem(ConfigOrigin(origin), stationProblem, config), problem);
        const StationConfig recorded = recorderStation(config, "/st");
        QVERIFY(recorded.keepAcquiring);
        QCOMPARE(recorded.dailyFolder, folder);
        QCOMPARE(recorded.forwarding, config.forwarding);
    }

    void eventLine_data()
    {
        QTest::addColumn<QString>("meter");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("line");
        QTest::newRow("timed") << "空调" << "2026-03-01 08:00:05 通讯超时" << "2026-03-01 08:00:05\t空调\t通讯超时";
        QTest::newRow("the link, two lines") << "" << "2026-03-01 08:00:05 主机连接失败\n127.0.0.1:1502"
                                             << "2026-03-01 08:00:05\t-\t主机连接失败 127.0.0.1:1502";
        QTest::newRow("untimed") << "" << "数据转发：已停止" << "2026-12-09 21:00:00\t-\t数据转发：已停止";
        QTest::newRow("not a time") << "电表1" << "2026-13-01 08:00:05 x" << "2026-12-09 21:00:00\t电表1\t2026-13-01 08:00:05 x";
    }

    // The event's own time when its text has one, one line whatever it says.
    void eventLine()
    {
        QFETCH(QString, meter);
        QFETCH(QString, text);
        QFETCH(QString, line);
        QCOMPARE(recorderEventLine(QDateTime(QDate(2026, 12, 9), QTime(21, 0)), meter, text), line);
    }
};

ZEP_TEST_MAIN_CORE(TestRecorderSettings)
#include "tst_recordersettings.moc"
