#include "comm/stationsettings.h"

#include "data/atomicfile.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QSettings>
#include <QFileInfo>
#include <QTemporaryFile>

#include <algorithm>
#include <functional>
#include <iterator>
#include <memory>

namespace {

const QString kMeters = QStringLiteral("Meters");
const QString kStation = QStringLiteral("Station");
const QString kForward = QStringLiteral("Forward");
const QString kKeepAcquiring = QStringLiteral("Station/keepAcquiring");
const QString kDailyFolder = QStringLiteral("Station/dailyFolder");
const QString kStartAcquiring = QStringLiteral("Station/startAcquiring");

// Where these choices were kept per user before they belonged to a
// working directory.
const QString kUserKeepAcquiring = QStringLiteral("keepAcquiringAfterErrors");
const QString kUserDailyFiles = QStringLiteral("dailyFiles");
const QString kUserDailyFolder = QStringLiteral("dailyFilesFolder");
const QString kUserForward = QStringLiteral("forward");

const char *const kForwardKeys[] = {"enabled", "server", "user", "password", "prefix", "discovery", "tls", "caFile"};

QString shownPath()
{
    return QDir::toNativeSeparators(stationSettingsPath());
}

// QSettings parses and renders the file, but on a private copy of it: it
// would write the file itself without syncing it, and a file it has read
// once it does not read again when it changed within the same millisecond
// at the same size. The file itself is read whole and replaced through
// AtomicFile.
class IniCopy
{
public:
    explicit IniCopy(const QByteArray &content)
    {
        if (!scratch.open() || scratch.write(content) != content.size() || !scratch.flush())
            return;
        scratch.close();
        ini = std::make_unique<QSettings>(scratch.fileName(), QSettings::IniFormat);
        ini->setIniCodec("UTF-8");
    }

    // Null when no copy could be made.
    QSettings *settings() const { return ini.get(); }

    // The copy as it is now, through commit to the settings file; false
    // with why when it could not be written.
    bool commit(QString *why)
    {
        ini->sync();
        QFile copy(scratch.fileName());
        if (ini->status() != QSettings::NoError || !copy.open(QIODevice::ReadOnly)) {
            *why = QStringLiteral("无法写入设置文件 %1").arg(shownPath());
            return false;
        }
        const QByteArray content = copy.readAll();
        QDir().mkpath(QFileInfo(stationSettingsPath()).path());
        AtomicFile file(stationSettingsPath());
        // The broker's password is the owner's alone.
        if (!ini->value(kForward + QStringLiteral("/password")).toString().isEmpty())
            file.setFileMode(0600);
        if (!file.open() || file.write(content) != content.size() || !file.commit()) {
            *why = QStringLiteral("无法写入设置文件 %1（%2）").arg(shownPath(), diskErrorText(file.errorCode()));
            return false;
        }
        return true;
    }

private:
    QTemporaryFile scratch;
    std::unique_ptr<QSettings> ini;
};

// The file's bytes, none when there is no file; false when there is one
// that cannot be read.
bool readFile(QByteArray *content, QString *why)
{
    QFile file(stationSettingsPath());
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("无法读取设置文件 %1（%2）").arg(shownPath(), file.errorString());
        return false;
    }
    *content = file.readAll();
    return true;
}

// Moves what the per-user store holds of the sections the file lacks into
// it; the store keeps them should the file not take them.
void takeOverUserSettings(IniCopy &copy)
{
    QSettings &ini = *copy.settings();
    const QStringList groups = ini.childGroups();
    QSettings user;
    QStringList moved;
    if (!groups.contains(kStation) && (user.contains(kUserKeepAcquiring) || user.contains(kUserDailyFiles))) {
        ini.setValue(kKeepAcquiring, user.value(kUserKeepAcquiring, false).toBool());
        ini.setValue(kDailyFolder, user.value(kUserDailyFiles, false).toBool() ? user.value(kUserDailyFolder).toString() : QString());
        moved << kUserKeepAcquiring << kUserDailyFiles << kUserDailyFolder;
    }
    if (!groups.contains(kForward) && user.childGroups().contains(kUserForward)) {
        for (const char *key : kForwardKeys) {
            const QString name = QLatin1String(key);
            if (user.contains(kUserForward + QLatin1Char('/') + name))
                ini.setValue(kForward + QLatin1Char('/') + name, user.value(kUserForward + QLatin1Char('/') + name));
        }
        moved << kUserForward;
    }
    QString why;
    if (moved.isEmpty() || !copy.commit(&why))
        return;
    for (const QString &key : qAsConst(moved))
        user.remove(key);
}

} // namespace

QString stationSettingsPath()
{
    return QStringLiteral("config/meters.ini");
}

QString metersProblem(const QVector<MeterConfig> &meters)
{
    if (meters.isEmpty())
        return QStringLiteral("至少需要一台电表。");
    QSet<QString> names;
    QSet<int> addresses;
    for (int row = 0; row < meters.size(); ++row) {
        const QString name = meters[row].name.trimmed();
        const int addr = meters[row].addr;
        if (name.isEmpty())
            return QStringLiteral("第 %1 台电表没有名称。").arg(row + 1);
        if (addr < kFirstMeterAddress || addr > kLastMeterAddress)
            return QStringLiteral("电表“%1”的地址须为 %2 到 %3。").arg(name).arg(kFirstMeterAddress).arg(kLastMeterAddress);
        if (names.contains(name))
            return QStringLiteral("电表名称“%1”重复：每台电表的名称须不同。").arg(name);
        if (addresses.contains(addr))
            return QStringLiteral("地址 %1 重复：每台电表的地址须不同。").arg(addr);
        names.insert(name);
        addresses.insert(addr);
    }
    return QString();
}

