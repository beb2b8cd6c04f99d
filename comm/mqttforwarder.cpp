#include "comm/mqttforwarder.h"

#include "data/energy.h"
#include "data/samplegaps.h"

#include <QFile>
#include <QRandomGenerator>

#include <mosquitto.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A link that dies without a word is found out within two keep-alives even
// when nothing is sent.
constexpr int kKeepAliveSeconds = 15;
// A server that takes the connection and never answers is given up on.
constexpr milliseconds kConnectTimeout{10000};
// A message the broker has not acknowledged by then went into a dead link
// (TCP would keep writing into it for many minutes).
constexpr milliseconds kAckTimeout{kKeepAliveSeconds * 1000};
constexpr milliseconds kFirstPause{1000};
constexpr milliseconds kLongestPause{60000};
// After the run: for the last messages and the "offline".
constexpr milliseconds kFinishTime{3000};
constexpr milliseconds kOfflineTime{1000};
// What the owner waits for the publishing thread before leaving it alone.
constexpr milliseconds kOwnerWait{1000};
// Messages handed to the library and not yet acknowledged: as many as the
// library itself lets go unacknowledged, so that a slow broker leaves the
// backlog in the bounded queue.
constexpr size_t kInFlightLimit = 20;
constexpr int kLoopMs = 50;

QString refusalText(int code)
{
    switch (code) {
    case 1:
        return QStringLiteral("不支持此协议版本");
    case 2:
        return QStringLiteral("客户端标识被拒绝");
    case 3:
        return QStringLiteral("服务暂不可用");
    case 4:
        return QStringLiteral("用户名或密码错误");
    case 5:
        return QStringLiteral("未获授权，请检查用户名和密码");
    default:
        return QStringLiteral("代码 %1").arg(code);
    }
}

QString failureText(int rc, int error)
{
    if (rc == MOSQ_ERR_EAI)
        return QStringLiteral("找不到该主机名");
    if (rc == MOSQ_ERR_TLS)
        return QStringLiteral("TLS 握手失败");
    if (rc == MOSQ_ERR_ERRNO) {
        switch (error) {
        case ECONNREFUSED:
            return QStringLiteral("连接被拒绝");
        case ETIMEDOUT:
            return QStringLiteral("连接超时");
        case EHOSTUNREACH:
        case ENETUNREACH:
            return QStringLiteral("网络不可达");
        case 0:
            break;
        default:
            return QString::fromLocal8Bit(strerror(error));
        }
    }
    if (rc == MOSQ_ERR_ERRNO || rc == MOSQ_ERR_CONN_LOST || rc == MOSQ_ERR_KEEPALIVE || rc == MOSQ_ERR_NO_CONN)
        return QStringLiteral("连接中断");
    return QString::fromUtf8(mosquitto_strerror(rc));
}

// Why the broker's certificate was refused; ownCa: checked against a chosen
// CA file rather than the system's.
QString certificateText(long error, const QString &host, bool ownCa)
{
    switch (error) {
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return QStringLiteral("证书不属于 %1").arg(host);
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return QStringLiteral("证书已过期");
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return QStringLiteral("证书尚未生效");
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_CERT_UNTRUSTED:
        return ownCa ? QStringLiteral("证书不是由所选的 CA 签发") : QStringLiteral("证书不是由系统信任的 CA 签发");
    default:
        return QStringLiteral("证书无效：%1").arg(QString::fromUtf8(X509_verify_cert_error_string(error)));
    }
}

} // namespace

QString forwardFooterText(const ForwardStatus &status)
{
    switch (status.state) {
    case ForwardStatus::State::Connected:
        return QStringLiteral("转发：已连接");
    case ForwardStatus::State::Refused:
        return QStringLiteral("转发：服务器拒绝连接（%1）").arg(status.reason);
    case ForwardStatus::State::Untrusted:
        return QStringLiteral("转发：服务器证书未通过验证（%1）").arg(status.reason);
    case ForwardStatus::State::Ended:
        return QString();
    case ForwardStatus::State::Connecting:
    case ForwardStatus::State::Disconnected:
        break;
    }
    return QStringLiteral("转发：未连接（%1 条待发送）").arg(status.pending);
}

