#pragma once

// Shared by the data file tests: time zone switching and file helpers.

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>

#include <ctime>

namespace zeptest {

// Local time follows TZ; Qt re-reads it through tzset() on each conversion.
inline void useZone(const QByteArray &zone)
{
    qputenv("TZ", zone);
    tzset();
}

inline bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(bytes) == bytes.size();
}

inline QByteArray readBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

} // namespace zeptest
