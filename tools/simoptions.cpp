#include "simoptions.h"

#include <QCommandLineParser>
#include <QRegularExpression>

bool FaultSpec::faulty(quint64 n) const
{
    if (fault == FaultKind::None || fault == FaultKind::DropAfter)
        return false;
    if (fault == FaultKind::Dead)
        return true;
    if (fault == FaultKind::Flaky)
        return n % static_cast<quint64>(faultArg) == 0;
    if (!faultOn.isEmpty())
        return faultOn.contains(n);
    return n % static_cast<quint64>(faultEvery) == 0;
}

FaultKind FaultSpec::faultFor(quint64 n, bool rtu) const
{
    if (!faulty(n))
        return FaultKind::None;
    if (fault != FaultKind::Flaky)
        return fault;
    const QList<FaultKind> turns = flakyTurns(rtu);
    return turns.at(static_cast<int>((n / static_cast<quint64>(faultArg) - 1) % static_cast<quint64>(turns.size())));
}

const FaultSpec &SimOptions::faultsOf(int unit) const
{
    const auto own = unitFaults.constFind(unit);
    return own != unitFaults.constEnd() ? *own : faults;
}

QList<FaultKind> flakyTurns(bool rtu)
{
    return {FaultKind::Silent, rtu ? FaultKind::Crc : FaultKind::Close, FaultKind::Short};
}

QString faultName(FaultKind kind)
{
    switch (kind) {
    case FaultKind::None: return QStringLiteral("none");
    case FaultKind::Silent: return QStringLiteral("silent");
    case FaultKind::Slow: return QStringLiteral("slow");
    case FaultKind::Crc: return QStringLiteral("crc");
    case FaultKind::Short: return QStringLiteral("short");
    case FaultKind::Long: return QStringLiteral("long");
    case FaultKind::Exception: return QStringLiteral("exception");
    case FaultKind::WrongUnit: return QStringLiteral("wrong-unit");
    case FaultKind::Function: return QStringLiteral("function");
    case FaultKind::Protocol: return QStringLiteral("protocol");
    case FaultKind::DropAfter: return QStringLiteral("drop-after");
    case FaultKind::Split: return QStringLiteral("split");
    case FaultKind::Garbage: return QStringLiteral("garbage");
    case FaultKind::Close: return QStringLiteral("close");
    case FaultKind::Flaky: return QStringLiteral("flaky");
    case FaultKind::Dead: return QStringLiteral("dead");
    }
    return QString();
}

namespace {

bool toInt(const QString &text, int low, int high, int *out)
{
    bool ok = false;
    const int v = text.toInt(&ok, 10);
    if (!ok || v < low || v > high)
        return false;
    *out = v;
    return true;
}

bool parseFault(const QString &text, FaultSpec *o)
{
    const QString name = text.section(QLatin1Char('='), 0, 0);
    const QString arg = text.section(QLatin1Char('='), 1);
    const bool hasArg = text.contains(QLatin1Char('='));
    static const FaultKind plain[] = {FaultKind::Silent, FaultKind::Crc, FaultKind::Short,
                                      FaultKind::Long, FaultKind::Exception, FaultKind::WrongUnit,
                                      FaultKind::Function, FaultKind::Protocol, FaultKind::Split,
                                      FaultKind::Garbage, FaultKind::Close, FaultKind::Dead};
    for (FaultKind k : plain) {
        if (name == faultName(k) && !hasArg) {
            o->fault = k;
            return true;
        }
    }
    if (name == QLatin1String("slow") && hasArg) {
        o->fault = FaultKind::Slow;
        return toInt(arg, 0, 600000, &o->faultArg);
    }
    if (name == QLatin1String("flaky") && hasArg) {
        o->fault = FaultKind::Flaky;
        return toInt(arg, 1, 1000000000, &o->faultArg);
    }
    if (name == QLatin1String("drop-after") && hasArg) {
        o->fault = FaultKind::DropAfter;
        return toInt(arg, 1, 1000000000, &o->faultArg);
    }
    return false;
}

// "1,2,3": units from 0 to 255, none twice.
bool parseUnits(const QString &text, QList<int> *units)
{
    units->clear();
    for (const QString &item : text.split(QLatin1Char(','))) {
        int unit = 0;
        if (!toInt(item.trimmed(), 0, 255, &unit) || units->contains(unit))
            return false;
        units->append(unit);
    }
    return !units->isEmpty();
}

// The faults of the link this serves that it cannot produce.
QString faultRefused(const FaultSpec &f, bool rtu)
{
    if (rtu && (f.fault == FaultKind::Protocol || f.fault == FaultKind::DropAfter || f.fault == FaultKind::Close))
        return QStringLiteral("--fault %1 applies to --tcp only").arg(faultName(f.fault));
    if (!rtu && f.fault == FaultKind::Crc)
        return QStringLiteral("--fault crc applies to --rtu only (TCP frames carry no CRC)");
    if (!rtu && (f.fault == FaultKind::Split || f.fault == FaultKind::Garbage))
        return QStringLiteral("--fault %1 applies to --rtu only").arg(faultName(f.fault));
    return QString();
}

} // namespace