QString forwardLogText(const ForwardStatus &status, const QString &server)
{
    switch (status.state) {
    case ForwardStatus::State::Connecting:
        break;
    case ForwardStatus::State::Connected:
        return QStringLiteral("数据转发：已连接 MQTT 服务器 %1").arg(server);
    case ForwardStatus::State::Disconnected:
        return QStringLiteral("数据转发：未连接 MQTT 服务器 %1（%2），稍后重试").arg(server, status.reason);
    case ForwardStatus::State::Refused:
        return QStringLiteral("数据转发：MQTT 服务器 %1 拒绝连接（%2），稍后重试").arg(server, status.reason);
    case ForwardStatus::State::Untrusted:
        return QStringLiteral("数据转发：MQTT 服务器 %1 的证书未通过验证（%2），稍后重试").arg(server, status.reason);
    case ForwardStatus::State::Ended: {
        QString text = QStringLiteral("数据转发：已停止");
        if (status.pending)
            text += QStringLiteral("，%1 条未发送").arg(status.pending);
        if (status.dropped)
            text += QStringLiteral("，%1 条因队列已满被丢弃").arg(status.dropped);
        return text;
    }
    }
    return QString();
}

// What the two threads share. The publishing thread keeps it alive for as
// long as it runs, so the owner may go first.
struct MqttForwarder::Shared {
    Shared(const ForwardConfig &config, const QVector<MeterConfig> &meters)
        : config(config)
        , topics(meterTopics(config.prefix, meters))
        , running(meters.size())
        , meterStatus(size_t(meters.size()))
        , meterStatusChanged(size_t(meters.size()), false)
    {
    }

    const ForwardConfig config;
    const QVector<MeterTopics> topics;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<MqttMessage> queue;
    qint64 dropped = 0;
    bool ended = false;     // the run is over: flush, say "offline", leave
    bool abandoned = false; // the owner is gone: leave now
    bool finished = false;  // the publishing thread has left
    int running;            // channels whose run has not ended
    // With several meters, what each meter's status says ("online",
    // "offline", empty before its first poll), and whether that changed
    // since it was last published.
    std::vector<QByteArray> meterStatus;
    std::vector<bool> meterStatusChanged;

    std::mutex reportMutex;
    std::function<void(const ForwardStatus &)> report;
    // The reports go over by this lock, not as a queued signal's copies:
    // those are made and handed over inside Qt, where ThreadSanitizer sees
    // no synchronisation. Under reportMutex.
    std::deque<ForwardStatus> reports;

    // Under mutex.
    void push(MqttMessage message)
    {
        queue.push_back(std::move(message));
        trim();
    }

    // Under mutex: the oldest go beyond the limit.
    void trim()
    {
        while (queue.size() > size_t(kQueueLimit)) {
            queue.pop_front();
            ++dropped;
        }
    }
};

// The publishing thread's side: the library's client, used by this thread
// alone, whose callbacks run inside mosquitto_loop. Each connection gets a
// new client, so that nothing the library kept of the last one is sent
// again behind the queue's back: what was not acknowledged goes back to the
// queue, and from there out again in order.
class MqttForwarder::Publisher
{
public:
    explicit Publisher(std::shared_ptr<Shared> shared);
    ~Publisher();
    Publisher(const Publisher &) = delete;
    Publisher &operator=(const Publisher &) = delete;

    void run();

private:
    enum class Link { Idle, Connecting, Connected };
    struct InFlight {
        MqttMessage message;
        int mid;
        Clock::time_point sent;
    };

    static void onConnect(mosquitto *, void *self, int code) { static_cast<Publisher *>(self)->connected(code); }
    static void onDisconnect(mosquitto *, void *self, int rc) { static_cast<Publisher *>(self)->lost(rc, errno); }
    static void onPublish(mosquitto *, void *self, int mid) { static_cast<Publisher *>(self)->published(mid); }
    static int verifyCertificate(int ok, X509_STORE_CTX *store);

    bool newClient(QString *why);
    void dropClient();
    SSL_CTX *tlsContext(QString *why);
    void attempt();
    void connected(int code);
    void lost(int rc, int error);
    void fail(const QString &why);
    void published(int mid);
    void publishQueued();
    void publishMeterStatuses(bool all);
    int publish(const QByteArray &topic, const QByteArray &payload, int qos, bool retain);
    void sayOffline();
    bool loopOnce();
    int pending();
    void report(bool final);

