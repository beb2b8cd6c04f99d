// The output actions of the main window on opened files, as a user meets
// them: spreadsheet export, PDF, print preview.

#include "analysis/excelexportdlg.h"
#include "mainwindowtest.h"
#include "data/appconfig.h"
#include "data/datafile.h"
#include "testsupport.h"
#include "../analysis/exporttesting.h"

#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProcess>
#include <QSettings>

#include <memory>

using zeptest::FileDialogLog;
using zeptest::MessageBoxLog;
using zeptest::ModalWatch;

class TestOutput : public zeptest::MainWindowTest
{
    Q_OBJECT

    QString file;

    QMdiSubWindow *subWindow(const QString &suffix) const
    {
        for (QMdiSubWindow *w : window->documentArea()->subWindowList()) {
            if (w->windowTitle() == file + suffix)
                return w;
        }
        return nullptr;
    }
    void activate(const QString &suffix)
    {
        QMdiSubWindow *w = subWindow(suffix);
        QVERIFY(w);
        window->documentArea()->setActiveSubWindow(w);
        QCOMPARE(window->documentArea()->currentSubWindow(), w);
    }
    QString pageSize(const QString &pdf) const
    {
        QProcess pdfinfo;
        pdfinfo.start(QStringLiteral("pdfinfo"), {pdf});
        pdfinfo.waitForFinished(60000);
        for (const QString &line : QString::fromLocal8Bit(pdfinfo.readAllStandardOutput()).split(QLatin1Char('\n'))) {
            if (line.startsWith(QLatin1String("Page size:")))
                return line.mid(10).trimmed();
        }
        return QString();
    }

private slots:
    void init()
    {
        startWindow();
        file = path(QStringLiteral("day.txt"));
        QVERIFY(zeptest::writeSampleFile(file, 20));
        window->loadFile(file);
        QCOMPARE(window->openDocuments().size(), 1);
    }

    void cleanup() { stopWindow(); }

    void exportFromEitherWindow_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::newRow("table") << QStringLiteral(" - 数据列表");
        QTest::newRow("plot") << QStringLiteral(" - 趋势图");
    }

    void exportFromEitherWindow()
    {
        QFETCH(QString, suffix);
        if (zeptest::openpyxlPython().isEmpty())
            QSKIP("python3 with openpyxl is not installed");
        activate(suffix);
        const QString target = path(QStringLiteral("export.xls"));
        QWidget *parent = nullptr;
        MessageBoxLog boxes;
        FileDialogLog files;
        files.answers = QStringList{target};
        boxes.start();
        files.start();
        ModalWatch<ExcelExportDlg> watch([&](ExcelExportDlg *dialog) {
            parent = dialog->parentWidget();
            dialog->findChild<QPushButton *>(QStringLiteral("pushButton_export"))->click();
            dialog->findChild<QPushButton *>(QStringLiteral("pushButton_exit"))->click();
        });
        action("action_excel")->trigger();
        QVERIFY(watch.seen);
        QCOMPARE(parent, subWindow(suffix));
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen.at(0).text, QStringLiteral("数据已导出到 ") + target + 'x');

        const QJsonArray rows = zeptest::sheetRows(zeptest::readWorkbook(target + 'x'), 0);
        QCOMPARE(rows.size(), 21);
        const DataFile *data = window->openDocuments().first();
        for (int i = 0; i < 20; ++i) {
            const QJsonArray row = rows.at(i + 1).toArray();
            QCOMPARE(row.at(0).toString(), QDateTime::fromSecsSinceEpoch(data->records[i].time)
                                               .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
            for (int c = 1; c < kColumnCount; ++c)
                QCOMPARE(float(row.at(c).toDouble()), data->records[i].value(c));
        }
    }

    void pdfOfTheCurrentWindow_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::newRow("maximised table") << QStringLiteral(" - 数据列表");
        QTest::newRow("maximised plot") << QStringLiteral(" - 趋势图");
    }

    void pdfOfTheCurrentWindow()
    {
        QFETCH(QString, suffix);
        activate(suffix);
        QMdiSubWindow *current = subWindow(suffix);
        current->showMaximized();
        const QString target = path(QStringLiteral("window"));
        FileDialogLog files;
        files.answers = QStringList{target};
        MessageBoxLog boxes;
        files.start();
        boxes.start();
        action("action_pdf")->trigger();
        QCOMPARE(boxes.seen.size(), 0);
        QCOMPARE(pageSize(target + QStringLiteral(".pdf")),
                 QStringLiteral("%1 x %2 pts").arg(current->width()).arg(current->height()));
    }

    void previewShowsTheCurrentWindowsPage()
    {
        activate(QStringLiteral(" - 数据列表"));
        QMdiSubWindow *current = subWindow(QStringLiteral(" - 数据列表"));
        QSizeF page;
        int pages = 0;
        ModalWatch<QPrintPreviewDialog> watch([&](QPrintPreviewDialog *dialog) {
            // The preview asks the main window to draw; catch what it drew on.
            QObject::connect(dialog, &QPrintPreviewDialog::paintRequested, dialog, [&](QPrinter *printer) {
                page = printer->pageLayout().fullRect(QPageLayout::Point).size();
                ++pages;
            });
            QMetaObject::invokeMethod(dialog->findChild<QPrintPreviewWidget *>(), "updatePreview");
            if (!QTest::qWaitFor([&] { return pages > 0; }, 5000))
                qWarning("the preview drew no page");
            dialog->reject();
        });
        action("action_PrintPreview")->trigger();
        QVERIFY(watch.seen);
        QVERIFY(pages > 0);
        QCOMPARE(page, QSizeF(current->size()));
    }

    void nothingWithoutASubWindow()
    {
        window->documentArea()->closeAllSubWindows();
        QTRY_VERIFY(!window->documentArea()->currentSubWindow());
        FileDialogLog files;
        files.start();
        QVERIFY(QMetaObject::invokeMethod(window.get(), "actionConvertoPdfTriggered"));
        QVERIFY(QMetaObject::invokeMethod(window.get(), "actionExcelExportTriggered"));
        QCOMPARE(files.seen.size(), 0);
    }
};

ZEP_TEST_MAIN(TestOutput)
#include "tst_output.moc"