bool parseSimOptions(const QStringList &arguments, SimOptions *o, QString *error)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption tcp(QStringLiteral("tcp"), QString(), QStringLiteral("host:port"));
    const QCommandLineOption rtu(QStringLiteral("rtu"), QString(), QStringLiteral("path"));
    const QCommandLineOption baud(QStringLiteral("baud"), QString(), QStringLiteral("rate"));
    const QCommandLineOption parity(QStringLiteral("parity"), QString(), QStringLiteral("No|Odd|Even"));
    const QCommandLineOption stop(QStringLiteral("stop"), QString(), QStringLiteral("1|1.5|2"));
    const QCommandLineOption unit(QStringLiteral("unit"), QString(), QStringLiteral("n"));
    const QCommandLineOption units(QStringLiteral("units"), QString(), QStringLiteral("list"));
    const QCommandLineOption fault(QStringLiteral("fault"), QString(), QStringLiteral("kind"));
    const QCommandLineOption every(QStringLiteral("fault-every"), QString(), QStringLiteral("n"));
    const QCommandLineOption on(QStringLiteral("fault-on"), QString(), QStringLiteral("list"));
    const QCommandLineOption writeFile(QStringLiteral("write-file"), QString(), QStringLiteral("path"));
    const QCommandLineOption records(QStringLiteral("records"), QString(), QStringLiteral("n"));
    const QCommandLineOption interval(QStringLiteral("interval"), QString(), QStringLiteral("s"));
    const QCommandLineOption start(QStringLiteral("start"), QString(), QStringLiteral("time"));
    parser.addOptions({tcp, rtu, baud, parity, stop, unit, units, fault, every, on, writeFile, records, interval, start});
    if (!parser.parse(QStringList{QStringLiteral("zep-meter-sim")} + arguments)) {
        *error = parser.errorText();
        return false;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().first());
        return false;
    }

    if (parser.isSet(writeFile)) {
        o->writeFile = parser.value(writeFile);
        if (!parser.isSet(records) || !toInt(parser.value(records), 1, 100000000, &o->records)) {
            *error = QStringLiteral("--write-file needs --records N (N >= 1)");
            return false;
        }
        if (parser.isSet(interval) && !toInt(parser.value(interval), 1, 72000, &o->interval)) {
            *error = QStringLiteral("--interval takes whole seconds, 1 to 72000");
            return false;
        }
        if (parser.isSet(start)) {
            o->start = QDateTime::fromString(parser.value(start), QStringLiteral("yyyy/MM/dd hh:mm:ss"));
            if (!o->start.isValid()) {
                *error = QStringLiteral("--start takes \"yyyy/MM/dd hh:mm:ss\"");
                return false;
            }
        } else {
            o->start = QDateTime::currentDateTime();
        }
        return true;
    }

    if (parser.isSet(rtu) && parser.isSet(tcp)) {
        *error = QStringLiteral("choose --tcp or --rtu, not both");
        return false;
    }
    if (parser.isSet(rtu)) {
        o->rtu = true;
        o->rtuPath = parser.value(rtu);
        if (o->rtuPath.isEmpty()) {
            *error = QStringLiteral("--rtu needs a path");
            return false;
        }
    }
    if (parser.isSet(tcp)) {
        const QString text = parser.value(tcp);
        const int colon = text.lastIndexOf(QLatin1Char(':'));
        if (colon <= 0 || !toInt(text.mid(colon + 1), 0, 65535, &o->tcpPort)) {
            *error = QStringLiteral("--tcp takes HOST:PORT with an IPv4 host");
            return false;
        }
        o->tcpHost = text.left(colon);
    }
    if (parser.isSet(baud) && !toInt(parser.value(baud), 50, 4000000, &o->baud)) {
        *error = QStringLiteral("bad --baud");
        return false;
    }
    if (parser.isSet(parity)) {
        const QString p = parser.value(parity).toLower();
        if (p == QLatin1String("no") || p == QLatin1String("n"))
            o->parity = 'N';
        else if (p == QLatin1String("odd") || p == QLatin1String("o"))
            o->parity = 'O';
        else if (p == QLatin1String("even") || p == QLatin1String("e"))
            o->parity = 'E';
        else {
            *error = QStringLiteral("--parity takes No, Odd or Even");
            return false;
        }
    }
    if (parser.isSet(stop)) {
        // Neither termios nor libmodbus knows 1.5 stop bits; a pseudo-terminal
        // ignores the setting anyway.
        const QString s = parser.value(stop);
        if (s == QLatin1String("1"))
            o->stopBits = 1;
        else if (s == QLatin1String("1.5") || s == QLatin1String("2"))
            o->stopBits = 2;
        else {
            *error = QStringLiteral("--stop takes 1, 1.5 or 2");
            return false;
        }
    }
    if (parser.isSet(unit) && parser.isSet(units)) {
        *error = QStringLiteral("choose --unit or --units, not both");
        return false;
    }
    if (parser.isSet(unit) && !toInt(parser.value(unit), 0, 255, &o->units[0])) {
        *error = QStringLiteral("--unit takes 0 to 255");
        return false;
    }
    if (parser.isSet(units) && !parseUnits(parser.value(units), &o->units)) {
        *error = QStringLiteral("--units takes units from 0 to 255, separated by commas, none twice");
        return false;
    }
    int faultEvery = 1;
    if (parser.isSet(every) && !toInt(parser.value(every), 1, 1000000000, &faultEvery)) {
        *error = QStringLiteral("--fault-every takes N >= 1");
        return false;
    }
    QSet<quint64> requests;
    if (parser.isSet(on)) {
        for (const QString &item : parser.value(on).split(QLatin1Char(','))) {
            bool ok = false;
            const quint64 n = item.toULongLong(&ok, 10);
            if (!ok || n == 0) {
                *error = QStringLiteral("--fault-on takes request numbers from 1, separated by commas");
                return false;
            }
            requests.insert(n);
        }
    }
    // "--fault KIND" for every unit, "--fault UNIT:KIND" for one of them;
    // --fault-every and --fault-on apply to each.
    static const QRegularExpression ofUnit(QStringLiteral("^(\\d+):(.+)$"));
    for (const QString &text : parser.values(fault)) {
        const QRegularExpressionMatch match = ofUnit.match(text);
        FaultSpec chosen;
        if (!parseFault(match.hasMatch() ? match.captured(2) : text, &chosen)) {
            *error = QStringLiteral("unknown --fault %1").arg(text);
            return false;
        }
        chosen.faultEvery = faultEvery;
        chosen.faultOn = requests;
        if (const QString refused = faultRefused(chosen, o->rtu); !refused.isEmpty()) {
            *error = refused;
            return false;
        }
        if (!match.hasMatch()) {
            o->faults = chosen;
            continue;
        }
        const int target = match.captured(1).toInt();
        if (!o->units.contains(target)) {
            *error = QStringLiteral("--fault %1 names a unit that is not served").arg(text);
            return false;
        }
        o->unitFaults[target] = chosen;
    }
    return true;
}
