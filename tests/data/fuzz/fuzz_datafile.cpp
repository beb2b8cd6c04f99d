// libFuzzer target: the data file reader on arbitrary bytes. Besides the
// sanitizers' checks, every input is also read by the reference reader and
// any difference aborts, so the fuzzer hunts for inputs where the fast
// reader strays from the algorithm, not only for crashes.

#include "../datafiletestutil.h"
#include "../referencereader.h"
#include "data/datafile.h"

#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

QString &inputPath()
{
    static QString path;
    return path;
}

[[noreturn]] void differ(const char *what, long long real, long long expected)
{
    fprintf(stderr, "reader differs from the reference: %s %lld, reference %lld\n", what, real, expected);
    abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // A zone with daylight-saving changes exercises the local-time cache.
    zeptest::useZone("Europe/Berlin");
    static QTemporaryDir dir;
    if (!dir.isValid())
        abort();
    inputPath() = dir.filePath(QStringLiteral("input.txt"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString &path = inputPath();
    if (!zeptest::writeBytes(path, QByteArray(reinterpret_cast<const char *>(data), int(size))))
        abort();
    const int counted = countRecords(path);
    const int expectedCount = reference::countRecords(path);
    if (counted != expectedCount)
        differ("countRecords", counted, expectedCount);
    // Also one record short, as when the file grew after it was counted.
    for (const int allocated : {counted, counted - 1}) {
        if (allocated < 0)
            continue;
        DataFile file(path, quint32(allocated));
        const int read = readRecords(&file);
        const reference::Result ref = reference::readRecords(path, quint32(allocated));
        if (read != ref.returned)
            differ("readRecords", read, ref.returned);
        if (file.count != ref.count)
            differ("count", file.count, ref.count);
        for (int i = 0; i < allocated; ++i) {
            if (memcmp(&file.records[i], &ref.records[size_t(i)], sizeof(SampleRecord)) != 0)
                differ("record", i, i);
        }
        if (allocated != counted)
            continue;
        // The one-pass load: what the count and the read give.
        const std::unique_ptr<DataFile> loaded = loadDataFile(path);
        if ((loaded != nullptr) != (ref.returned > 0))
            differ("loadDataFile", loaded != nullptr, ref.returned > 0);
        if (!loaded)
            continue;
        if (loaded->count != ref.count)
            differ("loaded count", loaded->count, ref.count);
        if (loaded->unreadableTimes != file.unreadableTimes || loaded->incompleteRecords != file.incompleteRecords)
            differ("loaded patches", loaded->incompleteRecords, file.incompleteRecords);
        if (memcmp(loaded->records, ref.records.data(), loaded->count * sizeof(SampleRecord)) != 0)
            differ("loaded records", loaded->count, ref.count);
    }
    return 0;
}
