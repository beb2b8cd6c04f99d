// Live readings out over MQTT, as a real broker delivers them to a
// subscriber: the texts, a broker that goes away and comes back, a link that
// dies without a word, TLS, a refused password, and polls that keep their
// interval whatever the broker does.

#include "brokertesting.h"
#include "comm/mqttforwarder.h"
#include "comm/samplingthread.h"
#include "realtime/metersession.h"
#include "linktesting.h"
#include "simprocess.h"
#include "coretesting.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>

namespace {

constexpr uint32_t kT0 = 1700000000u;

// Column 0: the energy; text: the value as the state carries it.
struct Quantity {
    const char *tag;
    int column;
    float value;
    const char *text, *unit, *deviceClass, *title;
};

const Quantity kQuantities[] = {
    {"voltage UA", 1, 220.5f, "220.50", "V", "voltage", "A相电压"},
    {"line voltage UVavr", 8, 381.666f, "381.67", "V", "voltage", "平均线电压"},
    {"current IB", 10, 5.2f, "5.20", "A", "current", "B相电流"},
    {"active power TP", 13, 3412.5f, "3412.5", "W", "power", "总有功功率"},
    {"reactive power TQ", 14, -812.34f, "-812.3", "var", "reactive_power", "总无功功率"},
    {"apparent power TS", 15, 3507.9f, "3507.9", "VA", "apparent_power", "总视在功率"},
    {"power factor COS", 16, 0.973f, "0.973", "", "power_factor", "功率因数"},
    {"frequency FR", 17, 50.0f, "50.000", "Hz", "frequency", "频率"},
    {"distortion ThdIc", 23, 8.3f, "8.30", "%", "", "C相电流谐波畸变率"},
    {"crest factor KbfUa", 24, 1.41f, "1.41", "", "", "A相电压波峰系数"},
    {"unbalance UnbI", 31, 1.9f, "1.90", "%", "", "电流不平衡度"},
    {"energy", kEnergyColumn, 0.0f, "0.000", "kWh", "energy", "正向有功电能"},
    {"energy fed back", kEnergyExportColumn, 0.0f, "0.000", "kWh", "energy", "反向有功电能"},
};

// Each stored poll's moment, as the sampling thread hands it over.
struct PollClock : PollListener {
    QElapsedTimer clock;
    QVector<qint64> stored;
    void pollStored(uint32_t, const SampleRecord &) override { stored << clock.elapsed(); }
};

SampleRecord record()
{
    SampleRecord r{};
    for (const Quantity &q : kQuantities)
        if (q.column > 0)
            r.setValue(q.column, q.value);
    return r;
}

double energyIn(const QList<Delivered> &delivered, const char *name)
{
    return QJsonDocument::fromJson(delivered.last().payload)[QLatin1String(name)].toDouble();
}

QList<uint> times(const QList<Delivered> &delivered)
{
    QList<uint> list;
    for (const Delivered &d : delivered)
        list << QDateTime::fromString(QJsonDocument::fromJson(d.payload)[QStringLiteral("time")].toString(), Qt::ISODate).toSecsSinceEpoch();
    return list;
}

// Each time once, the first time it came: a message goes again when its
// acknowledgement was lost.
QList<uint> firstOfEach(QList<uint> list)
{
    QSet<uint> seen;
    list.erase(std::remove_if(list.begin(), list.end(), [&seen](uint t) { return seen.contains(t) || (seen.insert(t), false); }), list.end());
    return list;
}

// Passes connections on to the broker; swallowing, it takes all that comes
// from either side and passes on nothing: a link that died without a word.
struct Relay : QTcpServer {
    bool swallowing = false;
    quint16 target = 0;

    void incomingConnection(qintptr descriptor) override
    {
        auto *in = new QTcpSocket(this), *out = new QTcpSocket(this);
        in->setSocketDescriptor(descriptor);
        out->connectToHost(QHostAddress::LocalHost, target);
        for (auto [from, to] : {std::pair{in, out}, std::pair{out, in}})
            connect(from, &QTcpSocket::readyRead, [this, from = from, to = to] {
                const QByteArray bytes = from->readAll();
                if (!swallowing)
                    to->write(bytes);
            });
    }
};

} // namespace

class TestMqttForwarder : public QObject
{
    Q_OBJECT

