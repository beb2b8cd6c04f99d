#include "analysis/reportdlg.h"
#include "analysis/tariffdlg.h"
#include "views/timespan.h"
#include "testsupport.h"

#include <QClipboard>
#include <QComboBox>
#include <QDateEdit>
#include <QAbstractTextDocumentLayout>
#include <QProgressBar>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTableWidget>
#include <QTimeEdit>

namespace {

uint32_t midnight()
{
    return uint32_t(QDateTime(QDate(2024, 3, 1), QTime(0, 0)).toSecsSinceEpoch());
}

// A day at one sample a minute: 220 V, 6 kW; UA dips to 180 V at 10:00 and
// 10:01, and all three phases are at 240 V (past +7 %, no swell) from 14:00
// to 14:59.
std::unique_ptr<DataFile> dayFile()
{
    auto file = std::make_unique<DataFile>(QStringLiteral("/data/day.txt"), 1440u);
    for (int i = 0; i < 1440; ++i) {
        SampleRecord &r = file->records[i];
        r.time = midnight() + uint32_t(60 * i);
        const float volts = i >= 840 && i < 900 ? 240 : 220;
        for (int k : {1, 2, 3})
            r.setValue(k, volts);
        if (i == 600 || i == 601)
            r.setValue(1, 180);
        r.setValue(13, 6000);
        r.setValue(14, 2000);
        r.setValue(15, 7000);
        r.setValue(17, 50);
    }
    return file;
}

DisplayConfig display()
{
    DisplayConfig d;
    defaultDisplayConfig(d);
    return d;
}

template <typename T>
T *child(QWidget *w, const char *name)
{
    return w->findChild<T *>(QLatin1String(name));
}

void click(QWidget *dlg, const char *button)
{
    child<QPushButton>(dlg, button)->click();
}

QString output(const QString &program, const QStringList &args)
{
    QProcess run;
    run.start(program, args);
    run.waitForFinished(60000);
    return QString::fromUtf8(run.readAllStandardOutput());
}

} // namespace

class TestReportDlg : public QObject
{
    Q_OBJECT

private slots:
    void generateAndCopy()
    {
        auto file = dayFile();
        ReportDlg dlg(nullptr, file.get(), ReportSettings{}, display());
        QCOMPARE(dlg.windowTitle(), QStringLiteral("电能质量报告"));
        dlg.resize(1200, 1150);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QVERIFY(!child<QPushButton>(&dlg, "pushButton_copy")->isEnabled());
        click(&dlg, "pushButton_generate");
        QCOMPARE(child<QProgressBar>(&dlg, "progressBar")->value(), 100);
        QGuiApplication::clipboard()->clear();
        click(&dlg, "pushButton_copy");
        const QStringList lines = QGuiApplication::clipboard()->text().split(QLatin1Char('\n'));

        for (const char *heading : {"电能质量报告", "概况", "电能", "电能质量", "电压事件"})
            QVERIFY2(lines.contains(QString::fromUtf8(heading)), heading);
        // 1439 minutes at 6 kW: 8 hours of 峰 and of 平, 谷 but the last
        // minute. The dip's window (flagged) is the root of
        // (2 * 180^2 + 8 * 220^2) / 10; the over-voltage hour fails six of
        // the other 143.
        for (const char *line : {"报告对象\tday", "数据覆盖率\t100.00 %", "正向有功电能\t143.900 kWh",
                                 "反向有功电能\t0.000 kWh", "净有功电能\t143.900 kWh", "平均功率因数\t0.857",
                                 "最大需量\t6.000 kW（2024-03-01 00:00:00 起）", "峰\t48.000 kWh\t33.36 %\t未设电价\t未设电价",
                                 "谷\t47.900 kWh\t33.29 %\t未设电价\t未设电价", "总结论\t不合格", "电压暂降\t1 次",
                                 "电压暂升\t0 次", "短时中断\t0 次", "90 > u ≥ 80 %\t—\t—\t—\t—\t0\t1",
                                 "电压暂降\tUA\t2024-03-01 10:00:00\t2 分 0 秒\t180.00 V"})
            QVERIFY2(lines.contains(QString::fromUtf8(line)), line);
        const int header = lines.indexOf(QStringLiteral(
            "参数\t有效窗口\t无效窗口\t标记窗口\t最大值\t最小值\t平均值\t95%概率值\t合格率\t限值\t结论"));
        QVERIFY(header > 0);
        QCOMPARE(lines[header + 1],
                 QStringLiteral("UA 电压偏差\t144\t0\t1\t240.00 V（+9.09 %）\t212.60 V（-3.36 %）\t220.78 V（+0.36 %）\t"
                                "220.00 V（+0.00 %）\t95.80 %\t±7 %（204.60～235.40 V）全部窗口\t不合格"));
        QCOMPARE(lines[header + 8].split(QLatin1Char('\t')).size(), 11);

#ifdef ZEP_SCREENSHOT_DIR
        // The picture of the README: energy by period, the quality table.
        auto *view = child<QTextBrowser>(&dlg, "textBrowser_report");
        const QTextBlock quality = view->document()->find(QStringLiteral("分时电能")).block();
        view->verticalScrollBar()->setValue(int(view->document()->documentLayout()->blockBoundingRect(quality).top()));
        QDir().mkpath(QStringLiteral(ZEP_SCREENSHOT_DIR));
        QVERIFY(dlg.grab().save(QStringLiteral(ZEP_SCREENSHOT_DIR "/report.png")));
#endif
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("volts");
        QTest::addColumn<int>("startOffset");
        QTest::addColumn<QString>("message");
        const QString nominal = QStringLiteral("标称电压必须是大于 0 的数值！");
        QTest::newRow("zero volts") << "0" << 0 << nominal;
        QTest::newRow("negative volts") << "-230" << 0 << nominal;
        QTest::newRow("not a number") << "abc" << 0 << nominal;
        QTest::newRow("reversed span") << "220" << 120 << QStringLiteral("起始时间和结束时间颠倒了！");
    }

