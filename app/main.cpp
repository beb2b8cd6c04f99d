#include "app/appinfo.h"
#include "app/openrequests.h"
#include "app/mainwindow.h"
#include "app/singleinstance.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>

int main(int argc, char *argv[])
{
    if (const std::optional<int> answered = answerWithoutDisplay(argc, argv))
        return *answered;
    QApplication app(argc, argv);
    setApplicationIdentity(app);
    installQtTranslation(app);
    const CommandLine command = readCommandLine(QApplication::arguments());
    if (command.answered)
        return printAnswer(command);
    SingleInstance instance(QDir::currentPath());
    if (!instance.claim()) {
        if (instance.handOver(command.files))
            return 0;
        QMessageBox::warning(nullptr, QStringLiteral("错误"), QStringLiteral("ZEP 已在此目录中运行，但没有响应。"));
        return 1;
    }
    MainWindow window;
    window.show();
    window.takeHandOvers(instance);
    runOnceOnScreen(&window, [&window, &command] { window.finishStartUp(command.files); });
    return app.exec();
}
