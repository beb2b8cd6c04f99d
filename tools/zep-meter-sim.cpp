// zep-meter-sim: a three-phase power meter on Modbus TCP or Modbus RTU, for
// trying the program without a meter and for the link tests.

#include "meterserver.h"
#include "simoptions.h"
#include "writefile.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

namespace {

const char kUsage[] =
    "usage: zep-meter-sim [--tcp HOST:PORT | --rtu PATH [--baud N] [--parity No|Odd|Even] [--stop 1|1.5|2]]\n"
    "                     [--unit N | --units LIST] [--fault [UNIT:]KIND ... [--fault-every N | --fault-on LIST]]\n"
    "       zep-meter-sim --write-file PATH --records N [--interval S] [--start \"yyyy/MM/dd hh:mm:ss\"]\n"
    "\n"
    "  --tcp HOST:PORT   serve Modbus TCP (default 127.0.0.1:1502; port 0 picks a free one)\n"
    "  --rtu PATH        serve Modbus RTU on a new pseudo-terminal; PATH becomes a link to it\n"
    "  --unit N          slave address or unit identifier to answer (default 1)\n"
    "  --units LIST      several meters on one line or behind one gateway, e.g. 1,2,3:\n"
    "                    each unit answers with a load of its own\n"
    "  --fault KIND      silent, slow=MS, crc, short, long, exception, wrong-unit,\n"
    "                    function, protocol, drop-after=N, split, garbage, close,\n"
    "                    flaky=N (every N-th request: no reply, connection closed\n"
    "                    (crc over --rtu), reply cut short, in turn), dead (never\n"
    "                    answers); UNIT:KIND for one unit only (e.g. 3:dead), and\n"
    "                    once per unit\n"
    "  --fault-every N   only every N-th request (of each unit) is faulty\n"
    "  --fault-on LIST   only these requests (of each unit, counted from 1, e.g. 2,3)\n"
    "                    are faulty\n"
    "  --write-file PATH write N records of the simulated supply to a data file instead,\n"
    "                    S seconds apart (default 1) from the given local time (default now)\n";

void onSignal(int)
{
    simStopRequested = 1;
}

void installSignalHandlers()
{
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    // No SA_RESTART: a blocking call returns so that the loops notice.
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments();
    arguments.removeFirst();
    if (arguments.contains(QStringLiteral("--help")) || arguments.contains(QStringLiteral("-h"))) {
        fputs(kUsage, stdout);
        return 0;
    }
    SimOptions options;
    QString error;
    if (!parseSimOptions(arguments, &options, &error)) {
        fprintf(stderr, "zep-meter-sim: %s\n\n%s", qPrintable(error), kUsage);
        return 2;
    }
    if (!options.writeFile.isEmpty())
        return writeSimulatedFile(options);
    installSignalHandlers();
    return options.rtu ? serveRtu(options) : serveTcp(options);
}
