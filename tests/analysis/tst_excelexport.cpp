#include "analysis/automation.h"
#include "analysis/csvexport.h"
#include "analysis/excelexport.h"
#include "data/localtimetext.h"
#include "analysis/excelexportdlg.h"
#include "data/datafile.h"
#include "data/datafiletestutil.h"
#include "exporttesting.h"
#include "testsupport.h"
#include "views/timespan.h"

#include <QDateEdit>
#include <QDirIterator>
#include <QLabel>
#include <QProgressBar>
#include <QTimeEdit>

#include <clocale>
#include <cmath>
#include <limits>
#include <memory>
#include <unistd.h>

Q_DECLARE_METATYPE(QList<QMessageBox::StandardButton>)

using zeptest::FileDialogLog;
using zeptest::MessageBoxLog;

namespace {

// Six samples 5 s apart, an hour's gap, six more.
constexpr int kSamples = 12;
const uint32_t kStart = uint32_t(QDateTime(QDate(2024, 3, 1), QTime(8, 0)).toSecsSinceEpoch());

uint32_t sampleTime(int i)
{
    return kStart + uint32_t(5 * i) + (i >= 6 ? 3600u : 0u);
}

// Values with exactly the column's decimals, at most six digits, so that
// each reads back from the data file as the single-precision number of that
// decimal.
double sampleValue(int i, int column)
{
    const int scaled = (i * 3701 + column * 1013) % 90000 + 1000;
    return scaled / std::pow(10.0, columnDecimals(column));
}

QString timeText(uint32_t t)
{
    return QDateTime::fromSecsSinceEpoch(t).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

std::unique_ptr<DataFile> writeAndLoad(const QString &path)
{
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Text))
        return nullptr;
    for (int i = 0; i < kSamples; ++i) {
        double values[kValueCount];
        for (int c = 1; c <= kValueCount; ++c)
            values[c - 1] = sampleValue(i, c);
        writeRecord(out, sampleTime(i), values);
    }
    out.close();
    auto file = std::make_unique<DataFile>(path, quint32(countRecords(path)));
    if (readRecords(file.get()) != kSamples)
        return nullptr;
    return file;
}

template <typename T>
T *child(QWidget *parent, const char *name)
{
    return parent->findChild<T *>(QString::fromLatin1(name));
}

void setSpan(ExcelExportDlg &dialog, uint32_t start, uint32_t end)
{
    setEditsTime(child<QDateEdit>(&dialog, "dateEdit_start"), child<QTimeEdit>(&dialog, "timeEdit_start"), start);
    setEditsTime(child<QDateEdit>(&dialog, "dateEdit_end"), child<QTimeEdit>(&dialog, "timeEdit_end"), end);
}

struct Run {
    QList<MessageBoxLog::Box> boxes;
    QList<FileDialogLog::Dialog> dialogs;
};

// Presses the export button, typing target into the file dialog when one
// comes; extra answers go to message boxes before the closing one.
Run pressExport(ExcelExportDlg &dialog, const QString &target, QList<QMessageBox::StandardButton> answers = {})
{
    MessageBoxLog boxes;
    boxes.answers = answers;
    FileDialogLog files;
    files.answers = QStringList{target};
    boxes.start();
    files.start();
    child<QPushButton>(&dialog, "pushButton_export")->click();
    boxes.stop();
    files.stop();
    return Run{boxes.seen, files.seen};
}

// A success box; naming written, when given.
bool isSuccess(const MessageBoxLog::Box &box, const QString &written = QString())
{
    const QString done = QStringLiteral("数据已导出到 ");
    return box.title == QStringLiteral("提示") && (written.isEmpty() ? box.text.startsWith(done) : box.text == done + written);
}

QStringList leftovers(const QString &dir)
{
    QStringList names;
    QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString name = it.next();
        if (name.endsWith(QLatin1String(".part")))
            names.append(name);
    }
    return names;
}

} // namespace

