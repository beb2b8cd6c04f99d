#include "recorder/recordersettings.h"

#include "comm/linkpolicy.h"
#include "comm/modbusframe.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>

namespace {

QString linkProblem(const ComConfig &link)
{
    static const QRegularExpression interval(QStringLiteral("^[1-9][0-9]*[smh]$"));
    if (!interval.match(fieldText(link.interval)).hasMatch())
        return QStringLiteral("采样间隔“%1”无效").arg(fieldText(link.interval));
    if (link.comtype != 0) {
        QString host;
        quint16 port = 0;
        return parseHostPort(fieldText(link.IP), &host, &port) ? QString()
                                                                : QStringLiteral("IP 地址“%1”无效").arg(fieldText(link.IP));
    }
    if (fieldText(link.com).isEmpty())
        return QStringLiteral("没有设置串口");
    if (fieldText(link.baud).toInt() <= 0)
        return QStringLiteral("波特率“%1”无效").arg(fieldText(link.baud));
    if (!QStringList{"No", "Odd", "Even"}.contains(fieldText(link.parity)))
        return QStringLiteral("奇偶校验“%1”无效").arg(fieldText(link.parity));
    if (!QStringList{"1", "1.5", "2"}.contains(fieldText(link.stopbit)))
        return QStringLiteral("停止位“%1”无效").arg(fieldText(link.stopbit));
    return QString();
}

} // namespace

RecorderCommand readRecorderCommandLine(const QStringList &arguments, const QString &currentDirectory)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "不用窗口记录工作目录中站点的电表：出错后继续采集，按天保存数据文件（未设置文件夹时保存到 目录/data），"
        "按设置转发到 MQTT。每个事件在标准错误输出一行；SIGTERM 或 SIGINT 停止采集。"));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption directory(QStringLiteral("C"), QStringLiteral("记录此目录的站点（默认：当前目录）。"),
                                       QStringLiteral("目录"));
    parser.addOption(directory);

    RecorderCommand command;
    if (!parser.parse(arguments) || !parser.positionalArguments().isEmpty()) {
        command.answered = true;
        command.exitCode = kRecorderBadSetup;
        const QString why = parser.positionalArguments().isEmpty()
                                ? parser.errorText()
                                : QStringLiteral("多余的参数：%1").arg(parser.positionalArguments().join(QLatin1Char(' ')));
        command.error = why + QLatin1Char('\n') + parser.helpText();
        return command;
    }
    if (parser.isSet(help) || parser.isSet(version)) {
        command.answered = true;
        command.output = parser.isSet(help) ? parser.helpText()
                                            : QStringLiteral("%1 %2\n").arg(QCoreApplication::applicationName(),
                                                                             QCoreApplication::applicationVersion());
        return command;
    }
    const QStringList chosen = parser.values(directory);
    if (chosen.size() > 1 || (!chosen.isEmpty() && chosen.first().isEmpty())) {
        command.answered = true;
        command.exitCode = kRecorderBadSetup;
        command.error = QStringLiteral("-C 须给出一个目录\n") + parser.helpText();
        return command;
    }
    command.directory = QDir::cleanPath(QDir(currentDirectory).absoluteFilePath(chosen.value(0, QStringLiteral("."))));
    return command;
}

StationConfig recorderStation(StationConfig config, const QString &directory)
{
    config.keepAcquiring = true;
    if (config.dailyFolder.trimmed().isEmpty())
        config.dailyFolder = QDir(directory).filePath(QStringLiteral("data"));
    return config;
}

QString recorderSettingsProblem(ConfigOrigin origin, const QString &stationProblem, const StationConfig &config)
{
    const QString settings = QDir::toNativeSeparators(configFilePath());
    if (origin == ConfigOrigin::Created)
        return QStringLiteral("没有设置文件 %1（先用 zep 的“通讯设置”设置此目录）").arg(settings);
    if (origin == ConfigOrigin::Replaced)
        return QStringLiteral("设置文件 %1 不完整").arg(settings);
    if (!stationProblem.isEmpty())
        return stationProblem;
    if (const QString link = linkProblem(config.link); !link.isEmpty())
        return QStringLiteral("设置文件 %1 有误：%2").arg(settings, link);
    if (const QString forward = forwardConfigProblem(config.forwarding); !forward.isEmpty())
        return QStringLiteral("数据转发设置有误：%1").arg(forward);
    return QString();
}

