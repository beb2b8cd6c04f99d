#include "analysis/snapshot.h"
#include "data/savename.h"
#include "testsupport.h"
#include "views/plot.h"

#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>

#include <functional>

using zeptest::FileDialogLog;
using zeptest::MessageBoxLog;
using zeptest::ModalWatch;

namespace {

struct PdfInfo {
    int pages = 0;
    QString pageSize;
};

PdfInfo pdfInfo(const QString &path)
{
    QProcess pdfinfo;
    pdfinfo.start(QStringLiteral("pdfinfo"), {path});
    PdfInfo info;
    if (!pdfinfo.waitForFinished(60000) || pdfinfo.exitCode() != 0)
        return info;
    for (const QString &line : QString::fromLocal8Bit(pdfinfo.readAllStandardOutput()).split(QLatin1Char('\n'))) {
        const int colon = line.indexOf(QLatin1Char(':'));
        const QString key = line.left(colon).trimmed();
        const QString value = line.mid(colon + 1).trimmed();
        if (key == QLatin1String("Pages"))
            info.pages = value.toInt();
        else if (key == QLatin1String("Page size"))
            info.pageSize = value;
    }
    return info;
}

QString pointsText(const QSize &size)
{
    return QStringLiteral("%1 x %2 pts").arg(size.width()).arg(size.height());
}

} // namespace