    BrokerProcess broker;
    std::unique_ptr<BrokerListener> live;     // subscribed before the forwarder came
    std::unique_ptr<BrokerListener> retained; // subscribed once it had connected
    QList<ForwardStatus> statuses;

    TestCertificates certificates; // for the broker's TLS listener

    std::unique_ptr<MqttForwarder> forwarder(const QString &server, bool discovery = false, const QString &password = {},
                                             bool tls = false, const QString &caFile = {}, const QString &prefix = "zep/test",
                                             const QVector<MeterConfig> &meters = {{QStringLiteral("电表1"), 1}})
    {
        statuses.clear();
        auto f = std::make_unique<MqttForwarder>(ForwardConfig{true, server, "meter", password, prefix, discovery, tls, caFile},
                                                 meters, 1.0);
        connect(f.get(), &MqttForwarder::statusChanged, this, [this](const ForwardStatus &s) { statuses << s; });
        return f;
    }
    ForwardStatus::State state() const { return statuses.isEmpty() ? ForwardStatus::State::Ended : statuses.last().state; }

private slots:
    void initTestCase()
    {
        QVERIFY(certificates.make());
        QVERIFY(broker.start({}, {}, certificates.dir.path()));
        live = std::make_unique<BrokerListener>(broker.port);
        QTRY_VERIFY(live->subscribed());
        auto f = forwarder(broker.address(), true);
        QTRY_COMPARE(state(), ForwardStatus::State::Connected);
        f->channel(0)->pollStored(kT0, record());
        QTRY_COMPARE(live->messages("zep/test/energy").size(), 1);
        retained = std::make_unique<BrokerListener>(broker.port);
        QTRY_VERIFY(retained->messages().size() >= 34);
        QCOMPARE(retained->messages("zep/test/status").first().payload, QByteArray("online"));
        // Once the run is over, the status says so.
        f.reset();
        BrokerListener end(broker.port);
        QTRY_COMPARE(end.messages("zep/test/status").size(), 1);
        QCOMPARE(end.messages("zep/test/status").first().payload, QByteArray("offline"));
    }

    // Several meters share the connection, each under its address with its
    // own energy and status, and each a device of its own named after it,
    // whatever characters its name holds; its entities are there while the
    // station and the meter both are.
    void severalMeters()
    {
        const QVector<MeterConfig> meters{{QStringLiteral("进线柜 #1/+"), 1}, {QStringLiteral("空调 \"A\"\\"), 12}};
        auto f = forwarder(broker.address(), true, {}, false, {}, "zep/two", meters);
        QTRY_COMPARE(state(), ForwardStatus::State::Connected);
        SampleRecord poll = record();
        poll.setValue(13, 3.6e6f);
        f->channel(0)->pollStored(kT0, poll);
        f->channel(0)->pollStored(kT0 + 1, poll);
        f->channel(1)->pollStored(kT0, record());
        for (int i = 0; i < MqttForwarder::kMissedBeforeOffline; ++i)
            f->channel(1)->pollMissed();
        QTRY_COMPARE(live->messages("zep/two/1/energy").size(), 2);
        QTRY_VERIFY(!live->messages("zep/two/12/status").isEmpty() && live->messages("zep/two/12/status").last().payload == "offline");
        QCOMPARE(energyIn(live->messages("zep/two/1/energy"), kEnergyName), 1.0);
        QCOMPARE(energyIn(live->messages("zep/two/12/energy"), kEnergyName), 0.0);
        QCOMPARE(live->messages("zep/two/12/state").size(), 1);
        QCOMPARE(live->messages("zep/two/1/status").last().payload, QByteArray("online"));
        QCOMPARE(live->messages("zep/two/status").last().payload, QByteArray("online"));
        QVERIFY(live->messages("zep/two/state").isEmpty());
        for (const MeterConfig &m : meters) {
            const QString node = "zep_two_" + QString::number(m.addr), root = "zep/two/" + QString::number(m.addr);
            const QList<Delivered> configs = live->messages("homeassistant/sensor/" + node.toLatin1() + "/TP/config");
            QCOMPARE(configs.size(), 1);
            const QJsonObject config = QJsonDocument::fromJson(configs[0].payload).object();
            QCOMPARE(config["device"].toObject()["name"].toString(), m.name);
            QCOMPARE(config["device"].toObject()["identifiers"].toArray(), QJsonArray{node});
            QCOMPARE(config["unique_id"].toString(), node + "_TP");
            QCOMPARE(config["state_topic"].toString(), root + "/state");
            QCOMPARE(config["availability"].toArray(), QJsonArray({QJsonObject{{"topic", "zep/two/status"}}, QJsonObject{{"topic", root + "/status"}}}));
            QCOMPARE(config["availability_mode"].toString(), QStringLiteral("all"));
        }
        QCOMPARE(live->messages("homeassistant/sensor/zep_two_12/energy_export/config").size(), 1);
        // Once the run is over, every meter and the station say so.
        for (int m = 0; m < meters.size(); ++m)
            f->channel(m)->runEnded();
        QTRY_COMPARE(live->messages("zep/two/status").last().payload, QByteArray("offline"));
        QCOMPARE(live->messages("zep/two/1/status").last().payload, QByteArray("offline"));
    }