MeterConfig newMeter(const QVector<MeterConfig> &meters)
{
    MeterConfig meter{QString(), kFirstMeterAddress};
    auto taken = [&meters](const std::function<bool(const MeterConfig &)> &same) {
        return std::any_of(meters.begin(), meters.end(), same);
    };
    for (int n = 1; meter.name.isEmpty(); ++n) {
        const QString name = QStringLiteral("电表%1").arg(n);
        if (!taken([&name](const MeterConfig &m) { return m.name.trimmed() == name; }))
            meter.name = name;
    }
    while (meter.addr < kLastMeterAddress && taken([&meter](const MeterConfig &m) { return m.addr == meter.addr; }))
        ++meter.addr;
    return meter;
}

StationConfig readStationConfig(const ComConfig &link, QString *problem)
{
    StationConfig config;
    config.link = link;
    config.meters = metersOf(link);
    config.forwarding = defaultForwardConfig();
    QString why;
    QByteArray content;
    if (readFile(&content, &why)) {
        IniCopy copy(content);
        if (QSettings *ini = copy.settings()) {
            takeOverUserSettings(copy);
            const int rows = ini->beginReadArray(kMeters);
            if (rows > 0)
                config.meters.clear();
            for (int row = 0; row < rows; ++row) {
                ini->setArrayIndex(row);
                bool number = false;
                const int addr = ini->value(QStringLiteral("addr")).toString().toInt(&number);
                config.meters.append({ini->value(QStringLiteral("name")).toString(), number ? addr : 0});
            }
            ini->endArray();
            config.keepAcquiring = ini->value(kKeepAcquiring, false).toBool();
            config.dailyFolder = ini->value(kDailyFolder).toString();
            config.startAcquiring = ini->value(kStartAcquiring, false).toBool();
            ForwardConfig &f = config.forwarding;
            ini->beginGroup(kForward);
            f.enabled = ini->value(QStringLiteral("enabled"), f.enabled).toBool();
            f.server = ini->value(QStringLiteral("server"), f.server).toString();
            f.user = ini->value(QStringLiteral("user")).toString();
            f.password = ini->value(QStringLiteral("password")).toString();
            f.prefix = ini->value(QStringLiteral("prefix"), f.prefix).toString();
            f.discovery = ini->value(QStringLiteral("discovery"), f.discovery).toBool();
            f.tls = ini->value(QStringLiteral("tls"), f.tls).toBool();
            f.caFile = ini->value(QStringLiteral("caFile")).toString();
            ini->endGroup();
            const QString rowProblem = metersProblem(config.meters);
            if (!rowProblem.isEmpty())
                why = QStringLiteral("设置文件 %1 有误：%2").arg(shownPath(), rowProblem);
        } else {
            why = QStringLiteral("无法读取设置文件 %1").arg(shownPath());
        }
    }
    if (problem)
        *problem = why;
    return config;
}

bool writeStationConfig(const StationConfig &config, QString *problem)
{
    QString why = metersProblem(config.meters);
    QByteArray content;
    if (why.isEmpty() && readFile(&content, &why)) {
        IniCopy copy(content);
        if (QSettings *ini = copy.settings()) {
            ini->remove(kMeters);
            ini->beginWriteArray(kMeters, config.meters.size());
            for (int row = 0; row < config.meters.size(); ++row) {
                ini->setArrayIndex(row);
                ini->setValue(QStringLiteral("name"), config.meters[row].name.trimmed());
                ini->setValue(QStringLiteral("addr"), config.meters[row].addr);
            }
            ini->endArray();
            ini->setValue(kKeepAcquiring, config.keepAcquiring);
            ini->setValue(kDailyFolder, config.dailyFolder);
            ini->setValue(kStartAcquiring, config.startAcquiring);
            const ForwardConfig &f = config.forwarding;
            const QVariant values[] = {f.enabled, f.server, f.user, f.password, f.prefix, f.discovery, f.tls, f.caFile};
            for (size_t k = 0; k < std::size(kForwardKeys); ++k)
                ini->setValue(kForward + QLatin1Char('/') + QLatin1String(kForwardKeys[k]), values[k]);
            if (copy.commit(&why))
                return true;
        } else {
            why = QStringLiteral("无法写入设置文件 %1").arg(shownPath());
        }
    }
    if (problem)
        *problem = why;
    return false;
}

QString dailyFolderProblem(const QString &folder)
{
    if (folder.trimmed().isEmpty())
        return QStringLiteral("请选择按天保存数据的文件夹。");
    const QString shown = QDir::toNativeSeparators(folder);
    if (!QFileInfo(folder).isDir())
        return QStringLiteral("文件夹不存在：%1").arg(shown);
    // Permissions alone do not tell: a read-only mount, a full stick.
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".zep-probe-XXXXXX")));
    if (!probe.open() || probe.write("\n", 1) != 1 || !probe.flush())
        return QStringLiteral("无法写入文件夹：%1").arg(shown);
    return QString();
}
