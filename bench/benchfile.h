#pragma once

#include "data/paramtable.h"

#include <QString>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

class DataFile;
class QStringList;

// Writes data files of any size quickly. The bytes are those writeRecord
// would write for the same samples, which the writer checks on a sample of
// the records before it reports success.
class BenchFileWriter
{
public:
    // Samples start at startTime and follow each other every interval seconds.
    BenchFileWriter(uint32_t startTime, uint32_t interval);

    // Writes records first..first+count-1 to path; false (with a message on
    // stderr) on an I/O error or when the bytes differ from writeRecord's.
    bool write(const QString &path, int count, int first = 0) const;

    // Outages of kOutageSeconds spread evenly over a file of records
    // records: the meter away a minute, outages times.
    static constexpr uint32_t kOutageSeconds = 60;
    void setOutages(int outages, int records);

    // The sample of record i, as writeRecord takes it.
    uint32_t time(int i) const;
    void values(int i, double out[kValueCount]) const;

    // The records a data file of these samples holds once it is read; false
    // when the file has no records (their allocation failed).
    bool fill(DataFile &file) const;

private:
    // Value of column k (1..31) of record i in units of the column's last
    // decimal, so that formatting is exact integer work.
    int64_t scaled(int i, int k) const;
    int format(int i, char *out) const;

    uint32_t m_start;
    uint32_t m_interval;
    int m_outages = 0;
    int m_records = 1;
};

// The middle one of a few timings.
inline double medianOf(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The number given by "--records N" among args, or fallback.
int recordsArgument(const QStringList &args, int fallback);

// A data file of count records in memory, interval seconds apart from
// local midnight of 2026-01-01, as the load benchmark's file holds them once
// read. Null, with a message on stderr, when there is no memory for them.
std::unique_ptr<DataFile> benchDataFile(int count, uint32_t interval);
