// A working directory's station: its meters, its choices and its
// forwarding in config/meters.ini, as a program without widgets reads them.

#include "comm/mqttpayload.h"
#include "comm/stationsettings.h"
#include "coretesting.h"
#include "data/datafiletestutil.h"

#include <QSettings>

namespace {

// "name:addr … | keepAcquiring, s for startAcquiring | dailyFolder | prefix | password".
QString summary(const StationConfig &c)
{
    QStringList meters;
    for (const MeterConfig &m : c.meters)
        meters << m.name + ':' + QString::number(m.addr);
    return QStringList{meters.join(' '), QString(c.keepAcquiring ? "1" : "0") + (c.startAcquiring ? "s" : ""), c.dailyFolder, c.forwarding.prefix, c.forwarding.password}.join('|');
}

ComConfig link()
{
    ComConfig c;
    defaultComConfig(c);
    c.addr = 4;
    return c;
}

// What the per-user store held before the settings belonged to a directory.
void storeOlderUserSettings()
{
    QSettings user;
    for (const auto &[key, value] : {std::pair<const char *, QVariant>{"keepAcquiringAfterErrors", true}, {"dailyFiles", true},
                                     {"dailyFilesFolder", "/srv/old"}, {"forward/password", "old-secret"}, {"forward/prefix", "zep/old"}})
        user.setValue(key, value);
}

} // namespace

class TestStationSettings : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir;

private slots:
    void init()
    {
        QSettings().clear();
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir::setCurrent(dir->path()) && QDir().mkdir(QStringLiteral("config")));
    }

    void roundTrip_data()
    {
        QTest::addColumn<QString>("file");   // config/meters.ini before; null: none
        QTest::addColumn<bool>("userStore"); // the per-user store holds the older settings
        QTest::addColumn<QString>("problem");
        QTest::addColumn<QString>("read");   // summary(), "#" for the default prefix
        const QString two = "[Meters]\n1\\name=进线柜\n1\\addr=1\n2\\name=空调\n2\\addr=2\nsize=2\n";
        const QString bad = "设置文件 config/meters.ini 有误：";
        QTest::newRow("no meters.ini") << QString() << false << "" << "电表1:4|0||#|";
        QTest::newRow("two meters") << two << false << "" << "进线柜:1 空调:2|0||#|";
        QTest::newRow("address twice") << QString(two).replace("2\\addr=2", "2\\addr=1") << false
                                       << bad + "地址 1 重复：每台电表的地址须不同。" << "进线柜:1 空调:1|0||#|";
        QTest::newRow("address no number") << QString(two).replace("2\\addr=2", "2\\addr=x") << false
                                           << bad + "电表“空调”的地址须为 1 到 247。" << "进线柜:1 空调:0|0||#|";
        QTest::newRow("name empty") << QString(two).replace("2\\name=空调", "2\\name=\" \"") << false
                                    << bad + "第 2 台电表没有名称。" << "进线柜:1  :2|0||#|";
        QTest::newRow("station and forwarding")
            << two + "[Station]\nkeepAcquiring=true\ndailyFolder=\"/srv/zep, days\"\n[Forward]\npassword=s3cret\nprefix=site/a\n" << false
            << "" << "进线柜:1 空调:2|1|/srv/zep, days|site/a|s3cret";
        QTest::newRow("start acquiring") << two + "[Station]\nstartAcquiring=true\n" << false << "" << "进线柜:1 空调:2|0s||#|";
        QTest::newRow("taken over from the per-user store") << QString() << true << "" << "电表1:4|1|/srv/old|zep/old|old-secret";
        QTest::newRow("the file's own sections win") << "[Station]\nkeepAcquiring=false\n[Forward]\nenabled=false\n" << true << ""
                                                     << "电表1:4|0||#|";
    }

    // What is read is what was written, rows that cannot be told apart
    // refused; the older per-user settings move into the first file that
    // lacks them; a file with a password is its owner's alone.
    void roundTrip()
    {
        QFETCH(QString, file);
        QFETCH(bool, userStore);
        QFETCH(QString, problem);
        QFETCH(QString, read);
        if (userStore)
            storeOlderUserSettings();
        if (!file.isNull())
            QVERIFY(zeptest::writeBytes(stationSettingsPath(), file.toUtf8()));
        QString why;
        const StationConfig config = readStationConfig(link(), &why);
        QCOMPARE(why, problem);
        QCOMPARE(summary(config), QString(read).replace('#', defaultForwardPrefix()));
        // Moved, not copied: no other directory takes them again.
        QCOMPARE(QSettings().contains(QStringLiteral("forward/password")), userStore && !file.isNull());
        const QByteArray before = zeptest::readBytes(stationSettingsPath());
        QCOMPARE(writeStationConfig(config, &why), problem.isEmpty());
        if (!problem.isEmpty()) {
            QCOMPARE(zeptest::readBytes(stationSettingsPath()), before);
            return;
        }
        const StationConfig again = readStationConfig(link(), &why);
        QCOMPARE(why, QString());
        QCOMPARE(summary(again), summary(config));
        QCOMPARE(again.forwarding, config.forwarding);
        const bool ownerOnly = (QFile::permissions(stationSettingsPath()) & 0x0077) == 0;
        QCOMPARE(ownerOnly, !config.forwarding.password.isEmpty());
        // The names as UTF-8 text, not escaped.
        if (file.startsWith("[Meters]"))
            QVERIFY(zeptest::readBytes(stationSettingsPath()).contains("1\\addr=1\n1\\name=进线柜\n2\\addr=2\n2\\name=空调\nsize=2\n"));
    }

    // Two working directories on one machine: the older settings go to one
    // of them, and their files and topics differ by default.
    void twoStations()
    {
        storeOlderUserSettings();
        readStationConfig(link());
        const QString firstDefault = defaultForwardPrefix();
        QTemporaryDir other;
        QVERIFY(QDir::setCurrent(other.path()));
        QCOMPARE(summary(readStationConfig(link())), "电表1:4|0||" + defaultForwardPrefix() + '|');
        QVERIFY(defaultForwardPrefix().startsWith("zep/" + QSysInfo::machineHostName() + '-'));
        const QVector<MeterConfig> meters{{"电表1", 1}, {"电表2", 2}};
        QVERIFY(meterTopics(firstDefault, meters)[1].nodeId != meterTopics(defaultForwardPrefix(), meters)[1].nodeId);
    }
};

ZEP_TEST_MAIN_CORE(TestStationSettings)
#include "tst_stationsettings.moc"
