#include "analysis/snapshot.h"

#include "data/atomicfile.h"
#include "views/savedialog.h"

#include <qwt_picker.h>

#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPageSize>
#include <QPainter>
#include <QPixmap>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>

namespace {

qreal factor(int viewport, int image)
{
    if (image <= 0 || viewport <= 0)
        return 1;
    if (viewport < image)
        return qreal(viewport) / image;
    return viewport / image;
}

// Whether the file starts and ends as a PDF does.
bool isWholePdf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(5);
    const bool tailRead = file.seek(qMax<qint64>(file.size() - 64, 0));
    return head == "%PDF-" && tailRead && file.read(64).trimmed().endsWith("%%EOF");
}

void warn(QWidget *parent, const QString &text)
{
    QMessageBox::warning(parent, QStringLiteral("错误"), text, QMessageBox::Ok);
}

// The window's page, for a PDF.
std::function<bool(QPrinter &)> snapshotPages(QWidget *window)
{
    return [window](QPrinter &printer) {
        setUpSnapshotPage(printer, window->size());
        return renderSnapshot(&printer, grabSnapshot(window));
    };
}

} // namespace

void setUpSnapshotPage(QPrinter &printer, const QSize &windowSize, bool landscape)
{
    // Exact match: a window that happens to be about A4 must not become A4.
    printer.setPageSize(QPageSize(QSizeF(windowSize.height(), windowSize.width()), QPageSize::Point, QString(),
                                  QPageSize::ExactMatch));
    if (landscape)
        printer.setPageOrientation(QPageLayout::Landscape);
}

QPixmap grabSnapshot(QWidget *window)
{
    // The tracker's line and time box, and a rubber band, follow the
    // pointer: they are no part of the window on paper.
    QList<QwtPicker *> pickers;
    for (QwtPicker *picker : window->findChildren<QwtPicker *>()) {
        if (picker->isEnabled()) {
            picker->setEnabled(false);
            pickers.append(picker);
        }
    }
    const QPixmap image = window->grab(QRect(QPoint(0, 0), window->size()));
    for (QwtPicker *picker : pickers)
        picker->setEnabled(true);
    return image;
}

SnapshotScale snapshotScale(const QSize &viewport, const QSize &image)
{
    return SnapshotScale{factor(viewport.width(), image.width()), factor(viewport.height(), image.height())};
}

void drawSnapshot(QPainter &painter, const QPixmap &image)
{
    const SnapshotScale scale = snapshotScale(painter.viewport().size(), image.size());
    painter.scale(scale.x, scale.y);
    painter.drawPixmap(0, 0, image);
}

bool renderSnapshot(QPrinter *printer, const QPixmap &image)
{
    QPainter painter;
    if (!painter.begin(printer))
        return false;
    drawSnapshot(painter, image);
    return painter.end();
}

bool writeSnapshotPdf(QWidget *window, const QString &fileName)
{
    return writePdf(fileName, snapshotPages(window));
}

bool writePdf(const QString &fileName, const std::function<bool(QPrinter &)> &print)
{
    AtomicFile out(fileName);
    if (!out.open())
        return false;
    QPrinter printer(QPrinter::HighResolution);
    // The format first: changing it later starts a new print engine.
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(out.temporaryPath());
    // The PDF engine does not notice a full disk: it leaves a cut file and
    // reports success. Only a file that ends as a PDF replaces the target.
    return print(printer) && isWholePdf(out.temporaryPath()) && out.commit();
}

void savePdf(QWidget *parent, const std::function<bool(QPrinter &)> &print)
{
    const QString fileName = askSaveName(parent, QObject::tr("导出PDF文件"), QStringLiteral("*.pdf"));
    if (fileName.isEmpty())
        return;
    if (!writePdf(fileName, print))
        warn(parent, QStringLiteral("无法写入文件：%1").arg(QDir::toNativeSeparators(fileName)));
}

void printWithDialog(QPrinter &printer, QWidget *parent, const std::function<bool(QPrinter &)> &print)
{
    QPrintDialog dialog(&printer, parent);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (!print(printer))
        warn(parent, QStringLiteral("无法打印到：%1").arg(printerTarget(printer)));
}

QString printerTarget(const QPrinter &printer)
{
    if (printer.outputFormat() == QPrinter::PdfFormat || !printer.outputFileName().isEmpty())
        return QDir::toNativeSeparators(printer.outputFileName());
    return printer.printerName();
}

void setUpSnapshotPreview(QPrintPreviewDialog &dialog)
{
    dialog.setWindowTitle(QStringLiteral("打印预览"));
    dialog.setMinimumSize(1000, 600);
    dialog.setWindowFlags(Qt::Dialog | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
}

void printSnapshot(QWidget *window, QWidget *parent)
{
    QPrinter printer(QPrinter::HighResolution);
    setUpSnapshotPage(printer, window->size());
    printWithDialog(printer, parent,
                    [window](QPrinter &p) { return renderSnapshot(&p, grabSnapshot(window)); });
}

void previewSnapshot(QWidget *window, QWidget *parent, const std::function<void(QPrinter *)> &paint)
{
    QPrinter printer(QPrinter::HighResolution);
    setUpSnapshotPage(printer, window->size(), false);
    QPrintPreviewDialog dialog(&printer, parent);
    setUpSnapshotPreview(dialog);
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, paint);
    dialog.exec();
}

void paintPreviewPage(QPrinter *printer, QWidget *window)
{
    printer->setPageOrientation(QPageLayout::Landscape);
    renderSnapshot(printer, grabSnapshot(window));
}

void saveSnapshotPdf(QWidget *window, QWidget *parent)
{
    savePdf(parent, snapshotPages(window));
}