    void refusals()
    {
        QFETCH(QString, volts);
        QFETCH(int, startOffset);
        auto file = dayFile();
        ReportDlg dlg(nullptr, file.get(), ReportSettings{}, display());
        dlg.show();
        child<QLineEdit>(&dlg, "lineEdit_voltage")->setText(volts);
        setEditsTime(child<QDateEdit>(&dlg, "dateEdit_end"), child<QTimeEdit>(&dlg, "timeEdit_end"), midnight() + 60);
        setEditsTime(child<QDateEdit>(&dlg, "dateEdit_start"), child<QTimeEdit>(&dlg, "timeEdit_start"),
                     midnight() + uint32_t(startOffset));
        zeptest::MessageBoxLog boxes;
        boxes.start();
        click(&dlg, "pushButton_generate");
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen[0].title, QStringLiteral("错误"));
        QTEST(boxes.seen[0].text, "message");
        QVERIFY(!child<QPushButton>(&dlg, "pushButton_pdf")->isEnabled());
        QVERIFY(child<QTextBrowser>(&dlg, "textBrowser_report")->toPlainText().isEmpty());
    }

    // A PDF of an EN 50160 report; the options it was made with and the
    // dialog's size come back the next time.
    void pdfAndSettings()
    {
        auto file = dayFile();
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("report"));
        ReportSettings kept;
        {
            ReportDlg dlg(nullptr, file.get(), ReportSettings{}, display());
            dlg.resize(1000, 650);
            dlg.show();
            child<QComboBox>(&dlg, "comboBox_standard")->setCurrentIndex(1);
            // Letters, exponents and signs are not taken.
            child<QLineEdit>(&dlg, "lineEdit_voltage")->clear();
            QTest::keyClicks(child<QLineEdit>(&dlg, "lineEdit_voltage"), QStringLiteral("-2e3x0.5"));
            child<QComboBox>(&dlg, "comboBox_frequency")->setCurrentIndex(1);
            child<QLineEdit>(&dlg, "lineEdit_subject")->setText(QStringLiteral("1号进线"));
            child<QLineEdit>(&dlg, "lineEdit_author")->setText(QStringLiteral("张工"));
            click(&dlg, "pushButton_generate");
            zeptest::FileDialogLog dialogs;
            dialogs.answers << pdf;
            dialogs.start();
            click(&dlg, "pushButton_pdf");
            QCOMPARE(dialogs.seen.size(), 1);
            kept = dlg.settings();
        }
        QFile out(pdf + QStringLiteral(".pdf"));
        QVERIFY(out.open(QIODevice::ReadOnly));
        const QByteArray bytes = out.readAll();
        QVERIFY(bytes.startsWith("%PDF-") && bytes.trimmed().endsWith("%%EOF"));
        QVERIFY(bytes.size() > 20000);
        const QString info = output(QStringLiteral("pdfinfo"), {out.fileName()});
        QVERIFY2(info.contains(QStringLiteral("电能质量报告 - 1号进线 - 2024-03-01 00:00:00 至 2024-03-01 23:59:00")),
                 qPrintable(info));
        const QString pages = info.section(QStringLiteral("Pages:"), 1).section(QLatin1Char('\n'), 0, 0).trimmed();
        QVERIFY(pages.toInt() > 1);
        // pdftotext leaves out the spaces between Chinese characters.
        const QString text = output(QStringLiteral("pdftotext"), {out.fileName(), QStringLiteral("-")});
        for (const QString &seen : {QStringLiteral("编制"), QStringLiteral("张工"), QStringLiteral("N1"),
                                    QStringLiteral("第1页共%1页").arg(pages), QStringLiteral("第%1页共%1页").arg(pages)})
            QVERIFY2(text.contains(seen), qPrintable(seen));

        QVERIFY(kept.options == (ReportOptions{PowerStandard::En50160, 230.5, 60}));
        QCOMPARE(kept.author, QStringLiteral("张工"));
        QCOMPARE(kept.dialogSize, QSize(1000, 650));
        storeReportSettings(kept);
        const ReportSettings read = readReportSettings();
        QVERIFY(read.options == kept.options);
        ReportDlg again(nullptr, file.get(), read, display());
        QCOMPARE(again.size(), QSize(1000, 650));
        QCOMPARE(child<QLineEdit>(&again, "lineEdit_voltage")->text(), QStringLiteral("230.5"));
        QCOMPARE(child<QComboBox>(&again, "comboBox_standard")->currentText(), QStringLiteral("EN 50160"));
        QCOMPARE(child<QLineEdit>(&again, "lineEdit_author")->text(), QStringLiteral("张工"));
    }

    // A table that gives a minute two types is refused and the editor
    // stays; the prices given go into the working directory's file and the
    // report made again.
    void tariffSettings()
    {
        auto file = dayFile();
        ReportDlg dlg(nullptr, file.get(), ReportSettings{}, display());
        dlg.show();
        click(&dlg, "pushButton_generate");
        zeptest::MessageBoxLog boxes;
        boxes.start();
        zeptest::ModalWatch<TariffDlg> edit([&boxes](TariffDlg *tariff) {
            auto *table = child<QTableWidget>(tariff, "tableWidget_periods");
            table->item(0, 1)->setText(QStringLiteral("12:00"));
            tariff->accept();
            QVERIFY(tariff->isVisible());
            QCOMPARE(boxes.seen.value(0).text, QStringLiteral("1 月 11:00 同时属于第 1 行和第 4 行的时段"));
            table->item(0, 1)->setText(QStringLiteral("11:00"));
            const char *prices[] = {"lineEdit_price1", "lineEdit_price2", "lineEdit_price3"};
            for (int i = 0; i < 3; ++i)
                child<QLineEdit>(tariff, prices[i])->setText(QStringLiteral("1.2 0.8 0.4").split(' ')[i]);
            tariff->accept();
        });
        click(&dlg, "pushButton_tariff");
        QVERIFY(edit.seen);
        QCOMPARE(boxes.seen.size(), 1);
        QString problem;
        QCOMPARE(readTariffFile(tariffFilePath(), &problem).prices[TariffValley], 0.4);
        click(&dlg, "pushButton_copy");
        const QStringList lines = QGuiApplication::clipboard()->text().split(QLatin1Char('\n'));
        // 48 * 1.2 + 48 * 0.8 + 47.9 * 0.4
        for (const char *line : {"峰\t48.000 kWh\t33.36 %\t1.2000 元/kWh\t57.60 元", "合计\t143.900 kWh\t100.00 %\t\t115.16 元"})
            QVERIFY2(lines.contains(QString::fromUtf8(line)), line);
        QFile::remove(tariffFilePath());
    }
};

ZEP_TEST_MAIN(TestReportDlg)
#include "tst_reportdlg.moc"
