// libFuzzer target: the settings file reader on arbitrary bytes.

#include "data/appconfig.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // readConfig reads config/config.ini below the working directory.
    static QTemporaryDir dir;
    if (!dir.isValid() || !QDir(dir.path()).mkpath(QStringLiteral("config")) || !QDir::setCurrent(dir.path()))
        abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    {
        QFile file(configFilePath());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            abort();
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    readConfig();
    // Text fields stay terminated within their arrays, and the interval that
    // drives the sampling loop is never zero.
    const ComConfig &c = AppConfig.comm;
    if (qstrnlen(c.com, sizeof c.com) == sizeof c.com || qstrnlen(c.IP, sizeof c.IP) == sizeof c.IP
        || qstrnlen(c.interval, sizeof c.interval) == sizeof c.interval || intervalSeconds() < 1)
        abort();
    return 0;
}
