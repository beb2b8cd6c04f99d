#include "analysis/csvexport.h"

#include "data/atomicfile.h"
#include "data/datafile.h"
#include "data/localtimetext.h"
#include "data/savename.h"
#include "views/timespan.h"

#include <QFileInfo>

namespace {

const QString kCsvFilter = QStringLiteral("CSV 文件(*.csv)");

// Rows are handed to the file in chunks of about this size.
constexpr int kChunkBytes = 1 << 16;
constexpr int kRowBytes = LocalTimeFormatter::kLength + (kColumnCount - 1) * (1 + kNumberTextLength) + 1;

// Why the file could not be created, in the user's words.
QString openFailureReason(const QString &fileName)
{
    const QFileInfo target(fileName);
    const QFileInfo folder(target.absolutePath());
    if (!folder.isDir())
        return QStringLiteral("文件夹不存在");
    if (target.isDir())
        return QStringLiteral("已有同名的文件夹");
    if (!folder.isWritable())
        return QStringLiteral("没有写入该文件夹的权限");
    return QStringLiteral("无法创建文件");
}

ExportResult notWritten(const QString &reason)
{
    ExportResult result;
    result.status = ExportResult::NotWritten;
    result.reason = reason;
    return result;
}

} // namespace

QString exportFilters()
{
    return QStringLiteral("Excel 工作簿(*.xlsx);;") + kCsvFilter;
}

ExportTarget exportTarget(const QString &chosen, const QString &selectedFilter)
{
    ExportTarget target;
    target.fileName = withDefaultSuffix(chosen, filterSuffix(selectedFilter));
    const QString suffix = QFileInfo(target.fileName).suffix();
    // Programs that read workbooks go by the name, and refuse an Office Open
    // XML workbook named as the binary format before it.
    if (suffix.compare(QLatin1String("xls"), Qt::CaseInsensitive) == 0)
        target.fileName += suffix.back().isUpper() ? QLatin1Char('X') : QLatin1Char('x');
    if (suffix.compare(QLatin1String("csv"), Qt::CaseInsensitive) == 0)
        target.format = ExportFormat::Csv;
    return target;
}

ExportResult exportSpanCsv(const DataFile &file, const SpanDecision &span, const QString &fileName,
                           const std::function<void(int percent)> &progress)
{
    if (namesDataFile(fileName, file)) {
        ExportResult result;
        result.status = ExportResult::WouldOverwriteData;
        return result;
    }
    AtomicFile out(fileName);
    if (!out.open())
        return notWritten(openFailureReason(fileName));

    QByteArray chunk;
    chunk.reserve(kChunkBytes + kRowBytes);
    chunk.append(exportHeader().join(QLatin1Char(',')).toUtf8());
    chunk.append('\n');
    LocalTimeFormatter times;
    const int samples = qMax(span.size(), 0);
    int shownPercent = -1;
    bool written = true;
    for (int n = 0; n < samples && written; ++n) {
        const SampleRecord &record = file.records[span.first + n];
        // No part of the span, as in the workbook.
        if (!record.hasTime())
            continue;
        char row[kRowBytes];
        char *at = row;
        times.write(record.time, at);
        at += LocalTimeFormatter::kLength;
        for (int c = 1; c < kColumnCount; ++c) {
            *at++ = ',';
            at = writeSheetNumber(record.value(c), at);
        }
        *at++ = '\n';
        chunk.append(row, int(at - row));
        if (chunk.size() >= kChunkBytes) {
            written = out.write(chunk) == chunk.size();
            chunk.resize(0);
        }
        const int percent = exportPercent(n, samples);
        if (percent != shownPercent) {
            shownPercent = percent;
            if (progress)
                progress(percent);
        }
    }
    // Left uncommitted, the partial file goes and the target stays as it was.
    if (!written || out.write(chunk) != chunk.size() || !out.commit())
        return notWritten(QStringLiteral("写入失败（磁盘空间不足？）"));
    return ExportResult();
}
