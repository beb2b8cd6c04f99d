#include "data/appconfig.h"
#include "coretesting.h"

#include <QFile>
#include <QTemporaryDir>

namespace {

// Colours in the order the file lists them, written out independently of the
// program's own table.
const char *const kDefaultColourText =
    "255,0,0 0,153,51 0,51,255 119,51,204 153,51,0 255,153,51 153,204,51 119,170,221 "
    "204,102,204 153,153,153 102,255,0 0,255,255 0,0,153 255,255,0 153,0,153 255,17,153 "
    "204,153,153 153,255,153 153,153,0 0,153,153 0,204,153 0,255,0 0,117,117 153,104,0 "
    "153,104,76 216,165,76 207,62,151 153,95,190 100,172,190 100,118,215 122,53,111";

QByteArray expectedDefaultFile()
{
    QByteArray out =
        "[ZEP Config]\n[COM Setting]\ncomtype=0\ncom=COM1\nbaud=9600\nparity=No\nstopbit=1\naddr=1\n"
        "IP=\ninterval=5s\nmetertype=0\n\n[Disp Setting]\ntimeformat=4\nyAxis_scale=1\nyLow=0\n"
        "yHigh=500\ngridlinetype=3\nxMaxMajor=10\nxMaxMinor=5\nyMaxMajor=10\nyMaxMinor=5\n"
        "grid_red=185\ngrid_green=185\ngrid_blue=185\nback_red=255\nback_green=255\nback_blue=255\n";
    const QList<QByteArray> colours = QByteArray(kDefaultColourText).split(' ');
    for (int k = 0; k < 31; ++k) {
        const QList<QByteArray> rgb = colours.at(k).split(',');
        const QByteArray i = QByteArray::number(k);
        out += "para_red[" + i + "]=" + rgb[0] + "\n";
        out += "para_green[" + i + "]=" + rgb[1] + "\n";
        out += "para_blue[" + i + "]=" + rgb[2] + "\n";
        out += "para_on[" + i + "]=1\n";
    }
    out += "\n";
    return out;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return f.readAll();
}

void writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content);
}

void writeConfigLines(const QByteArray &lines)
{
    writeFile(QStringLiteral("config/config.ini"), "[COM Setting]\n[Disp Setting]\n" + lines);
}

} // namespace

class TestAppConfig : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir;

