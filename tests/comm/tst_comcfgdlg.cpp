#include "comm/comcfgdlg.h"
#include "comm/forwardcfgdlg.h"
#include "comm/stationsettings.h"
#include "data/appconfig.h"
#include "testsupport.h"
#include "data/datafiletestutil.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QTableWidget>

class TestComCfgDlg : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir;

    template <typename T>
    static T *child(QDialog &dlg, const char *name)
    {
        return dlg.findChild<T *>(QLatin1String(name));
    }

    static QByteArray configText()
    {
        QFile f(configFilePath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    static void pressOk(QDialog &dlg)
    {
        child<QDialogButtonBox>(dlg, "buttonBox")->button(QDialogButtonBox::Ok)->click();
    }

private slots:
    void init() { zeptest::freshSettings(dir, true); }

    void showsDefaults()
    {
        ComCfgDlg dlg;
        QCOMPARE(dlg.windowTitle(), QStringLiteral("通讯设置"));
        QCOMPARE(dlg.size(), QSize(421, 506));
        QCOMPARE(dlg.minimumSize(), dlg.maximumSize());
        QVERIFY(child<QRadioButton>(dlg, "radioButton_com")->isChecked());
        QVERIFY(!child<QRadioButton>(dlg, "radioButton_ip")->isChecked());
        QVERIFY(child<QGroupBox>(dlg, "groupBox_com")->isEnabled());
        QVERIFY(!child<QGroupBox>(dlg, "groupBox_ip")->isEnabled());
        QCOMPARE(child<QComboBox>(dlg, "combo_com")->currentText(), QStringLiteral("COM1"));
        QCOMPARE(child<QComboBox>(dlg, "combo_baud")->currentText(), QStringLiteral("9600"));
        QCOMPARE(child<QComboBox>(dlg, "combo_parity")->currentText(), QStringLiteral("No"));
        QCOMPARE(child<QComboBox>(dlg, "combo_stopbit")->currentText(), QStringLiteral("1"));
        QCOMPARE(dlg.formMeters(), QVector<MeterConfig>({{QStringLiteral("电表1"), 1}}));
        QCOMPARE(child<QLineEdit>(dlg, "lineEdit_ip")->text(), QString());
        QCOMPARE(child<QComboBox>(dlg, "combo_interval")->currentText(), QStringLiteral("5s"));
        QVERIFY(child<QDialogButtonBox>(dlg, "buttonBox")->button(QDialogButtonBox::Ok)->isEnabled());
    }

    void choices()
    {
        ComCfgDlg dlg;
        auto *ports = child<QComboBox>(dlg, "combo_com");
        QVERIFY(ports->count() >= 32);
        for (int i = 0; i < 32; ++i)
            QCOMPARE(ports->itemText(i), QStringLiteral("COM%1").arg(i + 1));
        auto texts = [](QComboBox *combo) {
            QStringList list;
            for (int i = 0; i < combo->count(); ++i)
                list << combo->itemText(i);
            return list;
        };
        QCOMPARE(texts(child<QComboBox>(dlg, "combo_baud")), QStringList({"1200", "2400", "4800", "9600", "19200", "38400"}));
        QCOMPARE(texts(child<QComboBox>(dlg, "combo_parity")), QStringList({"No", "Odd", "Even"}));
        QCOMPARE(texts(child<QComboBox>(dlg, "combo_stopbit")), QStringList({"1", "1.5", "2"}));
        QCOMPARE(texts(child<QComboBox>(dlg, "combo_interval")),
                 QStringList({"1s", "5s", "10s", "60s", "2m", "10m", "20m", "1h", "2h", "10h", "20h"}));
    }

    void okWithoutChangeWritesNothing()
    {
        ComCfgDlg dlg;
        pressOk(dlg);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QVERIFY(!QFile::exists(configFilePath()));
    }

    void changedIntervalIsWritten()
    {
        ComCfgDlg dlg;
        child<QComboBox>(dlg, "combo_interval")->setCurrentText(QStringLiteral("10m"));
        pressOk(dlg);
        QCOMPARE(QByteArray(AppConfig.comm.interval), QByteArray("10m"));
        QVERIFY(configText().contains("\ninterval=10m\n"));
        QCOMPARE(intervalSeconds(), 600u);
    }

    // A stored value that no item reads is shown as an extra item, selected,
    // and OK keeps it: the file stays as it was.
    void unlistedValuesKept_data()
    {
        QTest::addColumn<QByteArray>("com");
        QTest::addColumn<QByteArray>("baud");
        QTest::newRow("COM40") << QByteArray("COM40") << QByteArray("9600");
        QTest::newRow("by-id port, 115200")
            << QByteArray("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0") << QByteArray("115200");
        QTest::newRow("pseudo-terminal") << QByteArray("/tmp/zep-meter") << QByteArray("1000000");
    }

    void unlistedValuesKept()
    {
        QFETCH(QByteArray, com);
        QFETCH(QByteArray, baud);
        QFile file(configFilePath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[COM Setting]\n[Disp Setting]\ncomtype=0\ncom=" + com + "\nbaud=" + baud + "\nparity=No\nstopbit=1\naddr=1\nIP=\n"
                   "interval=5s\nmetertype=0\n");
        file.close();
        readConfig();
        const QByteArray before = configText();
        QCOMPARE(QByteArray(AppConfig.comm.com), com);
        QCOMPARE(QByteArray(AppConfig.comm.baud), baud);

        ComCfgDlg dlg;
        auto *ports = child<QComboBox>(dlg, "combo_com");
        auto *bauds = child<QComboBox>(dlg, "combo_baud");
        QCOMPARE(ports->currentText(), QString::fromLatin1(com));
        QCOMPARE(ports->itemText(ports->currentIndex()), QString::fromLatin1(com));
        QCOMPARE(ports->findText(QString::fromLatin1(com)), ports->currentIndex());
        QCOMPARE(bauds->currentText(), QString::fromLatin1(baud));
        QCOMPARE(bauds->itemText(bauds->currentIndex()), QString::fromLatin1(baud));
        pressOk(dlg);
        QCOMPARE(QByteArray(AppConfig.comm.com), com);
        QCOMPARE(QByteArray(AppConfig.comm.baud), baud);
        QCOMPARE(configText(), before);
    }

    // A listed value adds no item.
    void listedValueAddsNothing()
    {
        ComCfgDlg dlg;
        const int ports = child<QComboBox>(dlg, "combo_com")->count();
        copyToField(AppConfig.comm.com, "COM7");
        ComCfgDlg again;
        QCOMPARE(child<QComboBox>(again, "combo_com")->count(), ports);
        QCOMPARE(child<QComboBox>(again, "combo_com")->currentIndex(), 6);
        QCOMPARE(child<QComboBox>(again, "combo_baud")->count(), 6);
    }

    // The port combo takes a typed device path, as long as the setting holds.
    void typedPortStored()
    {
        ComCfgDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        auto *ports = child<QComboBox>(dlg, "combo_com");
        QVERIFY(ports->isEditable());
        ports->lineEdit()->clear();
        QTest::keyClicks(ports->lineEdit(), QStringLiteral("/dev/pts/7"));
        pressOk(dlg);
        QCOMPARE(QByteArray(AppConfig.comm.com), QByteArray("/dev/pts/7"));
        QVERIFY(configText().contains("\ncom=/dev/pts/7\n"));
        QCOMPARE(ports->lineEdit()->maxLength(), int(sizeof AppConfig.comm.com) - 1);
    }

    // An empty stored port stays empty, and OK stores it empty.
    void emptyPortStaysEmpty()
    {
        copyToField(AppConfig.comm.com, "");
        ComCfgDlg dlg;
        QCOMPARE(child<QComboBox>(dlg, "combo_com")->currentIndex(), -1);
        QCOMPARE(child<QComboBox>(dlg, "combo_com")->currentText(), QString());
        pressOk(dlg);
        QCOMPARE(QByteArray(AppConfig.comm.com), QByteArray());
        QVERIFY(!QFile::exists(configFilePath()));
    }

    void meterTypeResetToZero()
    {
        AppConfig.comm.metertype = 1;
        ComCfgDlg dlg;
        pressOk(dlg);
        QCOMPARE(AppConfig.comm.metertype, 0);
        QVERIFY(configText().contains("\nmetertype=0\n"));
    }

    void ethernetSettingsStored()
    {
        ComCfgDlg dlg;
        child<QRadioButton>(dlg, "radioButton_ip")->click();
        child<QLineEdit>(dlg, "lineEdit_ip")->setText(QStringLiteral("127.0.0.1:1502"));
        child<QTableWidget>(dlg, "tableWidget_meters")->item(0, 1)->setData(Qt::EditRole, 17);
        pressOk(dlg);
        QCOMPARE(AppConfig.comm.comtype, 1);
        QCOMPARE(AppConfig.comm.addr, 17);
        QCOMPARE(QByteArray(AppConfig.comm.IP), QByteArray("127.0.0.1:1502"));
        // The serial settings shown in the disabled group are kept.
        QCOMPARE(QByteArray(AppConfig.comm.com), QByteArray("COM1"));
        QVERIFY(configText().contains("\ncomtype=1\n"));
    }

    void tcpSettingsLoad()
    {
        AppConfig.comm.comtype = 2;
        copyToField(AppConfig.comm.IP, "10.1.2.3");
        ComCfgDlg dlg;
        QVERIFY(child<QRadioButton>(dlg, "radioButton_ip")->isChecked());
        QVERIFY(!child<QGroupBox>(dlg, "groupBox_com")->isEnabled());
        QVERIFY(child<QGroupBox>(dlg, "groupBox_ip")->isEnabled());
        QCOMPARE(child<QLineEdit>(dlg, "lineEdit_ip")->text(), QStringLiteral("10.1.2.3"));
    }

    void radioButtonsSwitchGroups()
    {
        ComCfgDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QTest::mouseClick(child<QRadioButton>(dlg, "radioButton_ip"), Qt::LeftButton);
        QVERIFY(!child<QComboBox>(dlg, "combo_baud")->isEnabled());
        // The meters' addresses are unit ids over TCP.
        QVERIFY(child<QTableWidget>(dlg, "tableWidget_meters")->isEnabled());
        QVERIFY(child<QLineEdit>(dlg, "lineEdit_ip")->isEnabled());
        QVERIFY(!child<QRadioButton>(dlg, "radioButton_com")->isChecked());
        QTest::mouseClick(child<QRadioButton>(dlg, "radioButton_com"), Qt::LeftButton);
        QVERIFY(child<QComboBox>(dlg, "combo_baud")->isEnabled());
        QVERIFY(!child<QLineEdit>(dlg, "lineEdit_ip")->isEnabled());
    }

    // host:port up to 63 characters, the room of the IP setting.
    void ipLengthLimited()
    {
        ComCfgDlg dlg;
        child<QRadioButton>(dlg, "radioButton_ip")->click();
        auto *edit = child<QLineEdit>(dlg, "lineEdit_ip");
        QTest::keyClicks(edit, QStringLiteral("192.168.100.200:1502"));
        QCOMPARE(edit->text(), QStringLiteral("192.168.100.200:1502"));
        edit->clear();
        const QString host = QString(58, QLatin1Char('h')) + QStringLiteral(":1502");
        QTest::keyClicks(edit, host + QStringLiteral("9"));
        QCOMPARE(edit->text(), host);
        pressOk(dlg);
        QCOMPARE(QByteArray(AppConfig.comm.IP), host.toLatin1());
        QVERIFY(configText().contains("\nIP=" + host.toLatin1() + "\n"));
    }

    void acquiringDisablesOk()
    {
        ComCfgDlg dlg(nullptr, true);
        auto *box = child<QDialogButtonBox>(dlg, "buttonBox");
        QVERIFY(!box->button(QDialogButtonBox::Ok)->isEnabled());
        QVERIFY(box->button(QDialogButtonBox::Cancel)->isEnabled());
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        child<QComboBox>(dlg, "combo_interval")->setCurrentText(QStringLiteral("1s"));
        box->button(QDialogButtonBox::Cancel)->click();
        QVERIFY(!dlg.isVisible());
        QCOMPARE(QByteArray(AppConfig.comm.interval), QByteArray("5s"));
        QVERIFY(!QFile::exists(configFilePath()));
    }

    void escapeStoresNothing()
    {
        ComCfgDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        child<QComboBox>(dlg, "combo_interval")->setCurrentText(QStringLiteral("1s"));
        QTest::keyClick(&dlg, Qt::Key_Escape);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(QByteArray(AppConfig.comm.interval), QByteArray("5s"));
    }

    // Kept with the meters: the configuration file is not written for them.
    void keepAcquiringStoredWithTheMeters()
    {
        QSettings().clear();
        ComCfgDlg dlg;
        QVERIFY(!child<QCheckBox>(dlg, "checkBox_keep")->isChecked() && !child<QCheckBox>(dlg, "checkBox_startAcquiring")->isChecked());
        child<QCheckBox>(dlg, "checkBox_keep")->click();
        pressOk(dlg);
        QVERIFY(readStationConfig(AppConfig.comm).keepAcquiring && !QFile::exists(configFilePath()));
        QVERIFY(child<QCheckBox>(*std::make_unique<ComCfgDlg>(), "checkBox_keep")->isChecked());
    }

    void forwarding_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<QString>("message"); // empty: stored
        QTest::newRow("defaults") << "" << "" << "";
        QTest::newRow("host name, port") << "tls:broker.lan:8883" << "site/feeder-1" << "";
        QTest::newRow("empty host") << ":1883" << "" << "请填写 MQTT 服务器的地址（主机:端口）。";
        QTest::newRow("port 0") << "127.0.0.1:0" << "" << "服务器地址“127.0.0.1:0”无效：请写成 主机:端口，端口为 1 到 65535。";
        QTest::newRow("port 65536") << "127.0.0.1:65536" << "" << "服务器地址“127.0.0.1:65536”无效：请写成 主机:端口，端口为 1 到 65535。";
        QTest::newRow("prefix with +") << "" << "zep/+/a" << "主题前缀不能含有“+”或“#”。";
        QTest::newRow("prefix with #") << "" << "zep/#" << "主题前缀不能含有“+”或“#”。";
        QTest::newRow("prefix with $") << "" << "$SYS/zep" << "主题前缀不能以“$”开头：这样的主题由服务器保留。";
        const QString levels = QStringLiteral("主题前缀不能以“/”开头或结尾，也不能有空的一级（“//”）。");
        QTest::newRow("empty level") << "" << "zep//a" << levels;
        QTest::newRow("leading /") << "" << "/zep" << levels;
        QTest::newRow("trailing /") << "" << "zep/a/" << levels;
        QTest::newRow("password in clear") << "mqtt.example.net" << "" << "密码将以明文发送到 mqtt.example.net。仍然保存吗？";
        QTest::newRow("own name, in clear") << QSysInfo::machineHostName() << "" << "";
        QTest::newRow("loopback v6, in clear") << "[::1]:1883" << "" << "";
    }

    // Bad values are refused with a message and the dialog stays; good ones
    // go to the per-user store, which nobody else may read (it holds the
    // password).
    void forwarding()
    {
        QFETCH(QString, server);
        QFETCH(QString, prefix);
        QFETCH(QString, message);
        QSettings().clear();
        ForwardCfgDlg dlg;
        dlg.show();
        QCOMPARE(dlg.windowTitle(), QStringLiteral("数据转发"));
        QWidget *first = dlg.nextInFocusChain();
        while (first->focusPolicy() == Qt::NoFocus)
            first = first->nextInFocusChain();
        QCOMPARE(first->objectName(), QStringLiteral("checkBox_enabled"));
        QCOMPARE(dlg.formSettings(), defaultForwardConfig());
        QVERIFY(dlg.formSettings().prefix.contains(QRegularExpression("^zep/" + QSysInfo::machineHostName() + "-[0-9a-f]{6}$")));
        child<QCheckBox>(dlg, "checkBox_enabled")->click();
        // "tls:": over TLS, where the password crosses no network in clear.
        child<QCheckBox>(dlg, "checkBox_tls")->setChecked(server.startsWith("tls:"));
        if (!server.isEmpty())
            child<QLineEdit>(dlg, "lineEdit_server")->setText(server.remove("tls:"));
        if (!prefix.isEmpty())
            child<QLineEdit>(dlg, "lineEdit_prefix")->setText(prefix);
        child<QLineEdit>(dlg, "lineEdit_password")->setText(QStringLiteral("s3cret"));
        zeptest::MessageBoxLog boxes;
        boxes.start();
        pressOk(dlg);
        QTRY_COMPARE(boxes.seen.size(), message.isEmpty() ? 0 : 1);
        QCOMPARE(boxes.seen.isEmpty() ? QString() : boxes.seen[0].text, message);
        QCOMPARE(dlg.isVisible(), !message.isEmpty());
        QCOMPARE(readStationConfig(AppConfig.comm).forwarding == dlg.formSettings(), message.isEmpty());
        // No group or other bits.
        QCOMPARE(int(QFile::permissions(stationSettingsPath()) & 0x77), 0);
    }

    void meters_data()
    {
        QTest::addColumn<QStringList>("rows"); // name:address, each after the first added with 添加电表
        QTest::addColumn<QString>("message");  // empty: stored
        QTest::newRow("two meters") << QStringList{"进线柜:1", "空调:2"} << "";
        QTest::newRow("first address to config.ini") << QStringList{" 进线柜 :5", "电表2:1"} << "";
        QTest::newRow("address twice") << QStringList{"进线柜:3", "空调:3"} << "地址 3 重复：每台电表的地址须不同。";
        QTest::newRow("name twice") << QStringList{"空调:1", "空调 :2"} << "电表名称“空调”重复：每台电表的名称须不同。";
        QTest::newRow("no name") << QStringList{"进线柜:1", " :2"} << "第 2 台电表没有名称。";
    }

    // Added rows get a free name and address; OK refuses meters that cannot
    // be told apart, and stores the others in config/meters.ini, the first
    // one's address also in config.ini.
    void meters()
    {
        QFETCH(QStringList, rows);
        QFETCH(QString, message);
        ComCfgDlg dlg;
        dlg.show();
        auto *table = child<QTableWidget>(dlg, "tableWidget_meters");
        QVector<MeterConfig> meters;
        for (int row = 0; row < rows.size(); ++row) {
            if (row > 0)
                child<QPushButton>(dlg, "pushButton_addMeter")->click();
            QCOMPARE(metersProblem(dlg.formMeters()), QString());
            meters.append({rows[row].section(':', 0, 0), rows[row].section(':', 1).toInt()});
            table->item(row, 0)->setText(meters.last().name);
            table->item(row, 1)->setData(Qt::EditRole, meters.last().addr);
            meters.last().name = meters.last().name.trimmed();
        }
        zeptest::MessageBoxLog boxes;
        boxes.start();
        pressOk(dlg);
        QCOMPARE(boxes.seen.isEmpty() ? QString() : boxes.seen[0].text, message);
        QCOMPARE(dlg.isVisible(), !message.isEmpty());
        QCOMPARE(readStationConfig(AppConfig.comm).meters, message.isEmpty() ? meters : metersOf(AppConfig.comm));
        QCOMPARE(AppConfig.comm.addr, message.isEmpty() ? meters.first().addr : 1);
        QCOMPARE(configText().contains("\naddr=5\n"), meters.first().addr == 5);
    }

    // The new controls go between the link and the interval, the others
    // keep their order and their keys; one meter stays.
    void tabOrderAndKeys()
    {
        ComCfgDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QStringList chain;
        for (QWidget *w = dlg.nextInFocusChain(); w != &dlg; w = w->nextInFocusChain())
            if (w->focusPolicy() != Qt::NoFocus && !w->objectName().isEmpty() && !w->objectName().startsWith("qt_"))
                chain << w->objectName();
        QCOMPARE(chain.join(' '), "radioButton_com radioButton_ip combo_com combo_baud combo_parity combo_stopbit lineEdit_ip "
                                  "tableWidget_meters pushButton_addMeter pushButton_removeMeter combo_interval checkBox_keep "
                                  "checkBox_daily lineEdit_daily pushButton_browse checkBox_startAcquiring");
        QTest::keyClick(&dlg, Qt::Key_A, Qt::AltModifier);
        QTRY_COMPARE(dlg.formMeters().size(), 2);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QTest::keyClick(&dlg, Qt::Key_E, Qt::AltModifier);
        QTRY_COMPARE(dlg.formMeters().size(), 1);
        QVERIFY(!child<QPushButton>(dlg, "pushButton_removeMeter")->isEnabled());
        QTest::keyClick(&dlg, Qt::Key_R, Qt::AltModifier);
        QTRY_VERIFY(child<QCheckBox>(dlg, "checkBox_keep")->isChecked());
        QTest::keyClick(&dlg, Qt::Key_T, Qt::AltModifier);
        QTRY_VERIFY(child<QCheckBox>(dlg, "checkBox_startAcquiring")->isChecked());
        pressOk(dlg);
        QVERIFY(readStationConfig(AppConfig.comm).startAcquiring);
    }

    // Off by default; ticked, OK stays until the folder can take the files.
    void dailyFolderChecked_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("message");
        QTest::newRow("none chosen") << "" << "请选择按天保存数据的文件夹。";
        QTest::newRow("missing") << "missing" << "文件夹不存在：%1";
        QTest::newRow("a file") << "file.txt" << "文件夹不存在：%1";
        QTest::newRow("writable") << "days" << "";
    }

    void dailyFolderChecked()
    {
        QFETCH(QString, folder);
        QFETCH(QString, message);
        QSettings().clear();
        QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("days")) && zeptest::writeBytes(dir->filePath("file.txt"), "x"));
        const QString path = folder.isEmpty() ? QString() : dir->filePath(folder);
        ComCfgDlg dlg;
        dlg.show();
        auto *box = child<QCheckBox>(dlg, "checkBox_daily");
        auto *edit = child<QLineEdit>(dlg, "lineEdit_daily");
        QVERIFY(!box->isChecked() && !edit->isEnabled());
        box->click();
        QCOMPARE(box->nextInFocusChain(), edit);
        edit->setText(path);
        zeptest::MessageBoxLog boxes;
        boxes.start();
        pressOk(dlg);
        QCOMPARE(dlg.isVisible(), !message.isEmpty());
        QCOMPARE(boxes.seen.size() == 1 ? boxes.seen.at(0).text : QString(),
                 QString(message).replace(QLatin1String("%1"), QDir::toNativeSeparators(path)));
        QCOMPARE(readStationConfig(AppConfig.comm).dailyFolder, message.isEmpty() ? path : QString());
        QVERIFY(!QFile::exists(configFilePath()));
    }
};

ZEP_TEST_MAIN(TestComCfgDlg)
#include "tst_comcfgdlg.moc"
