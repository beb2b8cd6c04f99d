#include "comm/forwardconfig.h"

#include "comm/modbusframe.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QNetworkInterface>
#include <QSettings>
#include <QSysInfo>

namespace {

const QString kGroup = QStringLiteral("forward");

// The store holds the broker's password: nobody but the user may read it.
// A new file is made private before anything is written to it; the store
// replaces its file keeping the mode it finds.
void keepPrivate(const QString &path)
{
    QFile file(path);
    if (!file.exists()) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            file.close();
    }
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

} // namespace

bool ForwardConfig::operator==(const ForwardConfig &o) const
{
    return enabled == o.enabled && server == o.server && user == o.user && password == o.password && prefix == o.prefix
        && discovery == o.discovery && tls == o.tls && caFile == o.caFile;
}

QString defaultForwardPrefix()
{
    const QString host = QSysInfo::machineHostName();
    return QStringLiteral("zep/") + (host.isEmpty() ? QStringLiteral("zep") : host);
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

ForwardConfig storedForwardConfig()
{
    const ForwardConfig d = defaultForwardConfig();
    QSettings settings;
    settings.beginGroup(kGroup);
    ForwardConfig c;
    c.enabled = settings.value(QStringLiteral("enabled"), d.enabled).toBool();
    c.server = settings.value(QStringLiteral("server"), d.server).toString();
    c.user = settings.value(QStringLiteral("user")).toString();
    c.password = settings.value(QStringLiteral("password")).toString();
    c.prefix = settings.value(QStringLiteral("prefix"), d.prefix).toString();
    c.discovery = settings.value(QStringLiteral("discovery"), d.discovery).toBool();
    c.tls = settings.value(QStringLiteral("tls"), d.tls).toBool();
    c.caFile = settings.value(QStringLiteral("caFile")).toString();
    return c;
}

void storeForwardConfig(const ForwardConfig &config)
{
    QSettings settings;
    keepPrivate(settings.fileName());
    settings.beginGroup(kGroup);
    settings.setValue(QStringLiteral("enabled"), config.enabled);
    settings.setValue(QStringLiteral("server"), config.server);
    settings.setValue(QStringLiteral("user"), config.user);
    settings.setValue(QStringLiteral("password"), config.password);
    settings.setValue(QStringLiteral("prefix"), config.prefix);
    settings.setValue(QStringLiteral("discovery"), config.discovery);
    settings.setValue(QStringLiteral("tls"), config.tls);
    settings.setValue(QStringLiteral("caFile"), config.caFile);
    settings.endGroup();
    settings.sync();
    keepPrivate(settings.fileName());
}