    std::shared_ptr<Shared> s;
    mosquitto *mosq = nullptr;
    QByteArray host;
    int port = 0;
    QByteArray statusTopic;
    // The same for every connection: the broker then ends a connection it
    // still thinks alive (its last will first) before the new one says
    // "online", never after.
    QByteArray clientId;
    Link link = Link::Idle;
    // The broker said no; the close that follows is no news.
    bool refused = false;
    // Why the broker's certificate was refused in this attempt (OpenSSL's
    // code), 0 for none.
    long certificateError = 0;
    ForwardStatus::State state = ForwardStatus::State::Connecting;
    QString reason;
    std::deque<InFlight> inFlight;
    Clock::time_point attemptStart;
    Clock::time_point nextAttempt;
    milliseconds pause = kFirstPause;
    int offlineMid = -1;
    bool offlineSent = false;
    bool reported = false;
    ForwardStatus lastReport;
};

MqttForwarder::Publisher::Publisher(std::shared_ptr<Shared> shared)
    : s(std::move(shared))
    , clientId("zep-" + QByteArray::number(QRandomGenerator::global()->generate64(), 36))
{
    QString name;
    parseBrokerAddress(s->config.server, &name, &port, s->config.tls);
    host = name.toUtf8();
    statusTopic = stationStatusTopic(s->config.prefix).toUtf8();
}

MqttForwarder::Publisher::~Publisher()
{
    dropClient();
}

bool MqttForwarder::Publisher::newClient(QString *why)
{
    dropClient();
    mosq = mosquitto_new(clientId.constData(), true, this);
    if (!mosq) {
        *why = QString::fromUtf8(mosquitto_strerror(MOSQ_ERR_NOMEM));
        return false;
    }
    // Nothing is written from inside mosquitto_publish: every callback comes
    // from mosquitto_loop, after the caller has noted what it published.
    mosquitto_threaded_set(mosq, true);
    mosquitto_connect_callback_set(mosq, onConnect);
    mosquitto_disconnect_callback_set(mosq, onDisconnect);
    mosquitto_publish_callback_set(mosq, onPublish);
    if (!s->config.user.isEmpty()) {
        const QByteArray user = s->config.user.toUtf8();
        const QByteArray password = s->config.password.toUtf8();
        mosquitto_username_pw_set(mosq, user.constData(), password.isEmpty() ? nullptr : password.constData());
    }
    mosquitto_will_set(mosq, statusTopic.constData(), 7, "offline", 1, true);
    if (!s->config.tls)
        return true;
    SSL_CTX *context = tlsContext(why);
    if (!context)
        return false;
    mosquitto_int_option(mosq, MOSQ_OPT_SSL_CTX_WITH_DEFAULTS, 0);
    const int rc = mosquitto_void_option(mosq, MOSQ_OPT_SSL_CTX, context);
    // The client holds a reference of its own.
    SSL_CTX_free(context);
    if (rc != MOSQ_ERR_SUCCESS)
        *why = QString::fromUtf8(mosquitto_strerror(rc));
    return rc == MOSQ_ERR_SUCCESS;
}

void MqttForwarder::Publisher::dropClient()
{
    if (mosq)
        mosquitto_destroy(mosq);
    mosq = nullptr;
}

// The library's own context would only say that the handshake failed; this
// one says why the certificate was refused.
SSL_CTX *MqttForwarder::Publisher::tlsContext(QString *why)
{
    SSL_CTX *context = SSL_CTX_new(TLS_client_method());
    const QByteArray caFile = QFile::encodeName(s->config.caFile);
    const bool trusted = context
                         && (caFile.isEmpty() ? SSL_CTX_set_default_verify_paths(context)
                                              : SSL_CTX_load_verify_locations(context, caFile.constData(), nullptr))
                                == 1;
    if (!trusted) {
        ERR_clear_error();
        SSL_CTX_free(context);
        *why = QStringLiteral("无法读取 CA 证书文件 %1").arg(s->config.caFile);
        return nullptr;
    }
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, verifyCertificate);
    SSL_CTX_set_app_data(context, this);
    // The name the broker is reached by must be one its certificate names.
    X509_VERIFY_PARAM *check = SSL_CTX_get0_param(context);
    if (X509_VERIFY_PARAM_set1_ip_asc(check, host.constData()) != 1)
        X509_VERIFY_PARAM_set1_host(check, host.constData(), 0);
    return context;
}

