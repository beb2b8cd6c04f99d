// A working directory's station: its meters, its choices and its
// forwarding in config/meters.ini, as a program without widgets reads them.

#include "comm/mqttpayload.h"
#include "comm/stationsettings.h"
#include "coretesting.h"
#include "data/datafiletestutil.h"

#include <QSettings>

namespace {

// name:addr of each meter.
QStringList metersText(const QVector<MeterConfig> &meters)
{
    QStringList list;
    for (const MeterConfig &m : meters)
        list << m.name + QLatin1Char(':') + QString::number(m.addr);
    return list;
}

// What the per-user store held before the settings belonged to a directory.
void storeOlderUserSettings()
{
    QSettings user;
    user.setValue(QStringLiteral("keepAcquiringAfterErrors"), true);
    user.setValue(QStringLiteral("dailyFiles"), true);
    user.setValue(QStringLiteral("dailyFilesFolder"), QStringLiteral("/srv/old"));
    user.setValue(QStringLiteral("forward/enabled"), true);
    user.setValue(QStringLiteral("forward/password"), QStringLiteral("old-secret"));
    user.setValue(QStringLiteral("forward/prefix"), QStringLiteral("zep/old"));
}

bool ownerOnly(const QString &path)
{
    return (QFile::permissions(path) & (QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::WriteGroup
                                        | QFileDevice::WriteOther)) == 0;
}

} // namespace

class TestStationSettings : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir;

    static ComConfig link()
    {
        ComConfig c;
        defaultComConfig(c);
        c.addr = 4;
        return c;
    }

