#include "app/appinfo.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLibraryInfo>
#include <QTextCodec>
#include <QTimer>
#include <QTranslator>
#include <QWidget>
#include <QWindow>

#include <mutex>

namespace {

// Waits for the first exposure of a window, whose geometry the window
// system has settled by then; lives as long as the window.
class ScreenWatch : public QObject
{
public:
    ScreenWatch(QWidget *window, std::function<void()> step, int waitMs)
        : QObject(window)
        , step(std::move(step))
    {
        // Creates the native window, and with it the handle, if need be.
        window->winId();
        handle = window->windowHandle();
        handle->installEventFilter(this);
        QTimer::singleShot(waitMs, this, [this] { run(); });
        if (handle->isExposed())
            QTimer::singleShot(0, this, [this] { run(); });
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // After the exposure has been handled, the geometry with it.
        if (event->type() == QEvent::Expose && static_cast<QWindow *>(watched)->isExposed())
            QTimer::singleShot(0, this, [this] { run(); });
        return false;
    }

private:
    // The step may run a dialog, inside which a later call must do nothing.
    void run()
    {
        if (!step)
            return;
        const std::function<void()> once = std::move(step);
        step = nullptr;
        handle->removeEventFilter(this);
        once();
    }

    QWindow *handle;
    std::function<void()> step;
};

} // namespace

static void registerZepResources()
{
    Q_INIT_RESOURCE(zep);
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

void runOnceOnScreen(QWidget *window, std::function<void()> step, int waitMs)
{
    new ScreenWatch(window, std::move(step), waitMs);
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