int MqttForwarder::Publisher::verifyCertificate(int ok, X509_STORE_CTX *store)
{
    if (!ok) {
        auto *ssl = static_cast<SSL *>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
        auto *self = static_cast<Publisher *>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(ssl)));
        if (self && self->certificateError == 0)
            self->certificateError = X509_STORE_CTX_get_error(store);
    }
    return ok;
}

void MqttForwarder::Publisher::run()
{
    bool finishing = false;
    Clock::time_point finishBy;
    for (;;) {
        const Clock::time_point now = Clock::now();
        {
            std::lock_guard<std::mutex> lock(s->mutex);
            if (s->abandoned)
                break;
            if (s->ended && !finishing) {
                finishing = true;
                finishBy = now + kFinishTime;
            }
        }
        if (finishing && link != Link::Connected)
            break;
        if (finishing && (pending() == 0 || now >= finishBy)) {
            sayOffline();
            break;
        }
        if (link == Link::Idle && now >= nextAttempt) {
            attempt();
        } else if (link == Link::Connecting && now - attemptStart >= kConnectTimeout) {
            fail(QStringLiteral("连接超时"));
            dropClient();
        } else if (link == Link::Connected && !inFlight.empty() && now - inFlight.front().sent >= kAckTimeout) {
            fail(QStringLiteral("服务器无应答"));
            dropClient();
        }
        if (link == Link::Connected) {
            publishMeterStatuses(false);
            publishQueued();
        }
        report(false);
        if (link == Link::Idle) {
            std::unique_lock<std::mutex> lock(s->mutex);
            if (!s->ended && !s->abandoned)
                s->wake.wait_until(lock, std::min(nextAttempt, now + milliseconds(100)));
        } else {
            loopOnce();
        }
    }
    report(true);
}

bool MqttForwarder::Publisher::loopOnce()
{
    errno = 0;
    const int rc = mosquitto_loop(mosq, kLoopMs, 1);
    if (rc != MOSQ_ERR_SUCCESS)
        lost(rc, errno);
    return rc == MOSQ_ERR_SUCCESS;
}

void MqttForwarder::Publisher::attempt()
{
    attemptStart = Clock::now();
    link = Link::Connecting;
    certificateError = 0;
    QString why;
    if (!newClient(&why)) {
        fail(why);
        return;
    }
    errno = 0;
    const int rc = mosquitto_connect_async(mosq, host.constData(), port, kKeepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS)
        lost(rc, errno);
}

void MqttForwarder::Publisher::connected(int code)
{
    if (code != 0) {
        // The broker closes the connection after saying no.
        refused = true;
        state = ForwardStatus::State::Refused;
        reason = refusalText(code);
        return;
    }
    link = Link::Connected;
    pause = kFirstPause;
    state = ForwardStatus::State::Connected;
    reason.clear();
    publish(statusTopic, QByteArrayLiteral("online"), 1, true);
    // A broker that lost its retained messages learns the meters' states
    // again.
    publishMeterStatuses(true);
    if (s->config.discovery) {
        for (const MeterTopics &meter : s->topics) {
            for (int column : discoveryColumns()) {
                const MqttMessage config = discoveryMessage(meter, column);
                publish(config.topic, config.payload, 1, true);
            }
        }
    }
}

void MqttForwarder::Publisher::publishMeterStatuses(bool all)
{
    std::vector<MqttMessage> statuses;
    {
        std::lock_guard<std::mutex> lock(s->mutex);
        for (size_t m = 0; m < s->meterStatus.size(); ++m) {
            if ((all || s->meterStatusChanged[m]) && !s->meterStatus[m].isEmpty())
                statuses.push_back({s->topics[int(m)].status.toUtf8(), s->meterStatus[m]});
            s->meterStatusChanged[m] = false;
        }
    }
    for (const MqttMessage &status : statuses)
        publish(status.topic, status.payload, 1, true);
}

void MqttForwarder::Publisher::lost(int rc, int error)
{
    if (link != Link::Idle)
        fail(failureText(rc, error));
}

