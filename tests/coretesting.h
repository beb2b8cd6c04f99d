#pragma once

// Test entry points that keep every test away from the user's real settings:
// HOME and the XDG directories point into a temporary directory, QStandardPaths
// runs in test mode, and the working directory (where config/ is written) is
// a fresh temporary directory too. What tests of the acquisition core need,
// without Qt GUI; testsupport.h adds the rest.

#include "data/appconfig.h"
#include "data/appidentity.h"
#include "data/datafile.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <ctime>
#include <memory>

namespace zeptest {

// Local time follows TZ while it lives.
class ZoneForTest
{
public:
    explicit ZoneForTest(const QByteArray &zone)
        : saved(qgetenv("TZ"))
        , hadZone(qEnvironmentVariableIsSet("TZ"))
    {
        qputenv("TZ", zone);
        tzset();
    }
    ~ZoneForTest()
    {
        if (hadZone)
            qputenv("TZ", saved);
        else
            qunsetenv("TZ");
        tzset();
    }

private:
    QByteArray saved;
    bool hadZone;
};

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

} // namespace zeptest

// prepare runs once the application object exists, before the tests.
#define ZEP_TEST_MAIN_WITH(AppClass, TestObject, prepare)                                         \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        zeptest::isolateEnvironment();                                                             \
        AppClass app(argc, argv);                                                                  \
        setApplicationIdentity(app);                                                               \
        prepare;                                                                                   \
        zeptest::enterWorkDir();                                                                   \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }

#define ZEP_TEST_MAIN_CORE(TestObject) ZEP_TEST_MAIN_WITH(QCoreApplication, TestObject, (void)0)
