#pragma once

#include <QString>

// Where live readings are published besides the window: an MQTT broker. A
// choice of the station's, kept with the password in config/meters.ini
// (comm/stationsettings.h).
struct ForwardConfig {
    bool enabled = false;
    QString server = QStringLiteral("127.0.0.1:1883"); // host:port
    QString user;
    QString password;
    QString prefix;          // topics are <prefix>/state, <prefix>/energy, <prefix>/status (mqttpayload.h)
    bool discovery = true;   // Home Assistant discovery configs on each connection
    bool tls = false;        // the broker's certificate checked against its name; port 8883 by default
    QString caFile;          // the CA certificates to check it with; empty: the system's

    bool operator==(const ForwardConfig &o) const;
    bool operator!=(const ForwardConfig &o) const { return !(*this == o); }
};

// "zep/<host name>-<6 hex digits>", the digits told by the working
// directory: two stations on one machine never share their topics.
QString defaultForwardPrefix();
// Off, the local broker, this station's prefix, discovery on.
ForwardConfig defaultForwardConfig();

// "host:port", "host" (port 1883, with TLS 8883) or "[v6 address]:port".
// False for an empty host or a port that is not a number from 1 to 65535.
bool parseBrokerAddress(const QString &text, QString *host, int *port, bool tls = false);
// Why the settings cannot be used, as the dialog says it; empty when they
// can (or when forwarding is off, where nothing of them is used).
QString forwardConfigProblem(const ForwardConfig &config);
// Whether host names this machine: the loopback, one of its addresses or its
// own name.
bool isThisMachine(const QString &host);
// The broker the password would cross the network to in clear (a broker
// elsewhere, without TLS); empty when it would not.
QString cleartextPasswordHost(const ForwardConfig &config);