void MqttForwarder::Publisher::fail(const QString &why)
{
    link = Link::Idle;
    // What the broker has not acknowledged goes first again next time.
    {
        std::lock_guard<std::mutex> lock(s->mutex);
        for (auto it = inFlight.rbegin(); it != inFlight.rend(); ++it)
            s->queue.push_front(std::move(it->message));
        s->trim();
    }
    inFlight.clear();
    // One outage is one state, whatever each retry meets.
    if (certificateError != 0) {
        state = ForwardStatus::State::Untrusted;
        reason = certificateText(certificateError, QString::fromUtf8(host), !s->config.caFile.isEmpty());
    } else if (!refused && state != ForwardStatus::State::Disconnected) {
        state = ForwardStatus::State::Disconnected;
        reason = why;
    }
    refused = false;
    nextAttempt = Clock::now() + pause;
    pause = std::min(pause * 2, kLongestPause);
}

void MqttForwarder::Publisher::published(int mid)
{
    if (mid == offlineMid)
        offlineSent = true;
    const auto it = std::find_if(inFlight.begin(), inFlight.end(), [mid](const InFlight &m) { return m.mid == mid; });
    if (it != inFlight.end())
        inFlight.erase(it);
}

int MqttForwarder::Publisher::publish(const QByteArray &topic, const QByteArray &payload, int qos, bool retain)
{
    int mid = -1;
    const int rc = mosquitto_publish(mosq, &mid, topic.constData(), payload.size(), payload.constData(), qos, retain);
    return rc == MOSQ_ERR_SUCCESS ? mid : -1;
}

void MqttForwarder::Publisher::publishQueued()
{
    while (link == Link::Connected && inFlight.size() < kInFlightLimit) {
        {
            std::lock_guard<std::mutex> lock(s->mutex);
            if (s->queue.empty())
                return;
            inFlight.push_back({std::move(s->queue.front()), -1, Clock::now()});
            s->queue.pop_front();
        }
        const MqttMessage &m = inFlight.back().message;
        inFlight.back().mid = publish(m.topic, m.payload, 1, false);
        if (inFlight.back().mid < 0) {
            lost(MOSQ_ERR_NO_CONN, 0);
            return;
        }
    }
}

void MqttForwarder::Publisher::sayOffline()
{
    // The meters' last word goes first.
    publishMeterStatuses(false);
    offlineMid = publish(statusTopic, QByteArrayLiteral("offline"), 1, true);
    const Clock::time_point until = Clock::now() + kOfflineTime;
    while (link == Link::Connected && offlineMid >= 0 && !offlineSent && Clock::now() < until && loopOnce()) {
    }
    if (link != Link::Connected)
        return;
    // A clean goodbye: the broker then keeps the "offline" just published
    // instead of the last will.
    mosquitto_disconnect(mosq);
    while (link != Link::Idle && Clock::now() < until + kOfflineTime && loopOnce()) {
    }
}

int MqttForwarder::Publisher::pending()
{
    std::lock_guard<std::mutex> lock(s->mutex);
    return int(s->queue.size() + inFlight.size());
}

void MqttForwarder::Publisher::report(bool final)
{
    ForwardStatus status;
    status.state = final ? ForwardStatus::State::Ended : state;
    status.reason = final ? QString() : reason;
    // Connected, the waiting messages are on their way: no news.
    status.pending = status.state == ForwardStatus::State::Connected ? 0 : pending();
    {
        std::lock_guard<std::mutex> lock(s->mutex);
        status.dropped = s->dropped;
    }
    if (reported && status == lastReport)
        return;
    reported = true;
    lastReport = status;
    std::lock_guard<std::mutex> lock(s->reportMutex);
    if (s->report)
        s->report(status);
}

// One meter's polls, in the sampling thread: its energy, its messages, its
// status.
class MqttForwarder::Channel : public PollListener
{
public:
    Channel(std::shared_ptr<Shared> shared, int meter, double samplingInterval)
        : s(std::move(shared))
        , meter(meter)
        , samplingInterval(samplingInterval)
        , stateTopic((s->topics[meter].root + QStringLiteral("/state")).toUtf8())
        , energyTopic((s->topics[meter].root + QLatin1Char('/') + QLatin1String(kEnergyName)).toUtf8())
        , energyExportTopic((s->topics[meter].root + QLatin1Char('/') + QLatin1String(kEnergyExportName)).toUtf8())
    {
    }

