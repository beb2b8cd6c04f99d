#include "app/openrequests.h"

#include "app/appinfo.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

#include <cstdio>

CommandLine readCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("记录和查看三相电能表的测量数据。"));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("文件"), QStringLiteral("启动后打开的数据文件。"),
                                 QStringLiteral("[文件…]"));

    CommandLine command;
    if (!parser.parse(arguments)) {
        command.answered = true;
        command.exitCode = 1;
        command.error = parser.errorText() + QLatin1Char('\n');
        return command;
    }
    if (parser.isSet(help)) {
        command.answered = true;
        command.output = parser.helpText();
        return command;
    }
    if (parser.isSet(version)) {
        command.answered = true;
        command.output = QStringLiteral("%1 %2\n").arg(QCoreApplication::applicationName(),
                                                       QCoreApplication::applicationVersion());
        return command;
    }
    for (const QString &file : parser.positionalArguments())
        command.files.append(QFileInfo(file).absoluteFilePath());
    return command;
}

int printAnswer(const CommandLine &command)
{
    fputs(command.output.toLocal8Bit().constData(), stdout);
    fputs(command.error.toLocal8Bit().constData(), stderr);
    return command.exitCode;
}

std::optional<int> answerWithoutDisplay(int &argc, char **argv)
{
    QCoreApplication app(argc, argv);
    setApplicationIdentity(app);
    installQtTranslation(app);
    const CommandLine command = readCommandLine(QCoreApplication::arguments());
    // An unknown option may be one of the window system's ("-platform"),
    // which only the widget application takes off the command line.
    if (!command.answered || command.exitCode != 0)
        return std::nullopt;
    return printAnswer(command);
}

QStringList droppedFiles(const QMimeData *data)
{
    QStringList files;
    if (!data || !data->hasUrls())
        return files;
    for (const QUrl &url : data->urls()) {
        if (url.isLocalFile() && !QFileInfo(url.toLocalFile()).isDir())
            files.append(url.toLocalFile());
    }
    return files;
}
