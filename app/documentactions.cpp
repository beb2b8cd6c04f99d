#include "app/documentactions.h"

#include "analysis/excelexportdlg.h"
#include "analysis/reportdlg.h"
#include "analysis/statdlg.h"
#include "app/documents.h"
#include "data/appconfig.h"
#include "views/finddlg.h"
#include "views/mytableview.h"
#include "views/plot.h"
#include "views/rangesetdlg.h"
#include "views/turntodlg.h"

#include <QApplication>
#include <QClipboard>
#include <QMdiSubWindow>

void showStatistics(QWidget *parent, const CurrentDocument &doc)
{
    if (!doc.file)
        return;
    StatDlg dialog(parent, doc.file);
    dialog.exec();
}

void showPowerReport(QWidget *parent, const CurrentDocument &doc)
{
    if (!doc.file)
        return;
    ReportDlg dialog(parent, doc.file, readReportSettings(), AppConfig.disp);
    dialog.exec();
    storeReportSettings(dialog.settings());
}

void restrictTimeRange(QWidget *parent, const CurrentDocument &doc)
{
    if (!doc.file || (!doc.table && !doc.plot))
        return;
    RangeSetDlg dialog(parent, doc.file);
    const ShownSpan span = doc.table ? tableSpan(*doc.table) : plotSpan(*doc.plot);
    if (doc.table)
        QObject::connect(&dialog, &RangeSetDlg::setRangeTime, doc.table, &MyTableView::setxRange);
    else
        QObject::connect(&dialog, &RangeSetDlg::setRangeTime, doc.plot, &Plot::setxRange);
    dialog.setRange(span.start, span.end);
    dialog.exec();
}

void turnTo(const CurrentDocument &doc)
{
    if (!doc.file || !doc.table)
        return;
    TurntoDlg dialog(doc.window, doc.file);
    dialog.exec();
}

void exportToSpreadsheet(const CurrentDocument &doc)
{
    if (!doc.file)
        return;
    ExcelExportDlg dialog(doc.window, doc.file);
    dialog.exec();
}

void copyToClipboard(const CurrentDocument &doc)
{
    if (doc.table)
        doc.table->copySelection();
    else if (doc.kind == DocumentKind::Plot)
        QApplication::clipboard()->setPixmap(doc.window->grab());
}

FindDlg *openFind(const CurrentDocument &doc)
{
    if (!doc.file || !doc.table)
        return nullptr;
    return openFindDlg(doc.window, doc.table);
}
