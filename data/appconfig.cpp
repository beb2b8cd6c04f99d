#include "data/appconfig.h"

#include <QDir>
#include <QFile>

#include <cstdlib>

AppConfigRecord AppConfig;

namespace {

const char *const kConfigDir = "config";

const int kDefaultColours[31][3] = {
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

void setIndexed(const QString &key, const QString &prefix, const QString &value, int *ints, bool *flags)
{
    // The index sits between "prefix[" and the closing character.
    const int from = prefix.size() + 1;
    const int len = key.size() - from - 1;
    const int index = len > 0 ? toInt(key.mid(from, len)) : 0;
    if (index < 0 || index > 30)
        return;
    if (ints)
        ints[index] = toInt(value);
    else
        flags[index] = toInt(value) != 0;
}

void storeValue(const QString &key, const QString &value)
{
    ComConfig &c = AppConfig.comm;
    DisplayConfig &d = AppConfig.disp;
    struct IntKey {
        const char *key;
        int *field;
    };
    const IntKey intKeys[] = {
        {"comtype", &c.comtype},         {"addr", &c.addr},
        {"metertype", &c.metertype},     {"timeformat", &d.timeformat},
        {"yAxis_scale", &d.yAxis_scale}, {"gridlinetype", &d.gridlinetype},
        {"xMaxMajor", &d.xMaxMajor},     {"xMaxMinor", &d.xMaxMinor},
        {"yMaxMajor", &d.yMaxMajor},     {"yMaxMinor", &d.yMaxMinor},
        {"grid_red", &d.grid_red},       {"grid_green", &d.grid_green},
        {"grid_blue", &d.grid_blue},     {"back_red", &d.back_red},
        {"back_green", &d.back_green},   {"back_blue", &d.back_blue},
    };
    for (const IntKey &k : intKeys) {
        if (key == QLatin1String(k.key)) {
            *k.field = toInt(value);
            return;
        }
    }
    if (key == QLatin1String("yLow")) {
        d.yLow = value.toDouble();
        return;
    }
    if (key == QLatin1String("yHigh")) {
        d.yHigh = value.toDouble();
        return;
    }
    const QByteArray latin1 = value.toLatin1();
    if (key == QLatin1String("com"))
        return copyToField(c.com, latin1);
    if (key == QLatin1String("baud"))
        return copyToField(c.baud, latin1);
    if (key == QLatin1String("parity"))
        return copyToField(c.parity, latin1);
    if (key == QLatin1String("stopbit"))
        return copyToField(c.stopbit, latin1);
    if (key == QLatin1String("IP"))
        return copyToField(c.IP, latin1);
    if (key == QLatin1String("interval"))
        return copyToField(c.interval, latin1);

    const QString red = QStringLiteral("para_red");
    const QString green = QStringLiteral("para_green");
    const QString blue = QStringLiteral("para_blue");
    const QString on = QStringLiteral("para_on");
    if (key.startsWith(red))
        setIndexed(key, red, value, d.para_red, nullptr);
    else if (key.startsWith(green))
        setIndexed(key, green, value, d.para_green, nullptr);
    else if (key.startsWith(blue))
        setIndexed(key, blue, value, d.para_blue, nullptr);
    else if (key.startsWith(on))
        setIndexed(key, on, value, nullptr, d.para_on);
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
    for (int k = 0; k < 31; ++k) {
        disp.para_red[k] = kDefaultColours[k][0];
        disp.para_green[k] = kDefaultColours[k][1];
        disp.para_blue[k] = kDefaultColours[k][2];
        disp.para_on[k] = true;
    }
}

void readConfig()
{
    defaultComConfig(AppConfig.comm);

    QFile file(configFilePath());
    if (!file.open(QIODevice::ReadOnly)) {
        defaultDisplayConfig(AppConfig.disp);
        writeConfig();
        return;
    }
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        if (line.isEmpty())
            break;
        const int nul = line.indexOf('\0');
        if (nul >= 0)
            line.truncate(nul);
        const QString text = QString::fromUtf8(line);
        const int eq = text.indexOf(QLatin1Char('='));
        const QString key = eq < 0 ? text : text.left(eq);
        const QString value = eq < 0 ? QString() : text.mid(eq + 1).simplified();
        storeValue(key, value);
    }
}

void writeConfig()
{
    QDir here;
    if (!here.exists(QLatin1String(kConfigDir)) && !here.mkdir(QLatin1String(kConfigDir)))
        return;
    QFile file(configFilePath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;

    const ComConfig &c = AppConfig.comm;
    const DisplayConfig &d = AppConfig.disp;
    QString out;
    out.reserve(4096);
    auto line = [&out](const QString &key, const QString &value) {
        out += key;
        out += QLatin1Char('=');
        out += value;
        out += QLatin1Char('\n');
    };
    auto field = [](const char *text) { return QString::fromLatin1(text); };
    auto real = [](double v) { return QString::number(v, 'g', 6); };
    auto num = [](int v) { return QString::number(v); };

    out += QLatin1String("[ZEP Config]\n[COM Setting]\n");
    line(QStringLiteral("comtype"), num(c.comtype));
    line(QStringLiteral("com"), field(c.com));
    line(QStringLiteral("baud"), field(c.baud));
    line(QStringLiteral("parity"), field(c.parity));
    line(QStringLiteral("stopbit"), field(c.stopbit));
    line(QStringLiteral("addr"), num(c.addr));
    line(QStringLiteral("IP"), field(c.IP));
    line(QStringLiteral("interval"), field(c.interval));
    line(QStringLiteral("metertype"), num(c.metertype));
    out += QLatin1String("\n[Disp Setting]\n");
    line(QStringLiteral("timeformat"), num(d.timeformat));
    line(QStringLiteral("yAxis_scale"), num(d.yAxis_scale));
    line(QStringLiteral("yLow"), real(d.yLow));
    line(QStringLiteral("yHigh"), real(d.yHigh));
    line(QStringLiteral("gridlinetype"), num(d.gridlinetype));
    line(QStringLiteral("xMaxMajor"), num(d.xMaxMajor));
    line(QStringLiteral("xMaxMinor"), num(d.xMaxMinor));
    line(QStringLiteral("yMaxMajor"), num(d.yMaxMajor));
    line(QStringLiteral("yMaxMinor"), num(d.yMaxMinor));
    line(QStringLiteral("grid_red"), num(d.grid_red));
    line(QStringLiteral("grid_green"), num(d.grid_green));
    line(QStringLiteral("grid_blue"), num(d.grid_blue));
    line(QStringLiteral("back_red"), num(d.back_red));
    line(QStringLiteral("back_green"), num(d.back_green));
    line(QStringLiteral("back_blue"), num(d.back_blue));
    for (int k = 0; k < 31; ++k) {
        const QString idx = QString::number(k);
        line(QStringLiteral("para_red[%1]").arg(idx), num(d.para_red[k]));
        line(QStringLiteral("para_green[%1]").arg(idx), num(d.para_green[k]));
        line(QStringLiteral("para_blue[%1]").arg(idx), num(d.para_blue[k]));
        line(QStringLiteral("para_on[%1]").arg(idx), num(d.para_on[k] ? 1 : 0));
    }
    out += QLatin1Char('\n');
    file.write(out.toUtf8());
}

namespace {

unsigned int intervalSecondsOf(const char *interval)
{
    const QByteArray text(interval, static_cast<int>(qstrnlen(interval, sizeof(ComConfig::interval))));
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

} // namespace

unsigned int intervalSeconds()
{
    return intervalSecondsOf(AppConfig.comm.interval);
}
