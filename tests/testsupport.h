#pragma once

// Test entry points that keep every test away from the user's real settings:
// HOME and the XDG directories point into a temporary directory, QStandardPaths
// runs in test mode, and the working directory (where config/ is written) is
// a fresh temporary directory too.

#include "app/appinfo.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QPointer>
#include <QTimer>
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace zeptest {

inline QTemporaryDir &sandbox()
{
    static QTemporaryDir dir;
    return dir;
}

inline void isolateEnvironment()
{
    const QByteArray root = sandbox().path().toLocal8Bit();
    qputenv("HOME", root);
    qputenv("XDG_CONFIG_HOME", root + "/config-home");
    qputenv("XDG_DATA_HOME", root + "/data-home");
    qputenv("XDG_CACHE_HOME", root + "/cache-home");
    qputenv("XDG_RUNTIME_DIR", root + "/runtime");
    QDir().mkpath(QString::fromLocal8Bit(root + "/runtime"));
    QFile::setPermissions(QString::fromLocal8Bit(root + "/runtime"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QStandardPaths::setTestModeEnabled(true);
}

inline void enterWorkDir()
{
    const QString work = sandbox().path() + QStringLiteral("/work");
    QDir().mkpath(work);
    QDir::setCurrent(work);
}

// Answers the message boxes that come up while it runs (they are modal and
// would block the test) and remembers what each one said.
class MessageBoxLog
{
public:
    struct Box {
        QString title;
        QString text;
        QMessageBox::StandardButtons buttons;
    };

    // Buttons to press, in order; once used up, the box's default or first
    // button is pressed.
    QList<QMessageBox::StandardButton> answers;
    QList<Box> seen;

    void start()
    {
        QObject::connect(&timer, &QTimer::timeout, [this] { poll(); });
        timer.start(10);
    }
    void stop() { timer.stop(); }

private:
    void poll()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible() || handled.contains(box))
            return;
        handled.append(box);
        seen.append({box->windowTitle(), box->text(), box->standardButtons()});
        QAbstractButton *button = nullptr;
        if (!answers.isEmpty())
            button = box->button(answers.takeFirst());
        if (!button)
            button = box->defaultButton() ? static_cast<QAbstractButton *>(box->defaultButton()) : box->buttons().value(0);
        if (button)
            QMetaObject::invokeMethod(button, "click", Qt::QueuedConnection);
    }

    QTimer timer;
    QList<QPointer<QMessageBox>> handled;
};

} // namespace zeptest

#define ZEP_TEST_MAIN_IMPL(AppClass, TestObject)                                                   \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        zeptest::isolateEnvironment();                                                             \
        AppClass app(argc, argv);                                                                  \
        setApplicationIdentity(app);                                                               \
        initZepResources();                                                                        \
        zeptest::enterWorkDir();                                                                   \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }

#define ZEP_TEST_MAIN(TestObject) ZEP_TEST_MAIN_IMPL(QApplication, TestObject)
#define ZEP_TEST_MAIN_CORE(TestObject) ZEP_TEST_MAIN_IMPL(QCoreApplication, TestObject)
