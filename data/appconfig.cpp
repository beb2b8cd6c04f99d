#include "data/appconfig.h"

#include "data/atomicfile.h"

#include <QDir>
#include <QFile>
#include <QPair>
#include <QVector>

#include <algorithm>
#include <cstdlib>
#include <iterator>

AppConfigRecord AppConfig;

namespace {

const char *const kConfigDir = "config";

const int kDefaultColours[kValueCount][3] = {
    {255, 0, 0},     {0, 153, 51},    {0, 51, 255},    {119, 51, 204},
    {153, 51, 0},    {255, 153, 51},  {153, 204, 51},  {119, 170, 221},
    {204, 102, 204}, {153, 153, 153}, {102, 255, 0},   {0, 255, 255},
    {0, 0, 153},     {255, 255, 0},   {153, 0, 153},   {255, 17, 153},
    {204, 153, 153}, {153, 255, 153}, {153, 153, 0},   {0, 153, 153},
    {0, 204, 153},   {0, 255, 0},     {0, 117, 117},   {153, 104, 0},
    {153, 104, 76},  {216, 165, 76},  {207, 62, 151},  {153, 95, 190},
    {100, 172, 190}, {100, 118, 215}, {122, 53, 111},
};

int toInt(const QString &text)
{
    return text.toInt(nullptr, 10);
}

// A number that does not convert, overflow included (Qt then gives +-inf
// with ok false), is 0.0.
double toReal(const QString &text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok ? value : 0.0;
}

// The one list of the settings keys: the reader matches against it and the
// writer writes in its order, so a key is named once.
enum class FieldType { Int, Real, Text };

struct SettingKey {
    const char *name;
    FieldType type;
    void *field;
    size_t size;   // of a text field, its terminating NUL included
};

template <size_t N>
constexpr SettingKey textKey(const char *name, char (&field)[N])
{
    return {name, FieldType::Text, field, N};
}

constexpr SettingKey intKey(const char *name, int &field)
{
    return {name, FieldType::Int, &field, sizeof field};
}

constexpr SettingKey realKey(const char *name, double &field)
{
    return {name, FieldType::Real, &field, sizeof field};
}

constexpr ComConfig &cfgComm = AppConfig.comm;
constexpr DisplayConfig &cfgDisp = AppConfig.disp;

// "[COM Setting]", in file order.
constexpr SettingKey kComKeys[] = {
    intKey("comtype", cfgComm.comtype),
    textKey("com", cfgComm.com),
    textKey("baud", cfgComm.baud),
    textKey("parity", cfgComm.parity),
    textKey("stopbit", cfgComm.stopbit),
    intKey("addr", cfgComm.addr),
    textKey("IP", cfgComm.IP),
    textKey("interval", cfgComm.interval),
    intKey("metertype", cfgComm.metertype),
};

// "[Disp Setting]", in file order.
constexpr SettingKey kDispKeys[] = {
    intKey("timeformat", cfgDisp.timeformat),
    intKey("yAxis_scale", cfgDisp.yAxis_scale),
    realKey("yLow", cfgDisp.yLow),
    realKey("yHigh", cfgDisp.yHigh),
    intKey("gridlinetype", cfgDisp.gridlinetype),
    intKey("xMaxMajor", cfgDisp.xMaxMajor),
    intKey("xMaxMinor", cfgDisp.xMaxMinor),
    intKey("yMaxMajor", cfgDisp.yMaxMajor),
    intKey("yMaxMinor", cfgDisp.yMaxMinor),
    intKey("grid_red", cfgDisp.grid_red),
    intKey("grid_green", cfgDisp.grid_green),
    intKey("grid_blue", cfgDisp.grid_blue),
    intKey("back_red", cfgDisp.back_red),
    intKey("back_green", cfgDisp.back_green),
    intKey("back_blue", cfgDisp.back_blue),
};

// The per-column keys "prefix[k]", in the order the reader checks the
// prefixes and the writer writes them for each k.
struct IndexedKey {
    const char *prefix;
    int *ints;     // or
    bool *flags;
};

constexpr IndexedKey kIndexedKeys[] = {
    {"para_red", cfgDisp.para_red, nullptr},
    {"para_green", cfgDisp.para_green, nullptr},
    {"para_blue", cfgDisp.para_blue, nullptr},
    {"para_on", nullptr, cfgDisp.para_on},
};

void store(const SettingKey &k, const QString &value)
{
    switch (k.type) {
    case FieldType::Int:
        *static_cast<int *>(k.field) = toInt(value);
        return;
    case FieldType::Real:
        *static_cast<double *>(k.field) = toReal(value);
        return;
    case FieldType::Text: {
        // A value cut to fit would silently mean something else (the port
        // 1 of "host:1502"): one that does not fit is refused, and the field
        // keeps what it held.
        const QByteArray latin1 = value.toLatin1();
        if (size_t(latin1.size()) < k.size)
            copyToField(static_cast<char *>(k.field), k.size, latin1);
        return;
    }
    }
}

QString text(const SettingKey &k)
{
    switch (k.type) {
    case FieldType::Int:
        return QString::number(*static_cast<const int *>(k.field));
    case FieldType::Real:
        return QString::number(*static_cast<const double *>(k.field), 'g', 6);
    case FieldType::Text: {
        const char *field = static_cast<const char *>(k.field);
        return QString::fromLatin1(field, int(qstrnlen(field, uint(k.size))));
    }
    }
    return QString();
}

void setIndexed(const QString &key, const IndexedKey &k, const QString &value)
{
    // The index sits between "prefix[" and the closing character.
    const int from = int(qstrlen(k.prefix)) + 1;
    const int len = key.size() - from - 1;
    const int index = len > 0 ? toInt(key.mid(from, len)) : 0;
    if (index < 0 || index >= kValueCount)
        return;
    if (k.ints)
        k.ints[index] = toInt(value);
    else
        k.flags[index] = toInt(value) != 0;
}

void storeValue(const QString &key, const QString &value)
{
    for (const SettingKey &k : kComKeys) {
        if (key == QLatin1String(k.name))
            return store(k, value);
    }
    for (const SettingKey &k : kDispKeys) {
        if (key == QLatin1String(k.name))
            return store(k, value);
    }
    for (const IndexedKey &k : kIndexedKeys) {
        if (key.startsWith(QLatin1String(k.prefix)))
            return setIndexed(key, k, value);
    }
}

} // namespace