    void pollStored(uint32_t time, const SampleRecord &poll) override
    {
        // The live rule: a step longer than three sampling intervals is a gap.
        energy.add(time, PowerReading::of(poll), havePoll && isGapStep(lastPollTime, time, samplingInterval));
        havePoll = true;
        lastPollTime = time;
        missed = 0;
        std::lock_guard<std::mutex> lock(s->mutex);
        s->push({stateTopic, statePayload(time, poll)});
        s->push({energyTopic, energyPayload(time, kEnergyName, kilowattHours(energy.total().imported))});
        s->push({energyExportTopic, energyPayload(time, kEnergyExportName, kilowattHours(energy.total().exported))});
        setStatus(QByteArrayLiteral("online"));
        s->wake.notify_all();
    }

    void pollMissed() override
    {
        if (++missed != kMissedBeforeOffline)
            return;
        std::lock_guard<std::mutex> lock(s->mutex);
        setStatus(QByteArrayLiteral("offline"));
        s->wake.notify_all();
    }

    void runEnded() override
    {
        std::lock_guard<std::mutex> lock(s->mutex);
        if (ended)
            return;
        ended = true;
        setStatus(QByteArrayLiteral("offline"));
        if (--s->running <= 0)
            s->ended = true;
        s->wake.notify_all();
    }

private:
    // Under the mutex. A lone meter's status is the station's.
    void setStatus(const QByteArray &status)
    {
        if (s->topics.size() < 2 || s->meterStatus[size_t(meter)] == status)
            return;
        s->meterStatus[size_t(meter)] = status;
        s->meterStatusChanged[size_t(meter)] = true;
    }

    const std::shared_ptr<Shared> s;
    const int meter;
    const double samplingInterval;
    EnergyIntegrator energy;
    bool havePoll = false;
    uint32_t lastPollTime = 0;
    int missed = 0;
    bool ended = false;
    const QByteArray stateTopic;
    const QByteArray energyTopic;
    const QByteArray energyExportTopic;
};

MqttForwarder::MqttForwarder(const ForwardConfig &config, const QVector<MeterConfig> &meters, double samplingInterval)
    : shared(std::make_shared<Shared>(config, meters))
{
    static std::once_flag libraryReady;
    std::call_once(libraryReady, [] { mosquitto_lib_init(); });
    qRegisterMetaType<ForwardStatus>();
    for (int m = 0; m < meters.size(); ++m)
        channels.push_back(std::make_shared<Channel>(shared, m, samplingInterval));
    connect(this, &MqttForwarder::statusesWaiting, this, &MqttForwarder::passOnStatuses, Qt::QueuedConnection);
    shared->report = [this](const ForwardStatus &status) {
        shared->reports.push_back(status);
        emit statusesWaiting(QPrivateSignal());
    };
    publisher = std::thread([shared = shared] {
        {
            Publisher p(shared);
            p.run();
        }
        std::lock_guard<std::mutex> lock(shared->mutex);
        shared->finished = true;
        shared->wake.notify_all();
    });
}

MqttForwarder::~MqttForwarder()
{
    {
        std::lock_guard<std::mutex> lock(shared->reportMutex);
        shared->report = nullptr;
    }
    std::unique_lock<std::mutex> lock(shared->mutex);
    shared->ended = true;
    shared->wake.notify_all();
    if (shared->wake.wait_for(lock, kOwnerWait, [this] { return shared->finished; })) {
        lock.unlock();
        publisher.join();
    } else {
        // Stuck in a name lookup, or flushing to a slow broker: it ends by
        // itself, and nobody hears of it any more.
        shared->abandoned = true;
        lock.unlock();
        publisher.detach();
    }
}

std::shared_ptr<PollListener> MqttForwarder::channel(int meter) const
{
    return channels.at(size_t(meter));
}

void MqttForwarder::passOnStatuses()
{
    std::deque<ForwardStatus> waiting;
    {
        std::lock_guard<std::mutex> lock(shared->reportMutex);
        waiting.swap(shared->reports);
    }
    for (const ForwardStatus &status : waiting)
        emit statusChanged(status);
}