    void published_data()
    {
        QTest::addColumn<int>("row");
        for (int i = 0; i < int(std::size(kQuantities)); ++i)
            QTest::newRow(kQuantities[i].tag) << i;
    }

    // The state and the energy carry each value with the digits the data
    // file keeps, under the quantity's name; each quantity has a retained
    // discovery config that points at it in the unit and class Home
    // Assistant knows.
    void published()
    {
        QFETCH(int, row);
        const int column = kQuantities[row].column;
        const QString name = column > 0 ? QString::fromLatin1(ParamTable[column].name).simplified()
                                        : QString::fromLatin1(column == kEnergyColumn ? kEnergyName : kEnergyExportName);
        const QString topic = column > 0 ? "zep/test/state" : "zep/test/" + name;
        const QList<Delivered> states = live->messages(topic.toLatin1());
        const QList<Delivered> configs = retained->messages("homeassistant/sensor/zep_test/" + name.toLatin1() + "/config");
        QCOMPARE(states.size(), 1);
        QCOMPARE(configs.size(), 1);
        QVERIFY(!states[0].retained && configs[0].retained);
        const QJsonObject values = QJsonDocument::fromJson(states[0].payload).object();
        QCOMPARE(values.size(), column > 0 ? 32 : 2);
        QCOMPARE(values[QStringLiteral("time")].toString(), isoTimeText(kT0));
        QVERIFY(values[QStringLiteral("time")].toString().contains(QRegularExpression("T\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d$")));
        QVERIFY(states[0].payload.contains(QString("\"%1\":%2%3").arg(name, kQuantities[row].text, column > 0 && column < 31 ? "," : "}").toLatin1()));

        QJsonObject expected{{"name", kQuantities[row].title}, {"unique_id", "zep_test_" + name}, {"state_topic", topic},
                             {"value_template", "{{ value_json." + name + " }}"}, {"availability_topic", "zep/test/status"},
                             {"state_class", column > 0 ? "measurement" : "total_increasing"}};
        if (*kQuantities[row].unit)
            expected["unit_of_measurement"] = kQuantities[row].unit;
        if (*kQuantities[row].deviceClass)
            expected["device_class"] = kQuantities[row].deviceClass;
        QJsonObject device = QJsonDocument::fromJson(configs[0].payload).object();
        QCOMPARE(device.take("device").toObject()["identifiers"].toArray(), QJsonArray{"zep_test"});
        QCOMPARE(device, expected);
    }

    // The energy as data/energy.h counts it: drawn and fed back apart, each
    // only growing, and nothing over a step of more than three sampling
    // intervals (1 s here), by the polls' own times.
    void energyDrawnAndFedBack()
    {
        auto f = forwarder(broker.address(), false, {}, false, {}, "zep/energy");
        QTRY_COMPARE(state(), ForwardStatus::State::Connected);
        // 3.6 MW for a second is a kWh.
        const QList<QPair<uint, float>> polls{{0, 3.6e6f}, {1, 3.6e6f}, {2, -3.6e6f}, {3, -3.6e6f}, {10, 3.6e6f}, {11, 3.6e6f}};
        SampleRecord poll = record();
        for (const auto &p : polls) {
            poll.setValue(13, p.second);
            f->channel(0)->pollStored(kT0 + p.first, poll);
        }
        QTRY_COMPARE(live->messages("zep/energy/energy_export").size(), polls.size());
        // Through zero between 1 and 2 s: a quarter of a kWh each way.
        QCOMPARE(energyIn(live->messages("zep/energy/energy"), kEnergyName), 2.25);
        QCOMPARE(energyIn(live->messages("zep/energy/energy_export"), kEnergyExportName), 1.25);
    }