bool operator==(const ComConfig &a, const ComConfig &b)
{
    auto same = [](const char *x, const char *y, size_t n) { return strncmp(x, y, n) == 0; };
    return a.comtype == b.comtype && same(a.com, b.com, sizeof a.com) && same(a.baud, b.baud, sizeof a.baud)
        && same(a.parity, b.parity, sizeof a.parity) && same(a.stopbit, b.stopbit, sizeof a.stopbit)
        && a.addr == b.addr && same(a.IP, b.IP, sizeof a.IP) && same(a.interval, b.interval, sizeof a.interval)
        && a.metertype == b.metertype;
}

bool operator==(const DisplayConfig &a, const DisplayConfig &b)
{
    auto same = [](const auto &x, const auto &y) { return std::equal(std::begin(x), std::end(x), std::begin(y)); };
    return a.timeformat == b.timeformat && a.yAxis_scale == b.yAxis_scale && a.yLow == b.yLow && a.yHigh == b.yHigh
        && a.gridlinetype == b.gridlinetype && a.xMaxMajor == b.xMaxMajor && a.xMaxMinor == b.xMaxMinor
        && a.yMaxMajor == b.yMaxMajor && a.yMaxMinor == b.yMaxMinor && a.grid_red == b.grid_red
        && a.grid_green == b.grid_green && a.grid_blue == b.grid_blue && a.back_red == b.back_red
        && a.back_green == b.back_green && a.back_blue == b.back_blue && same(a.para_red, b.para_red)
        && same(a.para_green, b.para_green) && same(a.para_blue, b.para_blue) && same(a.para_on, b.para_on);
}

QString configFilePath()
{
    return QStringLiteral("config/config.ini");
}

void defaultComConfig(ComConfig &comm)
{
    comm = ComConfig{};
    comm.comtype = 0;
    copyToField(comm.com, "COM1");
    copyToField(comm.baud, "9600");
    copyToField(comm.parity, "No");
    copyToField(comm.stopbit, "1");
    comm.addr = 1;
    copyToField(comm.interval, "5s");
    comm.metertype = 0;
}

