// Live readings out over MQTT, as a real broker delivers them to a
// subscriber: the texts, a broker that goes away and comes back, a refused
// password, and polls that keep their interval whatever the broker does.

#include "brokertesting.h"
#include "comm/mqttforwarder.h"
#include "comm/samplingthread.h"
#include "linktesting.h"
#include "simprocess.h"
#include "testsupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

constexpr uint32_t kT0 = 1700000000u;

struct Quantity {
    const char *tag;
    int column; // 0: the energy
    float value;
    const char *text; // as the state carries it
    const char *unit;
    const char *deviceClass;
};

const Quantity kQuantities[] = {
    {"voltage UA", 1, 220.5f, "220.50", "V", "voltage"},
    {"line voltage UVavr", 8, 381.666f, "381.67", "V", "voltage"},
    {"current IB", 10, 5.2f, "5.20", "A", "current"},
    {"active power TP", 13, 3412.5f, "3412.5", "W", "power"},
    {"reactive power TQ", 14, -812.34f, "-812.3", "var", "reactive_power"},
    {"apparent power TS", 15, 3507.9f, "3507.9", "VA", "apparent_power"},
    {"power factor COS", 16, 0.973f, "0.973", "", "power_factor"},
    {"frequency FR", 17, 50.0f, "50.000", "Hz", "frequency"},
    {"distortion ThdIc", 23, 8.3f, "8.30", "%", ""},
    {"crest factor KbfUa", 24, 1.41f, "1.41", "", ""},
    {"unbalance UnbI", 31, 1.9f, "1.90", "%", ""},
    {"energy", 0, 0.0f, "0.000", "kWh", "energy"},
};

// Records each stored poll's moment, as the sampling thread hands it over.
struct PollClock : PollListener {
    QElapsedTimer clock;
    QVector<qint64> stored;
    void pollStored(uint32_t, const SampleRecord &) override { stored << clock.elapsed(); }
};

} // namespace

class TestMqttForwarder : public QObject
{
    Q_OBJECT

    BrokerProcess broker;
    QList<Delivered> early;   // subscribed before the forwarder came
    QList<Delivered> late;    // subscribed once it had connected
    QList<ForwardStatus> statuses;

    std::unique_ptr<MqttForwarder> forwarder(const QString &server, bool discovery = false,
                                             const QString &user = {}, const QString &password = {})
    {
        statuses.clear();
        const ForwardConfig c{true, server, user, password, QStringLiteral("zep/test"), discovery};
        auto f = std::make_unique<MqttForwarder>(c);
        connect(f.get(), &MqttForwarder::statusChanged, this, [this](const ForwardStatus &s) { statuses << s; });
        return f;
    }
    bool waitForState(ForwardStatus::State state, int ms = 15000)
    {
        return BrokerListener::waitFor([&] { return !statuses.isEmpty() && statuses.last().state == state; }, ms);
    }
    static SampleRecord record()
    {
        SampleRecord r{};
        for (const Quantity &q : kQuantities)
            if (q.column)
                r.setValue(q.column, q.value);
        return r;
    }
    static QList<uint> stateTimes(const QList<Delivered> &delivered)
    {
        QList<uint> times;
        for (const Delivered &d : delivered) {
            const QString iso = QJsonDocument::fromJson(d.payload).object().value(QStringLiteral("time")).toString();
            times << uint(QDateTime::fromString(iso, Qt::ISODate).toSecsSinceEpoch());
        }
        return times;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(broker.start());
        BrokerListener before(broker.port);
        QVERIFY(before.waitForSubscription());
        auto f = forwarder(broker.address(), true);
        QVERIFY(waitForState(ForwardStatus::State::Connected));
        f->pollStored(kT0, record());
        QVERIFY(BrokerListener::waitFor([&] { return before.messages("zep/test/energy").size() == 1; }));
        BrokerListener after(broker.port);
        QVERIFY(BrokerListener::waitFor([&] { return after.messages().size() >= 33; }));
        QCOMPARE(after.messages("zep/test/status").first().payload, QByteArray("online"));
        early = before.messages();
        late = after.messages();
        // Once the run is over, the status says so.
        f.reset();
        BrokerListener end(broker.port);
        QVERIFY(BrokerListener::waitFor([&] { return !end.messages("zep/test/status").isEmpty(); }));
        QCOMPARE(end.messages("zep/test/status").first().payload, QByteArray("offline"));
    }