private slots:
    void init()
    {
        // Every case starts as the program does: a zeroed record in an empty directory.
        AppConfig = AppConfigRecord{};
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir::setCurrent(dir->path()));
    }

    void firstStartWritesDefaultFile()
    {
        QVERIFY(!QDir(QStringLiteral("config")).exists());
        readConfig();
        QCOMPARE(readAll(QStringLiteral("config/config.ini")), expectedDefaultFile());
        const ComConfig &c = AppConfig.comm;
        QCOMPARE(c.comtype, 0);
        QCOMPARE(QByteArray(c.com), QByteArray("COM1"));
        QCOMPARE(QByteArray(c.baud), QByteArray("9600"));
        QCOMPARE(QByteArray(c.parity), QByteArray("No"));
        QCOMPARE(QByteArray(c.stopbit), QByteArray("1"));
        QCOMPARE(c.addr, 1);
        QCOMPARE(QByteArray(c.IP), QByteArray(""));
        QCOMPARE(QByteArray(c.interval), QByteArray("5s"));
        QCOMPARE(c.metertype, 0);
        QCOMPARE(AppConfig.disp.yHigh, 500.0);
        QCOMPARE(AppConfig.disp.para_on[30], true);
    }

    void defaultFileReadsBackUnchanged()
    {
        readConfig();
        const AppConfigRecord first = AppConfig;
        AppConfig = AppConfigRecord{};
        readConfig();
        QVERIFY(first.comm == AppConfig.comm);
        writeConfig();
        QCOMPARE(readAll(QStringLiteral("config/config.ini")), expectedDefaultFile());
    }

    void onlyComtypeLeavesDisplayZero()
    {
        writeConfigLines("comtype=1\n");
        readConfig();
        QCOMPARE(AppConfig.comm.comtype, 1);
        QCOMPARE(QByteArray(AppConfig.comm.com), QByteArray("COM1"));
        QCOMPARE(QByteArray(AppConfig.comm.interval), QByteArray("5s"));
        QCOMPARE(AppConfig.comm.addr, 1);
        const DisplayConfig &d = AppConfig.disp;
        QCOMPARE(d.yLow, 0.0);
        QCOMPARE(d.yHigh, 0.0);
        QCOMPARE(d.yAxis_scale, 0);
        QCOMPARE(d.timeformat, 0);
        for (int k = 0; k < 31; ++k) {
            QCOMPARE(d.para_red[k] | d.para_green[k] | d.para_blue[k], 0);
            QCOMPARE(d.para_on[k], false);
        }
    }

    void lines_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("what");
        QTest::addColumn<int>("expected");
        QTest::newRow("blanks around = are part of the key") << QByteArray("comtype = 1\n") << "comtype" << 0;
        QTest::newRow("blank after = is simplified away") << QByteArray("comtype= 1 \n") << "comtype" << 1;
        QTest::newRow("CR LF line break") << QByteArray("addr=7\r\n") << "addr" << 7;
        QTest::newRow("last line without break") << QByteArray("addr=9") << "addr" << 9;
        QTest::newRow("non-numeric int") << QByteArray("addr=x1\n") << "addr" << 0;
        QTest::newRow("key is case-sensitive") << QByteArray("ADDR=5\n") << "addr" << 1;
        QTest::newRow("text after NUL ignored") << QByteArray("addr=4\0" "0\n", 9) << "addr" << 4;
        QTest::newRow("section line changes nothing") << QByteArray("[COM Setting]\n") << "comtype" << 0;
        QTest::newRow("only first = splits") << QByteArray("addr=3=4\n") << "addr" << 0;
        QTest::newRow("index 40 ignored") << QByteArray("para_red[40]=12\n") << "red0" << 0;
        QTest::newRow("index -1 ignored") << QByteArray("para_red[-1]=12\n") << "red0" << 0;
        QTest::newRow("index 30 used") << QByteArray("para_red[30]=12\n") << "red30" << 12;
        QTest::newRow("non-numeric index is 0") << QByteArray("para_red[x]=12\n") << "red0" << 12;
        QTest::newRow("green") << QByteArray("para_green[2]=77\n") << "green2" << 77;
        QTest::newRow("blue") << QByteArray("para_blue[5]=66\n") << "blue5" << 66;
        QTest::newRow("para_on 7 is true") << QByteArray("para_on[3]=7\n") << "on3" << 1;
        QTest::newRow("para_on 0 is false") << QByteArray("para_on[3]=0\n") << "on3" << 0;
    }

    void lines()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, what);
        QFETCH(int, expected);
        writeConfigLines(content);
        readConfig();
        const DisplayConfig &d = AppConfig.disp;
        int actual = -12345;
        if (what == QLatin1String("comtype"))
            actual = AppConfig.comm.comtype;
        else if (what == QLatin1String("addr"))
            actual = AppConfig.comm.addr;
        else if (what == QLatin1String("red0"))
            actual = d.para_red[0];
        else if (what == QLatin1String("red30"))
            actual = d.para_red[30];
        else if (what == QLatin1String("green2"))
            actual = d.para_green[2];
        else if (what == QLatin1String("blue5"))
            actual = d.para_blue[5];
        else if (what == QLatin1String("on3"))
            actual = d.para_on[3] ? 1 : 0;
        QCOMPARE(actual, expected);
    }

    void paraOnWrittenBackAsOne()
    {
        writeConfigLines("para_on[3]=7\n");
        readConfig();
        writeConfig();
        const QByteArray out = readAll(QStringLiteral("config/config.ini"));
        QVERIFY(out.contains("\npara_on[3]=1\n"));
        QVERIFY(out.contains("\npara_on[2]=0\n"));
    }

    void doubles_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<double>("value");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("exponent") << QByteArray("1e3") << 1000.0 << QByteArray("1000");
        QTest::newRow("fraction") << QByteArray("12.5") << 12.5 << QByteArray("12.5");
        QTest::newRow("negative") << QByteArray("-0.25") << -0.25 << QByteArray("-0.25");
        QTest::newRow("six digits") << QByteArray("1234567") << 1234567.0 << QByteArray("1.23457e+06");
        QTest::newRow("garbage") << QByteArray("abc") << 0.0 << QByteArray("0");
        // Beyond the double range toDouble says ok = false (and gives inf):
        // no conversion, so 0.
        QTest::newRow("overflow") << QByteArray("1e999") << 0.0 << QByteArray("0");
        QTest::newRow("negative overflow") << QByteArray("-1e999") << 0.0 << QByteArray("0");
    }

    void doubles()
    {
        QFETCH(QByteArray, text);
        QFETCH(double, value);
        QFETCH(QByteArray, written);
        writeConfigLines("yHigh=" + text + "\n");
        readConfig();
        QCOMPARE(AppConfig.disp.yHigh, value);
        writeConfig();
        QVERIFY(readAll(QStringLiteral("config/config.ini")).contains("\nyHigh=" + written + "\n"));
    }

    void textFields_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("com fits") << QByteArray("com=COM12") << QByteArray("com") << QByteArray("COM12");
        QTest::newRow("linux device") << QByteArray("com=/dev/ttyUSB0") << QByteArray("com") << QByteArray("/dev/ttyUSB0");
        const QByteArray byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0X";
        QTest::newRow("com 63 characters") << QByteArray("com=" + byId) << QByteArray("com") << byId;
        // A value longer than its field is refused, not cut: the field keeps
        // its default.
        QTest::newRow("com of 64 refused") << QByteArray("com=" + byId + "Y") << QByteArray("com") << QByteArray("COM1");
        QTest::newRow("baud 115200") << QByteArray("baud=115200") << QByteArray("baud") << QByteArray("115200");
        QTest::newRow("baud of 7") << QByteArray("baud=1000000") << QByteArray("baud") << QByteArray("1000000");
        QTest::newRow("baud of 8 refused") << QByteArray("baud=10000000") << QByteArray("baud") << QByteArray("9600");
        QTest::newRow("parity of 6 refused") << QByteArray("parity=Evenish") << QByteArray("parity") << QByteArray("No");
        QTest::newRow("stopbit") << QByteArray("stopbit=1.5") << QByteArray("stopbit") << QByteArray("1.5");
        QTest::newRow("IP 15 kept") << QByteArray("IP=127.0.0.1:150") << QByteArray("IP") << QByteArray("127.0.0.1:150");
        QTest::newRow("IP host:port") << QByteArray("IP=192.168.100.200:1502") << QByteArray("IP")
                                      << QByteArray("192.168.100.200:1502");
        const QByteArray host63 = QByteArray(58, 'h') + ":1502";
        QTest::newRow("IP of 63") << QByteArray("IP=" + host63) << QByteArray("IP") << host63;
        QTest::newRow("IP of 64 refused") << QByteArray("IP=h" + host63) << QByteArray("IP") << QByteArray("");
        QTest::newRow("interval of 7") << QByteArray("interval=123456s") << QByteArray("interval") << QByteArray("123456s");
        QTest::newRow("interval of 8 refused") << QByteArray("interval=1234567s") << QByteArray("interval")
                                               << QByteArray("5s");
        QTest::newRow("inner blanks collapse") << QByteArray("IP=  a   b  ") << QByteArray("IP") << QByteArray("a b");
    }

    void textFields()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, field);
        QFETCH(QByteArray, expected);
        writeConfigLines(line + "\n");
        readConfig();
        const ComConfig &c = AppConfig.comm;
        const char *value = field == "com" ? c.com
                          : field == "baud" ? c.baud
                          : field == "parity" ? c.parity
                          : field == "stopbit" ? c.stopbit
                          : field == "IP" ? c.IP : c.interval;
        QCOMPARE(QByteArray(value), expected);
        // The neighbours of the field keep their defaults.
        QCOMPARE(c.addr, 1);
        QCOMPARE(c.comtype, 0);
        if (field != "interval")
            QCOMPARE(QByteArray(c.interval), QByteArray("5s"));
        if (field != "baud")
            QCOMPARE(QByteArray(c.baud), QByteArray("9600"));
        if (field != "parity")
            QCOMPARE(QByteArray(c.parity), QByteArray("No"));
    }

    void overlongTextStaysInItsField()
    {
        // Every byte of the record but the field's own stays as it was.
        ComConfig c;
        memset(&c, 0x5a, sizeof c);
        const QByteArray before(reinterpret_cast<const char *>(&c), sizeof c);
        copyToField(c.IP, QByteArray(400, 'x'));
        copyToField(c.com, QByteArray(400, 'y'));
        const QByteArray after(reinterpret_cast<const char *>(&c), sizeof c);
        const int ip = int(offsetof(ComConfig, IP));
        const int com = int(offsetof(ComConfig, com));
        for (int i = 0; i < int(sizeof c); ++i) {
            if ((i >= ip && i < ip + int(sizeof c.IP)) || (i >= com && i < com + int(sizeof c.com)))
                continue;
            QCOMPARE(after.at(i), before.at(i));
        }
        QCOMPARE(QByteArray(c.IP), QByteArray(63, 'x'));
        QCOMPARE(QByteArray(c.com), QByteArray(63, 'y'));
    }

    // Reader and writer share one list of keys: a record with a distinct
    // value in every field comes back whole.
    void everyFieldRoundTrips()
    {
        AppConfigRecord written{};
        ComConfig &c = written.comm;
        c.comtype = 1;
        copyToField(c.com, "/dev/serial/by-id/usb-1");
        copyToField(c.baud, "115200");
        copyToField(c.parity, "Odd");
        copyToField(c.stopbit, "1.5");
        c.addr = 17;
        copyToField(c.IP, "192.168.100.200:1502");
        copyToField(c.interval, "10m");
        c.metertype = 3;
        DisplayConfig &d = written.disp;
        int next = 1;
        for (int *field : {&d.timeformat, &d.yAxis_scale, &d.gridlinetype, &d.xMaxMajor, &d.xMaxMinor,
                           &d.yMaxMajor, &d.yMaxMinor, &d.grid_red, &d.grid_green, &d.grid_blue, &d.back_red,
                           &d.back_green, &d.back_blue})
            *field = next++;
        d.yLow = -2.5;
        d.yHigh = 12345.6;
        for (int k = 0; k < kValueCount; ++k) {
            d.para_red[k] = next++;
            d.para_green[k] = next++;
            d.para_blue[k] = next++;
            d.para_on[k] = k % 3 == 0;
        }
        AppConfig = written;
        writeConfig();
        AppConfig = AppConfigRecord{};
        readConfig();
        QVERIFY(AppConfig.comm == written.comm);
        const DisplayConfig &r = AppConfig.disp;
        const int *readInts[] = {&r.timeformat, &r.yAxis_scale, &r.gridlinetype, &r.xMaxMajor, &r.xMaxMinor,
                                 &r.yMaxMajor, &r.yMaxMinor, &r.grid_red, &r.grid_green, &r.grid_blue,
                                 &r.back_red, &r.back_green, &r.back_blue};
        for (int i = 0; i < 13; ++i)
            QCOMPARE(*readInts[i], i + 1);
        QCOMPARE(r.yLow, -2.5);
        QCOMPARE(r.yHigh, 12345.6);
        QVERIFY(memcmp(r.para_red, d.para_red, sizeof d.para_red) == 0);
        QVERIFY(memcmp(r.para_green, d.para_green, sizeof d.para_green) == 0);
        QVERIFY(memcmp(r.para_blue, d.para_blue, sizeof d.para_blue) == 0);
        QVERIFY(memcmp(r.para_on, d.para_on, sizeof d.para_on) == 0);
        // 9 + 15 keys, 4 per column, 3 section lines and 2 empty ones.
        const QByteArray file = readAll(QStringLiteral("config/config.ini"));
        QCOMPARE(file.count('\n'), 9 + 15 + 4 * kValueCount + 3 + 2);
    }

    void intervals_data()
    {
        QTest::addColumn<QByteArray>("interval");
        QTest::addColumn<uint>("seconds");
        QTest::newRow("1s") << QByteArray("1s") << 1u;
        QTest::newRow("5s") << QByteArray("5s") << 5u;
        QTest::newRow("60s") << QByteArray("60s") << 60u;
        QTest::newRow("10m") << QByteArray("10m") << 600u;
        QTest::newRow("2h") << QByteArray("2h") << 7200u;
        QTest::newRow("20h") << QByteArray("20h") << 72000u;
        QTest::newRow("unknown unit is seconds") << QByteArray("7x") << 7u;
        QTest::newRow("empty") << QByteArray("") << 1u;
        QTest::newRow("non-numeric") << QByteArray("x") << 1u;
        QTest::newRow("zero") << QByteArray("0s") << 1u;
        QTest::newRow("negative") << QByteArray("-5m") << 1u;
        QTest::newRow("leading digits only") << QByteArray("12ab") << 12u;
    }

    void intervals()
    {
        QFETCH(QByteArray, interval);
        QFETCH(uint, seconds);
        copyToField(AppConfig.comm.interval, interval);
        QCOMPARE(intervalSeconds(), seconds);
    }

    void fileWithoutBothSectionsIsReplaced_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("keys only") << QByteArray("comtype=1\nyHigh=7\n");
        QTest::newRow("cut before the display section") << expectedDefaultFile().left(120);
    }

    void fileWithoutBothSectionsIsReplaced()
    {
        QFETCH(QByteArray, content);
        writeFile(QStringLiteral("config/config.ini"), content);
        QCOMPARE(readConfig(), ConfigOrigin::Replaced);
        QCOMPARE(readAll(QStringLiteral("config/config.ini")), expectedDefaultFile());
        QCOMPARE(AppConfig.comm.comtype, 0);
        QCOMPARE(AppConfig.disp.yHigh, 500.0);
        QCOMPARE(readConfig(), ConfigOrigin::File);
    }

    void unwritableDirectoryIsSilent()
    {
        // A file named "config" blocks the directory: nothing may crash or be reported.
        writeFile(QStringLiteral("config"), "x");
        readConfig();
        QCOMPARE(QByteArray(AppConfig.comm.com), QByteArray("COM1"));
        QCOMPARE(AppConfig.disp.yHigh, 500.0);
    }
};

ZEP_TEST_MAIN_CORE(TestAppConfig)
#include "tst_appconfig.moc"