class TestSnapshot : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;
    QMdiArea *area = nullptr;
    QMdiSubWindow *window = nullptr;

    QString path(const QString &name) const { return dir.filePath(name); }

    void showWindow(const QSize &size)
    {
        window->showNormal();
        window->resize(size);
        QCOMPARE(window->size(), size);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        area = new QMdiArea;
        area->resize(1400, 1000);
        auto *content = new QLabel(QStringLiteral("UA(V) 220.13"));
        window = area->addSubWindow(content);
        window->setWindowTitle(QStringLiteral("/data/review.txt - 数据列表"));
        area->show();
        showWindow(QSize(640, 400));
    }

    void cleanupTestCase() { delete area; }

    void pdfName_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("used");
        QTest::newRow("no suffix") << QStringLiteral("/tmp/window") << QStringLiteral("/tmp/window.pdf");
        QTest::newRow("upper-case suffix") << QStringLiteral("/tmp/window.PDF") << QStringLiteral("/tmp/window.PDF");
        QTest::newRow("another suffix") << QStringLiteral("/tmp/window.txt") << QStringLiteral("/tmp/window.txt");
        QTest::newRow("dot in the folder only") << QStringLiteral("/tmp/v1.2/window") << QStringLiteral("/tmp/v1.2/window.pdf");
        QTest::newRow("two suffixes") << QStringLiteral("/tmp/window.tar.gz") << QStringLiteral("/tmp/window.tar.gz");
    }

    void pdfName()
    {
        QFETCH(QString, chosen);
        QTEST(withDefaultSuffix(chosen, filterSuffix(QStringLiteral("*.pdf"))), "used");
    }

    void wholeNumberScale_data()
    {
        QTest::addColumn<QSize>("viewport");
        QTest::addColumn<QSize>("image");
        QTest::addColumn<qreal>("x");
        QTest::addColumn<qreal>("y");
        // A 640 x 400 window on its own page at 1200 dpi inside 10 pt margins.
        QTest::newRow("PDF page") << QSize(10333, 6333) << QSize(640, 400) << 16.0 << 15.0;
        QTest::newRow("exact multiples") << QSize(1280, 1200) << QSize(640, 400) << 2.0 << 3.0;
        QTest::newRow("just short of a multiple") << QSize(1279, 1199) << QSize(640, 400) << 1.0 << 2.0;
        QTest::newRow("same size") << QSize(640, 400) << QSize(640, 400) << 1.0 << 1.0;
        QTest::newRow("narrower than the image") << QSize(320, 800) << QSize(640, 400) << 0.5 << 2.0;
        QTest::newRow("no printable area") << QSize(0, 0) << QSize(640, 400) << 1.0 << 1.0;
    }

    void wholeNumberScale()
    {
        QFETCH(QSize, viewport);
        QFETCH(QSize, image);
        const SnapshotScale scale = snapshotScale(viewport, image);
        QTEST(scale.x, "x");
        QTEST(scale.y, "y");
    }

    void drawsEachPixelAsAWholeBlock()
    {
        QPixmap image(4, 2);
        image.fill(Qt::red);
        {
            QPainter p(&image);
            p.fillRect(3, 1, 1, 1, Qt::blue);
        }
        QImage page(14, 7, QImage::Format_RGB32);
        page.fill(Qt::white);
        {
            QPainter painter(&page);
            drawSnapshot(painter, image);
        }
        // Factors 3 and 3: the blue pixel becomes the block 9..11 x 3..5,
        // and the strip right of 12 and below 6 stays empty.
        QCOMPARE(page.pixelColor(0, 0), QColor(Qt::red));
        QCOMPARE(page.pixelColor(8, 5), QColor(Qt::red));
        QCOMPARE(page.pixelColor(9, 3), QColor(Qt::blue));
        QCOMPARE(page.pixelColor(11, 5), QColor(Qt::blue));
        QCOMPARE(page.pixelColor(12, 0), QColor(Qt::white));
        QCOMPARE(page.pixelColor(0, 6), QColor(Qt::white));
    }

    void pdfHasOnePageOfTheWindowsSize_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("wide") << QSize(640, 400);
        QTest::newRow("tall") << QSize(300, 500);
        // Within a few points of A4 landscape, which must not snap to A4.
        QTest::newRow("nearly A4") << QSize(840, 594);
    }

    void pdfHasOnePageOfTheWindowsSize()
    {
        QFETCH(QSize, size);
        showWindow(size);
        const QString target = path(QStringLiteral("page-%1.pdf").arg(QString::fromLatin1(QTest::currentDataTag())));
        QVERIFY(writeSnapshotPdf(window, target));
        const PdfInfo info = pdfInfo(target);
        QCOMPARE(info.pages, 1);
        QCOMPARE(info.pageSize, pointsText(size));
        showWindow(QSize(640, 400));
    }

    void pdfActionNamesTheFile_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("written");
        // Every case of the name rule is in pdfName; here only that the
        // action uses it.
        QTest::newRow("no suffix") << QStringLiteral("window") << QStringLiteral("window.pdf");
    }

    void pdfActionNamesTheFile()
    {
        QFETCH(QString, typed);
        QFETCH(QString, written);
        FileDialogLog files;
        files.answers = QStringList{path(typed)};
        MessageBoxLog boxes;
        files.start();
        boxes.start();
        saveSnapshotPdf(window, area);
        QCOMPARE(files.seen.size(), 1);
        QCOMPARE(files.seen.at(0).caption, QStringLiteral("导出PDF文件"));
        QCOMPARE(files.seen.at(0).filters, QStringList{QStringLiteral("*.pdf")});
        QCOMPARE(boxes.seen.size(), 0);
        QCOMPARE(pdfInfo(path(written)).pages, 1);
        if (typed != written)
            QVERIFY(!QFileInfo::exists(path(typed)));
    }

    void pdfThatCannotBeWrittenIsReported()
    {
        const QString target = path(QStringLiteral("missing/window.pdf"));
        FileDialogLog files;
        files.answers = QStringList{target};
        MessageBoxLog boxes;
        files.start();
        boxes.start();
        saveSnapshotPdf(window, area);
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen.at(0).title, QStringLiteral("错误"));
        QVERIFY2(boxes.seen.at(0).text.contains(target), qPrintable(boxes.seen.at(0).text));
        QVERIFY(!QFileInfo::exists(target));
    }

    void cancelledPdfChoiceWritesNothing()
    {
        FileDialogLog files;
        MessageBoxLog boxes;
        files.start();
        boxes.start();
        saveSnapshotPdf(window, area);
        QCOMPARE(files.seen.size(), 1);
        QCOMPARE(boxes.seen.size(), 0);
    }

    void previewRendersTheWindowsPage()
    {
        QList<QSizeF> pages;
        QList<bool> landscape;
        QString title;
        QSize minimum;
        Qt::WindowFlags flags;
        // Looked at and closed at once; judged after the dialog is gone, so
        // that a failure cannot leave it open.
        ModalWatch<QPrintPreviewDialog> watch([&](QPrintPreviewDialog *dialog) {
            title = dialog->windowTitle();
            minimum = dialog->minimumSize();
            flags = dialog->windowFlags();
            if (!QTest::qWaitFor([&] { return !pages.isEmpty(); }, 5000))
                qWarning("the preview drew no page");
            dialog->reject();
        });
        previewSnapshot(window, area, [&](QPrinter *printer) {
            paintPreviewPage(printer, window);
            pages.append(printer->pageLayout().fullRect(QPageLayout::Point).size());
            landscape.append(printer->pageLayout().orientation() == QPageLayout::Landscape);
        });
        QVERIFY(watch.seen);
        QCOMPARE(title, QStringLiteral("打印预览"));
        QCOMPARE(minimum, QSize(1000, 600));
        QVERIFY(flags.testFlag(Qt::WindowMaximizeButtonHint));
        QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowContextHelpButtonHint));
        QVERIFY(!pages.isEmpty());
        QCOMPARE(pages.first(), QSizeF(window->size()));
        QVERIFY(landscape.first());
    }

    // The tracker follows the mouse over a trend plot; paper never shows it.
    void trackerStaysOffThePaper()
    {
        auto file = zeptest::sampleDataFile(100);
        Plot plot(file->records, 100, AppConfig.disp);
        plot.show();
        QVERIFY(QTest::qWaitForWindowExposed(&plot));
        const QRect canvas = plot.canvas()->geometry();
        const QImage before = grabSnapshot(&plot).toImage().copy(canvas);
        QMouseEvent move(QEvent::MouseMove, canvas.center() - canvas.topLeft(), Qt::NoButton, Qt::NoButton, {});
        QApplication::sendEvent(plot.canvas(), &move);
        QVERIFY(plot.grab().toImage().copy(canvas) != before);
        QCOMPARE(grabSnapshot(&plot).toImage().copy(canvas), before);
        QVERIFY(plot.grab().toImage().copy(canvas) != before);
    }

    void printWithoutPrinterNeitherHangsNorFailsSilently_data()
    {
        QTest::addColumn<bool>("accept");
        QTest::newRow("cancelled") << false;
        QTest::newRow("accepted") << true;
    }

    void printWithoutPrinterNeitherHangsNorFailsSilently()
    {
        QFETCH(bool, accept);
        if (accept && !QPrinterInfo::availablePrinterNames().isEmpty())
            QSKIP("a printer is installed: this would print on it");
        MessageBoxLog boxes;
        boxes.start();
        ModalWatch<QPrintDialog> watch([accept](QPrintDialog *dialog) {
            if (accept)
                QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
            else
                QMetaObject::invokeMethod(dialog, "reject", Qt::QueuedConnection);
        });
        printSnapshot(window, area);
        QVERIFY(watch.seen);
        if (!accept) {
            QCOMPARE(boxes.seen.size(), 0);
            return;
        }
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen.at(0).title, QStringLiteral("错误"));
    }
};

ZEP_TEST_MAIN(TestSnapshot)
#include "tst_snapshot.moc"