void defaultDisplayConfig(DisplayConfig &disp)
{
    disp.timeformat = 4;
    disp.yAxis_scale = 1;
    disp.yLow = 0.0;
    disp.yHigh = 500.0;
    disp.gridlinetype = 3;
    disp.xMaxMajor = 10;
    disp.xMaxMinor = 5;
    disp.yMaxMajor = 10;
    disp.yMaxMinor = 5;
    disp.grid_red = disp.grid_green = disp.grid_blue = 185;
    disp.back_red = disp.back_green = disp.back_blue = 255;
    for (int k = 0; k < kValueCount; ++k) {
        disp.para_red[k] = kDefaultColours[k][0];
        disp.para_green[k] = kDefaultColours[k][1];
        disp.para_blue[k] = kDefaultColours[k][2];
        disp.para_on[k] = true;
    }
}

ConfigOrigin readConfig()
{
    const ConfigOrigin origin = readConfigWithoutWriting();
    if (origin != ConfigOrigin::File)
        writeConfig();
    return origin;
}

ConfigOrigin readConfigWithoutWriting()
{
    defaultComConfig(AppConfig.comm);

    QFile file(configFilePath());
    if (!file.open(QIODevice::ReadOnly)) {
        defaultDisplayConfig(AppConfig.disp);
        return ConfigOrigin::Created;
    }
    // Both section lines are written before any key of their half, so a file
    // that lacks one was cut short (a full disk) or is not this program's:
    // reading it would leave the display half zero, a black plot without
    // curves, for every later run.
    QVector<QPair<QString, QString>> entries;
    bool comSection = false;
    bool dispSection = false;
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        if (line.isEmpty())
            break;
        const int nul = line.indexOf('\0');
        if (nul >= 0)
            line.truncate(nul);
        const QString text = QString::fromUtf8(line);
        const int eq = text.indexOf(QLatin1Char('='));
        if (eq < 0) {
            const QString section = text.trimmed();
            comSection = comSection || section == QLatin1String("[COM Setting]");
            dispSection = dispSection || section == QLatin1String("[Disp Setting]");
            continue;
        }
        entries.append({text.left(eq), text.mid(eq + 1).simplified()});
    }
    if (!comSection || !dispSection) {
        defaultDisplayConfig(AppConfig.disp);
        return ConfigOrigin::Replaced;
    }
    for (const auto &entry : qAsConst(entries))
        storeValue(entry.first, entry.second);
    return ConfigOrigin::File;
}

bool writeConfig()
{
    QDir here;
    if (!here.exists(QLatin1String(kConfigDir)) && !here.mkdir(QLatin1String(kConfigDir)))
        return false;

    QString out;
    out.reserve(4096);
    auto line = [&out](const QString &key, const QString &value) {
        out += key;
        out += QLatin1Char('=');
        out += value;
        out += QLatin1Char('\n');
    };

    out += QLatin1String("[ZEP Config]\n[COM Setting]\n");
    for (const SettingKey &k : kComKeys)
        line(QLatin1String(k.name), text(k));
    out += QLatin1String("\n[Disp Setting]\n");
    for (const SettingKey &k : kDispKeys)
        line(QLatin1String(k.name), text(k));
    for (int index = 0; index < kValueCount; ++index) {
        const QString suffix = QStringLiteral("[%1]").arg(index);
        for (const IndexedKey &k : kIndexedKeys) {
            const int value = k.ints ? k.ints[index] : (k.flags[index] ? 1 : 0);
            line(QLatin1String(k.prefix) + suffix, QString::number(value));
        }
    }
    out += QLatin1Char('\n');
    return writeFileAtomically(configFilePath(), out.toUtf8());
}

unsigned int intervalSeconds(const ComConfig &comm)
{
    const QByteArray text(comm.interval, static_cast<int>(qstrnlen(comm.interval, sizeof comm.interval)));
    if (text.isEmpty())
        return 1;
    const char unit = text.back();
    const long long number = std::atoll(text.left(text.size() - 1).constData());
    long long seconds = number;
    if (unit == 'm')
        seconds = number * 60;
    else if (unit == 'h')
        seconds = number * 3600;
    if (seconds < 1)
        return 1;
    return static_cast<unsigned int>(qMin<long long>(seconds, 0xFFFFFFFFLL));
}

unsigned int intervalSeconds()
{
    return intervalSeconds(AppConfig.comm);
}