    // Polls made while the broker is away wait, the oldest going once the
    // queue is full, and reach it in order when it is back.
    void reconnectDeliversInOrder()
    {
        BrokerProcess own;
        QVERIFY(own.start());
        BrokerListener listener(own.port);
        QTRY_VERIFY(listener.subscribed());
        auto f = forwarder(own.address());
        QTRY_COMPARE(state(), ForwardStatus::State::Connected);
        f->channel(0)->pollStored(kT0, record());
        QTRY_COMPARE(listener.messages("zep/test/state").size(), 1);
        own.stop();
        QTRY_COMPARE(state(), ForwardStatus::State::Disconnected);
        QList<uint> expected{kT0};
        // Three messages a poll: the queue overflows by two.
        for (uint i = 1; i <= MqttForwarder::kQueueLimit / 3 + 1; ++i) {
            f->channel(0)->pollStored(kT0 + i, record());
            expected << kT0 + i;
        }
        expected.removeAt(1);
        QTRY_COMPARE(statuses.last().dropped, qint64(2));
        QCOMPARE(forwardFooterText(statuses.last()), QStringLiteral("转发：未连接（10000 条待发送）"));
        QVERIFY(own.restart());
        QTRY_COMPARE_WITH_TIMEOUT(state(), ForwardStatus::State::Connected, 20000);
        QCOMPARE(forwardFooterText(statuses.last()), QStringLiteral("转发：已连接"));
        QTRY_COMPARE_WITH_TIMEOUT(listener.messages("zep/test/energy").size(), expected.size(), 30000);
        QCOMPARE(times(listener.messages("zep/test/state")), expected);
        QCOMPARE(times(listener.messages("zep/test/energy")), expected);
    }

    // A link that dies without a word shows within 30 s, with what the
    // broker has not acknowledged; once it works again, every state reaches
    // the broker, in order.
    void deadLinkLosesNothing()
    {
        Relay relay;
        relay.target = broker.port;
        QVERIFY(relay.listen(QHostAddress::LocalHost));
        auto f = forwarder(QStringLiteral("127.0.0.1:%1").arg(relay.serverPort()), false, {}, false, {}, "zep/dead");
        QTRY_COMPARE(state(), ForwardStatus::State::Connected);
        QList<uint> expected;
        QTimer polls;
        connect(&polls, &QTimer::timeout, [&] {
            expected << kT0 + uint(expected.size());
            f->channel(0)->pollStored(expected.last(), record());
        });
        polls.start(200);
        QTRY_VERIFY(live->messages("zep/dead/state").size() >= 3);
        relay.swallowing = true;
        const int atSwallow = expected.size();
        int tenSecondsOn = atSwallow;
        QTimer::singleShot(10000, [&] { tenSecondsOn = expected.size(); });
        QTRY_COMPARE_WITH_TIMEOUT(state(), ForwardStatus::State::Disconnected, 30000);
        relay.swallowing = false;
        QVERIFY(statuses.last().pending >= 2 * (tenSecondsOn - atSwallow) && tenSecondsOn > atSwallow);
        QCOMPARE(forwardFooterText(statuses.last()), QStringLiteral("转发：未连接（%1 条待发送）").arg(statuses.last().pending));
        QTRY_COMPARE_WITH_TIMEOUT(state(), ForwardStatus::State::Connected, 20000);
        QTest::qWait(1000);
        polls.stop();
        QTRY_COMPARE_WITH_TIMEOUT(firstOfEach(times(live->messages("zep/dead/state"))), expected, 20000);
        QTRY_COMPARE(firstOfEach(times(live->messages("zep/dead/energy"))), expected);
    }

    void tls_data()
    {
        QTest::addColumn<QString>("host"); // the name the broker is reached by
        QTest::addColumn<QString>("ca");   // empty: the system's
        QTest::addColumn<QString>("refusal"); // empty: connects
        QTest::newRow("the broker's CA") << "127.0.0.1" << "ca.pem" << "";
        QTest::newRow("another CA") << "127.0.0.1" << "other.pem" << "证书不是由所选的 CA 签发";
        QTest::newRow("the system's") << "127.0.0.1" << "" << "证书不是由系统信任的 CA 签发";
        QTest::newRow("another host name") << "localhost" << "ca.pem" << "证书不属于 localhost";
    }

