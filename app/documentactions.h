#pragma once

class FindDlg;
class QWidget;
struct CurrentDocument;

// What the document actions do to the current window. Each does nothing
// when the window is not of a kind it applies to or names no open file;
// the dialogs run modally and are gone on return.
void showStatistics(QWidget *parent, const CurrentDocument &doc);
// The energy and power-quality report, with the options and the size it
// had the last time.
void showPowerReport(QWidget *parent, const CurrentDocument &doc);
// The span the window shows now is the dialog's start; a span chosen there
// goes to the window.
void restrictTimeRange(QWidget *parent, const CurrentDocument &doc);
void turnTo(const CurrentDocument &doc);
void exportToSpreadsheet(const CurrentDocument &doc);
// The table's selection as text, a plot window as a picture.
void copyToClipboard(const CurrentDocument &doc);
// The table's Find dialog, which does not block; null for other windows.
FindDlg *openFind(const CurrentDocument &doc);