class TestExcelExport : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;
    std::unique_ptr<DataFile> file;
    QByteArray fileBytes;

    QString path(const QString &name) const { return dir.filePath(name); }

    // The sheet as read back holds the header and file records first..last.
    void compareSheet(const QJsonArray &rows, int first, int last)
    {
        QCOMPARE(rows.size(), last - first + 2);
        const QJsonArray header = rows.at(0).toArray();
        QCOMPARE(header.size(), kColumnCount);
        QCOMPARE(header.at(0).toString(), QStringLiteral("TIME"));
        QCOMPARE(header.at(1).toString(), QStringLiteral("UA"));
        QCOMPARE(header.at(16).toString(), QStringLiteral("COS"));
        QCOMPARE(header.at(31).toString(), QStringLiteral("UnbI"));
        for (int c = 0; c < kColumnCount; ++c)
            QCOMPARE(header.at(c).toString(), QString::fromLatin1(ParamTable[c].name).trimmed());
        for (int i = first; i <= last; ++i) {
            const QJsonArray row = rows.at(i - first + 1).toArray();
            QCOMPARE(row.size(), kColumnCount);
            QCOMPARE(row.at(0).toString(), timeText(file->records[i].time));
            for (int c = 1; c < kColumnCount; ++c) {
                QVERIFY2(row.at(c).isDouble(), qPrintable(QStringLiteral("row %1 column %2").arg(i).arg(c)));
                const double cell = row.at(c).toDouble();
                QCOMPARE(float(cell), file->records[i].value(c));
                // The decimal the file holds, not its binary neighbour.
                QCOMPARE(cell, QString::number(sampleValue(i, c), 'f', columnDecimals(c)).toDouble());
            }
        }
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        file = writeAndLoad(path(QStringLiteral("review.txt")));
        QVERIFY(file);
        fileBytes = zeptest::readBytes(file->fileName);
        QVERIFY(!fileBytes.isEmpty());
    }

    void cleanup()
    {
        QCOMPARE(zeptest::readBytes(file->fileName), fileBytes);
        QCOMPARE(leftovers(dir.path()), QStringList());
    }

    void opensOnTheWholeFile()
    {
        ExcelExportDlg dialog(nullptr, file.get());
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Excel导出"));
        QCOMPARE(dialog.size(), QSize(599, 225));
        QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
        QCOMPARE(child<QLabel>(&dialog, "label_period")->text(), periodText(*file));
        const SpanDecision span = dialog.formSpan();
        QVERIFY(span.ok());
        QCOMPARE(span.first, 0);
        QCOMPARE(span.last, kSamples - 1);
        setSpan(dialog, sampleTime(3), sampleTime(4));
        child<QPushButton>(&dialog, "pushButton_leftend")->click();
        child<QPushButton>(&dialog, "pushButton_rightend")->click();
        QCOMPARE(dialog.formSpan().size(), kSamples);
    }

    void exportsSpan_data()
    {
        QTest::addColumn<uint>("start");
        QTest::addColumn<uint>("end");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::newRow("whole file") << sampleTime(0) << sampleTime(kSamples - 1) << 0 << kSamples - 1;
        QTest::newRow("one sample") << sampleTime(3) << sampleTime(3) << 3 << 3;
        QTest::newRow("first sample") << sampleTime(0) << sampleTime(0) << 0 << 0;
        QTest::newRow("last sample") << sampleTime(kSamples - 1) << sampleTime(kSamples - 1) << kSamples - 1
                                     << kSamples - 1;
        QTest::newRow("ends between samples") << sampleTime(1) + 2 << sampleTime(8) + 2 << 2 << 8;
        QTest::newRow("across the gap") << sampleTime(4) << sampleTime(7) << 4 << 7;
        QTest::newRow("inside the gap: header only") << sampleTime(5) + 60 << sampleTime(6) - 60 << 6 << 5;
    }

    void exportsSpan()
    {
        QFETCH(uint, start);
        QFETCH(uint, end);
        QFETCH(int, first);
        QFETCH(int, last);
        if (zeptest::openpyxlPython().isEmpty())
            QSKIP("python3 with openpyxl is not installed");
        // Typed with the old suffix: written, and named, as what it is.
        const QString typed = path(QStringLiteral("%1.xls").arg(QString::fromLatin1(QTest::currentDataTag())));
        const QString target = typed + 'x';

        ExcelExportDlg dialog(nullptr, file.get());
        dialog.show();
        setSpan(dialog, start, end);
        const Run run = pressExport(dialog, typed);

        QCOMPARE(run.dialogs.size(), 1);
        QCOMPARE(run.dialogs.at(0).caption, QStringLiteral("Excel导出文件"));
        QCOMPARE(run.dialogs.at(0).filters, (QStringList{QStringLiteral("Excel 工作簿(*.xlsx)"), QStringLiteral("CSV 文件(*.csv)")}));
        QCOMPARE(run.boxes.size(), 1);
        QVERIFY(isSuccess(run.boxes.at(0), target));
        QVERIFY(!QFileInfo::exists(typed));
        QVERIFY(dialog.isVisible());
        if (last >= first)
            QCOMPARE(child<QProgressBar>(&dialog, "progressBar")->value(), 100);

        QString error;
        const QJsonArray book = zeptest::readWorkbook(target, &error);
        QVERIFY2(!book.isEmpty(), qPrintable(error));
        QCOMPARE(book.size(), 1);
        compareSheet(zeptest::sheetRows(book, 0), first, last);
    }

    void exportsAgainFromTheOpenDialog()
    {
        if (zeptest::openpyxlPython().isEmpty())
            QSKIP("python3 with openpyxl is not installed");
        ExcelExportDlg dialog(nullptr, file.get());
        dialog.show();
        setSpan(dialog, sampleTime(0), sampleTime(2));
        QVERIFY(isSuccess(pressExport(dialog, path(QStringLiteral("first.xlsx"))).boxes.value(0), path(QStringLiteral("first.xlsx"))));
        setSpan(dialog, sampleTime(9), sampleTime(11));
        QVERIFY(isSuccess(pressExport(dialog, path(QStringLiteral("second"))).boxes.value(0), path(QStringLiteral("second.xlsx"))));
        compareSheet(zeptest::sheetRows(zeptest::readWorkbook(path(QStringLiteral("first.xlsx"))), 0), 0, 2);
        compareSheet(zeptest::sheetRows(zeptest::readWorkbook(path(QStringLiteral("second.xlsx"))), 0), 9, 11);
        // Typed again, the name with its suffix is taken: asked before it is
        // replaced; No asks for another name.
        const Run again = pressExport(dialog, path(QStringLiteral("second")), {QMessageBox::No});
        QCOMPARE(again.boxes.size(), 1);
        QVERIFY(again.boxes.at(0).text.contains(QStringLiteral("second.xlsx")));
        QCOMPARE(again.dialogs.size(), 2);
    }

    void refusesSpan_data()
    {
        QTest::addColumn<uint>("start");
        QTest::addColumn<uint>("end");
        QTest::addColumn<QString>("message");
        QTest::newRow("reversed") << sampleTime(5) << sampleTime(2) << QStringLiteral("起始时间和结束时间颠倒了！");
        QTest::newRow("start before the file") << sampleTime(0) - 1 << sampleTime(2)
                                               << QStringLiteral("起始时间超出了文件时间范围！");
        QTest::newRow("end after the file") << sampleTime(0) << sampleTime(kSamples - 1) + 1
                                            << QStringLiteral("结束时间超出了文件时间范围！");
    }

    void refusesSpan()
    {
        QFETCH(uint, start);
        QFETCH(uint, end);
        QFETCH(QString, message);
        ExcelExportDlg dialog(nullptr, file.get());
        dialog.show();
        setSpan(dialog, start, end);
        const Run run = pressExport(dialog, path(QStringLiteral("refused.xls")));
        QCOMPARE(run.dialogs.size(), 0);
        QCOMPARE(run.boxes.size(), 1);
        QCOMPARE(run.boxes.at(0).title, QStringLiteral("错误"));
        QCOMPARE(run.boxes.at(0).text, message);
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("refused.xls"))));
        QVERIFY(dialog.isVisible());
    }

    void cancelledFileChoiceDoesNothing()
    {
        ExcelExportDlg dialog(nullptr, file.get());
        dialog.show();
        const Run run = pressExport(dialog, QString());
        QCOMPARE(run.dialogs.size(), 1);
        QCOMPARE(run.boxes.size(), 0);
        QCOMPARE(child<QProgressBar>(&dialog, "progressBar")->value(), 0);
    }

    void reportsUnwritableTarget_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QList<QMessageBox::StandardButton>>("answers");
        QTest::newRow("missing folder") << path(QStringLiteral("missing/out.xls"))
                                        << QList<QMessageBox::StandardButton>{};
        QTest::newRow("a file as folder") << path(QStringLiteral("review.txt/out.xls"))
                                          << QList<QMessageBox::StandardButton>{};
        // The file dialog asks before a file is replaced; the user says yes.
        QTest::newRow("the data file itself") << path(QStringLiteral("review.txt"))
                                              << QList<QMessageBox::StandardButton>{QMessageBox::Yes};
        if (geteuid() != 0) {
            QDir(dir.path()).mkdir(QStringLiteral("locked"));
            QFile::setPermissions(path(QStringLiteral("locked")), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
            QTest::newRow("folder without write permission") << path(QStringLiteral("locked/out.xls"))
                                                             << QList<QMessageBox::StandardButton>{};
            QTest::newRow("folder without write permission, CSV") << path(QStringLiteral("locked/out.csv"))
                                                                  << QList<QMessageBox::StandardButton>{};
        }
    }

    void reportsUnwritableTarget()
    {
        QFETCH(QString, target);
        QFETCH(QList<QMessageBox::StandardButton>, answers);
        ExcelExportDlg dialog(nullptr, file.get());
        dialog.show();
        const Run run = pressExport(dialog, target, answers);
        QCOMPARE(run.dialogs.size(), 1);
        QVERIFY(!run.boxes.isEmpty());
        const MessageBoxLog::Box &last = run.boxes.last();
        QCOMPARE(last.title, QStringLiteral("错误"));
        QVERIFY2(last.text.contains(QDir::toNativeSeparators(target)), qPrintable(last.text));
        QVERIFY(!target.contains(QLatin1String("missing/")) || last.text.endsWith(QStringLiteral("\n文件夹不存在")));
        for (const MessageBoxLog::Box &box : run.boxes)
            QVERIFY(!isSuccess(box));
        if (target != file->fileName)
            QVERIFY(!QFileInfo::exists(target));
    }

    // A document read from several files keeps every one of them.
    void mergedDocumentKeepsItsFiles()
    {
        DataFile merged(QStringLiteral("/d/a.txt … b.txt（2 个文件）"), 1);
        merged.sources = QStringList{path(QStringLiteral("other.txt")), file->fileName};
        QCOMPARE(exportSpan(merged, SpanDecision{}, file->fileName).status, ExportResult::WouldOverwriteData);
        QCOMPARE(exportSpanCsv(merged, SpanDecision{}, file->fileName).status, ExportResult::WouldOverwriteData);
    }

    void continuesOnFurtherSheets_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::addColumn<int>("perSheet");
        QTest::addColumn<QList<int>>("sheets");
        QTest::newRow("10 by 4") << 1 << 10 << 4 << QList<int>{4, 4, 2};
        QTest::newRow("exactly two sheets") << 0 << 7 << 4 << QList<int>{4, 4};
        QTest::newRow("exactly one sheet") << 0 << 3 << 4 << QList<int>{4};
        QTest::newRow("one per sheet") << 4 << 6 << 1 << QList<int>{1, 1, 1};
        QTest::newRow("none") << 6 << 5 << 4 << QList<int>{0};
    }

    void continuesOnFurtherSheets()
    {
        QFETCH(int, first);
        QFETCH(int, last);
        QFETCH(int, perSheet);
        QFETCH(QList<int>, sheets);
        if (zeptest::openpyxlPython().isEmpty())
            QSKIP("python3 with openpyxl is not installed");
        const QString target = path(QStringLiteral("sheets-%1.xlsx").arg(QString::fromLatin1(QTest::currentDataTag())));
        SpanDecision span;
        span.first = first;
        span.last = last;
        QList<int> percents;
        const ExportResult result = exportSpan(*file, span, target, [&](int p) { percents.append(p); }, perSheet);
        QVERIFY(result.ok());
        if (last >= first) {
            QCOMPARE(percents.last(), 100);
            QVERIFY(std::is_sorted(percents.begin(), percents.end()));
        }

        const QJsonArray book = zeptest::readWorkbook(target);
        QCOMPARE(book.size(), sheets.size());
        int from = first;
        for (int s = 0; s < sheets.size(); ++s) {
            QCOMPARE(book.at(s).toObject().value(QStringLiteral("title")).toString(), QStringLiteral("Sheet%1").arg(s + 1));
            compareSheet(zeptest::sheetRows(book, s), from, from + sheets.at(s) - 1);
            from += sheets.at(s);
        }
    }

    void exportTargets_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("written");
        const QString csv = QStringLiteral("CSV 文件(*.csv)");
        QTest::newRow("workbook filter") << "/d/export1" << "*.xlsx" << "/d/export1.xlsx";
        QTest::newRow("CSV filter") << "/d/export1" << csv << "/d/export1.csv";
        QTest::newRow("CSV name, workbook filter") << "/d/day.CSV" << "*.xls" << "/d/day.CSV";
        QTest::newRow("workbook name, CSV filter") << "/d/day.xlsx" << csv << "/d/day.xlsx";
        QTest::newRow("old workbook suffix") << "/d/day.xls" << "Excel 工作簿(*.xlsx)" << "/d/day.xlsx";
        QTest::newRow("old suffix in capitals") << "/d/DAY.XLS" << csv << "/d/DAY.XLSX";
        QTest::newRow("old suffix, not at the end") << "/d/day.xls.bak" << csv << "/d/day.xls.bak";
        QTest::newRow("cancelled") << "" << csv << "";
    }

    void exportTargets()
    {
        QFETCH(QString, typed);
        QFETCH(QString, filter);
        const ExportTarget target = exportTarget(typed, filter);
        QTEST(target.fileName, "written");
        QCOMPARE(target.format == ExportFormat::Csv, target.fileName.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive));
    }

    // Values a sheet holds as text or only as wide numbers, and a gap.
    void csvMatchesTheWorkbook_data()
    {
        QTest::addColumn<uint>("start");
        QTest::addColumn<uint>("end");
        QTest::newRow("whole file") << kStart << kStart + 3615;
        QTest::newRow("across the gap") << kStart + 10 << kStart + 3610;
        QTest::newRow("inside the gap: header only") << kStart + 60 << kStart + 3000;
    }

    void csvMatchesTheWorkbook()
    {
        QFETCH(uint, start);
        QFETCH(uint, end);
        if (zeptest::openpyxlPython().isEmpty())
            QSKIP("python3 with openpyxl is not installed");
        const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
        const QList<QList<float>> odd = {{nan, inf, -inf, -nan},
                                         {-1.05f, -0.0f, -220.13f, -3.4028235e38f},
                                         {3.4028235e38f, 1.0e-7f, 1.4e-45f, 16777217.0f, 1234567.8f, 0.1f + 0.2f}};
        DataFile data(path(QStringLiteral("odd.txt")), 5);
        for (int i = 0; i < 5; ++i) {
            data.records[i].time = kStart + uint32_t(5 * i) + (i > 2 ? 3595u : 0u);
            for (int c = 1; c < kColumnCount; ++c)
                data.records[i].setValue(c, c <= odd.value(i).size() ? odd[i][c - 1] : float(sampleValue(i, c)));
        }
        const SpanDecision span = decideSpan(data, start, end);
        QVERIFY(exportSpan(data, span, path(QStringLiteral("odd.xlsx"))).ok());
        QVERIFY(exportSpanCsv(data, span, path(QStringLiteral("odd.csv"))).ok());

        const QByteArray text = zeptest::readBytes(path(QStringLiteral("odd.csv")));
        QVERIFY(text.startsWith("TIME,UA,UB,") && text.endsWith('\n') && !text.contains('\r'));
        const QList<QByteArray> lines = text.chopped(1).split('\n');
        const QJsonArray rows = zeptest::sheetRows(zeptest::readWorkbook(path(QStringLiteral("odd.xlsx"))), 0);
        QCOMPARE(rows.size(), qMax(span.size(), 0) + 1);
        QCOMPARE(lines.size(), rows.size());
        for (int r = 0; r < rows.size(); ++r) {
            const QList<QByteArray> cells = lines.at(r).split(',');
            QCOMPARE(cells.size(), kColumnCount);
            for (int c = 0; c < kColumnCount; ++c) {
                const QJsonValue sheet = rows.at(r).toArray().at(c);
                const QString cell = QString::fromUtf8(cells.at(c));
                // No value: an empty cell in both.
                if (sheet.isNull())
                    QCOMPARE(cell, QString());
                else
                    QCOMPARE(sheet.isString() ? QVariant(cell) : QVariant(cell.toDouble()), sheet.toVariant());
            }
        }
    }

    void failedSaveKeepsTheEarlierWorkbook()
    {
        const QString target = path(QStringLiteral("kept.xlsx"));
        QVERIFY(zeptest::writeBytes(target, "an earlier workbook"));
        AxObject excel(QStringLiteral("Excel.Application"));
        QStringList reports;
        excel.querySubObject("WorkBooks")->dynamicCall("Add");
        AxObject *book = excel.querySubObject("ActiveWorkBook");
        QObject::connect(book, &AxObject::exception,
                         [&](int, const QString &source, const QString &) { reports.append(source); });
        AxObject *sheet = book->querySubObject("Sheets")->querySubObject("Item(int)", 1);
        sheet->querySubObject("Range(const QString )", QStringLiteral("A1:B1"))
            ->dynamicCall("SetValue(const QVariant&)", QVariantList{QVariantList{1.5, QStringLiteral("x")}});
        // libxlsxwriter refuses this sheet name when it writes the file.
        QVERIFY(sheet->setProperty("Name", QStringLiteral("a/b")));
        book->dynamicCall("SaveAs(const QString&)", target);
        QCOMPARE(reports, QStringList{QStringLiteral("SaveAs")});
        QCOMPARE(zeptest::readBytes(target), QByteArray("an earlier workbook"));
    }

    void numbersReadBackAsTheirShortestDecimal_data()
    {
        QTest::addColumn<float>("value");
        QTest::addColumn<QString>("decimal");
        QTest::newRow("power factor") << 0.973f << QStringLiteral("0.973");
        QTest::newRow("voltage") << 220.13f << QStringLiteral("220.13");
        QTest::newRow("frequency") << 49.987f << QStringLiteral("49.987");
        QTest::newRow("negative") << -1.05f << QStringLiteral("-1.05");
        QTest::newRow("small") << 1.0e-7f << QStringLiteral("1e-07");
        QTest::newRow("large") << 3.4028235e38f << QStringLiteral("3.4028235e+38");
        QTest::newRow("whole") << 34125.0f << QStringLiteral("34125");
        QTest::newRow("a sum that rounds to 0.3") << 0.1f + 0.2f << QStringLiteral("0.3");
        QTest::newRow("zero") << 0.0f << QStringLiteral("0");
    }

    void numbersReadBackAsTheirShortestDecimal()
    {
        QFETCH(float, value);
        QFETCH(QString, decimal);
        QCOMPARE(sheetNumber(value), decimal.toDouble());
        QCOMPARE(float(sheetNumber(value)), value);
    }

    void valuesWithoutANumberStayReadable()
    {
        if (zeptest::openpyxlPython().isEmpty())
            QSKIP("python3 with openpyxl is not installed");
        DataFile odd(path(QStringLiteral("odd.txt")), 1);
        odd.records[0].time = kStart;
        odd.records[0].setValue(1, std::numeric_limits<float>::quiet_NaN());
        odd.records[0].setValue(2, std::numeric_limits<float>::infinity());
        odd.records[0].setValue(3, -std::numeric_limits<float>::infinity());
        odd.records[0].setValue(4, 1.5f);
        const QString target = path(QStringLiteral("odd.xlsx"));
        QVERIFY(exportSpan(odd, decideSpan(odd, kStart, kStart), target).ok());
        const QJsonArray row = zeptest::sheetRows(zeptest::readWorkbook(target), 0).at(1).toArray();
        QVERIFY(row.at(1).isNull());
        QCOMPARE(row.at(2).toString(), QStringLiteral("inf"));
        QCOMPARE(row.at(3).toString(), QStringLiteral("-inf"));
        QCOMPARE(row.at(4).toDouble(), 1.5);
    }

    // The program runs in the user's locale; where that writes numbers with
    // a decimal comma, the workbook must still hold numbers.
    void numbersUnderADecimalCommaLocale()
    {
        if (zeptest::openpyxlPython().isEmpty())
            QSKIP("python3 with openpyxl is not installed");
        QTemporaryDir locales;
        QProcess localedef;
        localedef.start(QStringLiteral("localedef"),
                        {QStringLiteral("-i"), QStringLiteral("de_DE"), QStringLiteral("-f"), QStringLiteral("UTF-8"),
                         locales.filePath(QStringLiteral("de_DE.UTF-8"))});
        QVERIFY(localedef.waitForFinished(120000));
        QCOMPARE(localedef.exitCode(), 0);
        qputenv("LOCPATH", locales.path().toLocal8Bit());
        const QByteArray previous = setlocale(LC_NUMERIC, nullptr);
        QVERIFY(setlocale(LC_NUMERIC, "de_DE.UTF-8"));
        QCOMPARE(localeconv()->decimal_point, ",");
        const QString target = path(QStringLiteral("comma.xlsx"));
        const bool saved = exportSpan(*file, decideSpan(*file, sampleTime(2), sampleTime(3)), target).ok();
        setlocale(LC_NUMERIC, previous.constData());
        qunsetenv("LOCPATH");
        QVERIFY(saved);
        QString error;
        const QJsonArray book = zeptest::readWorkbook(target, &error);
        QVERIFY2(!book.isEmpty(), qPrintable(error));
        compareSheet(zeptest::sheetRows(book, 0), 2, 3);
    }

    void timeTextsMatchLocalTime_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QDateTime>("from");
        QTest::addColumn<int>("step");
        QTest::newRow("Berlin, spring forward") << QByteArray("Europe/Berlin")
                                                << QDateTime(QDate(2024, 3, 30), QTime(20, 0), Qt::UTC) << 97;
        QTest::newRow("Berlin, fall back") << QByteArray("Europe/Berlin")
                                           << QDateTime(QDate(2024, 10, 26), QTime(20, 0), Qt::UTC) << 97;
        QTest::newRow("Lord Howe, half-hour change") << QByteArray("Australia/Lord_Howe")
                                                     << QDateTime(QDate(2024, 4, 6), QTime(10, 0), Qt::UTC) << 61;
        QTest::newRow("Shanghai, 1991 summer time ends") << QByteArray("Asia/Shanghai")
                                                         << QDateTime(QDate(1991, 9, 14), QTime(12, 0), Qt::UTC) << 97;
        QTest::newRow("Kathmandu") << QByteArray("Asia/Kathmandu")
                                   << QDateTime(QDate(2024, 1, 1), QTime(0, 0), Qt::UTC) << 1;
        QTest::newRow("UTC, leap day") << QByteArray("UTC") << QDateTime(QDate(2024, 2, 28), QTime(22, 0), Qt::UTC)
                                       << 89;
    }

    void timeTextsMatchLocalTime()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QDateTime, from);
        QFETCH(int, step);
        const zeptest::ZoneForTest inZone(zone);
        LocalTimeFormatter texts;
        const uint32_t start = uint32_t(from.toSecsSinceEpoch());
        for (uint32_t t = start; t < start + 24 * 3600; t += uint32_t(step))
            QCOMPARE(texts.text(t), timeText(t));
    }
};

ZEP_TEST_MAIN(TestExcelExport)
#include "tst_excelexport.moc"
