#pragma once

#include "comm/forwardconfig.h"
#include "comm/mqttpayload.h"
#include "realtime/polllistener.h"

#include <QMetaType>
#include <QObject>

#include <memory>
#include <thread>
#include <vector>

// Where publishing stands, as the user is told.
struct ForwardStatus {
    enum class State {
        Connecting, // no answer from the broker yet
        Connected,
        Disconnected, // away, unreachable or unknown by name; retried
        Refused,      // the broker answered no (reason says why); retried
        Untrusted,    // the broker's certificate was refused (reason says why); retried
        Ended,        // the run is over; pending never reached the broker
    };
    State state = State::Connecting;
    QString reason;
    int pending = 0;     // messages the broker has not acknowledged
    qint64 dropped = 0;  // the oldest, dropped from a full queue so far

    bool operator==(const ForwardStatus &o) const
    {
        return state == o.state && reason == o.reason && pending == o.pending && dropped == o.dropped;
    }
    bool operator!=(const ForwardStatus &o) const { return !(*this == o); }
};
Q_DECLARE_METATYPE(ForwardStatus)

// What the real-time window's footer says; empty once the run is over.
QString forwardFooterText(const ForwardStatus &status);
// The event log's line for the status, the same for every status that is no
// change worth a line; empty for none. Never names the password.
QString forwardLogText(const ForwardStatus &status, const QString &server);

// Publishes the stored polls of a station's meters to an MQTT broker over
// one connection: each meter has a channel, the listener of its polls, with
// its own topics (mqttpayload.h: <root>/state, <root>/energy,
// <root>/energy_export) and its own energy. "online"/"offline" on
// <prefix>/status tells whether the station is there (the latter also the
// connection's last will); with several meters, <root>/status tells the same
// of each meter, which is "offline" once it has missed kMissedBeforeOffline
// polls in a row, and "online" again with its next sample. Home Assistant
// discovery configs, one device per meter, go out once per connection. The
// sampling thread only builds the texts and queues them; a thread of its
// own talks to the broker, reconnecting with a growing pause, so that a
// broker that is slow, away or refusing never holds up a poll.
//
// Messages of any topic share one queue and one connection, and each stays
// in the queue until the broker has acknowledged it (QoS 1): a link that
// dies, even without a word, loses none of them; they go again, in order,
// over the next connection. With TLS the broker's certificate must come
// from the chosen CA (or one the system trusts) and name the host.
class MqttForwarder : public QObject
{
    Q_OBJECT

public:
    // Messages kept while the broker is away; beyond it the oldest go.
    static constexpr int kQueueLimit = 10000;
    // A meter of several that misses this many polls in a row (it is backed
    // off from then on) is shown unavailable.
    static constexpr int kMissedBeforeOffline = 3;

    // samplingInterval in seconds: the energy counts no step longer than
    // three of them.
    MqttForwarder(const ForwardConfig &config, const QVector<MeterConfig> &meters, double samplingInterval);
    // Lets a last flush and the "offline" go out for a moment, then leaves
    // the publishing thread to end on its own.
    ~MqttForwarder() override;

    // The listener of the polls of the meter (its place among the meters).
    // Once every channel has heard that the run ended, the queue is flushed
    // and the station says "offline".
    std::shared_ptr<PollListener> channel(int meter) const;

signals:
    // In the forwarder's own thread, in the order the publishing thread
    // reported them.
    void statusChanged(const ForwardStatus &status);
    // From the publishing thread: reports are waiting.
    void statusesWaiting(QPrivateSignal);

private:
    struct Shared;
    class Publisher;
    class Channel;

    void passOnStatuses();

    std::shared_ptr<Shared> shared;
    std::vector<std::shared_ptr<Channel>> channels;
    std::thread publisher;
};
