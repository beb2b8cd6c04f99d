#pragma once

#include <QString>

#include <functional>

class QPainter;
class QPixmap;
class QPrinter;
class QPrintPreviewDialog;
class QSize;
class QWidget;

// Printing, preview and PDF all put a snapshot of one window on one page of
// the window's own size: one point per screen pixel, landscape, at the
// printer's full resolution. Nothing is laid out again for paper.

// The page of a window of this size: a custom page as high as the window is
// wide and as wide as it is high, turned by landscape (unless the preview
// turns it when it renders) into the window's shape.
void setUpSnapshotPage(QPrinter &printer, const QSize &windowSize, bool landscape = true);

// The window as shown, frame and title bar included, without what follows
// the mouse (a trend plot's tracker, a rubber band).
QPixmap grabSnapshot(QWidget *window);

// Whole-number enlargement of an image into a viewport, each direction on
// its own. A viewport smaller than the image in a direction would give 0
// there, a blank page; that direction is shrunk to fit instead.
struct SnapshotScale {
    qreal x = 1;
    qreal y = 1;
};
SnapshotScale snapshotScale(const QSize &viewport, const QSize &image);

// Draws the image at the painter's origin, scaled into its viewport.
void drawSnapshot(QPainter &painter, const QPixmap &image);

// The one render routine of print, preview and PDF: the image on the
// printer's page. false when the printer could not be started (a PDF that
// cannot be written, no printer to print on).
bool renderSnapshot(QPrinter *printer, const QPixmap &image);

// The window's snapshot as a one-page PDF; false when the file cannot be
// written.
bool writeSnapshotPdf(QWidget *window, const QString &fileName);

// The one way a PDF is written: print gets a printer set to PDF output into
// a new file beside fileName, sets up its pages and draws them; the file
// replaces fileName only when print succeeded and the file is whole.
bool writePdf(const QString &fileName, const std::function<bool(QPrinter &)> &print);
// Asks for a PDF file name (".pdf" added to a name without a suffix) and
// writes it with print; a failure is reported over parent, naming the file.
void savePdf(QWidget *parent, const std::function<bool(QPrinter &)> &print);
// The print dialog for printer over parent; once accepted, print draws the
// pages, and a failure is reported naming the printer.
void printWithDialog(QPrinter &printer, QWidget *parent, const std::function<bool(QPrinter &)> &print);

// What the printer prints on, for a warning: its output file, or its name.
QString printerTarget(const QPrinter &printer);

// The preview dialog of the main window: title, minimum size, and maximise
// and close buttons.
void setUpSnapshotPreview(QPrintPreviewDialog &dialog);

// The three outputs of a window, as the main window's actions run them;
// parent is the main window, which shows the dialogs and the warnings.
//
// Print: the print dialog for the window's page, then the snapshot.
void printSnapshot(QWidget *window, QWidget *parent);
// Preview: a modal preview of the window's page; paint receives every
// request to draw the pages, for the screen and for printing from the
// preview.
void previewSnapshot(QWidget *window, QWidget *parent, const std::function<void(QPrinter *)> &paint);
// A page the preview asked for: landscape, the window's snapshot.
void paintPreviewPage(QPrinter *printer, QWidget *window);
// PDF: asks for the file name (".pdf" added to a name without a suffix),
// then writes the snapshot.
void saveSnapshotPdf(QWidget *window, QWidget *parent);
