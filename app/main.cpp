#include "app/appinfo.h"
#include "app/openrequests.h"
#include "app/mainwindow.h"

#include <QApplication>

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
    MainWindow window;
    window.show();
    runOnceOnScreen(&window, [&window, &command] { window.finishStartUp(command.files); });
    return app.exec();
}
