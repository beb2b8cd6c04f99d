#include "comm/forwardconfig.h"

#include "comm/modbusframe.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QNetworkInterface>
#include <QSysInfo>

bool ForwardConfig::operator==(const ForwardConfig &o) const
{
    return enabled == o.enabled && server == o.server && user == o.user && password == o.password && prefix == o.prefix
        && discovery == o.discovery && tls == o.tls && caFile == o.caFile;
}

QString defaultForwardPrefix()
{
    const QString host = QSysInfo::machineHostName();
    const QByteArray here = QFile::encodeName(QDir::current().canonicalPath());
    return QStringLiteral("zep/") + (host.isEmpty() ? QStringLiteral("zep") : host) + QLatin1Char('-')
           + QString::fromLatin1(QCryptographicHash::hash(here, QCryptographicHash::Sha1).toHex().left(6));
}

ForwardConfig defaultForwardConfig()
{
    ForwardConfig config;
    config.prefix = defaultForwardPrefix();
    return config;
}

bool parseBrokerAddress(const QString &text, QString *host, int *port, bool tls)
{
    quint16 number = 0;
    if (!parseHostPort(text, host, &number, tls ? 8883 : 1883) || host->contains(QLatin1Char(' ')))
        return false;
    *port = number;
    return true;
}

QString forwardConfigProblem(const ForwardConfig &config)
{
    if (!config.enabled)
        return QString();
    QString host;
    int port = 0;
    if (config.server.trimmed().isEmpty() || config.server.trimmed().startsWith(QLatin1Char(':')))
        return QStringLiteral("请填写 MQTT 服务器的地址（主机:端口）。");
    if (!parseBrokerAddress(config.server, &host, &port))
        return QStringLiteral("服务器地址“%1”无效：请写成 主机:端口，端口为 1 到 65535。").arg(config.server);
    if (config.prefix.isEmpty())
        return QStringLiteral("请填写主题前缀。");
    if (config.prefix.contains(QLatin1Char('+')) || config.prefix.contains(QLatin1Char('#')))
        return QStringLiteral("主题前缀不能含有“+”或“#”。");
    // Brokers keep topics beginning with "$" to themselves: nothing
    // published there reaches a subscriber.
    if (config.prefix.startsWith(QLatin1Char('$')))
        return QStringLiteral("主题前缀不能以“$”开头：这样的主题由服务器保留。");
    if (config.prefix.startsWith(QLatin1Char('/')) || config.prefix.endsWith(QLatin1Char('/'))
        || config.prefix.contains(QLatin1String("//")))
        return QStringLiteral("主题前缀不能以“/”开头或结尾，也不能有空的一级（“//”）。");
    if (config.tls && !config.caFile.isEmpty() && !QFileInfo(config.caFile).isReadable())
        return QStringLiteral("无法读取 CA 证书文件“%1”。").arg(config.caFile);
    return QString();
}

bool isThisMachine(const QString &host)
{
    const QHostAddress address(host);
    if (address.isNull())
        return host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0
               || host.compare(QSysInfo::machineHostName(), Qt::CaseInsensitive) == 0;
    return address.isLoopback() || QNetworkInterface::allAddresses().contains(address);
}

QString cleartextPasswordHost(const ForwardConfig &config)
{
    QString host;
    int port = 0;
    if (!config.enabled || config.tls || config.password.isEmpty()
        || !parseBrokerAddress(config.server, &host, &port) || isThisMachine(host))
        return QString();
    return host;
}
