#pragma once

// Test entry points that keep every test away from the user's real settings:
// HOME and the XDG directories point into a temporary directory, QStandardPaths
// runs in test mode, and the working directory (where config/ is written) is
// a fresh temporary directory too.

#include "app/appinfo.h"
#include "data/appconfig.h"
#include "data/datafile.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QPointer>
#include <QTimer>
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

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

// A working directory of its own (kept in dir) with the default settings
// read into the record; with noFile, the settings file they were written to
// is removed again, so a test sees whether anything writes one.
inline void freshSettings(std::unique_ptr<QTemporaryDir> &dir, bool noFile = false)
{
    AppConfig = AppConfigRecord{};
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir::setCurrent(dir->path()));
    readConfig();
    if (noFile)
        QVERIFY(QFile::remove(configFilePath()));
}

// Watches, while it runs, for modal dialogs of class T (they would block
// the test) and hands each new one to answer().
template <typename T>
class ModalLog
{
public:
    virtual ~ModalLog() = default;

    void start()
    {
        QObject::connect(&timer, &QTimer::timeout, [this] { poll(); });
        timer.start(10);
    }
    void stop() { timer.stop(); }

protected:
    virtual void answer(T *dialog) = 0;

private:
    void poll()
    {
        auto *dialog = qobject_cast<T *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible() || handled.contains(dialog))
            return;
        handled.append(dialog);
        answer(dialog);
    }

    QTimer timer;
    QList<QPointer<T>> handled;
};

// Answers the message boxes and remembers what each one said.
class MessageBoxLog : public ModalLog<QMessageBox>
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

protected:
    void answer(QMessageBox *box) override
    {
        seen.append({box->windowTitle(), box->text(), box->standardButtons()});
        QAbstractButton *button = nullptr;
        if (!answers.isEmpty())
            button = box->button(answers.takeFirst());
        if (!button)
            button = box->defaultButton() ? static_cast<QAbstractButton *>(box->defaultButton()) : box->buttons().value(0);
        if (button)
            QMetaObject::invokeMethod(button, "click", Qt::QueuedConnection);
    }
};

// The samples of the data files tests write: record i is at start + i *
// step seconds, and value k (1..31) varies with both, at the column's
// written decimals, so a file read back holds exactly these values.
inline double sampleValue(int i, int column)
{
    const int decimals = columnDecimals(column);
    const double unit = decimals == 1 ? 0.1 : decimals == 2 ? 0.01 : 0.001;
    return double((i * 37 + column * 101) % 2000 - 500) * unit + column;
}

inline bool writeSampleFile(const QString &path, int count, uint32_t start = 1525586601u, uint32_t step = 5)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    double values[kValueCount];
    for (int i = 0; i < count; ++i) {
        for (int k = 1; k <= kValueCount; ++k)
            values[k - 1] = sampleValue(i, k);
        writeRecord(file, start + uint32_t(i) * step, values);
    }
    return file.flush();
}

// Records made in memory, for views that need no file on disk.
inline std::unique_ptr<DataFile> sampleDataFile(int count, uint32_t start = 1525586601u, uint32_t step = 5)
{
    auto file = std::make_unique<DataFile>(QStringLiteral("memory.txt"), quint32(count));
    for (int i = 0; i < count; ++i) {
        file->records[i].time = start + uint32_t(i) * step;
        for (int k = 1; k <= kValueCount; ++k)
            file->records[i].setValue(k, float(sampleValue(i, k)));
    }
    return file;
}

// Answers the file dialogs as a user typing a name would, and remembers
// each dialog's caption and filters.
class FileDialogLog : public ModalLog<QFileDialog>
{
public:
    struct Dialog {
        QString caption;
        QStringList filters;
    };

    // Names to type, in order (absolute paths); an empty name, or none left,
    // cancels the dialog.
    QStringList answers;
    QList<Dialog> seen;

protected:
    void answer(QFileDialog *dialog) override
    {
        seen.append({dialog->windowTitle(), dialog->nameFilters()});
        const QString name = answers.isEmpty() ? QString() : answers.takeFirst();
        auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        if (name.isEmpty() || !edit) {
            QMetaObject::invokeMethod(dialog, "reject", Qt::QueuedConnection);
            return;
        }
        edit->setText(name);
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
    }
};

// Runs act on the first modal dialog of class T that comes up while it
// lives; seen tells whether one came.
template <typename T>
class ModalWatch
{
public:
    explicit ModalWatch(std::function<void(T *)> act)
        : act(std::move(act))
    {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            auto *dialog = qobject_cast<T *>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible() || seen)
                return;
            seen = true;
            this->act(dialog);
        });
        timer.start(10);
    }

    bool seen = false;

private:
    std::function<void(T *)> act;
    QTimer timer;
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
