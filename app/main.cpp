#include "app/appinfo.h"
#include "app/mainwindow.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    setApplicationIdentity(app);
    installQtTranslation(app);
    MainWindow window;
    window.show();
    QTimer::singleShot(0, &window, [&window] { window.offerLeftJournals(); });
    return app.exec();
}
