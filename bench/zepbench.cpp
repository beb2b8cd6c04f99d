// zep-bench SUBCOMMAND: timings that the test suite does not take. Each
// subcommand prints its measurements and, as its last line, one key=value
// figure that scripts can pick up.

#include <QApplication>

#include <cstdio>
#include <cstring>

int loadBenchmark(const QStringList &args);
int realtimeBenchmark(const QStringList &args);
int reviewBenchmark(const QStringList &args);
int exportBenchmark(const QStringList &args);
int statsBenchmark(const QStringList &args);
int reportBenchmark(const QStringList &args);

namespace {

struct Command {
    const char *name;
    const char *help;
    int (*run)(const QStringList &args);
};

const Command kCommands[] = {
    {"load", "load a 1,000,000-record data file against wc -l [--records N]", loadBenchmark},
    {"realtime", "refresh of the real-time windows over a week of 1 s samples, one meter and several [--samples N] [--meters N]",
     realtimeBenchmark},
    {"review", "open, plot, table, find and copy of a 1,000,000-record file [--records N] [--merged N]",
     reviewBenchmark},
    {"export", "spreadsheet export of 100,000 samples against libxlsxwriter alone [--samples N]", exportBenchmark},
    {"stats", "statistics dialog over the whole span of a 1,000,000-record file [--records N]", statsBenchmark},
    {"report", "energy and power-quality report over a month of 1 s samples [--records N]", reportBenchmark},
};

void usage()
{
    fprintf(stderr, "usage: zep-bench COMMAND [options]\n");
    for (const Command &c : kCommands)
        fprintf(stderr, "  %-8s %s\n", c.name, c.help);
}

} // namespace

int main(int argc, char *argv[])
{
    // Some benchmarks draw windows; without a display they draw offscreen.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) {
        usage();
        return 2;
    }
    const QString name = args.takeFirst();
    for (const Command &c : kCommands) {
        if (name == QLatin1String(c.name))
            return c.run(args);
    }
    usage();
    return 2;
}
