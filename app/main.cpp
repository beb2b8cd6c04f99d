#include "app/appinfo.h"
#include "app/mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    setApplicationIdentity(app);
    installQtTranslation(app);
    MainWindow window;
    window.show();
    return app.exec();
}