private slots:
    void init()
    {
        QSettings().clear();
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir::setCurrent(dir->path()) && QDir().mkdir(QStringLiteral("config")));
    }

    void roundTrip_data()
    {
        QTest::addColumn<QString>("file");  // config/meters.ini before; null: none
        QTest::addColumn<bool>("userStore"); // the per-user store holds the older settings
        QTest::addColumn<QString>("problem");
        QTest::addColumn<QStringList>("meters");
        QTest::addColumn<bool>("keep");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("prefix"); // empty: the default
        QTest::addColumn<QString>("password");
        const QString two = QStringLiteral("[Meters]\n1\\name=进线柜\n1\\addr=1\n2\\name=空调\n2\\addr=2\nsize=2\n");
        const QString bad = QStringLiteral("设置文件 config/meters.ini 有误：");
        QTest::newRow("no meters.ini") << QString() << false << "" << QStringList{"电表1:4"} << false << "" << "" << "";
        QTest::newRow("two meters") << two << false << "" << QStringList{"进线柜:1", "空调:2"} << false << "" << "" << "";
        QTest::newRow("address twice") << QString(two).replace("2\\addr=2", "2\\addr=1") << false
                                       << bad + "地址 1 重复：每台电表的地址须不同。" << QStringList{"进线柜:1", "空调:1"} << false << ""
                                       << "" << "";
        QTest::newRow("address no number") << QString(two).replace("2\\addr=2", "2\\addr=x") << false
                                           << bad + "电表“空调”的地址须为 1 到 247。" << QStringList{"进线柜:1", "空调:0"} << false
                                           << "" << "" << "";
        QTest::newRow("name empty") << QString(two).replace("2\\name=空调", "2\\name=\" \"") << false
                                    << bad + "第 2 台电表没有名称。" << QStringList{"进线柜:1", " :2"} << false << "" << ""
                                    << "";
        QTest::newRow("station and forwarding")
            << two + "[Station]\nkeepAcquiring=true\ndailyFolder=\"/srv/zep, days\"\n[Forward]\nenabled=true\npassword=s3cret\nprefix=site/a\n"
            << false << "" << QStringList{"进线柜:1", "空调:2"} << true << "/srv/zep, days" << "site/a" << "s3cret";
        QTest::newRow("taken over from the per-user store")
            << QString() << true << "" << QStringList{"电表1:4"} << true << "/srv/old" << "zep/old" << "old-secret";
        QTest::newRow("the file's own sections win")
            << "[Station]\nkeepAcquiring=false\n[Forward]\nenabled=false\n" << true << "" << QStringList{"电表1:4"} << false << ""
            << "" << "";
    }

    // What is read is what was written, rows that cannot be told apart
    // refused; the older per-user settings move into the first file that
    // lacks them; a file with a password is its owner's alone.
    void roundTrip()
    {
        QFETCH(QString, file);
        QFETCH(bool, userStore);
        QFETCH(QString, problem);
        QFETCH(QStringList, meters);
        QFETCH(bool, keep);
        QFETCH(QString, folder);
        QFETCH(QString, prefix);
        QFETCH(QString, password);
        if (userStore)
            storeOlderUserSettings();
        if (!file.isNull())
            QVERIFY(zeptest::writeBytes(stationSettingsPath(), file.toUtf8()));
        QString why;
        const StationConfig read = readStationConfig(link(), &why);
        QCOMPARE(why, problem);
        QCOMPARE(metersText(read.meters), meters);
        QCOMPARE(read.keepAcquiring, keep);
        QCOMPARE(read.dailyFolder, folder);
        QCOMPARE(read.forwarding.prefix, prefix.isEmpty() ? defaultForwardPrefix() : prefix);
        QCOMPARE(read.forwarding.password, password);
        // Moved, not copied: no other directory takes them again.
        QCOMPARE(QSettings().contains(QStringLiteral("forward/password")), userStore && !file.isNull());
        QCOMPARE(QFile::exists(stationSettingsPath()), !file.isNull() || userStore);
        const QByteArray before = zeptest::readBytes(stationSettingsPath());
        QCOMPARE(writeStationConfig(read, &why), problem.isEmpty());
        if (!problem.isEmpty()) {
            QCOMPARE(zeptest::readBytes(stationSettingsPath()), before);
            return;
        }
        const StationConfig again = readStationConfig(link(), &why);
        QCOMPARE(why, QString());
        QCOMPARE(again.meters, read.meters);
        QCOMPARE(again.keepAcquiring, keep);
        QCOMPARE(again.dailyFolder, folder);
        QCOMPARE(again.forwarding, read.forwarding);
        QCOMPARE(ownerOnly(stationSettingsPath()), !password.isEmpty());
        // The names as UTF-8 text, not escaped.
        if (meters.size() == 2)
            QVERIFY(zeptest::readBytes(stationSettingsPath()).contains("[Meters]\n1\\addr=1\n1\\name=进线柜\n2\\addr=2\n2\\name=空调\nsize=2\n"));
    }

    // Two working directories on one machine: the older settings go to one
    // of them, and their topics differ by default.
    void twoStations()
    {
        storeOlderUserSettings();
        const StationConfig first = readStationConfig(link());
        const QString firstDefault = defaultForwardPrefix();
        QTemporaryDir other;
        QVERIFY(QDir::setCurrent(other.path()));
        const StationConfig second = readStationConfig(link());
        QCOMPARE(first.dailyFolder, QStringLiteral("/srv/old"));
        QCOMPARE(second.dailyFolder, QString());
        QCOMPARE(first.forwarding.prefix, QStringLiteral("zep/old"));
        QCOMPARE(second.forwarding.prefix, defaultForwardPrefix());
        QVERIFY(defaultForwardPrefix() != firstDefault);
        QVERIFY(defaultForwardPrefix().startsWith("zep/" + QSysInfo::machineHostName() + "-"));
        const QVector<MeterConfig> meters{{QStringLiteral("电表1"), 1}, {QStringLiteral("电表2"), 2}};
        QVERIFY(meterTopics(firstDefault, meters)[1].nodeId != meterTopics(defaultForwardPrefix(), meters)[1].nodeId);
        QVERIFY(meterTopics(firstDefault, meters)[1].root != meterTopics(defaultForwardPrefix(), meters)[1].root);
    }
};

ZEP_TEST_MAIN_CORE(TestStationSettings)
#include "tst_stationsettings.moc"
