#pragma once

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

#include <cstdint>

enum class FaultKind {
    None,
    Silent,        // never answers
    Slow,          // answers after faultArg milliseconds
    Crc,           // wrong CRC (serial only)
    Short,         // reply one byte short
    Long,          // one byte extra
    Exception,     // a Modbus exception reply
    WrongUnit,     // reply from another address or unit
    Function,      // reply carrying function code 0x84, full length
    Protocol,      // non-zero protocol identifier (TCP only)
    DropAfter,     // closes the connection after faultArg requests (TCP only)
    Split,         // the reply in two pieces, 200 ms apart (serial only)
    Garbage,       // three stray bytes just before the reply (serial only)
    Close,         // closes the connection instead of answering (TCP only)
    Flaky,         // every faultArg-th request faulty, the kinds of flakyTurns() in turn
    Dead,          // never answers anything, whatever --fault-every or --fault-on say
};

// What goes wrong with one unit's replies.
struct FaultSpec {
    FaultKind fault = FaultKind::None;
    int faultArg = 0;
    int faultEvery = 1;
    QSet<quint64> faultOn;   // when set, exactly these requests (from 1) are faulty

    // Whether the unit's request number n (counted from 1) gets the fault.
    bool faulty(quint64 n) const;
    // The fault request n gets: the configured kind, or for a flaky meter
    // the turn of that request (which depends on the link).
    FaultKind faultFor(quint64 n, bool rtu) const;
};

struct SimOptions {
    bool rtu = false;
    QString tcpHost = QStringLiteral("127.0.0.1");
    int tcpPort = 1502;
    QString rtuPath;
    int baud = 9600;
    char parity = 'N';
    int stopBits = 1;
    // The units (slave addresses, or unit identifiers behind a gateway)
    // answered, each with a load of its own.
    QList<int> units{1};

    // Every unit's fault, unless unitFaults has one for it.
    FaultSpec faults;
    QMap<int, FaultSpec> unitFaults;

    QString writeFile;
    int records = 0;
    int interval = 1;
    QDateTime start;

    const FaultSpec &faultsOf(int unit) const;
};

// What a flaky meter does in turn: no reply, the line lost, a reply cut
// short. A serial line cannot be closed by the meter: there a reply with
// a wrong CRC takes the second turn.
QList<FaultKind> flakyTurns(bool rtu);

// Fills options from the command line (without the program name); false
// with a message for anything it cannot use.
bool parseSimOptions(const QStringList &arguments, SimOptions *options, QString *error);

QString faultName(FaultKind kind);