    void published_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("unit");
        QTest::addColumn<QString>("deviceClass");
        for (const Quantity &q : kQuantities)
            QTest::newRow(q.tag) << q.column << q.text << q.unit << q.deviceClass;
    }

    // The state and energy carry each value with the digits the data file
    // keeps; every quantity has a retained discovery config that points at
    // it, in the unit and class Home Assistant knows.
    void published()
    {
        QFETCH(int, column);
        QFETCH(QString, text);
        QFETCH(QString, unit);
        QFETCH(QString, deviceClass);
        const QString name = column ? QString::fromLatin1(ParamTable[column].name).simplified() : QStringLiteral("energy");
        const QByteArray stateTopic = column ? "zep/test/state" : "zep/test/energy";
        QList<Delivered> states;
        for (const Delivered &d : early)
            if (d.topic == stateTopic)
                states << d;
        QCOMPARE(states.size(), 1);
        QVERIFY(!states[0].retained);
        const QJsonObject state = QJsonDocument::fromJson(states[0].payload).object();
        QCOMPARE(state.size(), column ? 32 : 2);
        QCOMPARE(state.value(QStringLiteral("time")).toString(), isoTimeText(kT0));
        QVERIFY(state.value(QStringLiteral("time")).toString().contains(QRegularExpression(QStringLiteral("T\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d$"))));
        QVERIFY(states[0].payload.contains("\"" + name.toLatin1() + "\":" + text.toLatin1() + (column == 31 || !column ? "}" : ",")));

        const QByteArray topic = "homeassistant/sensor/zep_test/" + name.toLatin1() + "/config";
        QList<Delivered> configs;
        for (const Delivered &d : late)
            if (d.topic == topic)
                configs << d;
        QCOMPARE(configs.size(), 1);
        QVERIFY(configs[0].retained);
        const QJsonObject config = QJsonDocument::fromJson(configs[0].payload).object();
        QCOMPARE(config.value(QStringLiteral("name")).toString(), name);
        QCOMPARE(config.value(QStringLiteral("unique_id")).toString(), QStringLiteral("zep_test_") + name);
        QCOMPARE(config.value(QStringLiteral("state_topic")).toString(), QString::fromLatin1(stateTopic));
        QCOMPARE(config.value(QStringLiteral("value_template")).toString(), QStringLiteral("{{ value_json.%1 }}").arg(name));
        QCOMPARE(config.value(QStringLiteral("unit_of_measurement")).toString(), unit);
        QCOMPARE(config.contains(QStringLiteral("unit_of_measurement")), !unit.isEmpty());
        QCOMPARE(config.value(QStringLiteral("device_class")).toString(), deviceClass);
        QCOMPARE(config.contains(QStringLiteral("device_class")), !deviceClass.isEmpty());
        QCOMPARE(config.value(QStringLiteral("state_class")).toString(), column ? "measurement" : "total_increasing");
        QCOMPARE(config.value(QStringLiteral("availability_topic")).toString(), QStringLiteral("zep/test/status"));
        QCOMPARE(config.value(QStringLiteral("device")).toObject().value(QStringLiteral("identifiers")).toArray(),
                 QJsonArray{QStringLiteral("zep_test")});
    }

    void energy_data()
    {
        QTest::addColumn<QVector<double>>("steps"); // ms, W pairs; ms -1: a missed poll
        QTest::addColumn<double>("kwh");
        QTest::newRow("1 kW for an hour") << QVector<double>{0, 1000, 3600000, 1000} << 1.0;
        QTest::newRow("ramp, trapezoid") << QVector<double>{0, 0, 1800000, 2000, 3600000, 0} << 1.0;
        QTest::newRow("not across a missed poll") << QVector<double>{0, 1000, -1, 0, 3600000, 1000, 7200000, 1000} << 1.0;
        QTest::newRow("fed back counts as none") << QVector<double>{0, -500, 3600000, -500} << 0.0;
        QTest::newRow("no number breaks the series") << QVector<double>{0, 1000, 1, qQNaN(), 3600000, 1000} << 0.0;
    }

    void energy()
    {
        QFETCH(QVector<double>, steps);
        QFETCH(double, kwh);
        EnergyIntegrator e;
        for (int i = 0; i < steps.size(); i += 2)
            steps[i] < 0 ? e.breakSeries() : e.add(qint64(steps[i]), steps[i + 1]);
        QCOMPARE(e.kwh() + 1, kwh + 1);
    }

    // Polls made while the broker is away wait, the oldest going first once
    // the queue is full, and reach it in order when it is back.
    void reconnectDeliversInOrder()
    {
        BrokerProcess own;
        QVERIFY(own.start());
        BrokerListener listener(own.port);
        QVERIFY(listener.waitForSubscription());
        auto f = forwarder(own.address());
        QVERIFY(waitForState(ForwardStatus::State::Connected));
        f->pollStored(kT0, record());
        QVERIFY(BrokerListener::waitFor([&] { return listener.messages("zep/test/state").size() == 1; }));
        own.stop();
        QVERIFY(waitForState(ForwardStatus::State::Disconnected));
        const int polls = MqttForwarder::kQueueLimit / 2 + 1;
        for (int i = 1; i <= polls; ++i)
            f->pollStored(kT0 + uint(i), record());
        QVERIFY(BrokerListener::waitFor([&] { return statuses.last().dropped == 2; }));
        QCOMPARE(forwardFooterText(statuses.last()), QStringLiteral("转发：未连接（10000 条待发送）"));
        QVERIFY(own.restart());
        QVERIFY(waitForState(ForwardStatus::State::Connected, 20000));
        QCOMPARE(forwardFooterText(statuses.last()), QStringLiteral("转发：已连接"));
        QVERIFY(BrokerListener::waitFor([&] { return listener.messages("zep/test/state").size() == polls; }, 30000));
        QList<uint> expected{kT0};
        for (int i = 2; i <= polls; ++i)
            expected << kT0 + uint(i);
        QCOMPARE(stateTimes(listener.messages("zep/test/state")), expected);
        QCOMPARE(stateTimes(listener.messages("zep/test/energy")), expected);
    }

    void password_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("footer");
        QTest::newRow("wrong password") << "meter" << "wrong-secret" << "转发：服务器拒绝连接（未获授权，请检查用户名和密码）";
        QTest::newRow("right password") << "meter" << "right-secret" << "转发：已连接";
    }

    void password()
    {
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(QString, footer);
        BrokerProcess secured;
        QVERIFY(secured.start("meter", "right-secret"));
        auto f = forwarder(secured.address(), false, user, password);
        QVERIFY(BrokerListener::waitFor([&] { return !statuses.isEmpty() && forwardFooterText(statuses.last()) == footer; }));
        for (const ForwardStatus &s : statuses)
            QVERIFY(password.isEmpty() || !forwardLogText(s, secured.address()).contains(password));
    }

    void pollsKeepTheirInterval_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<bool>("secured");
        QTest::newRow("broker away") << "127.0.0.1:1" << false;
        QTest::newRow("server that never answers") << "" << false;
        QTest::newRow("host name unknown") << "no-such-broker.invalid:1883" << false;
        QTest::newRow("password refused") << "" << true;
    }

    // With the broker away, silent, unknown or refusing, the polls of an
    // acquisition start one interval apart and Stop ends it at once.
    void pollsKeepTheirInterval()
    {
        QFETCH(QString, server);
        QFETCH(bool, secured);
        BrokerProcess refusing;
        QTcpServer silent;
        if (secured) {
            QVERIFY(refusing.start("meter", "right-secret"));
            server = refusing.address();
        } else if (server.isEmpty()) {
            QVERIFY(silent.listen(QHostAddress::LocalHost));
            server = QStringLiteral("127.0.0.1:%1").arg(silent.serverPort());
        }
        SimProcess sim;
        QVERIFY(sim.startTcp());
        ComConfig settings = tcpConfig(sim.address());
        copyToField(settings.interval, QByteArray("1s"));
        auto clock = std::make_shared<PollClock>();
        std::shared_ptr<MqttForwarder> f = forwarder(server, true, "meter", "wrong");
        SamplingThread thread;
        thread.setSettings(settings);
        thread.addPollListener(f);
        thread.addPollListener(clock);
        clock->clock.start();
        thread.start();
        QTest::qWait(4500);
        thread.stop();
        QVERIFY(thread.wait(3000));
        QVERIFY(clock->stored.size() >= 4);
        for (int i = 1; i < clock->stored.size(); ++i)
            QVERIFY2(qAbs(clock->stored[i] - clock->stored[i - 1] - 1000) < 300, qPrintable(QString::number(clock->stored[i] - clock->stored[i - 1])));
        QVERIFY(statuses.last().state != ForwardStatus::State::Connected);
    }
};

ZEP_TEST_MAIN(TestMqttForwarder)
#include "tst_mqttforwarder.moc"