    // Over TLS the broker's certificate must come from the CA and name the
    // host; a refused one is a state of its own, one line in the event log
    // however often it is tried again.
    void tls()
    {
        QFETCH(QString, host);
        QFETCH(QString, ca);
        QFETCH(QString, refusal);
        const QString server = QStringLiteral("%1:%2").arg(host).arg(broker.tlsPort);
        auto f = forwarder(server, false, {}, true, ca.isEmpty() ? QString() : certificates.file(qPrintable(ca)));
        QTRY_VERIFY_WITH_TIMEOUT(!statuses.isEmpty() && state() != ForwardStatus::State::Connecting, 10000);
        if (refusal.isEmpty()) {
            QCOMPARE(state(), ForwardStatus::State::Connected);
            f->channel(0)->pollStored(kT0 + 1, record());
            QTRY_COMPARE(times(live->messages("zep/test/state")).last(), kT0 + 1);
            return;
        }
        QCOMPARE(forwardFooterText(statuses.last()), "转发：服务器证书未通过验证（" + refusal + "）");
        QTest::qWait(3500); // two attempts more
        QSet<QString> lines;
        for (const ForwardStatus &s : statuses)
            lines << forwardLogText(s, server);
        QCOMPARE(lines - QSet<QString>{QString()}, QSet<QString>{"数据转发：MQTT 服务器 " + server + " 的证书未通过验证（" + refusal + "），稍后重试"});
    }

    void pollsKeepTheirInterval_data()
    {
        QTest::addColumn<QString>("server"); // empty: one that never answers
        QTest::addColumn<QString>("password"); // set: a broker that asks for one
        QTest::addColumn<QString>("footer");
        const QString away = QStringLiteral("转发：未连接（");
        QTest::newRow("broker away") << "127.0.0.1:1" << "" << away;
        QTest::newRow("host name unknown") << "no-such-broker.invalid:1883" << "" << away;
        QTest::newRow("server that never answers") << "" << "" << away;
        QTest::newRow("password refused") << "" << "wrong-secret" << "转发：服务器拒绝连接（未获授权，请检查用户名和密码）";
        QTest::newRow("password taken") << "" << "right-secret" << "转发：已连接";
    }

    // With the broker away, unknown, silent, refusing or there, the polls of
    // an acquisition start one interval apart, and Stop ends it at once. The
    // password shows nowhere.
    void pollsKeepTheirInterval()
    {
        QFETCH(QString, server);
        QFETCH(QString, password);
        QFETCH(QString, footer);
        BrokerProcess secured;
        QTcpServer silent;
        if (!password.isEmpty()) {
            QVERIFY(secured.start("meter", "right-secret"));
            server = secured.address();
        } else if (server.isEmpty()) {
            QVERIFY(silent.listen(QHostAddress::LocalHost));
            server = QStringLiteral("127.0.0.1:%1").arg(silent.serverPort());
        }
        SimProcess sim;
        QVERIFY(sim.startTcp());
        ComConfig settings = tcpConfig(sim.address());
        copyToField(settings.interval, QByteArray("1s"));
        auto clock = std::make_shared<PollClock>();
        const std::shared_ptr<MqttForwarder> f = forwarder(server, true, password);
        SamplingThread thread;
        thread.setSettings(settings);
        const auto meter = std::make_shared<MeterSession>(MeterConfig{QStringLiteral("电表1"), 1});
        meter->beginRun({f->channel(0), clock}, nullptr);
        thread.setSessions({meter});
        clock->clock.start();
        thread.start();
        QTest::qWait(4500);
        thread.stop();
        QVERIFY(thread.wait(3000));
        QVERIFY(clock->stored.size() >= 4);
        for (int i = 1; i < clock->stored.size(); ++i)
            QVERIFY2(qAbs(clock->stored[i] - clock->stored[i - 1] - 1000) < 300, qPrintable(QString::number(clock->stored[i])));
        QVERIFY(forwardFooterText(statuses.last()).startsWith(footer));
        for (const ForwardStatus &s : statuses)
            QVERIFY(!forwardLogText(s, server).contains("secret") && !forwardFooterText(s).contains("secret"));
    }
};

ZEP_TEST_MAIN_CORE(TestMqttForwarder)
#include "tst_mqttforwarder.moc"
