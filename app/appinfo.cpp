#include "app/appinfo.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTextCodec>
#include <QTranslator>

#include <mutex>

static void registerZepResources()
{
    Q_INIT_RESOURCE(zep);
}

void setApplicationIdentity(QCoreApplication &app)
{
    app.setApplicationName(QString::fromUtf8(kAppName));
    app.setOrganizationName(QString::fromUtf8(kOrgName));
    app.setApplicationVersion(QString::fromUtf8(kAppVersion));
}

void initZepResources()
{
    static std::once_flag once;
    std::call_once(once, registerZepResources);
}

bool installQtTranslation(QCoreApplication &app)
{
    auto *translator = new QTranslator(&app);
    if (!translator->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::location(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    app.installTranslator(translator);
    return true;
}

bool installLocaleCodec()
{
#ifdef Q_OS_WIN
    // The meters' Chinese Windows installations work in the GBK code page;
    // Windows file names do not pass through the locale codec.
    if (QTextCodec *gbk = QTextCodec::codecForName("GBK")) {
        QTextCodec::setCodecForLocale(gbk);
        return true;
    }
    return false;
#else
    // Qt 5 encodes file names through the locale codec on Unix. With GBK there,
    // a Chinese file name on a UTF-8 file system could neither be opened nor
    // saved under its own name, so the system's codec stays.
    return false;
#endif
}
