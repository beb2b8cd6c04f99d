#include "writefile.h"

#include "data/datafile.h"
#include "metermodel.h"

#include <QFile>

#include <cstdio>
#include <limits>

int writeSimulatedFile(const SimOptions &options)
{
    const qint64 first = options.start.toSecsSinceEpoch();
    const qint64 last = first + static_cast<qint64>(options.records - 1) * options.interval;
    // The file's times are unsigned 32-bit seconds; the last value is the
    // reader's mark for an unreadable time.
    if (first < 0 || last >= static_cast<qint64>(std::numeric_limits<uint32_t>::max())) {
        fprintf(stderr, "zep-meter-sim: the records would end outside 1970..2106\n");
        return 2;
    }
    QFile file(options.writeFile);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        fprintf(stderr, "zep-meter-sim: cannot write %s: %s\n", qPrintable(options.writeFile),
                qPrintable(file.errorString()));
        return 1;
    }
    for (int i = 0; i < options.records; ++i) {
        const qint64 offset = static_cast<qint64>(i) * options.interval;
        const MeterReading reading = meterReading(static_cast<double>(offset), static_cast<uint64_t>(i));
        writeRecord(file, static_cast<uint32_t>(first + offset), reading.column + 1);
    }
    file.close();
    if (file.error() != QFileDevice::NoError) {
        fprintf(stderr, "zep-meter-sim: writing %s failed: %s\n", qPrintable(options.writeFile),
                qPrintable(file.errorString()));
        return 1;
    }
    fprintf(stderr, "zep-meter-sim: wrote %d records to %s\n", options.records, qPrintable(options.writeFile));
    return 0;
}
