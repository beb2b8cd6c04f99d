#include "analysis/excelexport.h"

#include "analysis/automation.h"
#include "data/datafile.h"
#include "data/localtimetext.h"
#include "views/timespan.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>

QStringList exportHeader()
{
    QStringList names;
    for (const ParamEntry &entry : ParamTable)
        names.append(QString::fromLatin1(entry.name).simplified());
    return names;
}

QString exportRangeText(int samples)
{
    return QStringLiteral("A1:AF%1").arg(samples + 1);
}

double sheetNumber(float value)
{
    char text[kNumberTextLength];
    double number = double(value);
    std::from_chars(text, writeSheetNumber(value, text), number);
    return number;
}

char *writeSheetNumber(float value, char *out)
{
    // Whatever the sign bit of a NaN, it is no value.
    if (std::isnan(value))
        return out;
    return std::to_chars(out, out + kNumberTextLength, value).ptr;
}

bool namesDataFile(const QString &fileName, const DataFile &file)
{
    const QFileInfo target(fileName);
    if (!target.exists())
        return false;
    // A document read from several files names none itself: each of them
    // is a data file.
    for (const QString &source : file.sources.isEmpty() ? QStringList{file.fileName} : file.sources) {
        const QFileInfo data(source);
        if (data.exists() && target.canonicalFilePath() == data.canonicalFilePath())
            return true;
    }
    return false;
}

int exportPercent(qint64 position, qint64 samples)
{
    if (samples <= 1)
        return 100;
    return int(position * 100 / (samples - 1));
}

QList<int> sheetSampleCounts(int samples, int perSheet)
{
    perSheet = qMax(perSheet, 1);
    QList<int> counts;
    do {
        counts.append(qMin(samples, perSheet));
        samples -= counts.last();
    } while (samples > 0);
    return counts;
}

ExportResult exportSpan(const DataFile &file, const SpanDecision &span, const QString &fileName,
                        const std::function<void(int percent)> &progress, int perSheet)
{
    ExportResult result;
    if (namesDataFile(fileName, file)) {
        result.status = ExportResult::WouldOverwriteData;
        return result;
    }
    const int samples = spanSamples(file.records, span);
    const QStringList header = exportHeader();
    LocalTimeFormatter times;
    int shownPercent = -1;

    bool failed = false;
    auto watch = [&](AxObject *object) {
        if (!object || object->isNull()) {
            failed = true;
            return object;
        }
        QObject::connect(object, &AxObject::exception,
                         [&](int, const QString &, const QString &description, const QString &) {
                             if (!failed)
                                 result.reason = description;
                             failed = true;
                         });
        return object;
    };
    // Every sub-object belongs to the application object and goes with it.
    std::unique_ptr<AxObject> excel(new AxObject(QStringLiteral("Excel.Application")));
    watch(excel.get());
    excel->dynamicCall("SetVisible (bool Visible)", false);
    excel->setProperty("DisplayAlerts", false);
    AxObject *workbooks = watch(excel->querySubObject("WorkBooks"));
    if (workbooks)
        workbooks->dynamicCall("Add");
    AxObject *workbook = watch(excel->querySubObject("ActiveWorkBook"));
    AxObject *sheets = workbook ? watch(workbook->querySubObject("Sheets")) : nullptr;
    AxObject *sheet = sheets ? watch(sheets->querySubObject("Item(int)", 1)) : nullptr;

    // Records without a time are no part of the span.
    int first = span.first;
    int done = 0;
    const QList<int> counts = sheetSampleCounts(samples, perSheet);
    for (int part = 0; part < counts.size() && sheet && !failed; ++part) {
        if (part > 0)
            sheet = watch(sheets->querySubObject("Add(QVariant, QVariant)", QVariant(), sheet->asVariant()));
        const int n = counts.at(part);
        AxObject *range = sheet ? watch(sheet->querySubObject("Range(const QString )", exportRangeText(n))) : nullptr;
        if (!range)
            break;
        RowStream rows;
        rows.rows = n + 1;
        // The rows are asked for in order, once each.
        const auto next = std::make_shared<int>(first);
        rows.fill = [&, next, done](int row, QVariantList &cells) {
            if (row == 0) {
                for (int c = 0; c < kColumnCount; ++c)
                    cells[c] = header.at(c);
                return;
            }
            const int i = nextSample(file.records, *next);
            *next = i + 1;
            const SampleRecord &record = file.records[i];
            cells[0] = times.text(record.time);
            // No value, an empty cell.
            for (int c = 1; c < kColumnCount; ++c) {
                const float v = record.value(c);
                if (!SampleRecord::isMissing(v))
                    cells[c] = sheetNumber(v);
            }
            const int percent = exportPercent(done + row - 1, samples);
            if (percent != shownPercent) {
                shownPercent = percent;
                if (progress)
                    progress(percent);
            }
        };
        range->dynamicCall("SetValue(const QVariant&)", QVariant::fromValue(rows));
        for (int k = 0; k < n; ++k)
            first = nextSample(file.records, first) + 1;
        done += n;
    }
    if (workbook && !failed)
        workbook->dynamicCall("SaveAs(const QString&)", QDir::toNativeSeparators(fileName));
    if (workbook)
        workbook->dynamicCall("Close()");
    excel->dynamicCall("Quit()");
    if (failed)
        result.status = ExportResult::NotWritten;
    return result;
}

QString exportFailureText(const ExportResult &result, const QString &fileName)
{
    const QString name = QDir::toNativeSeparators(fileName);
    switch (result.status) {
    case ExportResult::WouldOverwriteData:
        return QStringLiteral("不能导出到正在查看的数据文件：%1").arg(name);
    case ExportResult::NotWritten:
        if (result.reason.isEmpty())
            return QStringLiteral("无法写入文件：%1").arg(name);
        return QStringLiteral("无法写入文件：%1\n%2").arg(name, result.reason);
    case ExportResult::Saved:
        break;
    }
    return QString();
}
